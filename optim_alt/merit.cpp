#include "optim_alt/merit.hpp"

#include "optim/npmrt.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "optkern/machine.hpp"

namespace qv::optim_alt {

void E04UCN(bool feasqp, int n, int nclin, int nnlcon, double& meritalf, double& grdalf, double qpcurv,
            std::span<const int> istates, std::span<const double> jacdirs, std::span<const double> lambdas,
            std::span<const double> css, std::span<const double> dlambdas, std::span<double> rhos,
            std::span<const double> nlviols, std::span<double> work1s, std::span<double> work2s, bool debug) {
  if (nnlcon <= 0) return;
  E4mert& st = E4MERT;
  const int m = nnlcon;
  const double rootmin = optkern::wmach(6);  // square root of the smallest positive number
  const double penmax = 1.0 / kEps;
  const int nout = debug ? advisory_unit() : 0;

  optim::npmrt_slope(feasqp, n, nclin, m, meritalf, grdalf, istates, jacdirs, lambdas, css, dlambdas, nlviols,
                     work1s);
  if (debug) put_records(nout, "(a/11x,1p,2d14.2)", {" //E04UCN //        QPCURV        GRDALF ", qpcurv, grdalf});

  if (feasqp) {
    optim::npmrt_penalties(m, css, grdalf, qpcurv, rootmin, penmax, rhos, work2s, st.scale, st.rhonrm, st.rhodmp,
                           st.incrun);
    if (debug)
      put_records(nout, "(a/(1p,5d15.6))",
                  {" //E04UCN //  Penalty parameters =       ", std::span<const double>(rhos.first(static_cast<std::size_t>(m)))});
  }

  // An infeasible QP weights the whole penalty term by the largest penalty.
  optim::npmrt_penalty_term(feasqp, m, meritalf, grdalf, penmax, css, rhos, work1s, st.scale);
  if (debug)
    put_records(nout, "(a/11x,1p,3d14.2)",
                {" //E04UCN //         SCALE        RHONRM        GRDALF ", st.scale, st.rhonrm, grdalf});
}

}  // namespace qv::optim_alt
