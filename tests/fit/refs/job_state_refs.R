# Reference value of tests/fit/options_state_job_test.cpp: the two-factor model of
# the first six Holzinger-Swineford tests (x1..x3 on one factor, x4..x6 on
# the other, factor variances 1, their correlation free), fitted by maximum
# likelihood with the (N - 1) Wishart form, which is Qv's ML function.
#
# Run (from this folder): Rscript job_state_refs.R > job_state_refs.txt
# Tools: R 4.2 with Debian's r-cran-lavaan (0.6.14).
suppressPackageStartupMessages(library(lavaan))
d <- HolzingerSwineford1939[, paste0("x", 1:6)]
m <- "f1 =~ x1 + x2 + x3
      f2 =~ x4 + x5 + x6"
fit <- cfa(m, data = d, likelihood = "wishart", std.lv = TRUE)
cat(sprintf("two factors, HS x1..x6, ML: chi-squared %.10f df %d\n",
            fitMeasures(fit, "chisq"), as.integer(fitMeasures(fit, "df"))))
# The covariance matrix of the scripts (divisor N - 1), printed as they hold it.
S <- cov(d)
for (i in 1:6) cat(sprintf("%.17g", S[i, 1:i]), "\n")
