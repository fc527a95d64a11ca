# Reference values of the numbers that docs/guide.md prints for its examples
# (tests/docs/check_guide.sh holds Qv's report to the printed values, and
# each printed value to these references).
#
# Run (from this folder): Rscript guide_refs.R > guide_refs.txt
# It also writes three covariance files into ../../examples/: the two schools
# of lavaan's HolzingerSwineford1939 (hs9_pasteur.cov, hs9_grant.cov) and
# hs9.cov with x1-x3 rescaled (hs9_x10.cov); the same files each run.
# Tools: R 4.2 with Debian's r-cran-lavaan (0.6.x); likelihood = "wishart",
# so that lavaan's chi-squared is (N - 1) F_ML, Qv's convention.
suppressMessages(library(lavaan))
f8 <- function(x) formatC(x, digits = 8, format = "g")
say <- function(name, x) cat(sprintf("%-28s %s\n", name, f8(x)))
ex <- file.path("..", "..", "examples")

# ---- examples/cfa_hs9.qv: three-factor CFA, covariance matrix from hs9.cov
v <- scan(file.path(ex, "hs9.cov"), skip = 1, quiet = TRUE)
S <- matrix(0, 9, 9); k <- 1
for (i in 1:9) for (j in 1:i) { S[i, j] <- v[k]; S[j, i] <- v[k]; k <- k + 1 }
dimnames(S) <- list(paste0("x", 1:9), paste0("x", 1:9))
cfa <- cfa("vis =~ x1 + x2 + x3
            tex =~ x4 + x5 + x6
            spd =~ x7 + x8 + x9", sample.cov = S, sample.nobs = 301,
           std.lv = TRUE, likelihood = "wishart")
fm <- fitMeasures(cfa, c("chisq", "df", "pvalue", "rmsea"))
pe <- parameterEstimates(cfa)
est <- function(l, o, r) pe$est[pe$lhs == l & pe$op == o & pe$rhs == r]
cat("== cfa_hs9 (lavaan cfa, std.lv, wishart)\n")
say("chisq", fm["chisq"]); say("df", fm["df"]); say("pvalue", fm["pvalue"])
say("AIC as Qv (chisq - 2 df)", fm["chisq"] - 2 * fm["df"])
say("rmsea (lavaan, N - 1)", fm["rmsea"])
say("RMSEA as Qv (divisor N)", sqrt(max(fm["chisq"] - fm["df"], 0) / (301 * fm["df"])))
say("L 1 1 (x1 on vis)", est("vis", "=~", "x1"))
say("L 5 2 (x5 on tex)", est("tex", "=~", "x5"))
say("L 9 3 (x9 on spd)", est("spd", "=~", "x9"))
say("P 2 1 (vis-tex)", est("vis", "~~", "tex"))
say("P 3 2 (tex-spd)", est("tex", "~~", "spd"))
say("E 2 2 (x2 residual)", est("x2", "~~", "x2"))

