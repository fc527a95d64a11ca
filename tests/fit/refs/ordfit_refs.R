# References of the ordinal record fit (tests/fit/ordfit_job_test.cpp).
# Data: generated here with a fixed seed, printed as pattern counts (the test
# writes one record per case, patterns in the order printed).
# One variable: closed form (thresholds are normal quantiles of the
# cumulative proportions; -2 ln L = -2 sum n_k ln p_k).
# Two and three variables: the likelihood of the box probabilities computed
# by mvtnorm (each box by inclusion and exclusion of orthant probabilities,
# TVPACK at absolute error 1e-14) maximised by nlminb and optim.
#   Two variables: correlation r (ST matrix), thresholds T (2 x 2, raw).
#   Three variables: covariance F F' + I (F 3 x 1), thresholds T (2 x 3) on
#   the raw scale, standardised by sqrt(1 + f_i^2).
# R 4.2, mvtnorm (r-cran-mvtnorm).  Run: Rscript ordfit_refs.R > ordfit_refs.txt
suppressMessages(library(mvtnorm))
options(digits = 15)
set.seed(26)

gen <- function(n, p, l, t) {
  f <- rnorm(n)
  y <- sapply(1:p, function(i) l[i] * f + sqrt(1 - l[i]^2) * rnorm(n))
  if (p == 1) y <- matrix(y, ncol = 1)
  sapply(1:p, function(i) findInterval(y[, i], t[, i]))
}
patterns <- function(d) {
  key <- apply(d, 1, paste, collapse = " ")
  tab <- table(key)
  pat <- do.call(rbind, lapply(strsplit(names(tab), " "), as.numeric))
  list(pat = pat, n = as.vector(tab))
}
boxprob <- function(cat, thr, R) {
  p <- length(cat)
  lo <- hi <- numeric(p)
  for (j in 1:p) {
    K <- nrow(thr)
    lo[j] <- if (cat[j] == 0) -Inf else thr[cat[j], j]
    hi[j] <- if (cat[j] == K) Inf else thr[cat[j] + 1, j]
  }
  if (p == 1) return(pnorm(hi) - pnorm(lo))
  # Inclusion and exclusion over the box's corners: orthant probabilities
  # P(X <= c), each by TVPACK; an infinite upper limit is 40 (a probability
  # of 1 in double precision), a corner at minus infinity adds nothing.
  s <- 0
  for (m in 0:(2^p - 1)) {
    pick <- bitwAnd(m, 2^(0:(p - 1))) > 0
    cr <- ifelse(pick, lo, hi)
    if (any(cr == -Inf)) next
    cr[cr == Inf] <- 40
    s <- s + (-1)^sum(pick) * as.numeric(pmvnorm(upper = cr, corr = R, algorithm = TVPACK(abseps = 1e-14)))
  }
  s
}
m2ll <- function(pt, thr, R) {
  s <- 0
  for (k in seq_along(pt$n)) s <- s - 2 * pt$n[k] * log(boxprob(pt$pat[k, ], thr, R))
  s
}
show <- function(name, pt, est, f) {
  cat("#", name, "\n")
  cat("patterns", nrow(pt$pat), "\n")
  for (k in seq_along(pt$n)) cat("  {", paste(pt$pat[k, ], collapse = ", "), "},", pt$n[k], "\n")
  cat("estimates", sprintf("%.12f", est), "\n")
  cat("m2ll", sprintf("%.10f", f), "\n")
}
fitit <- function(obj, start) {
  a <- nlminb(start, obj, control = list(rel.tol = 1e-15, eval.max = 5000, iter.max = 5000))
  b <- optim(a$par, obj, method = "BFGS", control = list(reltol = 1e-16, maxit = 5000, ndeps = rep(1e-6, length(start))))
  if (b$value < a$objective) list(par = b$par, value = b$value) else list(par = a$par, value = a$objective)
}

# One variable, three categories, 400 cases.
d1 <- gen(400, 1, 0.7, matrix(c(-0.4, 0.7), ncol = 1))
p1 <- patterns(d1)
n1 <- sapply(0:2, function(k) sum(d1 == k))
t1 <- qnorm(cumsum(n1)[1:2] / 400)
show("one variable", p1, t1, -2 * sum(n1 * log(n1 / 400)))

# Two variables, three categories, 400 cases.
d2 <- gen(400, 2, c(0.8, 0.6), cbind(c(-0.5, 0.6), c(-0.2, 0.9)))
p2 <- patterns(d2)
o2 <- function(x) {
  if (abs(x[1]) >= 1) return(1e10)
  m2ll(p2, matrix(x[2:5], 2, 2), matrix(c(1, x[1], x[1], 1), 2))
}
r2 <- fitit(o2, c(0.4, -0.5, 0.6, -0.2, 0.9))
show("two variables: r, T(1,1), T(2,1), T(1,2), T(2,2)", p2, r2$par, r2$value)

