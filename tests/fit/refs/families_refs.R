# Reference values of the model families that tests/fit/families_job_test.cpp
# runs through whole jobs: the Qv scripts (tests/fit/families/*.qv) are
# written by this file, so that the data in a script and the data of its
# reference are the same printed numbers.
#
# Run (from this folder): Rscript families_refs.R > families_refs.txt
# Tools: R 4.2 with Debian's r-cran-lavaan (0.6.14).
#
# Data:
#  - HS: Holzinger & Swineford (1939), the nine tests x1..x9 of the 301
#    pupils as shipped with lavaan (HolzingerSwineford1939); covariance
#    matrices with divisor N - 1; by school for the two-group family
#    (Pasteur N = 156, Grant-White N = 145).
#  - Gamma: the asymptotic (distribution-free) covariance matrix of the
#    sample covariances of HS, N times the covariance of the estimates:
#    mean of (d_i d_j)(d_k d_l) less s_ij s_kl (divisor N), statistics in
#    the packed order of the scripts (lower triangle by rows).  Given as the
#    ACov matrix (Qv weights W = (N - 1) Gamma^-1) and its diagonal as AVar
#    (Qv weights Gamma_kk / N).
#  - Twins: a stated small data set (not from a publication): MZ pairs
#    N = 120, covariance [1.10 0.68; 0.68 1.05]; DZ pairs N = 110,
#    covariance [1.02 0.40; 0.40 1.12].
#
# Fit functions, as Qv defines them (N the group's observations, r the
# packed residuals S - Sigma, c = 2 off the diagonal and 1 on it):
#   ML   (N - 1) (ln(det Sigma / det S) + tr(Sigma^-1 S) - p)
#   LS   (N - 1) sum r^2
#   GLS  (N - 1) 0.5 tr((I - Sigma S^-1)^2)
#   WLS  r' W r,            W = (N - 1) Gamma^-1
#   DWLS sum c r^2 / w,     w = Gamma_kk / N
# lavaan scales its functions differently (and has no DWLS of this form):
# each reference is the minimum of the function above, found by nlminb
# (rel.tol 1e-15) and Newton steps on central-difference derivatives,
# started from lavaan's estimates where lavaan fits the model (ML with
# likelihood = "wishart", ULS, GLS, and WLS/DWLS with the same weight matrix
# passed as WLS.V); the largest difference from lavaan's estimates and the
# final gradient are printed.  p = pchisq(F, df, upper), AIC = F - 2 df,
# RMSEA = the mean over data groups of sqrt((F_g - df_g)/(N_g df_g)), with
# df_g = c_g + K - c_g npar / S_all (c_g the group's statistics, K the
# constraint values, S_all all statistics), 0 where F_g <= df_g.
suppressMessages(library(lavaan))
options(width = 200)
here <- "."
famdir <- file.path(here, "..", "families")
f17 <- function(x) trimws(formatC(x, digits = 17, format = "g"))
num <- function(v) { r <- as.numeric(f17(v)); dim(r) <- dim(v); r }  # the numbers as printed
rowpack <- function(M) { v <- c(); for (i in 1:nrow(M)) v <- c(v, M[i, 1:i]); v }
unpack <- function(v, p) {
  M <- matrix(0, p, p); k <- 1
  for (i in 1:p) for (j in 1:i) { M[i, j] <- v[k]; M[j, i] <- v[k]; k <- k + 1 }
  M
}
tr <- function(M) sum(diag(M))
HS <- HolzingerSwineford1939
vars <- paste0("x", 1:9)

# ---- fit functions -------------------------------------------------------
F_ml <- function(Sig, S, N) {
  d <- det(Sig); if (!is.finite(d) || d <= 0) return(1e10)
  (log(d / det(S)) + tr(solve(Sig, S)) - nrow(S)) * (N - 1)
}
F_ls <- function(Sig, S, N) (N - 1) * sum((rowpack(S) - rowpack(Sig))^2)
F_gls <- function(Sig, S, N) { D <- diag(nrow(S)) - Sig %*% solve(S); (N - 1) * 0.5 * sum(D * t(D)) }
F_wls <- function(Sig, S, W) { r <- rowpack(S) - rowpack(Sig); drop(t(r) %*% W %*% r) }
F_dwls <- function(Sig, S, w) {
  r <- rowpack(S) - rowpack(Sig); cc <- rowpack(2 - diag(nrow(S))); sum(cc * r^2 / w)
}

