# Reference values of the intervals on the fit statistics and of the power
# table: R's pchisq and qchisq with a non-centrality, roots by uniroot.
# Run: Rscript fitci_refs.R > fitci_refs.txt
f17 <- function(x) formatC(x, digits = 17, format = "g")
root <- function(g, hi) uniroot(g, c(0, hi), tol = 1e-13, maxiter = 10000)$root
# Non-centrality bounds: P(chi2(df, ncp) <= x) = 0.5 + p/200 (lower) and
# 0.5 - p/200 (upper); a bound is 0 when P at ncp 0 is already below its target.
bound <- function(x, df, target) {
  if (pchisq(x, df) <= target) return(0)
  hi <- max(x, 1)
  while (pchisq(x, df, ncp = hi) > target) hi <- 2 * hi
  root(function(l) pchisq(x, df, ncp = l) - target, hi)
}
cat("# x, df, p, lower, upper\n")
cases <- list(c(85.022114722134575, 24, 90), c(85.022114722134575, 24, 95), c(30, 12, 90), c(30, 12, 95),
              c(25, 20, 90), c(10, 20, 90), c(5000, 10, 90), c(3.5, 1, 95))
for (cs in cases) {
  x <- cs[1]; df <- cs[2]; p <- cs[3]
  cat("{", f17(x), ",", df, ",", p, ",", f17(bound(x, df, 0.5 + p / 200)), ",",
      f17(bound(x, df, 0.5 - p / 200)), "},\n")
}
# Power of the test at level alpha: 1 - pchisq(qchisq(1 - alpha, df), df, ncp = F).
cat("# alpha, df, F, critical value, power\n")
pcases <- list(c(0.05, 2, 10), c(0.05, 24, 85.022114722134575), c(0.01, 1, 3), c(0.05, 5, 0.7))
for (cs in pcases) {
  a <- cs[1]; df <- cs[2]; F <- cs[3]; crit <- qchisq(1 - a, df)
  cat("{", a, ",", df, ",", f17(F), ",", f17(crit), ",", f17(1 - pchisq(crit, df, ncp = F)), "},\n")
}
# Sample sizes: the ncp whose power is the level, times Npow / F.
cat("# alpha, df, F, Npow, level, n\n")
levels <- c(0.25, 0.5, 0.75, 0.800000011920929, 0.8999999761581421, 0.949999988079071, 0.9900000095367432)
ncases <- list(c(0.05, 2, 10, 300), c(0.05, 24, 85.022114722134575, 301), c(0.01, 1, 3, 1000), c(0.05, 5, 0.7, 800),
               c(0.05, 5, 0.001, 800))
for (cs in ncases) {
  a <- cs[1]; df <- cs[2]; F <- cs[3]; N <- cs[4]; crit <- qchisq(1 - a, df)
  for (lv in levels) {
    hi <- 10
    while (1 - pchisq(crit, df, ncp = hi) < lv) hi <- 2 * hi
    l <- root(function(l) lv - (1 - pchisq(crit, df, ncp = l)), hi)
    cat("{", a, ",", df, ",", f17(F), ",", N, ",", f17(lv), ",", f17(l * N / F), "},\n")
  }
}
cat("pchisq(30, 12) =", f17(pchisq(30, 12)), "\n")