# Three variables, three categories, 400 cases: one factor.
d3 <- gen(400, 3, c(0.8, 0.7, 0.6), cbind(c(-0.5, 0.6), c(-0.2, 0.9), c(0.1, 1.1)))
p3 <- patterns(d3)
o3 <- function(x) {
  f <- x[1:3]
  v <- 1 + f^2
  S <- f %*% t(f) + diag(3)
  R <- cov2cor(S)
  thr <- sweep(matrix(x[4:9], 2, 3), 2, sqrt(v), "/")
  m2ll(p3, thr, R)
}
r3 <- fitit(o3, c(1, 1, 1, -0.6, 0.7, -0.3, 1, 0.1, 1.3))
show("three variables: F(1..3), T(1,1), T(2,1), T(1,2), T(2,2), T(1,3), T(2,3)", p3, r3$par, r3$value)

# Single box integrals of the kernel tests (tests/fit/ordfit_test.cpp).
cat("# boxes\n")
b2 <- pmvnorm(lower = c(-0.3, -Inf), upper = c(0.8, 0.4), corr = matrix(c(1, 0.5, 0.5, 1), 2),
              algorithm = GenzBretz(maxpts = 1e7, abseps = 1e-13, releps = 0))
cat("two", sprintf("%.15f", b2), "\n")
R3 <- matrix(c(1, 0.3, -0.2, 0.3, 1, 0.4, -0.2, 0.4, 1), 3)
b3 <- pmvnorm(lower = c(-1, 0.2, -Inf), upper = c(0.5, Inf, 0.7), corr = R3,
              algorithm = GenzBretz(maxpts = 1e8, abseps = 1e-13, releps = 0))
cat("three", sprintf("%.15f", b3), attr(b3, "error"), "\n")

# A mixture of two models (code 14, NM = 2) without free parameters, the
# two-variable data: weights 0.7 and 0.3; model 1 correlation 0.5,
# thresholds (-0.4, 0.7) and (-0.1, 1.1); model 2 correlation -0.2,
# thresholds (-0.1, 1.0) and (0.2, 1.4).  F = -2 sum ln(0.7 P1 + 0.3 P2).
th1 <- cbind(c(-0.4, 0.7), c(-0.1, 1.1))
th2 <- cbind(c(-0.1, 1.0), c(0.2, 1.4))
R1 <- matrix(c(1, 0.5, 0.5, 1), 2)
R2 <- matrix(c(1, -0.2, -0.2, 1), 2)
fm <- 0
for (k in seq_along(p2$n))
  fm <- fm - 2 * p2$n[k] * log(0.7 * boxprob(p2$pat[k, ], th1, R1) + 0.3 * boxprob(p2$pat[k, ], th2, R2))
cat("# mixture\nm2ll", sprintf("%.10f", fm), "\n")

# Definition variable: one ordinal item y (three categories) and a
# definition variable x; thresholds t_k - b x, so P(y <= k | x) =
# Phi(t_k - b x): the ordinal probit regression of MASS::polr (zeta = t,
# coefficient = b).  300 cases, printed as y x lines (x to 4 decimals).
suppressMessages(library(MASS))
set.seed(126)
x <- round(rnorm(300), 4)
y <- findInterval(0.6 * x + rnorm(300), c(-0.3, 0.8))
pr <- polr(factor(y) ~ x, method = "probit", control = list(reltol = 1e-14))
cat("# definition variable\n")
cat("data", paste(sprintf("%d %.4f", y, x), collapse = " | "), "\n")
cat("estimates t", sprintf("%.10f", pr$zeta), "b", sprintf("%.10f", coef(pr)), "\n")
cat("m2ll", sprintf("%.10f", -2 * as.numeric(logLik(pr))), "\n")

# A mixture of two models with the definition variable, no free parameters:
# weights 0.6 and 0.4; model 1 variance 1, thresholds (-0.2, 0.9) - 0.6 x;
# model 2 variance 2, thresholds (-0.5, 0.5) - 0.6 x (standardised by
# sqrt(2)).  F = -2 sum ln(0.6 P1 + 0.4 P2), closed form by pnorm.
cp <- function(y, x, t, sd) {
  u <- c(-Inf, t - 0.6 * x, Inf) / sd
  pnorm(u[y + 2]) - pnorm(u[y + 1])
}
fdm <- -2 * sum(log(
  sapply(seq_along(y), function(i) 0.6 * cp(y[i], x[i], c(-0.2, 0.9), 1) + 0.4 * cp(y[i], x[i], c(-0.5, 0.5), sqrt(2)))))
cat("# mixture with definition variable\nm2ll", sprintf("%.10f", fdm), "\n")
