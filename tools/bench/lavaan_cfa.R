# The peer column of make bench: lavaan's cfa() on the same nine-variable
# covariance matrix as cfa_hs9.qv, timed inside one R process (R start-up and
# loading lavaan are not counted).  Prints "lavaan median q1 q3 min" in
# milliseconds, then the chi-squared of the last fit as a check that both
# programs fit the same model to the same numbers.
#   Rscript lavaan_cfa.R cfa_hs9.qv [runs]
args <- commandArgs(trailingOnly = TRUE)
runs <- if (length(args) >= 2) as.integer(args[2]) else 50
suppressMessages(library(lavaan))

# The lower triangle by rows: the lines between CMATRIX and LABELS.
lines <- readLines(args[1])
first <- grep("^ *CMatrix", lines, ignore.case = TRUE) + 1
last <- grep("^ *Labels", lines, ignore.case = TRUE) - 1
v <- scan(text = lines[first:last], quiet = TRUE)
p <- 9
S <- matrix(0, p, p)
S[upper.tri(S, diag = TRUE)] <- v   # column-major upper = row-major lower
S <- S + t(S) - diag(diag(S))
dimnames(S) <- list(paste0("x", 1:p), paste0("x", 1:p))

model <- ' visual =~ x1 + x2 + x3
           textual =~ x4 + x5 + x6
           speed =~ x7 + x8 + x9 '
once <- function() cfa(model, sample.cov = S, sample.nobs = 301, likelihood = "wishart")
for (i in 1:5) fit <- once()
ms <- numeric(runs)
for (i in 1:runs) {
  t0 <- Sys.time()
  fit <- once()
  ms[i] <- as.numeric(difftime(Sys.time(), t0, units = "secs")) * 1000
}
q <- quantile(ms, c(0.5, 0.25, 0.75), names = FALSE)
cat(sprintf("lavaan %.4f %.4f %.4f %.4f\n", q[1], q[2], q[3], min(ms)))
cat(sprintf("lavaan-chisq %.10g\n", fitMeasures(fit, "chisq")))
