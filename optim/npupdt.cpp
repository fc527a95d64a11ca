// Quasi-Newton update of the Hessian factor.
#include "optim/npupdt.hpp"

#include <algorithm>
#include <cmath>

#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optim/nlsqp.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

namespace {

// Euclidean norm through the scaled sum of squares.
double vnorm(int n, std::span<const double> x) {
  double scale = 0.0, ssq = 1.0;
  SSQUPD(n, x, 1, scale, ssq);
  return SSQNRM(scale, ssq);
}

}  // namespace

void npupdt_bfgs_terms(int n, int ldr, bool ssbfgs, double alfa, double curvl, double qpcurv,
                       std::span<const double> gq, std::span<double> gq1, std::span<double> hstep,
                       std::span<double> rstep, std::span<double> r, double& rfrobn) {
  const Vec1<const double> gqv(gq);
  const Vec1<double> gq1v(gq1), hstepv(hstep), rstepv(rstep);
  const Mat1<double> rm(r, ldr);
  // y := gq - gq1, kept in gq1.
  for (int j = 1; j <= n; ++j) gq1v(j) = gqv(j) - gq1v(j);

  const double rootgp = std::sqrt(qpcurv);
  const double rootys = std::sqrt(alfa * curvl);
  const double sscale = ssbfgs ? rootys / (rootgp * alfa) : 1.0;

  const double tr1 = vnorm(n, hstep) / rootgp;
  const double tr2 = vnorm(n, gq1) / (rootys * sscale);
  rfrobn = sscale * std::sqrt(std::abs((rfrobn - tr1) * (rfrobn + tr1) + tr2 * tr2));

  for (int j = 1; j <= n; ++j) {
    rstepv(j) /= rootgp;
    hstepv(j) /= rootgp;
  }

  // v := y/rootys - sscale hstep, kept in gq1; a self-scaled update scales R
  // first.
  if (ssbfgs) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) rm(i, j) *= sscale;
    for (int j = 1; j <= n; ++j) gq1v(j) = gq1v(j) / rootys - sscale * hstepv(j);
  } else {
    for (int j = 1; j <= n; ++j) gq1v(j) = gq1v(j) / rootys - hstepv(j);
  }
}

bool npupdt_penalty_weights(int m, double tinycurv, double penmax, std::span<const double> cjdx1,
                            std::span<const double> cjdx, std::span<const double> cs1, std::span<const double> cs,
                            std::span<double> omega, std::span<double> work1, double& curvl) {
  const Vec1<const double> cjdx1v(cjdx1), cjdxv(cjdx), cs1v(cs1), csv(cs);
  const Vec1<double> omegav(omega), w1(work1);
  // Penalty weights on the constraints whose term c_i(x) - s_i grew along
  // the step, just enough to bring the curvature to the floor.
  double beta = 0.0;
  for (int i = 1; i <= m; ++i) {
    const double t = cjdxv(i) * csv(i) - cjdx1v(i) * cs1v(i);
    beta = std::max(beta, t);
    w1(i) = t > 0.0 ? t : 0.0;
  }
  const double wvnorm = vnorm(m, work1);
  const double diff = std::max(tinycurv - curvl, 0.0);
  bool overflow = false;
  const double test = SAFDIV(beta * diff, wvnorm * wvnorm, overflow);
  if (!(test < penmax && !overflow)) return false;
  beta = diff / (wvnorm * wvnorm);
  double added = 0.0;
  for (int i = 1; i <= m; ++i) {
    omegav(i) = beta * w1(i);
    added += omegav(i) * w1(i);
  }
  curvl += added;
  return true;
}

