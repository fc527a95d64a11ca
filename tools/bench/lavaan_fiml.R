# The peer column of make bench's FIML row: lavaan's cfa(..., missing = "ml")
# on the same file as fiml10k.qv (one factor, ten indicators, free means),
# timed inside one R process (R start-up and loading lavaan not counted).
# Prints "lavaan-fiml median q1 q3 min" in milliseconds, then -2 logLik of
# the last fit as a check that both programs fit the same model.
#   Rscript lavaan_fiml.R fiml10k.dat [runs]
args <- commandArgs(trailingOnly = TRUE)
runs <- if (length(args) >= 2) as.integer(args[2]) else 5
suppressMessages(library(lavaan))
d <- read.table(args[1], na.strings = ".", col.names = paste0("y", 1:10))
model <- paste("F =~", paste0("y", 1:10, collapse = " + "))
once <- function() cfa(model, data = d, missing = "ml", std.lv = TRUE, meanstructure = TRUE)
fit <- once()
ms <- numeric(runs)
for (i in 1:runs) {
  t0 <- Sys.time()
  fit <- once()
  ms[i] <- as.numeric(difftime(Sys.time(), t0, units = "secs")) * 1000
}
q <- quantile(ms, c(0.5, 0.25, 0.75), names = FALSE)
cat(sprintf("lavaan-fiml %.4f %.4f %.4f %.4f\n", q[1], q[2], q[3], min(ms)))
cat(sprintf("lavaan-fiml-m2ll %.10g\n", -2 * as.numeric(logLik(fit))))
