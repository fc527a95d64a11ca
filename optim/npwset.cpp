#include "optim/npwset.hpp"

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

// Euclidean norm of v(1..n) by the scaled sum of squares.
double norm2(int n, Vec1<const double> v) {
  if (n <= 0) return 0.0;
  double scale = 0.0, ssq = 1.0;
  SSQUPD(n, std::span<const double>(v.ptr(), static_cast<std::size_t>(n)), 1, scale, ssq);
  return SSQNRM(scale, ssq);
}

}  // namespace

void npcrsh(bool cold, int n, int nclin, int nnlcon, int nctotl, int& nactiv, int nfree, int& nZ,
            std::span<int> istates, std::span<int> wslists, double bigbnd, double tolact,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> cs,
            int trace_unit) {
  (void)nctotl;
  const Vec1<int> istate(istates), wslist(wslists);
  const Vec1<const double> bl(bls), bu(bus), c(cs);
  const int nplin = n + nclin;
  const int nfixed = n - nfree;
  const int linact = nactiv;

  if (cold)
    for (int i = 1; i <= nnlcon; ++i) {
      const int j = nplin + i;
      istate(j) = bl(j) == bu(j) ? 3 : 0;
    }

  // Constraints already marked active enter in their order while there is
  // room; without room they leave the working set.
  for (int i = 1; i <= nnlcon; ++i) {
    const int j = nplin + i;
    if (nactiv + nfixed == n) istate(j) = 0;
    if (istate(j) > 0) {
      ++nactiv;
      wslist(nactiv) = nclin + i;
    }
  }

  if (cold) {
    const double biglow = -bigbnd, bigupp = bigbnd;
    bool added = true;
    while (added && nactiv + nfixed < n) {
      added = false;
      double resmin = tolact;
      int imin = 0, state = 0;
      for (int i = 1; i <= nnlcon; ++i) {
        const int j = nplin + i;
        if (istate(j) != 0) continue;
        const double b1 = bl(j), b2 = bu(j);
        const double resl = b1 > biglow ? std::abs(c(i) - b1) / (1.0 + std::abs(b1)) : 2.0 * tolact;
        const double resu = b2 < bigupp ? std::abs(c(i) - b2) / (1.0 + std::abs(b2)) : 2.0 * tolact;
        const double res = std::min(resl, resu);
        if (res < resmin) {
          resmin = res;
          imin = i;
          state = resu < resl ? 2 : 1;
        }
      }
      if (imin > 0) {
        istate(nplin + imin) = state;
        ++nactiv;
        wslist(nactiv) = nclin + imin;
        added = true;
      }
    }
  }

  const int nlnact = nactiv - linact;
  nZ = nfree - nactiv;
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(/a/' //npcrsh//     nfixed    linact    nlnact'/' //npcrsh//',3i10)",
                       {" //npcrsh//  Working set selected....", nfixed, linact, nlnact});
}

