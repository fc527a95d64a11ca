# The record data of the guide's raw-data examples and their reference values
# (docs/guide.md, section 4; tests/docs/check_guide.sh holds Qv's report to
# the values the guide prints and these to the printed values).
#
# Run (from this folder): Rscript guide_raw_refs.R > guide_raw_refs.txt
# It writes the data files into ../../examples/ (fixed seeds: the same files
# each run).  Tools: R 4.2 with r-cran-lavaan and r-cran-mvtnorm.
suppressMessages({ library(lavaan); library(mvtnorm) })
f8 <- function(x) formatC(x, digits = 8, format = "g")
say <- function(name, x) cat(sprintf("%-30s %s\n", name, f8(x)))
ex <- file.path("..", "..", "examples")
put <- function(d, file, head = NULL) {
  lines <- apply(d, 1, function(r) paste(ifelse(is.na(r), ".", formatC(r, format = "f", digits = 3)), collapse = " "))
  writeLines(c(head, lines), file.path(ex, file))
}

# ---- fiml_1f: one factor, four measures, N = 300, values missing at random
set.seed(31)
n <- 300
f <- rnorm(n)
y <- sapply(1:4, function(j) c(1, 2, 3, 4)[j] + c(0.8, 0.7, 0.6, 0.5)[j] * f + rnorm(n, sd = sqrt(0.5)))
miss <- matrix(runif(n * 4) < 0.15, n, 4); miss[, 1] <- FALSE
y[miss] <- NA
y <- round(y, 3)
put(y, "fiml_1f.dat")
d <- as.data.frame(y); names(d) <- paste0("y", 1:4)
fit <- cfa("f =~ NA*y1 + y2 + y3 + y4
            f ~~ 1*f", data = d, missing = "ml", meanstructure = TRUE)
pe <- parameterEstimates(fit)
cat("== fiml_1f (lavaan cfa, missing = \"ml\", std.lv)\n")
say("cases with a missing value", sum(rowSums(is.na(y)) > 0))
say("missing values", sum(is.na(y))); say("values present", sum(!is.na(y)))
say("statistics: values + 10 + 4", sum(!is.na(y)) + 4 * 5 / 2 + 4)
say("-2 ln L", -2 * as.numeric(logLik(fit)))
say("-2 ln L saturated", -2 * as.numeric(fitMeasures(fit, "unrestricted.logl")))
say("chisq (difference)", fitMeasures(fit, "chisq"))
say("df (difference)", fitMeasures(fit, "df"))
say("p (difference)", fitMeasures(fit, "pvalue"))
say("df saturated: 1093 - 14", sum(!is.na(y)) + 4 * 5 / 2 + 4 - 14)
for (j in 1:4) say(sprintf("L %d 1", j), pe$est[pe$lhs == "f" & pe$op == "=~" & pe$rhs == paste0("y", j)])
for (j in 1:4) say(sprintf("M 1 %d", j), pe$est[pe$lhs == paste0("y", j) & pe$op == "~1"])
say("E 1 1 (residual variance)", pe$est[pe$lhs == "y1" & pe$op == "~~" & pe$rhs == "y1"])

# ---- defvar_reg: y = b0 + b1 x + e with x a definition variable, N = 200
set.seed(32)
n <- 200
x <- round(rnorm(n), 3)
yv <- round(1 + 0.5 * x + rnorm(n, sd = 0.8), 3)
put(cbind(yv, x), "defvar_reg.dat")
ols <- lm(yv ~ x)
s2 <- sum(residuals(ols)^2) / n
cat("== defvar_reg (closed form: least squares, variance RSS / N)\n")
say("b0", coef(ols)[[1]]); say("b1", coef(ols)[[2]]); say("residual variance", s2)
say("-2 ln L", n * (log(2 * pi * s2) + 1))
say("statistics: 200 x 2 + 3 + 2", n * 2 + 2 * 3 / 2 + 2)

# ---- ace_raw: twin pairs, ACE with a^2 = .5, c^2 = .2, e^2 = .3, mean 0
set.seed(37)
pairs <- function(n, ra) {
  a1 <- rnorm(n); a2 <- ra * a1 + sqrt(1 - ra^2) * rnorm(n); cc <- rnorm(n)
  cbind(sqrt(.5) * a1 + sqrt(.2) * cc + sqrt(.3) * rnorm(n),
        sqrt(.5) * a2 + sqrt(.2) * cc + sqrt(.3) * rnorm(n))
}
mz <- round(pairs(150, 1), 3); dz <- round(pairs(150, 0.5), 3)
put(mz, "ace_mz.dat", "*"); put(dz, "ace_dz.dat", "*")
tw <- rbind(data.frame(t1 = mz[, 1], t2 = mz[, 2], zyg = "mz"), data.frame(t1 = dz[, 1], t2 = dz[, 2], zyg = "dz"))
m <- "A1 =~ c(a,a)*t1\n A2 =~ c(a,a)*t2\n C1 =~ c(c,c)*t1\n C2 =~ c(c,c)*t2
      E1 =~ c(e,e)*t1\n E2 =~ c(e,e)*t2\n A1 ~~ c(1, 0.5)*A2\n C1 ~~ c(1, 1)*C2
      t1 ~~ 0*t1\n t2 ~~ 0*t2\n t1 ~ c(mu,mu)*1\n t2 ~ c(mu,mu)*1"
ace <- lavaan(m, data = tw, group = "zyg", group.label = c("mz", "dz"), std.lv = TRUE, orthogonal = TRUE,
              auto.var = TRUE, auto.fix.first = FALSE, meanstructure = TRUE, se = "none")
cf <- coef(ace)
cat("== ace_raw (lavaan, two groups, raw data ML)\n")
say("-2 ln L", -2 * as.numeric(logLik(ace)))
say("a", abs(cf[["a"]])); say("c", abs(cf[["c"]])); say("e", abs(cf[["e"]])); say("mean", cf[["mu"]])
say("statistics: 2 (150 x 2 - 3)", 2 * (150 * 2 - 2 * 3 / 2))

# ---- ordinal_2v: two ordinal variables, 3 categories each (0, 1, 2), N = 400
counts <- rbind(c(0, 0, 95), c(0, 1, 42), c(1, 0, 69), c(1, 1, 76), c(1, 2, 24), c(2, 0, 17), c(2, 1, 43), c(2, 2, 34))
od <- counts[rep(1:nrow(counts), counts[, 3]), 1:2]
writeLines(apply(od, 1, paste, collapse = " "), file.path(ex, "ordinal_2v.dat"))
tab <- table(factor(od[, 1], 0:2), factor(od[, 2], 0:2))
cut3 <- function(t) c(-Inf, t, Inf)
m2ll <- function(th) {
  r <- th[1]; t1 <- cut3(th[2:3]); t2 <- cut3(th[4:5])
  if (abs(r) >= 1 || t1[2] >= t1[3] || t2[2] >= t2[3]) return(1e10)
  R <- matrix(c(1, r, r, 1), 2); s <- 0
  for (i in 1:3) for (j in 1:3) if (tab[i, j] > 0)
    s <- s + tab[i, j] * log(pmvnorm(c(t1[i], t2[j]), c(t1[i + 1], t2[j + 1]), corr = R, algorithm = Miwa(steps = 128))[1])
  -2 * s
}
o <- optim(c(0.4, -0.4, 0.7, -0.1, 1), m2ll, method = "BFGS", control = list(reltol = 1e-14, maxit = 1000))
cat("== ordinal_2v (maximum of the bivariate normal likelihood, mvtnorm)\n")
say("-2 ln L", o$value)
say("r (R 2 1)", o$par[1]); say("T 1 1", o$par[2]); say("T 2 1", o$par[3]); say("T 1 2", o$par[4]); say("T 2 2", o$par[5])

# ---- ctable_3x3: the same counts as a contingency table; Qv's chi-squared is
# the likelihood-ratio statistic against the saturated table,
# -2 ln L - (-2 sum n ln(n / N)), on 8 - 5 = 3 df.
sat <- -2 * sum(ifelse(tab > 0, tab * log(tab / sum(tab)), 0))
cat("== ctable_3x3 (the ordinal_2v likelihood against the saturated table)\n")
say("-2 ln L saturated", sat); say("chisq (G2)", o$value - sat)
say("p", pchisq(o$value - sat, 3, lower.tail = FALSE))
