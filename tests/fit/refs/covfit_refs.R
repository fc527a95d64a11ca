# Reference values of the covariance fit functions, computed with R and
# lavaan (Debian r-cran-lavaan) on the Holzinger-Swineford (1939) data that
# lavaan ships (HolzingerSwineford1939, variables x1..x9, N = 301).
# Run: Rscript covfit_refs.R > covfit_refs.txt ; the numbers are pasted into
# covfit_test.cpp.  Packed order there: lower triangle by rows.
suppressMessages(library(lavaan))
f17 <- function(x) paste(formatC(x, digits = 17, format = "g"), collapse = ", ")
rowpack <- function(M) { v <- c(); for (i in 1:nrow(M)) v <- c(v, M[i, 1:i]); v }
tr <- function(M) sum(diag(M))
HS <- HolzingerSwineford1939
N <- 301

# Three-factor CFA by ML (Wishart likelihood).
model <- ' visual =~ x1 + x2 + x3
           textual =~ x4 + x5 + x6
           speed =~ x7 + x8 + x9 '
fit <- cfa(model, data = HS, likelihood = "wishart")
S <- lavInspect(fit, "sampstat")$cov; S <- unclass(S)
Sig <- unclass(fitted(fit)$cov)
p <- 9
cat("S9 =", f17(rowpack(S)), "\n")
cat("Sig9 =", f17(rowpack(Sig)), "\n")
cat("detS9 =", f17(det(S)), "\n")
cat("lavaan_chisq =", f17(fitMeasures(fit, "chisq")), "\n")
cat("ML9 =", f17((log(det(Sig) / det(S)) + tr(solve(Sig) %*% S) - p) * (N - 1)), "\n")
cat("LS9 =", f17((N - 1) * sum((S - Sig)[lower.tri(S, diag = TRUE)]^2)), "\n")
cat("GLS9 =", f17((N - 1) * 0.5 * tr((diag(p) - Sig %*% solve(S)) %*% (diag(p) - Sig %*% solve(S)))), "\n")
# Means: observed column means against means shifted by 0.1, 0.2, ...
mo <- colMeans(HS[, paste0("x", 1:9)])
me <- mo - (1:9) / 10
d <- mo - me
cat("mobs9 =", f17(mo), "\n")
cat("mexp9 =", f17(me), "\n")
cat("MLmeans9 =", f17(N * log(1 + drop(t(d) %*% solve(Sig) %*% d))), "\n")

# One factor on x1..x4 by WLS: lavaan's weight matrix and Gamma.
fit4 <- cfa(' f =~ x1 + x2 + x3 + x4 ', data = HS, estimator = "WLS")
S4 <- unclass(lavInspect(fit4, "sampstat")$cov)
Sig4 <- unclass(fitted(fit4)$cov)
W <- lavInspect(fit4, "WLS.V")
G <- lavInspect(fit4, "gamma")
# lavaan's vech runs down the columns of the lower triangle; the test's
# packing runs along its rows.  The reference is formed in lavaan's order.
r <- lav_matrix_vech(S4 - Sig4)
cat("S4 =", f17(rowpack(S4)), "\n")
cat("Sig4 =", f17(rowpack(Sig4)), "\n")
idx <- matrix(0, 4, 4); idx[lower.tri(idx, diag = TRUE)] <- 1:10   # vech position of (i, j)
perm <- c(); for (i in 1:4) for (j in 1:i) perm <- c(perm, idx[i, j])
Wr <- W[perm, perm]
cat("W4 =", f17(rowpack(Wr)), "\n")
cat("AWLS4 =", f17(drop(t(r) %*% W %*% r)), "\n")
gdiag <- diag(G)
cat("V4 =", f17(gdiag[perm]), "\n")
cvec <- lav_matrix_vech(matrix(2, 4, 4) - diag(4))
cat("DWLS4 =", f17(sum(cvec * r^2 / gdiag)), "\n")
# Correlation forms: off-diagonal residuals only, weights the off-diagonal
# block of W (the six off-diagonal rows and columns in lavaan's order).
off <- lav_matrix_vech(matrix(1, 4, 4), diagonal = FALSE)
offidx <- which(lav_matrix_vech(matrix(1, 4, 4) - diag(4)) == 1)
Wo <- W[offidx, offidx]
R4 <- cov2cor(S4)
perm_o <- c(); idxo <- matrix(0, 4, 4); idxo[lower.tri(idxo)] <- 1:6
for (i in 2:4) for (j in 1:(i - 1)) perm_o <- c(perm_o, idxo[i, j])
cat("W4off =", f17(rowpack(Wo[perm_o, perm_o])), "\n")
cat("R4 =", f17(rowpack(R4)), "\n")
ro1 <- lav_matrix_vech(R4 - cov2cor(Sig4), diagonal = FALSE)
cat("AWLS4corr =", f17(drop(t(ro1) %*% Wo %*% ro1)), "\n")
ro0 <- lav_matrix_vech(R4 - Sig4, diagonal = FALSE)
cat("AWLS4held =", f17(drop(t(ro0) %*% Wo %*% ro0)), "\n")
cat("AWLS4pen =", f17((N - 1) / 2 * sum((1 - diag(Sig4))^2)), "\n")