void npfeas(int n, int nclin, int nnlcon, std::span<const int> istates, double bigbnd, double& cviolnorm,
            double& errmax, int& jmax, int& nviol, std::span<const double> axs, std::span<const double> bls,
            std::span<const double> bus, std::span<const double> cs, std::span<const double> featols,
            std::span<const double> xs, std::span<double> works, int trace_unit) {
  const Vec1<const int> istate(istates);
  const Vec1<const double> ax(axs), bl(bls), bu(bus), c(cs), featol(featols), x(xs);
  const Vec1<double> work(works);
  const double biglow = -bigbnd, bigupp = bigbnd;
  const int nplin = n + nclin;
  const int nctotl = nplin + nnlcon;

  nviol = 0;
  for (int j = 1; j <= nctotl; ++j) {
    const double feasj = featol(j);
    const double con = j <= n ? x(j) : j <= nplin ? ax(j - n) : c(j - nplin);
    // Bounds and linear rows are violated beyond their tolerance; a
    // nonlinear row reports any violation.
    const double tolj = j <= nplin ? feasj : 0.0;
    const double b1 = bl(j), b2 = bu(j);
    double res = 0.0;
    bool done = false;
    if (b1 > biglow) {
      res = b1 - con;
      if (res > feasj) ++nviol;
      done = res > tolj;
    }
    if (!done && b2 < bigupp) {
      res = b2 - con;
      if (res < -feasj) ++nviol;
      done = res < -tolj;
    }
    if (!done) {
      const int is = istate(j);
      if (is == 0)
        res = 0.0;
      else if (is == 1 || is < -1)
        res = b1 - con;
      else
        res = b2 - con;
      if (std::abs(res) > feasj) ++nviol;
    }
    work(j) = res;
  }

  jmax = 1;
  errmax = std::abs(work(1));
  for (int j = 2; j <= nctotl; ++j)
    if (std::abs(work(j)) > errmax) {
      errmax = std::abs(work(j));
      jmax = j;
    }
  cviolnorm = norm2(nctotl, Vec1<const double>(work.ptr(), nctotl));
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(/a,1p,e14.2,a,i5)",
                       {" //npfeas//  The maximum violation is ", errmax, " in constraint", jmax});
}

void npalf_search(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax,
                  double bigbnd, double stepnorm, double tol, std::span<const double> anorms,
                  std::span<const double> adxs, std::span<const double> axs, std::span<const double> bls,
                  std::span<const double> bus, std::span<const double> dslacks, std::span<const double> dxs,
                  std::span<const double> slacks, std::span<const double> xs, StepRowTrace row_trace, void* ctx) {
  const Vec1<const double> anorm(anorms), adx(adxs), ax(axs), bl(bls), bu(bus), dslack(dslacks), dx(dxs),
      slack(slacks), x(xs);
  const double biglow = -bigbnd, bigupp = bigbnd;
  const int nplin = n + nclin;
  const int nctotl = nplin + nnlcon;

  alfa = alfmax;
  for (int j = 1; j <= nctotl && alfa > alfalow; ++j) {
    double value, comp, rownrm = 1.0;
    if (j <= n) {
      value = x(j);
      comp = dx(j);
    } else if (j <= nplin) {
      value = ax(j - n);
      comp = adx(j - n);
      rownrm = anorm(j - n) + 1.0;
    } else {
      value = slack(j - nplin);
      comp = dslack(j - nplin);
    }
    const double tiny = tol * rownrm * stepnorm;
    double res = -1.0;
    if (comp <= -tiny) {
      if (bl(j) > biglow) {
        res = value - bl(j);
        comp = -comp;
      }
    } else if (comp > tiny) {
      if (bu(j) < bigupp) res = bu(j) - value;
    }
    if (res > 0.0 && alfa * comp > res) alfa = res / comp;
    if (row_trace != nullptr) row_trace(ctx, j, res, comp, alfa);
  }

  alfa = std::max(alfa, alfalow);
  info = alfa >= alfmax ? 1 : 0;
}

namespace {

void npalf_row_record(void* ctx, int j, double res, double comp, double alfa) {
  runtime::write_fmt(*static_cast<const int*>(ctx), "(i5,3g15.5)", {j, res, comp, alfa});
}

}  // namespace

void npalf(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax, double bigbnd,
           double stepnorm, std::span<const double> anorms, std::span<const double> adxs,
           std::span<const double> axs, std::span<const double> bls, std::span<const double> bus,
           std::span<const double> dslacks, std::span<const double> dxs, std::span<const double> slacks,
           std::span<const double> xs, int trace_unit) {
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(/a/a)",
                       {" npalf  entered", "    j            res             Ap           alfa "});

  npalf_search(info, n, nclin, nnlcon, alfa, alfalow, alfmax, bigbnd, stepnorm, NPPREC.epspt9, anorms, adxs, axs,
               bls, bus, dslacks, dxs, slacks, xs, trace_unit > 0 ? npalf_row_record : nullptr, &trace_unit);

  if (trace_unit > 0 && info == 1)
    runtime::write_fmt(trace_unit, "(/a,1p,e15.5)", {" //npalf //  No finite step.", alfa});
}

