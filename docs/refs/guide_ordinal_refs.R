# The records of the guide's ordinal factor model and its reference values
# (docs/guide.md, section 4.7; tests/docs/check_guide.sh holds Qv's report to
# the values the guide prints and these to the printed values).
#
# Run (from this folder): Rscript guide_ordinal_refs.R > guide_ordinal_refs.txt
# It writes ../../examples/ordinal_1f.dat (fixed seed: the same file each
# run).  Tools: R 4.2 with r-cran-mvtnorm.
suppressMessages(library(mvtnorm))
f8 <- function(x) formatC(x, digits = if (abs(x) >= 1000) 11 else 8, format = "g")
say <- function(name, x) cat(sprintf("%-30s %s\n", name, f8(x)))
ex <- file.path("..", "..", "examples")

# ---- ordinal_1f: one factor, three items of three categories (0, 1, 2),
# N = 250: y*_j = l_j f + sqrt(1 - l_j^2) e_j, cut at the item's thresholds.
set.seed(47)
n <- 250
lam <- c(0.6, 0.7, 0.8); tau <- rbind(c(-0.8, -0.3, -0.5), c(0.4, 0.9, 0.6))
f <- rnorm(n)
ys <- sapply(1:3, function(j) lam[j] * f + sqrt(1 - lam[j]^2) * rnorm(n))
y <- sapply(1:3, function(j) findInterval(ys[, j], tau[, j]))
writeLines(apply(y, 1, paste, collapse = " "), file.path(ex, "ordinal_1f.dat"))

# The likelihood: each response pattern's probability is the box of its
# thresholds under the normal distribution with correlations l_i l_j (unit
# variances); -2 ln L sums -2 count ln P over the distinct patterns.
y <- as.matrix(read.table(file.path(ex, "ordinal_1f.dat")))
key <- apply(y, 1, paste, collapse = " ")
pat <- y[!duplicated(key), , drop = FALSE]
cnt <- as.vector(table(key)[apply(pat, 1, paste, collapse = " ")])
box <- function(t, k) list(lo = sapply(1:3, function(j) c(-Inf, t[, j])[pat[k, j] + 1]),
                           up = sapply(1:3, function(j) c(t[, j], Inf)[pat[k, j] + 1]))
m2ll <- function(th, alg = Miwa(steps = 128)) {
  l <- th[1:3]; t <- matrix(th[4:9], 2)
  if (any(abs(l) >= 1) || any(t[1, ] >= t[2, ])) return(1e10)
  R <- tcrossprod(l); diag(R) <- 1
  s <- 0
  for (k in seq_len(nrow(pat))) {
    b <- box(t, k)
    s <- s + cnt[k] * log(pmvnorm(b$lo, b$up, corr = R, algorithm = alg)[1])
  }
  -2 * s
}
o <- suppressWarnings(optim(c(0.6, 0.75, 0.84, -0.9, 0.25, -0.28, 0.75, -0.58, 0.45), m2ll, method = "BFGS",
                            control = list(reltol = 1e-15, maxit = 1000, ndeps = rep(1e-5, 9))))
# The same likelihood at the maximum by mvtnorm's other algorithm, as a check.
set.seed(1)
gb <- m2ll(o$par, GenzBretz(maxpts = 1e7, abseps = 1e-10, releps = 0))
cat(sprintf("== ordinal_1f (maximum of the ordinal likelihood, mvtnorm Miwa; optim convergence code %d)\n", o$convergence))
say("records, distinct patterns", n); say("", nrow(pat))
say("-2 ln L", o$value); say("-2 ln L (GenzBretz)", gb)
for (j in 1:3) say(sprintf("L %d 1 (loading item %d)", j, j), o$par[j])
t <- matrix(o$par[4:9], 2)
for (j in 1:3) for (k in 1:2) say(sprintf("T %d %d (threshold %d, item %d)", k, j, k, j), t[k, j])
