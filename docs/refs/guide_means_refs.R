# Reference values of the guide's fits of means in the two schools of
# Holzinger-Swineford (docs/guide.md, section 5.2; tests/docs/check_guide.sh
# holds Qv's report to the printed values and these to the printed values).
#
# Run (from this folder): Rscript guide_means_refs.R > guide_means_refs.txt
# It writes into ../../examples/ each school's means (hs9_pasteur.mea,
# hs9_grant.mea) and records (hs9_pasteur.dat, hs9_grant.dat), six decimals,
# and reads them back with the covariance files of guide_refs.R, so that the
# references use the numbers Qv reads; the same files each run.
# Tools: R 4.2 with Debian's r-cran-lavaan (0.6.x).
suppressMessages(library(lavaan))
f8 <- function(x) formatC(x, digits = 8, format = "g")
say <- function(name, x) cat(sprintf("%-36s %s\n", name, f8(x)))
ex <- file.path("..", "..", "examples")
hs <- HolzingerSwineford1939
x9 <- paste0("x", 1:9)
sch <- c("Pasteur", "Grant-White")
tag <- c(Pasteur = "hs9_pasteur", "Grant-White" = "hs9_grant")
for (s in sch) {
  d <- hs[hs$school == s, x9]
  writeLines(c("*", paste(sprintf("%.6f", colMeans(d)), collapse = " ")), file.path(ex, paste0(tag[[s]], ".mea")))
  writeLines(apply(d, 1, function(r) paste(sprintf("%.6f", r), collapse = " ")), file.path(ex, paste0(tag[[s]], ".dat")))
}
read_low <- function(file) {
  v <- scan(file.path(ex, file), skip = 1, quiet = TRUE)
  S <- matrix(0, 9, 9); k <- 1
  for (i in 1:9) for (j in 1:i) { S[i, j] <- v[k]; S[j, i] <- v[k]; k <- k + 1 }
  dimnames(S) <- list(x9, x9); S
}
S <- lapply(sch, function(s) read_low(paste0(tag[[s]], ".cov")))
M <- lapply(sch, function(s) setNames(scan(file.path(ex, paste0(tag[[s]], ".mea")), skip = 1, quiet = TRUE), x9))
N <- sapply(sch, function(s) sum(hs$school == s))
raw <- do.call(rbind, lapply(sch, function(s) {
  d <- read.table(file.path(ex, paste0(tag[[s]], ".dat")), col.names = x9); d$school <- s; d
}))
hsm <- "vis =~ x1 + x2 + x3
        tex =~ x4 + x5 + x6
        spd =~ x7 + x8 + x9"
summ <- function(eq, lik) cfa(hsm, sample.cov = S, sample.mean = M, sample.nobs = as.list(N),
                              group.equal = eq, likelihood = lik, meanstructure = TRUE)

# ---- examples/cfa_2schools_means.qv: scalar invariance from the covariance
# matrices (divisor N - 1) and means.  lavaan, both likelihoods; configural
# and metric models for the comparison (their means fit exactly).
cat("== cfa_2schools_means (lavaan cfa, sample.cov + sample.mean)\n")
for (eq in list("", "loadings", c("loadings", "intercepts"))) {
  nm <- if (eq[1] == "") "configural" else if (length(eq) == 1) "metric" else "scalar"
  w <- summ(eq, "wishart"); n <- summ(eq, "normal")
  say(paste(nm, "chisq wishart"), fitMeasures(w, "chisq"))
  say(paste(nm, "chisq normal (default)"), fitMeasures(n, "chisq"))
  say(paste(nm, "df"), fitMeasures(w, "df"))
}

