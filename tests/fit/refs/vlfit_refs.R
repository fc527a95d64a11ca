# References of the variable-length record likelihood (tests/fit/vlfit_job_test.cpp).
# R 4.2 with Debian's r-cran-lavaan and r-cran-mvtnorm.  Run from the top of
# the tree: Rscript tests/fit/refs/vlfit_refs.R  (writes the data files of
# tests/fit/vlfit/ and prints the reference values, vlfit_refs.txt).
suppressMessages({library(lavaan); library(mvtnorm)})
options(digits = 17)
dir <- "tests/fit/vlfit"
dir.create(dir, showWarnings = FALSE)
wr <- function(d, f) {
  s <- ifelse(is.na(d), ".", sprintf("%.4f", d))
  writeLines(apply(matrix(s, nrow(d)), 1, paste, collapse = " "), file.path(dir, f))
}

## 1. FIML, one factor, four indicators, free means, 15% missing (MCAR).
set.seed(20261211)
n <- 200; p <- 4
lam <- c(0.8, 0.7, 0.6, 0.9); th <- c(0.5, 0.6, 0.7, 0.4); mu <- c(1, 2, 3, 4)
f <- rnorm(n)
Y <- sapply(1:p, function(j) mu[j] + lam[j] * f + rnorm(n, sd = sqrt(th[j])))
Y <- round(Y, 4)
M <- matrix(runif(n * p) < 0.15, n, p)
Y[M] <- NA
Y <- Y[rowSums(!is.na(Y)) > 0, ]
colnames(Y) <- paste0("y", 1:p)
wr(Y, "fiml4.dat")
fit <- cfa("F =~ y1 + y2 + y3 + y4", data = as.data.frame(Y), missing = "ml", std.lv = TRUE,
           meanstructure = TRUE)
pe <- parameterEstimates(fit)
cat("FIML -2logLik", -2 * as.numeric(logLik(fit)), "\n")
cat("FIML loadings", pe$est[pe$op == "=~"], "\n")
cat("FIML resvar", pe$est[pe$op == "~~" & pe$lhs == pe$rhs & pe$lhs != "F"], "\n")
cat("FIML means", pe$est[pe$op == "~1" & pe$lhs != "F"], "\n")
cat("FIML cases", nrow(Y), "values", sum(!is.na(Y)), "\n")

## 2. Definition variable: y = b0 + b1 x + e, x a definition variable.
set.seed(7)
n2 <- 40
x <- round(rnorm(n2, 2, 1), 3)
y <- round(1 + 0.5 * x + rnorm(n2, sd = 0.8), 3)
wr(cbind(y, x), "defreg.dat")
X <- cbind(1, x)
b <- solve(t(X) %*% X, t(X) %*% y)
rss <- sum((y - X %*% b)^2)
s2 <- rss / n2
cat("REG b", b, "s2", s2, "m2lnL", n2 * log(2 * pi * s2) + n2, "\n")

## 3. Mixture of two models (no free parameters) on a bivariate file with
## missing values: weights 0.3, 0.7.
set.seed(3)
n3 <- 25
Z <- round(matrix(rnorm(n3 * 2, 1, 1.2), n3, 2), 3)
Z[c(3, 8, 15), 2] <- NA
Z[c(5, 20), 1] <- NA
wr(Z, "mix2.dat")
S1 <- matrix(c(1.0, 0.3, 0.3, 2.0), 2); S2 <- matrix(c(2.5, -0.4, -0.4, 1.5), 2)
m1 <- c(0.5, 1.0); m2 <- c(1.5, 0.8); w <- c(0.3, 0.7)
dens <- function(z, m, S) { o <- !is.na(z); dmvnorm(z[o], m[o], S[o, o, drop = FALSE]) }
Fmix <- sum(apply(Z, 1, function(z) -2 * log(w[1] * dens(z, m1, S1) + w[2] * dens(z, m2, S2))))
cat("MIX F", Fmix, "\n")

## 4. Power transform (lambda 0.5, c 1) of positive data, one model fixed.
set.seed(5)
n4 <- 20
V <- round(matrix(rexp(n4 * 2, 0.5), n4, 2), 3)
V[c(2, 9), 1] <- NA
wr(V, "power.dat")
lamb <- 0.5; cc <- 1
S <- matrix(c(1.2, 0.4, 0.4, 0.9), 2); m <- c(1.0, 1.3)
bc <- function(v) if (lamb == 0) log(v + cc) else ((v + cc)^lamb - 1) / lamb
Fpow <- sum(apply(V, 1, function(v) { o <- !is.na(v)
  -2 * (log(dmvnorm(bc(v[o]), m[o], S[o, o, drop = FALSE])) + sum((lamb - 1) * log(v[o] + cc))) }))
cat("POW F", Fpow, "\n")