gamma_adf <- function(X) {
  D <- sweep(X, 2, colMeans(X)); p <- ncol(X); Z <- NULL
  for (i in 1:p) for (j in 1:i) Z <- cbind(Z, D[, i] * D[, j])
  crossprod(Z) / nrow(X) - tcrossprod(colMeans(Z))
}

# ---- minimiser -------------------------------------------------------------
gradc <- function(f, th) {
  g <- numeric(length(th))
  for (i in seq_along(th)) {
    h <- 1e-5 * max(1, abs(th[i])); e <- numeric(length(th)); e[i] <- h
    g[i] <- (f(th + e) - f(th - e)) / (2 * h)
  }
  g
}
hessc <- function(f, th) {
  n <- length(th); H <- matrix(0, n, n)
  for (i in 1:n) {
    h <- 1e-4 * max(1, abs(th[i])); e <- numeric(n); e[i] <- h
    H[, i] <- (gradc(f, th + e) - gradc(f, th - e)) / (2 * h)
  }
  (H + t(H)) / 2
}
minimise <- function(f, th) {
  o <- nlminb(th, f, gradient = function(t) gradc(f, t),
              control = list(rel.tol = 1e-15, x.tol = 1e-15, eval.max = 20000, iter.max = 5000))
  th <- o$par
  for (it in 1:6) th <- th - solve(hessc(f, th), gradc(f, th))
  cat("  max |gradient| at the minimum:", format(max(abs(gradc(f, th)))), "\n")
  th
}

# ---- factor models: theta = (loadings by factor, factor correlations
# (2,1) (3,1) (3,2), residual variances) -----------------------------------
factor_model <- function(p, k) {
  # indicators split evenly over k factors, in order
  per <- p / k
  list(p = p, k = k, per = per, n = p + k * (k - 1) / 2 + p,
       L = function(th) { L <- matrix(0, p, k); for (i in 1:p) L[i, (i - 1) %/% per + 1] <- th[i]; L },
       P = function(th) {
         P <- diag(k)
         if (k > 1) { v <- th[p + 1:3]; P[2, 1] <- P[1, 2] <- v[1]; P[3, 1] <- P[1, 3] <- v[2]; P[3, 2] <- P[2, 3] <- v[3] }
         P
       },
       E = function(th) th[p + k * (k - 1) / 2 + 1:p])
}
sigma_of <- function(m, th) { L <- m$L(th); L %*% m$P(th) %*% t(L) + diag(m$E(th)) }
lav_syntax <- function(m, vv) {
  f <- c("visual", "textual", "speed")[1:m$k]; if (m$k == 1) f <- "f"
  paste(sapply(1:m$k, function(j) paste(f[j], "=~", paste(vv[(j - 1) * m$per + 1:m$per], collapse = " + "))),
        collapse = "\n")
}
lav_theta <- function(fit, m, vv) {
  pe <- parameterEstimates(fit)
  lam <- pe$est[pe$op == "=~"]
  fnames <- unique(pe$lhs[pe$op == "=~"])
  cors <- c()
  if (m$k > 1) for (j in 1:(m$k - 1)) for (i in (j + 1):m$k) {
    r <- pe$est[pe$op == "~~" & ((pe$lhs == fnames[j] & pe$rhs == fnames[i]) | (pe$lhs == fnames[i] & pe$rhs == fnames[j]))]
    cors <- c(cors, r)
  }
  psi <- sapply(vv, function(v) pe$est[pe$op == "~~" & pe$lhs == v & pe$rhs == v])
  c(lam, cors, psi)
}
# lavaan's vech order (down the columns of the lower triangle) as indices
# into the packed row order
perm_lav <- function(p) {
  idx <- matrix(0, p, p); k <- 1
  for (i in 1:p) for (j in 1:i) { idx[i, j] <- k; k <- k + 1 }
  v <- c(); for (j in 1:p) for (i in j:p) v <- c(v, idx[i, j]); v
}

# ---- script writing --------------------------------------------------------
packed_lines <- function(S, digits = 17) sapply(1:nrow(S), function(i) paste0("  ", paste(trimws(formatC(S[i, 1:i], digits = digits, format = "g")), collapse = " ")))
chunk_lines <- function(v, per = 6) {
  out <- c(); for (s in seq(1, length(v), by = per)) out <- c(out, paste0("  ", paste(f17(v[s:min(length(v), s + per - 1)]), collapse = " ")))
  out
}
write_script <- function(name, lines) writeLines(lines, file.path(famdir, paste0(name, ".qv")))

