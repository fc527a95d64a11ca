# References for the likelihood-based interval tests (likcis_job_test.cpp):
# profile-likelihood roots computed independently with lavaan.  For an
# element b, the profile chi-squared P(b) is lavaan's ML (wishart) chi-squared
# with b fixed and every other parameter re-estimated; each limit solves
# P(b) - P(b_hat) = c by uniroot, c = qchisq(level, 1).
# Run: Rscript likcis_refs.R > likcis_refs.txt   (R 4.2, lavaan 0.6.x)
suppressMessages(library(lavaan))
vars <- paste0("x", 1:9)
HS <- HolzingerSwineford1939[, vars]
S <- cov(HS)                       # divisor N - 1
N <- nrow(HS)
ctl <- list(rel.tol = 1e-10)
fit_chisq <- function(syntax, cov, n) {
  f <- cfa(syntax, sample.cov = cov, sample.nobs = n, std.lv = TRUE, likelihood = "wishart",
           sample.cov.rescale = FALSE, control = ctl)
  unname(fitMeasures(f, "chisq"))
}
cfa_syntax <- function(fix = NULL, at = 0) {
  fac <- list(f1 = 1:3, f2 = 4:6, f3 = 7:9)
  lines <- sapply(names(fac), function(fn) {
    terms <- sapply(fac[[fn]], function(i) {
      v <- paste0("x", i)
      if (!is.null(fix) && fix == v) paste0(sprintf("%.15g", at), "*", v) else v
    })
    paste(fn, "=~", paste(terms, collapse = " + "))
  })
  paste(lines, collapse = "\n")
}
full <- cfa(cfa_syntax(), sample.cov = S, sample.nobs = N, std.lv = TRUE, likelihood = "wishart",
            sample.cov.rescale = FALSE, control = ctl)
chi0 <- unname(fitMeasures(full, "chisq"))
pe <- parameterEstimates(full)
cat(sprintf("# three-factor CFA, HS, N = %d, chisq = %.10f\n", N, chi0))
for (level in c(0.95, 0.90)) {
  crit <- qchisq(level, 1)
  for (i in 1:9) {
    v <- paste0("x", i)
    est <- pe$est[pe$op == "=~" & pe$rhs == v]
    se <- pe$se[pe$op == "=~" & pe$rhs == v]
    g <- function(b) fit_chisq(cfa_syntax(v, b), S, N) - chi0 - crit
    lo <- uniroot(g, c(est - 6 * se, est), tol = 1e-12)$root
    hi <- uniroot(g, c(est, est + 6 * se), tol = 1e-12)$root
    cat(sprintf("loading %s level %.2f estimate %.10f lower %.10f upper %.10f\n", v, level, est, lo, hi))
  }
}
# A covariance of a saturated two-variable model (x1, x2 of the same data):
# the variances re-estimated at each fixed covariance.
S2 <- S[1:2, 1:2]
chi2 <- function(c) {
  fit_chisq(sprintf("x1 ~~ %.15g*x2\nx1 ~~ x1\nx2 ~~ x2", c), S2, N)
}
for (level in c(0.95, 0.90)) {
  crit <- qchisq(level, 1)
  g <- function(c) chi2(c) - crit
  lo <- uniroot(g, c(S2[1, 2] - 0.5, S2[1, 2]), tol = 1e-12)$root
  hi <- uniroot(g, c(S2[1, 2], S2[1, 2] + 0.5), tol = 1e-12)$root
  cat(sprintf("covariance x1 x2 level %.2f estimate %.10f lower %.10f upper %.10f\n", level, S2[1, 2], lo, hi))
}
