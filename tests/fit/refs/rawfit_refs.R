# References of the rectangular raw-data likelihood (fit code 9), written to
# rawfit_refs.txt beside this script:
#   Rscript tests/fit/refs/rawfit_refs.R > tests/fit/refs/rawfit_refs.txt
# R 4.2 with Debian's r-cran-lavaan.
#
# Data: 300 cases of four indicators of one factor, generated here with a
# fixed seed (loadings 0.8, 0.7, 0.6, 0.5; unique variances 0.36, 0.51, 0.64,
# 0.75; means 1, 2, 3, 4), written with 17 significant digits to
# tests/fit/families/raw_f1x4.dat (one case per line).
suppressMessages(library(lavaan))
set.seed(20261211)
n <- 300
lam <- c(0.8, 0.7, 0.6, 0.5)
psi <- c(0.36, 0.51, 0.64, 0.75)
mu <- c(1, 2, 3, 4)
f <- rnorm(n)
Y <- sapply(1:4, function(j) mu[j] + lam[j] * f + rnorm(n, sd = sqrt(psi[j])))
colnames(Y) <- paste0("y", 1:4)
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
datfile <- file.path(here, "..", "families", "raw_f1x4.dat")
write.table(format(Y, digits = 17), datfile, quote = FALSE, row.names = FALSE, col.names = FALSE)
Y <- as.matrix(read.table(datfile))  # exactly the values the tests read
colnames(Y) <- paste0("y", 1:4)
p <- 4
cat(sprintf("n = %d, p = %d\n", n, p))

# Saturated means and covariance, closed form: Sigma-hat with divisor n,
# -2 ln L = n p ln(2 pi) + n ln|Sigma-hat| + n p.
S <- cov(Y) * (n - 1) / n
m <- colMeans(Y)
sat <- n * p * log(2 * pi) + n * log(det(S)) + n * p
cat(sprintf("ROW saturated -2lnL %.17g\n", sat))
cat(sprintf("ROW saturated means %s\n", paste(sprintf("%.17g", m), collapse = ", ")))
low <- c(); for (i in 1:p) for (j in 1:i) low <- c(low, S[i, j])
cat(sprintf("ROW saturated cov packed %s\n", paste(sprintf("%.17g", low), collapse = ", ")))
# The same from lavaan's saturated log-likelihood.
fit0 <- cfa("f =~ y1 + y2 + y3 + y4", data = as.data.frame(Y), meanstructure = TRUE, likelihood = "normal")
cat(sprintf("lavaan unrestricted -2 logl %.17g\n", -2 * fitMeasures(fit0, "unrestricted.logl")))

# The same -2 ln L at given parameters, case by case (for the tests that
# evaluate the function without the optimizer).
m2ll <- function(Sig, mu) {
  Si <- solve(Sig)
  d <- sweep(Y, 2, mu)
  sum(p * log(2 * pi) + log(det(Sig)) + rowSums((d %*% Si) * d))
}
cat(sprintf("check saturated by cases %.17g\n", m2ll(S, m)))

# One factor with free means: loadings L, unique variances E (factor
# variance 1), means M.  lavaan, likelihood "normal", ML.
fit <- cfa("f =~ NA*y1 + y2 + y3 + y4\n f ~~ 1*f", data = as.data.frame(Y), meanstructure = TRUE,
           likelihood = "normal", estimator = "ML")
pe <- parameterEstimates(fit)
L <- pe$est[pe$op == "=~"]
E <- pe$est[pe$op == "~~" & pe$lhs == pe$rhs & pe$lhs != "f"]
M <- pe$est[pe$op == "~1" & pe$lhs != "f"]
cat(sprintf("ROW f1x4 L %s\n", paste(sprintf("%.17g", L), collapse = ", ")))
cat(sprintf("ROW f1x4 E %s\n", paste(sprintf("%.17g", E), collapse = ", ")))
cat(sprintf("ROW f1x4 M %s\n", paste(sprintf("%.17g", M), collapse = ", ")))
cat(sprintf("ROW f1x4 -2lnL %.17g\n", -2 * as.numeric(logLik(fit))))
Sig <- L %*% t(L) + diag(E)
cat(sprintf("check f1x4 by cases %.17g\n", m2ll(Sig, M)))
# Polished: nlminb on the same function from lavaan's estimates.
obj <- function(th) { Lm <- th[1:4]; Ev <- th[5:8]; m2ll(Lm %*% t(Lm) + diag(Ev), th[9:12]) }
opt <- nlminb(c(L, E, M), obj, control = list(rel.tol = 1e-15, eval.max = 10000, iter.max = 10000))
cat(sprintf("ROW f1x4 polished -2lnL %.17g\n", opt$objective))
cat(sprintf("ROW f1x4 polished L %s\n", paste(sprintf("%.17g", opt$par[1:4]), collapse = ", ")))
cat(sprintf("ROW f1x4 polished E %s\n", paste(sprintf("%.17g", opt$par[5:8]), collapse = ", ")))
cat(sprintf("ROW f1x4 polished M %s\n", paste(sprintf("%.17g", opt$par[9:12]), collapse = ", ")))
# The first case alone under the start values of the job (L 0.5, E 1, M 0):
# -2 ln L of case 1 and sqrt(q), for the statistics lines.
Sig0 <- matrix(0.25, 4, 4) + diag(4)
d1 <- Y[1, ]
q1 <- as.numeric(t(d1) %*% solve(Sig0) %*% d1)
cat(sprintf("ROW start case1 -2lnL %.17g sqrtq %.17g\n", p * log(2 * pi) + log(det(Sig0)) + q1, sqrt(q1)))
cat(sprintf("ROW start total -2lnL %.17g\n", {
  d <- Y; sum(p * log(2 * pi) + log(det(Sig0)) + rowSums((d %*% solve(Sig0)) * d)) }))

# The raw-data vector R (the current case) in the formulas, with fixed
# matrices S0 (variances 1, covariances 0.3) and means M0 = (1, 2, 3, 4):
# means formula R (the case itself, q = 0 for every case):
#   -2 ln L = n (p ln 2 pi + ln|S0|);
# covariance formula S0 + R'R with means M0, case by case.
S0 <- matrix(0.3, 4, 4) + diag(0.7, 4)
M0 <- c(1, 2, 3, 4)
cat(sprintf("ROW raw means -2lnL %.17g\n", n * (p * log(2 * pi) + log(det(S0)))))
tot <- 0
for (i in 1:n) {
  x <- Y[i, ]
  Si <- S0 + x %*% t(x)
  d <- x - M0
  tot <- tot + p * log(2 * pi) + log(det(Si)) + as.numeric(t(d) %*% solve(Si) %*% d)
}
cat(sprintf("ROW raw covariance -2lnL %.17g\n", tot))

# The first three variables alone (a selection of the raw data): the
# saturated model in closed form.
Y3 <- Y[, 1:3]
S3 <- cov(Y3) * (n - 1) / n
cat(sprintf("ROW selected saturated -2lnL %.17g\n", n * 3 * log(2 * pi) + n * log(det(S3)) + n * 3))
