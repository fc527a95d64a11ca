# References of tests/fit/carried_models_job_test.cpp: the indices against a
# null model and the comparison with a saturated model computed by an
# earlier job of the same script.
#
# Run (from this folder): Rscript carried_models_refs.R > carried_models_refs.txt
# Tools: R 4.2 with Debian's r-cran-lavaan (0.6.14).
suppressPackageStartupMessages(library(lavaan))
ex <- file.path("..", "..", "..", "examples")

# 1. The three-factor CFA of examples/cfa_hs9.qv on the covariance matrix of
# examples/hs9.cov (N = 301), by ML with the (N - 1) Wishart form, which is
# Qv's ML function. lavaan's baseline is the independence model (free
# variances only), the null-model job of the test.
v <- scan(file.path(ex, "hs9.cov"), skip = 1, quiet = TRUE)  # after its "*" line
S <- matrix(0, 9, 9)
S[upper.tri(S, diag = TRUE)] <- v  # row-wise lower triangle = column-wise upper
S <- S + t(S) - diag(diag(S))
nm <- paste0("x", 1:9)
dimnames(S) <- list(nm, nm)
m <- "visual =~ x1 + x2 + x3
      textual =~ x4 + x5 + x6
      speed =~ x7 + x8 + x9"
fit <- cfa(m, sample.cov = S, sample.nobs = 301, likelihood = "wishart", std.lv = TRUE)
f <- fitMeasures(fit, c("chisq", "df", "baseline.chisq", "baseline.df", "nfi", "tli", "cfi", "rni"))
cat(sprintf("cfa_hs9 %s %.10f\n", names(f), f), sep = "")

# 2. The one-factor FIML fit of examples/fiml_1f.qv (data fiml_1f.dat, "."
# missing) against the saturated model (free means and covariances): the
# likelihood-ratio chi-squared and its df.
d <- read.table(file.path(ex, "fiml_1f.dat"), na.strings = ".",
                col.names = paste0("y", 1:4))
fit1 <- cfa("f =~ y1 + y2 + y3 + y4", data = d, missing = "ml", std.lv = TRUE,
            meanstructure = TRUE)
g <- fitMeasures(fit1, c("chisq", "df", "logl", "unrestricted.logl"))
cat(sprintf("fiml_1f %s %.10f\n", names(g), g), sep = "")
cat(sprintf("fiml_1f -2logl %.10f\n", -2 * g[["logl"]]))
cat(sprintf("fiml_1f -2unrestricted.logl %.10f\n", -2 * g[["unrestricted.logl"]]))