void npsetx(bool unitQ, int ncqp, int nactiv, int nfree, int nZ, int n, int nlnx, int nctotl, int ldQ,
            int ldaqp, int ldR, int ldT, std::span<const int> istates, std::span<const int> wslists,
            std::span<const int> kxs, double& stepnorm, double& gdir, std::span<const double> aqps,
            std::span<double> adxs, std::span<const double> bls, std::span<const double> bus,
            std::span<double> rsteps, std::span<double> rstep0s, std::span<double> dxs,
            std::span<const double> gqs, std::span<const double> rs, std::span<const double> ts,
            std::span<const double> qs, std::span<double> works, int trace_unit) {
  (void)nctotl;
  const Vec1<const int> istate(istates), wslist(wslists), kx(kxs);
  const Vec1<const double> bl(bls), bu(bus), gq(gqs);
  const Vec1<double> adx(adxs), rstep(rsteps), rstep0(rstep0s), dx(dxs), work(works);
  const Mat1<const double> aqp(aqps, ldaqp), R(rs, ldR), T(ts, ldT);
  const int nfixed = n - nfree;

  gdir = 0.0;
  for (int k = 1; k <= n; ++k) {
    dx(k) = 0.0;
    rstep(k) = 0.0;
    rstep0(k) = 0.0;
  }

  if (nactiv + nfixed > 0) {
    // Fixed variables take their bounds; a temporarily fixed one stays put.
    for (int k = 1; k <= nfixed; ++k) {
      const int j = kx(nfree + k);
      const int is = istate(j);
      if (is <= 3) {
        const double target = is == 2 ? bu(j) : bl(j);
        dx(j) = target;
        work(nfree + k) = target;
      } else {
        work(nfree + k) = 0.0;
      }
    }
    // Residuals of the active general constraints at that point.
    for (int i = 1; i <= nactiv; ++i) {
      const int row = wslist(i);
      const int j = n + row;
      const double target = istate(j) == 2 ? bu(j) : bl(j);
      double s = 0.0;
      for (int k = 1; k <= n; ++k) s += aqp(row, k) * dx(k);
      work(nZ + i) = target - s;
    }
    if (nactiv > 0) {
      const Mat1<const double> tz = T.from(1, nZ + 1);
      FACSOL(1, ldT, nactiv,
             std::span<const double>(tz.ptr(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(tz.extent(), 0))),
             std::span<double>(work.ptr(nZ + 1), static_cast<std::size_t>(nactiv)));
    }

    // The step in the transformed space: no null-space part.
    for (int k = 1; k <= nZ; ++k) dx(k) = 0.0;
    for (int k = nZ + 1; k <= n; ++k) {
      dx(k) = work(k);
      gdir += gq(k) * dx(k);
    }

    if (nZ < n) {
      for (int i = 1; i <= nZ; ++i) {
        double s = 0.0;
        for (int k = nZ + 1; k <= n; ++k) s += R(i, k) * dx(k);
        rstep(i) = -s;
      }
      for (int i = nZ + 1; i <= nlnx; ++i) {
        double s = 0.0;
        for (int k = i; k <= n; ++k) s += R(i, k) * dx(k);
        rstep(i) = -s;
      }
    }
    FACMUL(2, n, nZ, nfree, ldQ, unitQ, kxs, dxs, qs, works);
  }

  stepnorm = norm2(n, Vec1<const double>(dx.ptr(), n));
  for (int i = 1; i <= ncqp; ++i) {
    double s = 0.0;
    for (int k = 1; k <= n; ++k) s += aqp(i, k) * dx(k);
    adx(i) = s;
  }
  if (trace_unit > 0)
    runtime::write_fmt(trace_unit, "(/a/(5g12.3))",
                       {" //npsetx// Variables after npsetx ... ",
                        std::span<const double>(dx.ptr(), static_cast<std::size_t>(n))});
}

}  // namespace qv::optim
