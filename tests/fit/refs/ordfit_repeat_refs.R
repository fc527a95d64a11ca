# Reference of the replicated ordinal records (ordfit_job_test.cpp): -2 ln L
# of one copy of twelve response patterns of four ordinal items, one record
# each, under the one-factor model of tools/bench/ord500.qv fixed at the
# estimates below (covariance L L' + I, thresholds T on the raw scale,
# standardised by sqrt(1 + l_j^2)).  R copies of the records give R times
# this value.  Box probabilities by mvtnorm's Miwa algorithm (deterministic,
# 4096 grid steps) and, as a check, the Genz-Bretz rule at abseps 1e-10.
# R 4.2, mvtnorm (r-cran-mvtnorm).  Run: Rscript ordfit_repeat_refs.R
suppressMessages(library(mvtnorm))
l <- c(0.5921667904, 0.6437800150, 0.9679173597, 1.2123786498)
tr <- matrix(c(-0.5219769130, 0.7832376402, -0.5832808969, 0.8623713238,
               -0.6012335267, 0.9301197000, -0.8501684838, 1.1629041358), 2, 4)
pat <- rbind(c(0, 0, 0, 0), c(2, 2, 2, 2), c(1, 1, 1, 1), c(0, 1, 2, 2),
             c(2, 1, 0, 0), c(1, 0, 2, 1), c(0, 2, 0, 2), c(1, 2, 1, 0),
             c(2, 0, 1, 1), c(0, 0, 1, 2), c(2, 2, 2, 0), c(1, 1, 0, 2))
R <- cov2cor(l %*% t(l) + diag(4))
cut <- rbind(-Inf, sweep(tr, 2, sqrt(1 + l^2), "/"), Inf)
m2ll <- function(alg) {
  s <- 0
  for (k in seq_len(nrow(pat))) {
    lo <- cut[cbind(pat[k, ] + 1, 1:4)]
    hi <- cut[cbind(pat[k, ] + 2, 1:4)]
    set.seed(1)
    s <- s - 2 * log(as.numeric(pmvnorm(lower = lo, upper = hi, corr = R, algorithm = alg)))
  }
  s
}
cat("m2ll miwa4096", sprintf("%.12f", suppressWarnings(m2ll(Miwa(steps = 4096)))), "\n")
cat("m2ll genzbretz1e-10", sprintf("%.12f", m2ll(GenzBretz(maxpts = 1e7, abseps = 1e-10, releps = 0))), "\n")
