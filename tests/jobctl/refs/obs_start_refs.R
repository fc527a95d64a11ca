# Reference figures of obs_start_test.cpp: the means and the standard
# deviations (divisor n) of the values present of each variable, and the
# maximum-likelihood estimates of the saturated model of the raw records
# (equal to the sample means and the divisor-n standard deviations and
# correlations), with its -2 ln L.  Run: Rscript obs_start_refs.R
x <- matrix(c(165.3, 54.8, 27.3,  170.2, NA, 29.9,  157.9, 44.8, 28.2,
              159.1, 58.1, NA,    179.4, 57.3, 30.3, NA, 62.1, 30.0,
              180.6, 67.0, 29.2,  175.0, 75.9, 26.9, 169.6, 58.9, 29.1,
              162.0, 55.2, 26.1), ncol = 3, byrow = TRUE)
sd_n <- function(v) { v <- v[!is.na(v)]; sqrt(mean((v - mean(v))^2)) }
figures <- function(label, d) {
  cat(label, "\n")
  cat(" means", sprintf("%.15g", colMeans(d, na.rm = TRUE)), "\n")
  cat(" sds  ", sprintf("%.15g", apply(d, 2, sd_n)), "\n")
}
# Rectangular records with three values missing.
figures("rectangular", x)
# Definition variable 2: records without it are dropped, variables 1 and 3 stay.
figures("definition", x[!is.na(x[, 2]), c(1, 3)])
# Raw records: the same cases with the missing values filled in.
raw <- x
raw[2, 2] <- 61.6; raw[4, 3] <- 31.4; raw[6, 1] <- 162.5
figures("raw", raw)
n <- nrow(raw); p <- ncol(raw)
S <- crossprod(sweep(raw, 2, colMeans(raw))) / n
cat("raw saturated -2lnL", sprintf("%.15g", n * (p * log(2 * pi) + log(det(S)) + p)), "\n")
cat(" correlations", sprintf("%.15g", cov2cor(S)[lower.tri(S)]), "\n")
# Full-information ML of the saturated model of the rectangular records
# (three values missing), by lavaan: means, standard deviations,
# correlations and -2 ln L.
suppressMessages(library(lavaan))
d <- data.frame(y1 = x[, 1], y2 = x[, 2], y3 = x[, 3])
f <- sem("y1 ~~ y2 + y3\n y2 ~~ y3", data = d, missing = "ml", meanstructure = TRUE)
imp <- lavInspect(f, "implied")
cat("rectangular fiml\n")
cat(" means", sprintf("%.15g", imp$mean), "\n")
cat(" sds  ", sprintf("%.15g", sqrt(diag(imp$cov))), "\n")
cat(" correlations", sprintf("%.15g", cov2cor(imp$cov)[lower.tri(imp$cov)]), "\n")
cat(" -2lnL", sprintf("%.15g", -2 * as.numeric(logLik(f))), "\n")