# ---- reference output --------------------------------------------------------
emit <- function(name, source, mats, Fg, Ftot, df, code, Ng, cg, npar, K = 0, sign_free = FALSE) {
  chi <- code %in% c("ML", "GLS", "WLS", "DWLS")
  prob <- if (chi && df >= 1 && Ftot >= 0) pchisq(Ftot, df, lower.tail = FALSE) else if (chi) 1 else NaN
  aic <- if (chi) Ftot - 2 * df else NaN
  rm <- NaN
  if (chi) {
    Sall <- sum(cg); acc <- 0
    for (g in seq_along(Fg)) {
      dfg <- cg[g] + K - cg[g] * npar / Sall; h <- Fg[g] - dfg
      if (h > 0 && dfg > 0) acc <- acc + sqrt(h / (Ng[g] * dfg))
    }
    rm <- acc / length(Fg)
  }
  cat("\n== ", name, " (", source, ")\n", sep = "")
  cat("  F =", f17(Ftot), " df =", df, " p =", f17(prob), " AIC =", f17(aic), " RMSEA =", f17(rm), "\n")
  if (length(Fg) > 1) cat("  group F =", f17(Fg), "\n")
  for (mm in mats) cat("  ", mm$letter, " (group ", mm$group, ") =", paste(f17(mm$v), collapse = " "), "\n", sep = "")
  # the row of the test table
  cpp <- function(x) if (is.nan(x)) "kNone" else f17(x)
  cat("ROW {\"", name, "\", \"", source, "\",\n", sep = "")
  cat("ROW  {", paste(sapply(mats, function(mm) paste0("{'", mm$letter, "', ", mm$group, ", {", paste(f17(mm$v), collapse = ", "), "}}")), collapse = ",\nROW   "), "},\n", sep = "")
  cat("ROW  {", paste(f17(Fg), collapse = ", "), "}, ", cpp(Ftot), ", ", df, ", ", cpp(prob), ", ", cpp(aic), ", ", cpp(rm), if (sign_free) ", true", "},\n", sep = "")
}

X <- as.matrix(HS[, vars]); N <- nrow(X)
with_names <- function(S, vv) { dimnames(S) <- list(vv, vv); S }