# Qv's discrepancy with means, maximised here by R: per school
#   (N - 1) [ln det Sigma - ln det S + tr(Sigma^-1 S) - p] + N ln(1 + d' Sigma^-1 d),
# d = observed - expected means; lavaan's "wishart" has (N - 1) d' Sigma^-1 d
# in place of the last term, and its "normal" N in place of N - 1 throughout,
# with S of divisor N.
ws <- summ(c("loadings", "intercepts"), "wishart")
unpack <- function(th) {
  L <- matrix(0, 9, 3); L[1, 1] <- L[4, 2] <- L[7, 3] <- 1
  L[cbind(c(2, 3, 5, 6, 8, 9), c(1, 1, 2, 2, 3, 3))] <- th[1:6]; k <- 6
  g <- lapply(1:2, function(i) {
    P <- matrix(0, 3, 3); P[lower.tri(P, TRUE)] <- th[k + 1:6]; P <- P + t(P) - diag(diag(P)); k <<- k + 6
    E <- diag(th[k + 1:9]); k <<- k + 9
    list(P = P, E = E)
  })
  tau <- th[k + 1:9]; kap <- th[k + 9 + 1:3]
  list(L = L, g = g, tau = tau, kap = list(c(0, 0, 0), kap))
}
# The discrepancy summed over the schools: "qv" as above, "wishart" and
# "normal" as lavaan's two likelihoods (a check that they give lavaan's figures).
qvfit <- function(th, kind = "qv") {
  m <- unpack(th); tot <- 0; q <- numeric(2)
  for (i in 1:2) {
    Sig <- m$L %*% m$g[[i]]$P %*% t(m$L) + m$g[[i]]$E
    ev <- eigen(Sig, symmetric = TRUE, only.values = TRUE)$values
    if (any(ev <= 0)) return(1e10)
    d <- M[[i]] - (m$tau + m$L %*% m$kap[[i]])[, 1]
    q[i] <- sum(d * solve(Sig, d))
    n <- if (kind == "normal") N[[i]] else N[[i]] - 1
    Si <- S[[i]] * (N[[i]] - 1) / n                  # divisor n
    tot <- tot + n * (log(det(Sig)) - log(det(Si)) + sum(diag(solve(Sig, Si))) - 9) +
      if (kind == "qv") N[[i]] * log(1 + q[i]) else n * q[i]
  }
  attr(tot, "q") <- q; tot
}
# lavaan's estimates in the order of unpack().
ge <- function(pe, l, o, r, g) pe$est[pe$lhs == l & pe$op == o & pe$rhs == r & pe$group == g]
fv <- c("vis", "tex", "spd")
theta <- function(fit) {
  pe <- parameterEstimates(fit)
  on <- c(x2 = "vis", x3 = "vis", x5 = "tex", x6 = "tex", x8 = "spd", x9 = "spd")
  th <- sapply(names(on), function(x) ge(pe, on[[x]], "=~", x, 1))
  for (g in 1:2) {
    P <- outer(fv, fv, Vectorize(function(a, b) { v <- ge(pe, a, "~~", b, g); if (length(v)) v else ge(pe, b, "~~", a, g) }))
    th <- c(th, P[lower.tri(P, TRUE)], sapply(x9, function(x) ge(pe, x, "~~", x, g)))
  }
  c(th, sapply(x9, function(x) ge(pe, x, "~1", "", 1)), sapply(fv, function(f) ge(pe, f, "~1", "", 2)))
}
th0 <- theta(ws)
say("scalar: lavaan wishart recomputed", qvfit(th0, "wishart"))
say("scalar: lavaan normal recomputed", qvfit(theta(summ(c("loadings", "intercepts"), "normal")), "normal"))
o <- nlminb(th0, qvfit, control = list(rel.tol = 1e-15, eval.max = 5000, iter.max = 5000))
o <- optim(o$par, qvfit, method = "BFGS", control = list(reltol = 1e-16, maxit = 5000))
cat("== cfa_2schools_means (Qv's discrepancy maximised in R)\n")
say("chisq", o$value); say("df", 108 - length(o$par))
say("d' Sigma^-1 d Pasteur", attr(qvfit(o$par), "q")[1])
say("d' Sigma^-1 d Grant-White", attr(qvfit(o$par), "q")[2])
mo <- unpack(o$par)
say("L 2 1 (x2 on vis)", mo$L[2, 1]); say("L 9 3 (x9 on spd)", mo$L[9, 3])
say("T 1 1 (intercept x1)", mo$tau[1]); say("T 1 5 (intercept x5)", mo$tau[5])
say("K 1 2 (textual mean, Grant-White)", mo$kap[[2]][2])
pw <- parameterEstimates(ws)
say("lavaan wishart: T 1 1", ge(pw, "x1", "~1", "", 1)); say("lavaan wishart: K 1 2", ge(pw, "tex", "~1", "", 2))

# ---- examples/cfa_2schools_raw.qv: the same model from the records; the
# saturated model and the model by ML on the records (lavaan's default).
rf <- cfa(hsm, data = raw, group = "school", group.label = sch, group.equal = c("loadings", "intercepts"))
cat("== cfa_2schools_raw (lavaan cfa, data = records)\n")
say("-2 ln L saturated (unrestricted.logl)", -2 * fitMeasures(rf, "unrestricted.logl"))
say("-2 ln L model", -2 * as.numeric(logLik(rf)))
say("chisq", fitMeasures(rf, "chisq")); say("df", fitMeasures(rf, "df")); say("pvalue", fitMeasures(rf, "pvalue"))
say("statistics: 301 x 9 + 2 (45 + 9)", 301 * 9 + 2 * 54)
say("df saturated: 2817 - 108", 301 * 9 + 2 * 54 - 108)
pr <- parameterEstimates(rf)
say("L 2 1 (x2 on vis)", pr$est[pr$lhs == "vis" & pr$op == "=~" & pr$rhs == "x2" & pr$group == 1])
say("T 1 1 (intercept x1)", pr$est[pr$lhs == "x1" & pr$op == "~1" & pr$group == 1])
say("K 1 2 (textual mean, Grant-White)", pr$est[pr$lhs == "tex" & pr$op == "~1" & pr$group == 2])
