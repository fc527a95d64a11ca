# Reference of the ordinal benchmark (ord500.qv): the one-factor model of four
# ordinal items fitted to the 500 records that ord_data.awk writes, by
# maximum likelihood on box probabilities computed by mvtnorm.
#   Model: covariance L L' + I (L 4 x 1), thresholds T (2 x 4) on the raw
#   scale, standardised by sqrt(1 + l_j^2), as ord500.qv states it.
#   Box probabilities: mvtnorm's Miwa algorithm (deterministic, 4096 grid
#   steps, accurate to about 1e-10 here) while maximising; the final -2 ln L
#   is checked with the Genz-Bretz rule at abseps 1e-9.
#   Maximisation: nlminb (Miwa at 1024 steps) from the generating values,
#   then nlminb again at 4096 steps; each stage prints its result.
# R 4.2, mvtnorm (r-cran-mvtnorm).  Run:
#   awk -v n=500 -f ord_data.awk > ord500.dat; Rscript ord500_ref.R ord500.dat [start]
suppressMessages(library(mvtnorm))
options(digits = 15)
args <- commandArgs(trailingOnly = TRUE)
d <- as.matrix(read.table(if (length(args)) args[1] else "ord500.dat"))
key <- apply(d, 1, paste, collapse = " ")
tab <- table(key)
pat <- do.call(rbind, lapply(strsplit(names(tab), " "), as.numeric))
cnt <- as.vector(tab)
cat("records", nrow(d), "patterns", nrow(pat), "\n")

m2ll <- function(x, alg) {
  l <- x[1:4]
  S <- l %*% t(l) + diag(4)
  R <- cov2cor(S)
  thr <- sweep(matrix(x[5:12], 2, 4), 2, sqrt(1 + l^2), "/")
  if (any(thr[1, ] >= thr[2, ])) return(1e10)
  cut <- rbind(-Inf, thr, Inf)
  s <- 0
  for (k in seq_along(cnt)) {
    lo <- cut[cbind(pat[k, ] + 1, 1:4)]
    hi <- cut[cbind(pat[k, ] + 2, 1:4)]
    set.seed(1)
    p <- as.numeric(pmvnorm(lower = lo, upper = hi, corr = R, algorithm = alg))
    s <- s - 2 * cnt[k] * log(p)
  }
  s
}
# Start: the generating values on the raw scale, or the twelve values (L,
# then T by columns) given as the second argument, comma-separated.
start <- c(0.5, 0.6, 0.7, 0.8, rep(c(-0.5, 0.7), 4))
start[1:4] <- start[1:4] / sqrt(1 - start[1:4]^2)
start[5:12] <- start[5:12] * rep(sqrt(1 + start[1:4]^2), each = 2)
if (length(args) > 1) start <- as.numeric(strsplit(args[2], ",")[[1]])
fast <- function(x) m2ll(x, Miwa(steps = 1024))
fine <- function(x) m2ll(x, Miwa(steps = 4096))
show <- function(stage, par, value) {
  cat(stage, "estimates L", sprintf("%.10f", par[1:4]), "\n")
  cat(stage, "estimates T", sprintf("%.10f", par[5:12]), "\n")
  cat(stage, "m2ll", sprintf("%.10f", value), "\n")
}
a <- nlminb(start, fast, control = list(rel.tol = 1e-12, x.tol = 1e-10, eval.max = 3000, iter.max = 1000))
show("stage1", a$par, a$objective)
b <- nlminb(a$par, fine, control = list(rel.tol = 1e-13, x.tol = 1e-10, eval.max = 3000, iter.max = 1000))
show("stage2", b$par, b$objective)
cat("estimates L", sprintf("%.10f", b$par[1:4]), "\n")
cat("estimates T", sprintf("%.10f", b$par[5:12]), "\n")
cat("m2ll miwa4096", sprintf("%.10f", b$objective), "\n")
cat("m2ll genzbretz1e-9", sprintf("%.10f", m2ll(b$par, GenzBretz(maxpts = 5e7, abseps = 1e-9, releps = 0))), "\n")
