#include "optim/npmrt.hpp"

#include <algorithm>
#include <cmath>

#include "optkern/blas.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;

namespace {

double dot(int n, runtime::Vec1<const double> a, runtime::Vec1<const double> b) {
  const int inc = 1;
  return ddot_(&n, a.ptr(), &inc, b.ptr(), &inc);
}

// Euclidean norm by the scaled sum of squares.
double norm2(int n, std::span<const double> v) {
  double scale = 0.0, ssq = 1.0;
  SSQUPD(n, v, 1, scale, ssq);
  return SSQNRM(scale, ssq);
}

}  // namespace

void npmrt_penalties(int m, std::span<const double> css, double grdalf, double qpcurv, double rootmin,
                     double penmax, std::span<double> rhos, std::span<double> work2s, double& scale, double& rhonrm,
                     double& rhodmp, bool& incrun) {
  using runtime::Vec1;
  const Vec1<const double> cs(css);
  const Vec1<double> rho(rhos), work2(work2s);
  for (int i = 1; i <= m; ++i) work2(i) = std::abs(cs(i)) <= rootmin ? 0.0 : cs(i) * cs(i);
  const double qnorm = norm2(m, work2s.first(static_cast<std::size_t>(m)));
  bool overflow = false;
  const double penscale = SAFDIV(grdalf + 0.5 * qpcurv, qnorm, overflow);
  if (std::abs(penscale) <= penmax && !overflow) {
    scale = 1.0;
    for (int i = 1; i <= m; ++i) {
      const double peni = std::max(0.0, work2(i) * penscale / qnorm);
      const double t = std::sqrt((rhodmp + peni) * rho(i));
      if (t < 0.5 * rho(i)) rho(i) = t;
      rho(i) = std::max(rho(i), peni);
    }
    const double penprev = rhonrm;
    rhonrm = norm2(m, rhos.first(static_cast<std::size_t>(m)));
    // Each turn of the norm between rising and falling doubles the damping.
    if ((incrun && rhonrm < penprev) || (!incrun && rhonrm > penprev)) {
      rhodmp = 2.0 * rhodmp;
      incrun = !incrun;
    }
  }
}

void npmrt_slope(bool feasqp, int n, int nclin, int m, double& meritalf, double& grdalf, std::span<const int> istates,
                 std::span<const double> jacdirs, std::span<const double> lambdas, std::span<const double> css,
                 std::span<const double> dlambdas, std::span<const double> nlviols, std::span<double> work1s) {
  using runtime::Vec1;
  const Vec1<const int> istate(istates);
  const Vec1<const double> jacdir(jacdirs), lambda(lambdas), cs(css), dlambda(dlambdas), nlviol(nlviols);
  const Vec1<double> work1(work1s);

  meritalf -= dot(m, lambda, cs);
  grdalf -= dot(m, dlambda, cs);

  for (int i = 1; i <= m; ++i) work1(i) = cs(i);
  if (!feasqp) {
    // Violated constraints of an infeasible QP move along their linearization.
    for (int i = 1; i <= m; ++i)
      if (istate(n + nclin + i) < 0 || nlviol(i) != 0.0) work1(i) = -jacdir(i);
  }
  grdalf += dot(m, Vec1<const double>(work1.ptr(), m), lambda);
}

void npmrt_penalty_term(bool feasqp, int m, double& meritalf, double& grdalf, double penmax, std::span<const double> css,
                        std::span<const double> rhos, std::span<double> work1s, double& scale) {
  using runtime::Vec1;
  const Vec1<const double> cs(css), rho(rhos);
  const Vec1<double> work1(work1s);
  double pencs = 0.0;
  if (!feasqp) {
    // Infeasible QP: the whole penalty term is weighted by penmax.
    for (int i = 1; i <= m; ++i) work1(i) = rho(i) * work1(i);
    pencs = dot(m, Vec1<const double>(work1.ptr(), m), cs);
    scale = penmax;
    for (int i = 1; i <= m; ++i) work1(i) = cs(i);
  }

  for (int i = 1; i <= m; ++i) work1(i) = rho(i) * work1(i);
  const double penalty = dot(m, Vec1<const double>(work1.ptr(), m), cs);
  meritalf += 0.5 * scale * penalty;
  grdalf -= scale * (feasqp ? penalty : pencs);
}

void npmrt(Npmert& st, bool feasqp, int n, int nclin, int nnlcon, double& meritalf, double& grdalf,
           double qpcurv, std::span<const int> istates, std::span<const double> jacdirs,
           std::span<const double> lambdas, std::span<const double> css, std::span<const double> dlambdas,
           std::span<double> rhos, std::span<const double> nlviols, std::span<double> work1s,
           std::span<double> work2s, double penmax, int trace_unit) {
  if (nnlcon <= 0) return;
  const int m = nnlcon;
  const double rootmin = wmach(6);

  npmrt_slope(feasqp, n, nclin, m, meritalf, grdalf, istates, jacdirs, lambdas, css, dlambdas, nlviols, work1s);
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(a/11x,1p,2e14.2)",
                       {" //npmrt //        qpcurv        grdalf ", qpcurv, grdalf});

  if (feasqp) {
    npmrt_penalties(m, css, grdalf, qpcurv, rootmin, penmax, rhos, work2s, st.scale, st.rhonrm, st.rhodmp,
                    st.incrun);
    if (trace_unit > 0)
      runtime::write_fmt(trace_unit, "(a/(1p,5e15.6))",
                         {" //npmrt //  Penalty parameters =       ",
                          std::span<const double>(rhos.data(), static_cast<std::size_t>(m))});
  }

  npmrt_penalty_term(feasqp, m, meritalf, grdalf, penmax, css, rhos, work1s, st.scale);
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(a/11x,1p,3e14.2)",
                       {" //npmrt //         scale        rhonrm        grdalf ", st.scale, st.rhonrm, grdalf});
}

}  // namespace qv::optim