# ---- one factor (three and six indicators) and three factors (nine), by
# each of the five functions -------------------------------------------------
# In a few families the flat directions of the function leave Qv's estimates
# 1e-5 to 2e-5 short of the minimum under the optimizer's default
# optimality tolerance (its F is within 2e-10 of the minimum); their scripts
# ask for a tighter one.
tight_families <- c("hs3f_ls", "f1x6_dwls", "hs3f_dwls")
factor_family <- function(name, title, vv, k, code) {
  tight <- name %in% tight_families
  p <- length(vv); m <- factor_model(p, k)
  S <- num(cov(X[, vv])); Gm <- num(gamma_adf(X[, vv]))
  W <- (N - 1) * solve(Gm); w <- diag(Gm) / N
  cc <- rowpack(2 - diag(p))
  f <- switch(code,
              ML = function(th) F_ml(sigma_of(m, th), S, N),
              LS = function(th) F_ls(sigma_of(m, th), S, N),
              GLS = function(th) F_gls(sigma_of(m, th), S, N),
              WLS = function(th) F_wls(sigma_of(m, th), S, W),
              DWLS = function(th) F_dwls(sigma_of(m, th), S, w))
  pl <- perm_lav(p)
  args <- list(model = lav_syntax(m, vv), sample.cov = with_names(S, vv), sample.nobs = N, std.lv = TRUE,
               sample.cov.rescale = FALSE)
  args <- c(args, switch(code,
                         ML = list(likelihood = "wishart"),
                         LS = list(estimator = "ULS"),
                         GLS = list(estimator = "GLS"),
                         WLS = list(estimator = "WLS", WLS.V = W[pl, pl], NACOV = Gm[pl, pl]),
                         DWLS = list(estimator = "WLS", WLS.V = diag(cc / w)[pl, pl], NACOV = Gm[pl, pl])))
  lv <- tryCatch(do.call("cfa", args), error = function(e) { cat("  lavaan:", conditionMessage(e), "\n"); NULL })
  th0 <- if (!is.null(lv)) lav_theta(lv, m, vv) else c(rep(0.7, p), rep(0.3, k * (k - 1) / 2), rep(0.5, p))
  cat("\n-- ", name, ": minimising\n", sep = "")
  th <- minimise(f, th0)
  if (!is.null(lv)) cat("  largest difference from lavaan's estimates:", format(max(abs(th - th0))), "\n")
  closed <- p == 3 && k == 1
  if (closed) {
    # just identified: Sigma = S, loadings and residual variances in closed form
    lam <- c(sqrt(S[1, 2] * S[1, 3] / S[2, 3]), sqrt(S[1, 2] * S[2, 3] / S[1, 3]), sqrt(S[1, 3] * S[2, 3] / S[1, 2]))
    cat("  largest difference of the minimum from the closed form:", format(max(abs(th - c(lam, diag(S) - lam^2)))), "\n")
    th <- c(lam, diag(S) - lam^2)
  }
  # the script
  lines <- c(title, paste0(" Data NGroups=1 NInputvars=", p, " NObservations=", N), " CMatrix", packed_lines(S))
  if (code == "WLS") lines <- c(lines, " ACov", chunk_lines(rowpack(Gm)))
  if (code == "DWLS") lines <- c(lines, " AVar", chunk_lines(diag(Gm)))
  pat <- sapply(1:p, function(i) paste0("  ", paste(as.integer(seq_len(k) == (i - 1) %/% m$per + 1), collapse = " ")))
  lines <- c(lines, " Begin Matrices;", paste0("  L FU ", p, " ", k),
             if (k > 1) paste0("  P ST ", k, " ", k, " Free"),
             paste0("  E DI ", p, " ", p, " Free"), " End Matrices;", " Pattern L", pat,
             " Start 0.5 ALL", if (k > 1) " Start 0.3 P 2 1 P 3 1 P 3 2",
             if (k > 1) " Covariance L*P*L' + E /" else " Covariance L*L' + E /",
             if (tight) "! the optimizer's default optimality tolerance stops 1e-5 short here",
             paste0(switch(code, LS = " Options LS", GLS = " Options GL", DWLS = " Options DW", NULL),
                    if (tight) " OP=1E-14"), "End")
  write_script(name, lines)
  mats <- list(list(letter = "L", group = 1, v = as.vector(t(m$L(th)))))
  if (k > 1) mats <- c(mats, list(list(letter = "P", group = 1, v = th[p + 1:3])))
  mats <- c(mats, list(list(letter = "E", group = 1, v = m$E(th))))
  Fv <- if (closed) 0 else f(th)
  src <- paste0(if (closed) "closed form (F = 0)" else if (code %in% c("ML", "LS", "GLS")) paste0("lavaan ", switch(code, ML = "ML wishart", LS = "ULS", GLS = "GLS"), " polished by nlminb")
                else paste0("nlminb on the ", code, " function, lavaan WLS with the same W agrees"),
                "; HS ", vv[1], "..", vv[p], if (code %in% c("WLS", "DWLS")) " with ADF Gamma", "; families_refs.R")
  emit(name, src, mats, Fv, Fv, p * (p + 1) / 2 - m$n, code, N, p * (p + 1) / 2, m$n)
}

for (code in c("ML", "LS", "GLS", "WLS", "DWLS")) {
  lc <- tolower(code)
  factor_family(paste0("f1x3_", lc), paste("One factor, three indicators, by", code), vars[1:3], 1, code)
  factor_family(paste0("f1x6_", lc), paste("One factor, six indicators, by", code), vars[1:6], 1, code)
  factor_family(paste0("hs3f_", lc), paste("Three-factor CFA of the nine Holzinger-Swineford tests by", code), vars, 3, code)
}

# ---- saturated model: Sigma = S, closed form ----------------------------------
S3 <- num(cov(X[, 1:3]))
write_script("saturated_ml", c("Saturated model of three Holzinger-Swineford tests",
  paste0(" Data NGroups=1 NInputvars=3 NObservations=", N), " CMatrix", packed_lines(S3),
  " Begin Matrices;", "  S SY 3 3 Free", " End Matrices;", " Start 0.2 ALL", " Start 1.2 S 1 1 S 2 2 S 3 3",
  " Covariance S /", "End"))
emit("saturated_ml", "closed form (estimates = S, F = 0); HS x1..x3; families_refs.R",
     list(list(letter = "S", group = 1, v = rowpack(S3))), 0, 0, 0, "ML", N, 6, 6)

# ---- no free parameters: F in closed form -------------------------------------
A0 <- unpack(c(1.3, 0.4, 1.4, 0.5, 0.4, 1.3), 3)
write_script("nofree_ml", c("A fixed model of three Holzinger-Swineford tests",
  paste0(" Data NGroups=1 NInputvars=3 NObservations=", N), " CMatrix", packed_lines(S3),
  " Begin Matrices;", "  A SY 3 3", " End Matrices;", " Matrix A 1.3 0.4 1.4 0.5 0.4 1.3",
  " Covariance A /", "End"))
