#include "optim_alt/nlwset.hpp"

#include "optim/npwset.hpp"
#include "optim_alt/records.hpp"

namespace qv::optim_alt {

void E04UCS(bool cold, int n, int nclin, int nnlcon, int nctotl, int& nactiv, int nfree, int& nz,
            std::span<int> istate, std::span<int> wslist, double bigbnd, double tolact, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, bool debug) {
  const int linact = nactiv;
  optim::npcrsh(cold, n, nclin, nnlcon, nctotl, nactiv, nfree, nz, istate, wslist, bigbnd, tolact, bl, bu, c, 0);
  if (debug)
    put_records(advisory_unit(), "(/a/a/' //E04UCS//',3i7)",
                {" //E04UCS//  Working set selected....", " //E04UCS// NFIXED LINACT NLNACT     ", n - nfree, linact,
                 nactiv - linact});
}

void E04UCW(int n, int nclin, int nnlcon, std::span<const int> istate, double bigbnd, double& cviolnorm,
            double& errmax, int& jmax, int& nviol, std::span<const double> ax, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<const double> featol,
            std::span<const double> x, std::span<double> work, bool debug) {
  optim::npfeas(n, nclin, nnlcon, istate, bigbnd, cviolnorm, errmax, jmax, nviol, ax, bl, bu, c, featol, x, work, 0);
  if (debug)
    put_records(advisory_unit(), "(/a,1p,d14.2,a,i5)",
                {" //E04UCW//  The maximum violation is ", errmax, " in constraint", jmax});
}

void E04UCM(bool unitq, int ncqp, int nactiv, int nfree, int nz, int n, int nlnx, int nctotl, int ldq, int ldaqp,
            int ldr, int ldt, std::span<const int> istate, std::span<const int> wslist, std::span<const int> kx,
            double& stepnorm, double& gdir, std::span<const double> aqp, std::span<double> adx,
            std::span<const double> bl, std::span<const double> bu, std::span<double> rstep,
            std::span<double> rstep0, std::span<double> dx, std::span<const double> gq, std::span<const double> r,
            std::span<const double> t, std::span<const double> q, std::span<double> work, bool debug) {
  optim::npsetx(unitq, ncqp, nactiv, nfree, nz, n, nlnx, nctotl, ldq, ldaqp, ldr, ldt, istate, wslist, kx, stepnorm,
                gdir, aqp, adx, bl, bu, rstep, rstep0, dx, gq, r, t, q, work, 0);
  if (debug)
    put_records(advisory_unit(), "(/a/(5g12.3))",
                {" //E04UCM// Variables after E04UCM ... ", std::span<const double>(dx.first(static_cast<std::size_t>(n)))});
}

}  // namespace qv::optim_alt
