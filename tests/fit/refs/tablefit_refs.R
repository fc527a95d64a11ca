# References for the contingency-table fit function (fit code 11): a two-way
# table of counts under a bivariate normal pair with unit variances,
# correlation rho and thresholds, fitted by maximum likelihood.
#
# Cell probabilities are differences of the cumulative grid, whose inner
# points come from mvtnorm's pmvnorm with the TVPACK algorithm (accurate to
# about 1e-14 in two dimensions) and whose borders are pnorm; the likelihood
#   -2 ln L = -2 sum f ln(p / total),   total = 1 - sum of p over missing cells,
# is minimised by nlminb from two starts and polished by optim (BFGS) with
# tight tolerances.  Sat = -2 sum f ln(f / N) over the observed cells with
# f > 0, N the sum of the positive counts; the fit value is -2 ln L - Sat.
#
# Run: Rscript tablefit_refs.R > tablefit_refs.txt   (R 4.2, mvtnorm 1.1)
suppressMessages(library(mvtnorm))

cellp <- function(th_r, th_c, rho) {
  a <- c(-Inf, th_r, Inf); b <- c(-Inf, th_c, Inf)
  S <- matrix(c(1, rho, rho, 1), 2)
  R <- length(a) - 1; Q <- length(b) - 1
  # The cumulative grid C(i, j) = P(X < a_i, Y < b_j), then differences.
  C <- matrix(0, R + 1, Q + 1)
  for (i in 2:(R + 1)) for (j in 2:(Q + 1)) {
    if (is.infinite(a[i]) && is.infinite(b[j])) C[i, j] <- 1
    else if (is.infinite(a[i])) C[i, j] <- pnorm(b[j])
    else if (is.infinite(b[j])) C[i, j] <- pnorm(a[i])
    else C[i, j] <- pmvnorm(upper = c(a[i], b[j]), sigma = S, algorithm = TVPACK(abseps = 1e-15))
  }
  p <- matrix(0, R, Q)
  for (u in 1:R) for (v in 1:Q)
    p[u, v] <- C[u + 1, v + 1] - C[u, v + 1] - C[u + 1, v] + C[u, v]
  p
}

m2lnl <- function(par, tab, nr, nc) {
  th_r <- par[1:(nr - 1)]; th_c <- par[nr:(nr + nc - 2)]; rho <- par[nr + nc - 1]
  if (abs(rho) >= 1 || is.unsorted(th_r, strictly = TRUE) || is.unsorted(th_c, strictly = TRUE)) return(1e10)
  p <- cellp(th_r, th_c, rho)
  total <- 1 - sum(p[tab < 0])
  obs <- tab > 0
  if (any(p[obs] <= 0)) return(1e10)
  -2 * sum(tab[obs] * log(p[obs] / total))
}

sat <- function(tab) {
  N <- sum(tab[tab > 0]); f <- tab[tab > 0]
  -2 * sum(f * log(f / N))
}

fit <- function(name, tab, start) {
  nr <- nrow(tab); nc <- ncol(tab)
  best <- NULL
  for (s in list(start, start * 0.8)) {
    o <- nlminb(s, m2lnl, tab = tab, nr = nr, nc = nc,
                control = list(rel.tol = 1e-15, x.tol = 1e-12, eval.max = 5000, iter.max = 2000))
    if (is.null(best) || o$objective < best$objective) best <- o
  }
  o2 <- optim(best$par, m2lnl, tab = tab, nr = nr, nc = nc, method = "BFGS",
              control = list(reltol = 1e-16, maxit = 2000, ndeps = rep(1e-6, length(start))))
  par <- if (o2$value < best$objective) o2$par else best$par
  val <- m2lnl(par, tab, nr, nc)
  s <- sat(tab)
  cat(sprintf("== %s\n", name))
  cat("estimates (row thresholds, column thresholds, rho):\n")
  cat(sprintf("%.17g", par), sep = ", "); cat("\n")
  cat(sprintf("-2 ln L = %.17g\nSat = %.17g\nF - Sat = %.17g\n", val, s, val - s))
  p <- cellp(par[1:(nr - 1)], par[nr:(nr + nc - 2)], par[nr + nc - 1])
  total <- 1 - sum(p[tab < 0])
  cat("expected proportions p / total, row by row:\n")
  cat(sprintf("%.17g", t(p / total)), sep = ", "); cat("\n")
  invisible(par)
}

# A 3 x 3 table, N = 250.
tab33 <- matrix(c(40, 25, 10,
                  20, 45, 30,
                   8, 22, 50), 3, byrow = TRUE)
fit("3x3", tab33, c(-0.5, 0.5, -0.5, 0.5, 0.3))

# A 2 x 4 table whose cell (2, 1) is missing (count -1), N = 232.
tab24 <- matrix(c(50, 30, 21, 12,
                  -1, 35, 45, 39), 2, byrow = TRUE)
fit("2x4 missing cell", tab24, c(0.0, -0.8, 0.0, 0.8, 0.3))

# The function at fixed values (no fit): the 3 x 3 table at row thresholds
# -0.4, 0.6, column thresholds -0.7, 0.2 and rho 0.45.
par <- c(-0.4, 0.6, -0.7, 0.2, 0.45)
v <- m2lnl(par, tab33, 3, 3)
cat("== 3x3 at fixed values\n")
cat(sprintf("-2 ln L = %.17g\nF - Sat = %.17g\n", v, v - sat(tab33)))
