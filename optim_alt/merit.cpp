#include "optim_alt/merit.hpp"

#include "optim/npmrt.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "optkern/blas.hpp"
#include "optkern/machine.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

namespace {

using runtime::Vec1;

double dot(int m, Vec1<const double> a, Vec1<const double> b) {
  const int inc = 1;
  return ddot_(&m, a.ptr(), &inc, b.ptr(), &inc);
}

}  // namespace

void E04UCN(bool feasqp, int n, int nclin, int nnlcon, double& meritalf, double& grdalf, double qpcurv,
            std::span<const int> istates, std::span<const double> jacdirs, std::span<const double> lambdas,
            std::span<const double> css, std::span<const double> dlambdas, std::span<double> rhos,
            std::span<const double> nlviols, std::span<double> work1s, std::span<double> work2s, bool debug) {
  if (nnlcon <= 0) return;
  E4mert& st = E4MERT;
  const int m = nnlcon;
  const Vec1<const int> istate(istates);
  const Vec1<const double> jacdir(jacdirs), lambda(lambdas), cs(css), dlambda(dlambdas), nlviol(nlviols);
  const Vec1<double> rho(rhos), work1(work1s);
  const Vec1<const double> w1(work1s);
  const double rootmin = optkern::wmach(6);  // square root of the smallest positive number
  const double penmax = 1.0 / kEps;
  const int nout = debug ? advisory_unit() : 0;

  meritalf -= dot(m, lambda, cs);
  grdalf -= dot(m, dlambda, cs);

  for (int i = 1; i <= m; ++i) work1(i) = cs(i);
  if (!feasqp) {
    // Violated constraints of an infeasible QP move along their linearization.
    for (int i = 1; i <= m; ++i)
      if (istate(n + nclin + i) < 0 || nlviol(i) != 0.0) work1(i) = -jacdir(i);
  }
  grdalf += dot(m, w1, lambda);
  if (debug) put_records(nout, "(a/11x,1p,2d14.2)", {" //E04UCN //        QPCURV        GRDALF ", qpcurv, grdalf});

  double pencs = 0.0;
  if (feasqp) {
    optim::npmrt_penalties(m, css, grdalf, qpcurv, rootmin, penmax, rhos, work2s, st.scale, st.rhonrm, st.rhodmp,
                           st.incrun);
    if (debug)
      put_records(nout, "(a/(1p,5d15.6))",
                  {" //E04UCN //  Penalty parameters =       ", std::span<const double>(rhos.first(static_cast<std::size_t>(m)))});
  } else {
    // Infeasible QP: the whole penalty term is weighted by the largest penalty.
    for (int i = 1; i <= m; ++i) work1(i) = rho(i) * work1(i);
    pencs = dot(m, w1, cs);
    st.scale = penmax;
    for (int i = 1; i <= m; ++i) work1(i) = cs(i);
  }

  for (int i = 1; i <= m; ++i) work1(i) = rho(i) * work1(i);
  const double penalty = dot(m, w1, cs);
  meritalf += 0.5 * st.scale * penalty;
  grdalf -= st.scale * (feasqp ? penalty : pencs);
  if (debug)
    put_records(nout, "(a/11x,1p,3d14.2)",
                {" //E04UCN //         SCALE        RHONRM        GRDALF ", st.scale, st.rhonrm, grdalf});
}

}  // namespace qv::optim_alt