void npupdt_constraint_terms(bool unitq, int n, int m, int nfree, int nz, int ldcj1, int ldcj, int ldq,
                             std::span<const int> kx, std::span<const double> cjac1, std::span<const double> cjac,
                             std::span<const double> cs1, std::span<const double> cs, std::span<const double> qpmul,
                             std::span<const double> omega, std::span<const double> q, std::span<double> gq1,
                             std::span<double> work1, std::span<double> work2) {
  const Vec1<const double> cs1v(cs1), csv(cs), qpmulv(qpmul), omegav(omega);
  const Vec1<double> gq1v(gq1), w1(work1);
  const Mat1<const double> j1(cjac1, ldcj1), j2(cjac, ldcj);
  // The change of the constraint terms of the Lagrangian, moved into the
  // projected gradient at the start of the step:
  // v = J1'(omega cs1 - mu) + J2'(mu - omega cs), then Q'v.
  for (int j = 1; j <= n; ++j) {
    double sum = 0.0;
    for (int i = 1; i <= m; ++i) {
      sum += j1(i, j) * (omegav(i) * cs1v(i) - qpmulv(i));
      sum += j2(i, j) * (qpmulv(i) - omegav(i) * csv(i));
    }
    w1(j) = sum;
  }
  FACMUL(6, n, nz, nfree, ldq, unitq, kx, work1, q, work2);
  for (int j = 1; j <= n; ++j) gq1v(j) += w1(j);
}

void npupdt(char& flag, bool unitq, int n, int nnlcon, int nfree, int nz, int ldcj1, int ldcj, int ldq, int ldr,
            std::span<const int> kx, double alfa, double dlag0, double dlag1, double qpcurv,
            std::span<const double> cjac1, std::span<const double> cjac, std::span<const double> cjdx1,
            std::span<const double> cjdx, std::span<const double> cs1, std::span<const double> cs,
            std::span<double> gq1, std::span<const double> gq, std::span<double> hstep, std::span<double> rstep,
            std::span<const double> qpmul, std::span<double> r, std::span<double> omega, std::span<const double> q,
            std::span<double> work1, std::span<double> work2, double& rfrobn, int trace_unit) {
  const int m = nnlcon;
  const Vec1<double> omegav(omega);
  const bool debug = trace_unit > 0;
  const double penmax = NPPREC.epsinv;

  for (int i = 1; i <= m; ++i) omegav(i) = 0.0;
  // Without a positive step and a positive curvature of the QP along it
  // there is no update to make: the divisions below would put NaN or
  // infinities into R.
  if (!(alfa > 0.0) || !(qpcurv > 0.0)) return;
  double curvl = dlag1 - dlag0;
  const double tinycurv = 0.1 * qpcurv;
  const bool ssbfgs = curvl <= alfa * tinycurv;
  if (debug) {
    runtime::write_fmt(trace_unit, "(a)", {" //npupdt// ssbfgs    min. curvl         curvl "});
    runtime::write_fmt(trace_unit, "(a, l4, 1p, 2e14.2)", {" //npupdt//", ssbfgs, tinycurv, curvl});
  }

  if (curvl < tinycurv) {
    flag = 'm';
    if (m > 0 && npupdt_penalty_weights(m, tinycurv, penmax, cjdx1, cjdx, cs1, cs, omega, work1, curvl)) {
      flag = ' ';
      if (debug) {
        int imax = 1;
        for (int i = 2; i <= m; ++i)
          if (std::abs(omegav(i)) > std::abs(omegav(imax))) imax = i;
        runtime::write_fmt(trace_unit, "(a, 1p, e14.2)", {" //npupdt//   omega(imax)", omegav(imax)});
        runtime::write_fmt(trace_unit, "(a/(1p, 5e15.6))",
                           {" //npupdt//  Penalty parameters = ", std::span<const double>(omega.data(), m)});
      }
    }
  }

  if (m > 0)
    npupdt_constraint_terms(unitq, n, m, nfree, nz, ldcj1, ldcj, ldq, kx, cjac1, cjac, cs1, cs, qpmul, omega, q, gq1,
                            work1, work2);

  curvl = std::max(curvl, tinycurv);
  npupdt_bfgs_terms(n, ldr, ssbfgs, alfa, curvl, qpcurv, gq, gq1, hstep, rstep, r, rfrobn);

  // R := the triangular factor of R + rstep v'.
  R1MOD(n, 0, n, ldr, n, n, r, std::span<double>(), rstep, gq1, work1, work2);
}

}  // namespace qv::optim
