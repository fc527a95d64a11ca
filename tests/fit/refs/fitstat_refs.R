# Reference values of the fit statistics: R's pchisq and lavaan's fit
# measures for the three-factor Holzinger-Swineford CFA (ML, Wishart
# likelihood), the model of covfit_refs.R.
# Run: Rscript fitstat_refs.R > fitstat_refs.txt
suppressMessages(library(lavaan))
f17 <- function(x) paste(formatC(x, digits = 17, format = "g"), collapse = ", ")
model <- ' visual =~ x1 + x2 + x3
           textual =~ x4 + x5 + x6
           speed =~ x7 + x8 + x9 '
fit <- cfa(model, data = HolzingerSwineford1939, likelihood = "wishart")
fm <- fitMeasures(fit, c("chisq", "df", "pvalue", "baseline.chisq", "baseline.df", "nfi", "tli", "cfi", "rni",
                         "pnfi", "ifi", "mfi", "npar", "ntotal"))
for (n in names(fm)) cat(n, "=", f17(fm[[n]]), "\n")
chisq <- fm[["chisq"]]
cat("pchisq(chisq, 24, lower.tail = FALSE) =", f17(pchisq(chisq, 24, lower.tail = FALSE)), "\n")
cat("sqrt((chisq - 24) / (301 * 24)) =", f17(sqrt((chisq - 24) / (301 * 24))), "\n")
cat("exp(-0.5 * (chisq - 24) / 301) =", f17(exp(-0.5 * (chisq - 24) / 301)), "\n")
# Saturated comparison: a tested model against Fs = 20, ds = 10.
cat("pchisq(85.0221147221351 - 20, 14, lower.tail = FALSE) =", f17(pchisq(85.0221147221351 - 20, 14, lower.tail = FALSE)), "\n")
cat("pchisq(3.5, 1, lower.tail = FALSE) =", f17(pchisq(3.5, 1, lower.tail = FALSE)), "\n")
cat("pchisq(1500000, 1200000, lower.tail = FALSE) =", f17(pchisq(1500000, 1200000, lower.tail = FALSE)), "\n")
cat("pchisq(12.5, 7, lower.tail = FALSE) =", f17(pchisq(12.5, 7, lower.tail = FALSE)), "\n")