# ---- examples/ace_twins.qv: univariate ACE from MZ and DZ covariances
mz <- matrix(c(1.10, 0.68, 0.68, 1.05), 2, dimnames = list(c("t1", "t2"), c("t1", "t2")))
dz <- matrix(c(1.02, 0.40, 0.40, 1.12), 2, dimnames = list(c("t1", "t2"), c("t1", "t2")))
nobs <- list(120, 110)
ace_model <- function(a = "a", c = "c", e = "e") paste0("
  A1 =~ c(", a, ",", a, ")*t1\n  A2 =~ c(", a, ",", a, ")*t2
  C1 =~ c(", c, ",", c, ")*t1\n  C2 =~ c(", c, ",", c, ")*t2
  E1 =~ c(", e, ",", e, ")*t1\n  E2 =~ c(", e, ",", e, ")*t2
  A1 ~~ c(1, 0.5)*A2\n  C1 ~~ c(1, 1)*C2
  t1 ~~ 0*t1\n  t2 ~~ 0*t2\n")
twin_fit <- function(model, covs = list(mz, dz))
  lavaan(model, sample.cov = covs, sample.nobs = nobs, likelihood = "wishart", se = "none",
         auto.var = TRUE, std.lv = TRUE, orthogonal = TRUE, auto.fix.first = FALSE)
ace <- twin_fit(ace_model())
cf <- coef(ace)
chi_ace <- fitMeasures(ace, "chisq")
cat("== ace_twins job 1: ACE (lavaan, two groups, wishart)\n")
say("chisq", chi_ace); say("df", fitMeasures(ace, "df")); say("pvalue", fitMeasures(ace, "pvalue"))
say("AIC as Qv (chisq - 2 df)", chi_ace - 2 * fitMeasures(ace, "df"))
say("a (X 1 1)", abs(cf[["a"]])); say("c (Y 1 1)", abs(cf[["c"]])); say("e (Z 1 1)", abs(cf[["e"]]))
say("A = a^2", cf[["a"]]^2); say("C = c^2", cf[["c"]]^2); say("E = e^2", cf[["e"]]^2)

# Likelihood-based 95% intervals on A and E: the values of the variance at
# which the minimum of chi-squared over the other parameters has risen by
# Qv's critical value (3.8414562, chi-squared 1 df at 95% in single precision).
crit <- 3.8414562
prof <- function(which, t) {
  args <- list(a = "a", c = "c", e = "e"); args[[which]] <- format(sqrt(t), digits = 17)
  fitMeasures(twin_fit(do.call(ace_model, args)), "chisq") - chi_ace - crit
}
limits <- function(which, est) c(
  uniroot(function(t) prof(which, t), c(1e-6, est), tol = 1e-10)$root,
  uniroot(function(t) prof(which, t), c(est, 4 * est), tol = 1e-10)$root)
say("A lower", limits("a", cf[["a"]]^2)[1]); say("A upper", limits("a", cf[["a"]]^2)[2])
say("E lower", limits("e", cf[["e"]]^2)[1]); say("E upper", limits("e", cf[["e"]]^2)[2])

# ---- job 2 of ace_twins.qv: the AE model (c fixed at 0)
ae <- twin_fit(ace_model(c = "0"))
cat("== ace_twins job 2: AE (lavaan, c fixed at 0)\n")
say("chisq", fitMeasures(ae, "chisq")); say("df", fitMeasures(ae, "df"))
say("A = a^2", coef(ae)[["a"]]^2); say("E = e^2", coef(ae)[["e"]]^2)

# ---- examples/power_ace.qv: AE fitted to the ACE expected matrices, as
# written to the files (six significant digits), then the power of the 1-df
# test: 1 - pchisq(qchisq(.95, 1), 1, ncp = chisq), and the total N for
# power .80: the ncp giving power .80, times 230 / chisq.
imp <- lapply(fitted(ace), function(g) signif(g$cov, 6))
ae2 <- twin_fit(ace_model(c = "0"), covs = list(imp[[1]], imp[[2]]))
chi_p <- fitMeasures(ae2, "chisq")
crit1 <- qchisq(0.95, 1)
pw <- 1 - pchisq(crit1, 1, ncp = chi_p)
n80 <- uniroot(function(l) 1 - pchisq(crit1, 1, ncp = l) - 0.800000011920929, c(0.01, 100), tol = 1e-12)$root
cat("== power_ace job 2: AE on the ACE expectations\n")
say("chisq", chi_p); say("X 1 1 (a)", abs(coef(ae2)[["a"]])); say("Z 1 1 (e)", abs(coef(ae2)[["e"]]))
say("power at .05, 1 df", pw); say("total N for power .80", n80 * 230 / chi_p)

# ---- examples/constraint_1f.qv: one factor, loadings with l1 l2 = l3^2
S4 <- matrix(c(2.25, 0.95, 0.80, 0.70,
               0.95, 1.96, 0.62, 0.66,
               0.80, 0.62, 1.44, 0.52,
               0.70, 0.66, 0.52, 1.69), 4, dimnames = list(paste0("v", 1:4), paste0("v", 1:4)))
con <- sem("f =~ NA*v1 + l1*v1 + l2*v2 + l3*v3 + l4*v4
            f ~~ 1*f
            l1 * l2 == l3^2", sample.cov = S4, sample.nobs = 200, likelihood = "wishart", se = "none")
pc <- parameterEstimates(con)
cat("== constraint_1f (lavaan sem, nonlinear equality constraint, wishart)\n")
say("chisq", fitMeasures(con, "chisq")); say("df", fitMeasures(con, "df"))
for (i in 1:4) say(sprintf("F %d 1 (loading %d)", i, i), coef(con)[[paste0("l", i)]])
say("E 1 1 (sd of v1 residual)", sqrt(pc$est[pc$lhs == "v1" & pc$op == "~~" & pc$rhs == "v1"]))

# ---- examples/cfa_2schools.qv: the three-factor CFA in the two schools of
# lavaan's HolzingerSwineford1939, loadings equal across the schools.  This
# section writes the two covariance files (divisor N - 1, six decimals) and
# reads them back, so that the references use the numbers Qv reads.
hs <- HolzingerSwineford1939
x9 <- paste0("x", 1:9)
schools <- c(Pasteur = "hs9_pasteur.cov", "Grant-White" = "hs9_grant.cov")
for (s in names(schools)) {
  C <- cov(hs[hs$school == s, x9])
  writeLines(c("*", sapply(1:9, function(i) paste0(paste(sprintf("%.6f", C[i, 1:i]), collapse = " "), " "))),
             file.path(ex, schools[[s]]))
}
read_low <- function(file) {
  v <- scan(file.path(ex, file), skip = 1, quiet = TRUE)
  S <- matrix(0, 9, 9); k <- 1
  for (i in 1:9) for (j in 1:i) { S[i, j] <- v[k]; S[j, i] <- v[k]; k <- k + 1 }
  dimnames(S) <- list(x9, x9); S
}
S2 <- lapply(schools, read_low)
n2 <- sapply(names(schools), function(s) sum(hs$school == s))
mg <- cfa("vis =~ x1 + x2 + x3
           tex =~ x4 + x5 + x6
           spd =~ x7 + x8 + x9", sample.cov = S2, sample.nobs = as.list(n2),
          group.equal = "loadings", likelihood = "wishart")
fm2 <- fitMeasures(mg, c("chisq", "df", "npar", "rmsea"))
# Each school's share of chi-squared: (N_g - 1) F_ML at lavaan's estimates.
Fg <- sapply(1:2, function(g) {
  Sig <- fitted(mg)[[g]]$cov[x9, x9]
  (n2[[g]] - 1) * (log(det(Sig)) - log(det(S2[[g]])) + sum(diag(solve(Sig, S2[[g]]))) - 9)
})
# Qv's RMSEA of several groups: each group's df share, c_g - npar c_g / S
# (c_g its 45 statistics, S = 90 in all), its own chi-squared and N; the
# mean of the groups' RMSEAs.
dfg <- 45 - fm2[["npar"]] * 45 / 90
rm_g <- sqrt(pmax(Fg - dfg, 0) / (n2 * dfg))
pe2 <- parameterEstimates(mg)
cat("== cfa_2schools (lavaan cfa, two groups, group.equal = loadings, wishart)\n")
say("N Pasteur, Grant-White", n2[[1]]); say("", n2[[2]])
say("chisq", fm2[["chisq"]]); say("df", fm2[["df"]]); say("npar", fm2[["npar"]])
say("chisq share Pasteur", Fg[1]); say("chisq share Grant-White", Fg[2])
say("group df share", dfg)
say("RMSEA Pasteur", rm_g[1]); say("RMSEA Grant-White", rm_g[2])
say("RMSEA as Qv (mean)", mean(rm_g))
say("sqrt((chisq-df)/(N df))", sqrt((fm2[["chisq"]] - fm2[["df"]]) / (sum(n2) * fm2[["df"]])))
say("rmsea (lavaan)", fm2[["rmsea"]])
say("L 2 1 (x2 on vis)", pe2$est[pe2$lhs == "vis" & pe2$op == "=~" & pe2$rhs == "x2" & pe2$group == 1])
say("L 9 3 (x9 on spd)", pe2$est[pe2$lhs == "spd" & pe2$op == "=~" & pe2$rhs == "x9" & pe2$group == 1])
say("P 2 1 Pasteur (vis-tex)", pe2$est[pe2$lhs == "vis" & pe2$op == "~~" & pe2$rhs == "tex" & pe2$group == 1])

# ---- examples/cfa_hs9_std.qv: the CFA of cfa_hs9.qv with its standardised
# loadings computed by the algebra, and the indices against the null model
# (independence model) whose chi-squared and df are typed on the options line.
std <- standardizedSolution(cfa)
sl <- function(l, r) std$est.std[std$lhs == l & std$op == "=~" & std$rhs == r]
base <- fitMeasures(cfa, c("baseline.chisq", "baseline.df", "nfi", "tli", "cfi", "rni", "ifi", "pnfi", "mfi"))
F0 <- round(base[["baseline.chisq"]], 3); d0 <- base[["baseline.df"]]
Fc <- fm[["chisq"]]; dc <- fm[["df"]]
cat("== cfa_hs9_std (lavaan standardizedSolution, std.all; baseline model)\n")
say("std loading x1 (Z 1 1)", sl("vis", "x1")); say("std loading x5 (Z 5 2)", sl("tex", "x5"))
say("std loading x9 (Z 9 3)", sl("spd", "x9"))
say("baseline chisq", base[["baseline.chisq"]]); say("baseline df", d0)
say("NFI (lavaan nfi)", base[["nfi"]]); say("NFI typed F0", (F0 - Fc) / F0)
say("NFI2 (lavaan ifi)", base[["ifi"]]); say("NFI2 typed F0", (F0 - Fc) / (F0 - dc))
say("TLI (lavaan tli)", base[["tli"]]); say("TLI typed F0", (F0 / d0 - Fc / dc) / (F0 / d0 - 1))
say("RNI (lavaan cfi, rni)", base[["cfi"]]); say("", base[["rni"]])
say("RNI typed F0", ((F0 - d0) - (Fc - dc)) / (F0 - d0))
say("PFI2 typed F0 (21 parameters)", 2 * dc / (20 * 21) * (F0 - Fc) / (F0 - dc))
say("PFI (lavaan pnfi)", base[["pnfi"]]); say("PFI typed F0", dc / d0 * (F0 - Fc) / F0)
say("CI exp(-(chisq-df)/2N)", exp(-0.5 * (Fc - dc) / 301)); say("mfi (lavaan, N - 1)", base[["mfi"]])

# ---- examples/cfa_hs9_null.qv: job 1 fits the independence model (free
# variances only), job 2 the CFA of cfa_hs9.qv with the indices against the
# figures of job 1.  lavaan's baseline model is that independence model.
ind <- cfa(paste0("x", 1:9, " ~~ x", 1:9, collapse = "\n"), sample.cov = S, sample.nobs = 301,
           likelihood = "wishart")
cat("== cfa_hs9_null (lavaan independence model, then the CFA's indices)\n")
say("job 1 chisq (independence)", fitMeasures(ind, "chisq")); say("job 1 df", fitMeasures(ind, "df"))
say("job 2 nfi", base[["nfi"]]); say("job 2 tli", base[["tli"]])
say("job 2 cfi (= rni)", base[["cfi"]])

# ---- examples/cfa_hs9_restart.qv: the CFA of cfa_hs9.qv without start
# values, then two restarts from its solution: the same lavaan fit.
cat("== cfa_hs9_restart (lavaan cfa, as cfa_hs9)\n")
say("chisq", fm["chisq"])
say("L 1 1 (x1 on vis)", est("vis", "=~", "x1"))
say("L 3 1 (x3 on vis)", est("vis", "=~", "x3"))

# ---- examples/cfa_hs9_check.qv: the CFA on hs9.cov with x1-x3 multiplied by
# 10 (this section writes hs9_x10.cov).  Chi-squared does not change; the
# loadings of x1-x3 are 10 times, their residual variances 100 times those
# of cfa_hs9.
k10 <- c(10, 10, 10, 1, 1, 1, 1, 1, 1)
S10 <- S * outer(k10, k10)
writeLines(c("*", sapply(1:9, function(i) paste0(paste(sprintf("%.6f", S10[i, 1:i]), collapse = " "), " "))),
           file.path(ex, "hs9_x10.cov"))
cfa10 <- cfa("vis =~ x1 + x2 + x3
              tex =~ x4 + x5 + x6
              spd =~ x7 + x8 + x9", sample.cov = S10, sample.nobs = 301,
             std.lv = TRUE, likelihood = "wishart")
pe10 <- parameterEstimates(cfa10)
cat("== cfa_hs9_check (lavaan cfa, x1-x3 times 10, wishart)\n")
say("chisq", fitMeasures(cfa10, "chisq"))
say("L 1 1 (x1 on vis)", pe10$est[pe10$lhs == "vis" & pe10$op == "=~" & pe10$rhs == "x1"])
say("E 1 1 (x1 residual)", pe10$est[pe10$lhs == "x1" & pe10$op == "~~" & pe10$rhs == "x1"])
# The exact rescaling of the cfa_hs9 estimates (lavaan stops the rescaled
# fit a little earlier, in the fifth digit).
say("L 1 1 = 10 x cfa_hs9's", 10 * est("vis", "=~", "x1"))
say("E 1 1 = 100 x cfa_hs9's", 100 * est("x1", "~~", "x1"))
# The identification check: eigenvalues of the Hessian of the fit function
# at the solution (lavaan's, on its own scale; the ratio does not depend on
# it), smallest over largest, and the two parameters with the largest
# components in the eigenvector of the smallest.
hess_check <- function(fit) {
  e <- eigen(lavInspect(fit, "hessian"), symmetric = TRUE)
  v <- abs(e$vectors[, which.min(e$values)]); names(v) <- colnames(lavInspect(fit, "hessian"))
  list(ratio = min(e$values) / max(e$values), top = names(sort(v, decreasing = TRUE))[1:2])
}
h10 <- hess_check(cfa10); h1 <- hess_check(cfa)
say("eigenvalue ratio", h10$ratio); cat("culprits                    ", h10$top, "\n")
say("ratio of cfa_hs9 (unscaled)", h1$ratio)

# ---- examples/cfa_hs9_cont.qv: job 1 is cfa_hs9; its continuation adds a
# residual covariance of x7 and x8 (W 8 7)
cfa78 <- cfa("vis =~ x1 + x2 + x3
              tex =~ x4 + x5 + x6
              spd =~ x7 + x8 + x9
              x7 ~~ x8", sample.cov = S, sample.nobs = 301,
             std.lv = TRUE, likelihood = "wishart")
fm78 <- fitMeasures(cfa78, c("chisq", "df"))
pe78 <- parameterEstimates(cfa78)
est78 <- function(l, o, r) pe78$est[pe78$lhs == l & pe78$op == o & pe78$rhs == r]
cat("== cfa_hs9_cont job 2 (lavaan cfa with x7 ~~ x8, std.lv, wishart)\n")
say("chisq", fm78["chisq"]); say("df", fm78["df"])
say("W 8 7 (x7 ~~ x8)", est78("x7", "~~", "x8"))
say("L 7 3 (x7 on spd)", est78("spd", "=~", "x7"))
say("P 3 1 (vis-spd)", est78("vis", "~~", "spd"))
say("E 7 7 (x7 residual)", est78("x7", "~~", "x7"))
