#include "optim_alt/derivset.hpp"

#include <cmath>

#include "optim/npderiv.hpp"
#include "optim/options.hpp"
#include "optim_alt/blas.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/derivchk.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/records.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

namespace {

// The optimizer's derivative state for the routine both solvers share,
// filled from the edition's cells.
optim::Npdsta shared_state() {
  optim::Npdsta st;
  const E4work& wk = E4WORK;
  st.dif_class = wk.dif_class == 1 ? optim::kDifUser : (wk.dif_class == 2 ? optim::kDifFixed : optim::kDifComputed);
  st.nmissj = wk.nmissj;
  st.nmissg = wk.nmissg;
  return st;
}

}  // namespace

void E4FDGR(bool central, int& inform, int ldcj, int ldcju, int n, int nnlcon, double bigbnd, double cdint,
            double fdint, double& fdnorm, double fobj, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun,
            std::span<int> kneed, std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> c1, std::span<double> c2, std::span<double> cjac, std::span<double> cjacu,
            std::span<double> grad, std::span<double> gradu, std::span<const double> hforwd,
            std::span<const double> hcntrl, std::span<double> x, std::span<double> w, int lenw, std::span<int> iusr,
            std::span<double> rusr) {
  const optim::Npdsta st = shared_state();
  optim::NPFDGR(st, central, inform, ldcj, ldcju, n, nnlcon, bigbnd, cdint, fdint, fdnorm, fobj, cnlfun, objfun,
                kneed, bl, bu, c, c1, c2, cjac, cjacu, grad, gradu, hforwd, hcntrl, x, w, lenw, iusr, rusr);
}

void E4DERV(int& inform, int msglvl, int kfirst, int& lvlder, int& nfun, int& ngrad, int ldcj, int ldcju, int n,
            int nnlcon, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, std::span<int> kneeds,
            double bigbnd, double fprec, double cdint, double fdint, double dxchk, double& fdnorm, double& fobj,
            double xnorm, std::span<const double> bl, std::span<const double> bu, std::span<double> cs,
            std::span<double> wrk1, std::span<double> cjacs, std::span<double> cjacus, std::span<double> wrk2,
            std::span<double> dx, std::span<double> grads, std::span<double> gradus, std::span<double> hforwd,
            std::span<double> hcntrl, std::span<double> xs, std::span<double> wrk3, std::span<double> wrk4,
            std::span<double> w, int lenw, std::span<int> iusr, std::span<double> rusr) {
  E4work& wk = E4WORK;
  const int nout = advisory_unit();
  const bool prt = msglvl > 0;
  const Vec1<int> kneed(kneeds);
  const Mat1<double> cjacu(cjacus, ldcju);
  const Vec1<double> gradu(gradus);
  int infog = 0, infocj = 0;
  wk.nmissj = 0;
  wk.nmissg = 0;
  int ncset = n * nnlcon;
  inform = 0;

  // The constraints: values and the Jacobian elements the callback sets.
  if (nnlcon > 0) {
    const bool count = lvlder == 0 || lvlder == 1;
    if (count) optkern::MATSET("General", nnlcon, n, optim::kDerivUnset, optim::kDerivUnset, cjacus, ldcju);
    for (int i = 1; i <= nnlcon; ++i) kneed(i) = 1;
    int mode = 2;
    cnlfun(mode, nnlcon, n, ldcju, kneeds, xs, cs, cjacus, kfirst, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
    optkern::MATCPY("General", nnlcon, n, cjacus, ldcju, cjacs, ldcj);
    if (count) {
      for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= nnlcon; ++i)
          if (cjacu(i, j) == optim::kDerivUnset) wk.nmissj += 1;
      ncset = n * nnlcon - wk.nmissj;
      if (kfirst == 1) {
        if (wk.nmissj == 0) {
          lvlder = lvlder == 0 ? 2 : 3;
          if (prt)
            put_records(nout, "(//' All Jacobian elements have been set.',/' Derivative level increased to ',i4)",
                        {lvlder});
        } else if (prt) {
          put_records(nout,
                      "(//' The user sets ',i6,'   out of',i6,'   Jacobian elements.'/' Each iteration, ',i6,"
                      "'   Jacobian elements will be estimated numerically.')",
                      {ncset, n * nnlcon, wk.nmissj});
        }
      }
    }
  }

  // The objective: its value and the gradient elements the callback sets.
  const bool gcount = lvlder == 0 || lvlder == 2;
  if (gcount)
    for (int j = 1; j <= n; ++j) gradu(j) = optim::kDerivUnset;
  {
    int mode = 2;
    objfun(mode, n, xs, fobj, gradus, kfirst, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
  }
  const int inc = 1;
  dcopy_(&n, gradus.data(), &inc, grads.data(), &inc);
  if (gcount) {
    for (int j = 1; j <= n; ++j)
      if (gradu(j) == optim::kDerivUnset) wk.nmissg += 1;
    if (kfirst == 1) {
      if (wk.nmissg == 0) {
        lvlder = lvlder == 0 ? 1 : 3;
        if (prt)
          put_records(nout,
                      "(//' All objective gradient elements have been set.',/' Derivative level increased to ',i4)",
                      {lvlder});
      } else if (prt) {
        put_records(nout,
                    "(//' The user sets ',i6,'   out of',i6,'   objective gradient elements.'/' Each iteration, ',"
                    "i6,'   gradient elements will be estimated numerically.')",
                    {n - wk.nmissg, n, wk.nmissg});
      }
    }
  }
  nfun += 1;
  ngrad += 1;

  // The checks of the supplied elements.
  if (wk.verify >= 0) {
    const double tol = std::pow(kEps, 0.33);
    if (ncset > 0) {
      E4CHKJ(infocj, lvlder, msglvl, ncset, n, nnlcon, ldcj, ldcju, bigbnd, fprec, tol, dxchk, xnorm, cnlfun, kneeds,
             bl, bu, cs, wrk1, cjacs, cjacus, wrk2, dx, wrk4, xs, wrk3, iusr, rusr);
      if (infocj < 0) {
        inform = infocj;
        return;
      }
    }
    if (wk.nmissg < n) {
      E4CHKG(infog, msglvl, n, bigbnd, fprec, tol, dxchk, fobj, xnorm, objfun, bl, bu, grads, gradus, dx, xs, wrk3,
             iusr, rusr);
      if (infog < 0) {
        inform = infog;
        return;
      }
    }
  }

  // The intervals and the first estimates of the missing elements.
  if (wk.nmissj > 0 || wk.nmissg > 0) {
    int info = 0;
    E4FDIV(info, msglvl, lvlder, n, nnlcon, ldcj, ldcju, bigbnd, fprec, fdnorm, fobj, objfun, cnlfun, kneeds, bl, bu,
           cs, wrk1, wrk2, cjacs, cjacus, grads, gradus, hforwd, hcntrl, xs, dx, iusr, rusr);
    if (info < 0) {
      inform = info;
      return;
    }
    if (wk.dif_class == 1 || wk.dif_class == 2) {
      // Given intervals: the set-up comes before the major iterations, so
      // the differences are forward ones.
      E4FDGR(false, info, ldcj, ldcju, n, nnlcon, bigbnd, cdint, fdint, fdnorm, fobj, cnlfun, objfun, kneeds, bl, bu,
             cs, wrk1, wrk2, cjacs, cjacus, grads, gradus, hforwd, hcntrl, xs, w, lenw, iusr, rusr);
      if (info < 0) {
        inform = info;
        return;
      }
    }
  }
  inform = infog + infocj;
}

}  // namespace qv::optim_alt
