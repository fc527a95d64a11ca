# References of the identification lists of record groups
# (tests/fit/idlist_job_test.cpp).  R 4.2 with Debian's r-cran-mvtnorm.  Run from
# anywhere:
#   Rscript tests/fit/refs/idlist_refs.R      (its output is idlist_refs.txt)
# A record's matrices come from the model's through the list: a member's row
# is the first position of its code in the list; in row j, a member k coded
# like member j takes the next position of that code after j's first.
options(digits = 17)
ped <- function(codes, ids, S, M) {
  J <- length(codes)
  f <- sapply(codes, function(c) match(c, ids))
  R <- matrix(0, J, J)
  for (j in 1:J) for (k in 1:j) {
    fk <- if (k == j) f[j] else if (codes[k] != codes[j]) f[k] else {
      w <- which(ids == codes[k]); w <- w[w > f[j]]; w[1] }
    R[j, k] <- R[k, j] <- S[f[j], fk]
  }
  list(R = R, mu = M[f])
}
# -2 ln L of the records, summed.
m2ll <- function(recs, ids, S, M) {
  s <- 0
  for (r in recs) {
    pm <- ped(r$c, ids, S, M)
    d <- r$y - pm$mu
    s <- s + log(det(pm$R)) + length(r$c) * log(2 * pi) + sum(d * solve(pm$R, d))
  }
  s
}
# A symmetric matrix from its lower triangle given row by row.
sy <- function(v, p) { S <- matrix(0, p, p); S[upper.tri(S, diag = TRUE)] <- v; S + t(S) - diag(diag(S)) }
rec <- function(c, y) list(c = c, y = y)

## Fixed model, three records, list 2 1 3 (and 1 2 3, the list the program
## takes without an IC statement).
recs1 <- list(rec(c(1, 2, 3), c(0.3, 1.2, 0.8)), rec(c(2, 3), c(-0.4, 0.9)), rec(1, 1.7))
S1 <- sy(c(1, .5, 2, .2, .3, 1), 3); M1 <- c(0, 2, 1)
cat("permuted", m2ll(recs1, c(2, 1, 3), S1, M1), "\n")
cat("default", m2ll(recs1, c(1, 2, 3), S1, M1), "\n")

## Fixed model, list 1 2 2: two members of code 2 in a record.
recs2 <- list(rec(c(1, 2, 2), c(0.3, 1.2, 0.8)), rec(c(1, 2), c(-0.4, 0.9)), rec(c(2, 2), c(1.5, 0.2)),
              rec(2, 0.7))
cat("shared", m2ll(recs2, c(1, 2, 2), sy(c(1.2, .5, 1, .5, .3, 1), 3), c(.5, 1, 1)), "\n")

## Twin pairs whose members both carry code 1 (list 1 1), and three single
## twins: each twin's variance is the model's (1,1), the pair's covariance
## its (2,1), the mean its first.  Maximum likelihood of the three.
set.seed(35)
np <- 12
a <- rnorm(np, sd = sqrt(0.6))
tw <- round(cbind(1.5 + a + rnorm(np, sd = sqrt(0.5)), 1.5 + a + rnorm(np, sd = sqrt(0.5))), 2)
single <- round(1.5 + rnorm(3, sd = sqrt(1.1)), 2)
recs3 <- c(lapply(1:np, function(i) rec(c(1, 1), tw[i, ])), lapply(single, function(y) rec(1, y)))
cat("twin records (VLength lines):\n")
for (i in 1:np) cat(" 2\n 1 1  ", sprintf("%.2f", tw[i, ]), "\n")
for (y in single) cat(" 1\n 1  ", sprintf("%.2f", y), "\n")
obj <- function(th) m2ll(recs3, c(1, 1), matrix(c(th[1], th[2], th[2], 9), 2), c(th[3], 0))
cat("twins at the start (1, 0.5, 1)", obj(c(1, 0.5, 1)), "\n")
fit <- suppressWarnings(optim(c(1, 0.5, 1), obj, method = "BFGS", control = list(reltol = 1e-15, maxit = 1000)))
fit <- optim(fit$par, obj, method = "Nelder-Mead", control = list(reltol = 1e-15, maxit = 5000))
fit <- optim(fit$par, obj, method = "BFGS", control = list(reltol = 1e-16, maxit = 1000))
g <- sapply(1:3, function(k) { h <- 1e-6; e <- replace(numeric(3), k, h); (obj(fit$par + e) - obj(fit$par - e)) / (2 * h) })
cat("twins estimates (variance, covariance, mean)", fit$par, "\n")
cat("twins m2lnL", fit$value, "\n")
cat("twins gradient", g, "\n")

## Two binary ordinal items (records by field: codes 1 and 2), thresholds
## a = -0.3 for item 1 and b = 0.4 for item 2, correlation 0.35.  The same
## model written with the list 2 1 and the thresholds in the other order
## gives the same -2 ln L; with the list ignored it would take a for item 2.
suppressMessages(library(mvtnorm))
cells <- list(c(0, 0, 3), c(0, 1, 2), c(1, 0, 1), c(1, 1, 4))
ord <- function(a, b, r) {
  s <- 0
  for (cl in cells) {
    lo <- c(if (cl[1] == 0) -Inf else a, if (cl[2] == 0) -Inf else b)
    up <- c(if (cl[1] == 0) a else Inf, if (cl[2] == 0) b else Inf)
    P <- pmvnorm(lo, up, corr = matrix(c(1, r, r, 1), 2), algorithm = GenzBretz(abseps = 1e-12, releps = 0))
    s <- s - 2 * cl[3] * log(P[1])
  }
  s
}
cat("ordinal", ord(-0.3, 0.4, 0.35), "\n")
cat("ordinal, thresholds swapped", ord(0.4, -0.3, 0.35), "\n")
