#include "optim_alt/update.hpp"

#include <algorithm>
#include <cmath>

#include "optim/npupdt.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/r1mod.hpp"
#include "optim_alt/records.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Vec1;

void E04UCL(char& flag, bool unitq, int n, int nnlcon, int nfree, int nz, int ldcj1, int ldcj, int ldq, int ldr,
            std::span<const int> kx, double alfa, double dlag0, double dlag1, double qpcurv,
            std::span<const double> cjac1, std::span<const double> cjac, std::span<const double> cjdx1,
            std::span<const double> cjdx, std::span<const double> cs1, std::span<const double> cs,
            std::span<double> gq1, std::span<const double> gq, std::span<double> hstep, std::span<double> rstep,
            std::span<const double> qpmul, std::span<double> r, std::span<double> omega, std::span<const double> q,
            std::span<double> work1, std::span<double> work2, double& rfrobn, bool debug) {
  const int m = nnlcon;
  const Vec1<double> omegav(omega);
  const double penmax = 1.0 / kEps;
  const int nout = debug ? advisory_unit() : 0;

  for (int i = 1; i <= m; ++i) omegav(i) = 0.0;
  // Without a positive step and a positive curvature of the QP along it there
  // is no update to make: the divisions below would put NaN or infinities
  // into R.
  if (!(alfa > 0.0) || !(qpcurv > 0.0)) return;
  double curvl = dlag1 - dlag0;
  const double tinycurv = 0.1 * qpcurv;
  const bool ssbfgs = curvl <= alfa * tinycurv;
  if (debug)
    put_records(nout, "(a/a,l4,1p,2d14.2)",
                {" //E04UCL// SSBFGS    min. CURVL         CURVL ", " //E04UCL//", ssbfgs, tinycurv, curvl});

  if (curvl < tinycurv) {
    flag = 'M';
    if (m > 0 && optim::npupdt_penalty_weights(m, tinycurv, penmax, cjdx1, cjdx, cs1, cs, omega, work1, curvl)) {
      flag = ' ';
      if (debug) {
        int imax = 1;
        for (int i = 2; i <= m; ++i)
          if (std::abs(omegav(i)) > std::abs(omegav(imax))) imax = i;
        put_records(nout, "(a,1p,d14.2)", {" //E04UCL//   OMEGA(IMAX)", omegav(imax)});
        put_records(nout, "(a/(1p,5d15.6))",
                    {" //E04UCL//  Penalty parameters = ", std::span<const double>(omega.data(), m)});
      }
    }
  }

  if (m > 0)
    optim::npupdt_constraint_terms(unitq, n, m, nfree, nz, ldcj1, ldcj, ldq, kx, cjac1, cjac, cs1, cs, qpmul, omega, q,
                                   gq1, work1, work2);

  curvl = std::max(curvl, tinycurv);
  if (debug) put_records(nout, "(a/a,1p,2d14.2)", {" //E04UCL//          ALFA         CURVL ", " //E04UCL//", alfa, curvl});
  optim::npupdt_bfgs_terms(n, ldr, ssbfgs, alfa, curvl, qpcurv, gq, gq1, hstep, rstep, r, rfrobn);

  // R := the triangular factor of R + rstep v'.
  E4R1MD(n, 0, n, ldr, n, n, r, std::span<double>(), rstep, gq1);
}

}  // namespace qv::optim_alt