F0 <- F_ml(A0, S3, N)
emit("nofree_ml", "closed form (ML function at the fixed matrix); HS x1..x3; families_refs.R",
     list(list(letter = "A", group = 1, v = rowpack(A0))), F0, F0, 6, "ML", N, 6, 0)

# ---- two groups with equal matrices: the pooled matrix ------------------------
sch <- c("Pasteur", "Grant-White")
X1 <- as.matrix(HS[HS$school == sch[1], vars]); X2 <- as.matrix(HS[HS$school == sch[2], vars])
N1 <- nrow(X1); N2 <- nrow(X2)
S1 <- num(cov(X1)); S2 <- num(cov(X2))
Sp <- ((N1 - 1) * S1 + (N2 - 1) * S2) / (N1 + N2 - 2)
m9 <- factor_model(9, 3)
lvp <- cfa(lav_syntax(m9, vars), sample.cov = with_names(Sp, vars), sample.nobs = N1 + N2 - 1, std.lv = TRUE,
           likelihood = "wishart", sample.cov.rescale = FALSE)
cat("\n-- twogroup_ml: minimising on the pooled matrix\n")
fp <- function(th) F_ml(sigma_of(m9, th), Sp, N1 + N2 - 1)
th <- minimise(fp, lav_theta(lvp, m9, vars))
f2 <- function(th) F_ml(sigma_of(m9, th), S1, N1) + F_ml(sigma_of(m9, th), S2, N2)
cat("  the two-group function from there:\n"); th2 <- minimise(f2, th)
cat("  largest difference of the two-group minimum from the pooled one:", format(max(abs(th2 - th))), "\n")
lv2 <- cfa(lav_syntax(m9, vars), sample.cov = list(with_names(S1, vars), with_names(S2, vars)),
           sample.nobs = c(N1, N2), std.lv = TRUE, likelihood = "wishart", sample.cov.rescale = FALSE,
           group.equal = c("loadings", "residuals", "lv.variances", "lv.covariances"))
pe <- parameterEstimates(lv2); pe <- pe[pe$group == 1, ]
lv2th <- c(pe$est[pe$op == "=~"], pe$est[pe$op == "~~" & pe$lhs != pe$rhs],
           sapply(vars, function(v) pe$est[pe$op == "~~" & pe$lhs == v & pe$rhs == v]))
cat("  largest difference from lavaan's equal-matrices two-group fit:", format(max(abs(lv2th - th))), "\n")
cat("  lavaan chi-squared", f17(fitMeasures(lv2, "chisq")), "\n")
lines <- c("Pasteur school: three-factor CFA, matrices equal over two groups",
           paste0(" Data NGroups=2 NInputvars=9 NObservations=", N1), " CMatrix", packed_lines(S1),
           " Begin Matrices;", "  L FU 9 3", "  P ST 3 3 Free", "  E DI 9 9 Free", " End Matrices;", " Pattern L",
           sapply(1:9, function(i) paste0("  ", paste(as.integer(1:3 == (i - 1) %/% 3 + 1), collapse = " "))),
           " Start 0.5 ALL", " Start 0.3 P 2 1 P 3 1 P 3 2", " Covariance L*P*L' + E /", "End",
           "Grant-White school", paste0(" Data NInputvars=9 NObservations=", N2), " CMatrix", packed_lines(S2),
           " Matrices = Group 1", " Covariance L*P*L' + E /", "End")
write_script("twogroup_ml", lines)
Fg <- c(F_ml(sigma_of(m9, th), S1, N1), F_ml(sigma_of(m9, th), S2, N2))
emit("twogroup_ml", "lavaan ML wishart on the pooled (N-1)-weighted matrix polished by nlminb; HS by school; families_refs.R",
     list(list(letter = "L", group = 1, v = as.vector(t(m9$L(th)))), list(letter = "P", group = 1, v = th[10:12]),
          list(letter = "E", group = 1, v = m9$E(th))),
     Fg, sum(Fg), 90 - 21, "ML", c(N1, N2), c(45, 45), 21)

# ---- univariate twin ACE model (paths a, c, e; their signs are free, so the
# test compares absolute values) ----------------------------------------------
Smz <- unpack(c(1.10, 0.68, 1.05), 2); Sdz <- unpack(c(1.02, 0.40, 1.12), 2); Nmz <- 120; Ndz <- 110
ace <- function(th, h) { a2 <- th[1]^2; c2 <- th[2]^2; e2 <- th[3]^2
  matrix(c(a2 + c2 + e2, h * a2 + c2, h * a2 + c2, a2 + c2 + e2), 2, 2) }
fa <- function(th) F_ml(ace(th, 1), Smz, Nmz) + F_ml(ace(th, 0.5), Sdz, Ndz)
cat("\n-- ace_ml: minimising\n")
th <- minimise(fa, c(0.6, 0.6, 0.6))
lines <- c("MZ twins: univariate ACE model",
           paste0(" Data NGroups=2 NInputvars=2 NObservations=", Nmz), " CMatrix", packed_lines(Smz, 15),
           " Begin Matrices;", "  X LO 1 1 Free", "  Y LO 1 1 Free", "  Z LO 1 1 Free", "  H FU 1 1", " End Matrices;",
           " Matrix H 0.5", " Start 0.6 ALL",
           " Covariance X*X'+Y*Y'+Z*Z' | X*X'+Y*Y' _", "            X*X'+Y*Y' | X*X'+Y*Y'+Z*Z' /", "End",
           "DZ twins", paste0(" Data NInputvars=2 NObservations=", Ndz), " CMatrix", packed_lines(Sdz, 15),
           " Matrices = Group 1",
           " Covariance X*X'+Y*Y'+Z*Z' | H@X*X'+Y*Y' _", "            H@X*X'+Y*Y' | X*X'+Y*Y'+Z*Z' /", "End")
write_script("ace_ml", lines)
Fg <- c(F_ml(ace(th, 1), Smz, Nmz), F_ml(ace(th, 0.5), Sdz, Ndz))
emit("ace_ml", "nlminb on the two-group ML function; stated MZ/DZ matrices (header); families_refs.R",
     list(list(letter = "X", group = 1, v = th[1]), list(letter = "Y", group = 1, v = th[2]),
          list(letter = "Z", group = 1, v = th[3])),
     Fg, sum(Fg), 6 - 3, "ML", c(Nmz, Ndz), c(3, 3), 3, sign_free = TRUE)

# ---- nonlinear constraint group: l1 l2 = l3 l4 ----------------------------------
S4 <- num(cov(X[, 1:4]))
sig4 <- function(th) { l <- c(th[1:3], th[1] * th[2] / th[3]); l %*% t(l) + diag(th[4:7]) }
fc <- function(th) F_ml(sig4(th), S4, N)
lvc <- cfa("f =~ l1*x1 + l2*x2 + l3*x3 + l4*x4\n l1*l2 == l3*l4", sample.cov = with_names(S4, vars[1:4]),
           sample.nobs = N, std.lv = TRUE, likelihood = "wishart", sample.cov.rescale = FALSE)
pe <- parameterEstimates(lvc)
thl <- c(pe$est[pe$op == "=~"][1:3], sapply(vars[1:4], function(v) pe$est[pe$op == "~~" & pe$lhs == v & pe$rhs == v]))
cat("\n-- constraint_ml: minimising with l4 = l1 l2 / l3\n")
th <- minimise(fc, thl)
cat("  largest difference from lavaan's constrained fit:", format(max(abs(th - thl))), "\n")
lines <- c("One factor with a product constraint on its loadings",
           paste0(" Data NGroups=2 NInputvars=4 NObservations=", N), " CMatrix", packed_lines(S4),
           " Begin Matrices;", "  A FU 1 1 Free", "  B FU 1 1 Free", "  C FU 1 1 Free", "  D FU 1 1 Free",
           "  E DI 4 4 Free", " End Matrices;", " Start 0.5 ALL", " Covariance (A_B_C_D)*(A_B_C_D)' + E /", "End",
           "The constraint: A times B equals C times D", " Constraint", " Matrices = Group 1",
           " Constraint A*B = C*D /", "End")
write_script("constraint_ml", lines)
Fv <- fc(th)
emit("constraint_ml", "nlminb on the ML function with l4 = l1 l2 / l3 (lavaan with the constraint agrees); HS x1..x4; families_refs.R",
     list(list(letter = "A", group = 1, v = th[1]), list(letter = "B", group = 1, v = th[2]),
          list(letter = "C", group = 1, v = th[3]), list(letter = "D", group = 1, v = th[1] * th[2] / th[3]),
          list(letter = "E", group = 1, v = th[4:7])),
     Fv, Fv, 11 - 8, "ML", N, 10, 8, K = 1)
