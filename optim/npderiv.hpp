// Derivative set-up, finite differences and derivative checks of NLSQP.
//
// The callbacks may set all, some or none of the gradient and Jacobian
// elements.  Before the first call the caller's arrays are filled with the
// unset marker kDerivUnset; an element still holding it afterwards is
// missing and is estimated by differences at every new point.  The markers
// stay in the caller's ("user") arrays for the whole run; estimates go only
// into the optimizer's own ("working") gradient and Jacobian.
//
//   NPDERV  first calls of both callbacks, counts of the elements set,
//           derivative checks, intervals and first estimates;
//   NPFDGR  forward or one-sided central estimates of every missing element;
//   FDINTV  a difference interval per variable by the search chcore;
//   CHKOBG, CHKCNJ  checks of supplied gradient and Jacobian elements;
//   FDINTO, FDINTJ, CHKOBJ  variants for an objective-only problem and for an
//           objective given as a vector of residuals (no caller in Qv).
//
// A negative MODE from a callback ends the routine at once with that value as
// its result; x is left as it was at that moment.  Matrices are column-major
// with the stated leading dimension; all vectors are indexed from 1 in the
// algorithms.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>

#include "optim/nlsqp.hpp"
#include "optim/options.hpp"

namespace qv::optim {

// The tallies of one variable's interval searches, from which its forward
// and central intervals are chosen.  The difference intervals of the
// optimizer and of the alternative edition both keep one per variable.
struct FdTally {
  double xj = 0.0, hsign = 1.0;
  double hmax = 0.0, hmin = 0.0, errmax = 0.0, errmin = 0.0;
  double sdsum = 0.0, epssum = 0.0, hfwd = 0.0, hcen = 0.0;
  bool found = false;

  // One element's search (its result info, second-derivative estimate
  // sdest, interval hopt with error bound errbnd, central interval hcint)
  // with the absolute accuracy absacc of its function: its error terms, its
  // interval as the largest or the smallest so far, and its central interval
  // when the search settled.
  void add(int info, double sdest, double hopt, double errbnd, double hcint, double absacc) {
    sdsum += std::abs(sdest);
    epssum += absacc;
    if (hopt > hmax) {
      hmax = hopt;
      errmax = errbnd;
    }
    if (hopt < hmin) {
      hmin = hopt;
      errmin = errbnd;
    }
    if (info == 0) hcen = std::max(hcen, hcint);
  }

  // The forward interval that balances truncation and cancellation errors,
  // its error estimate, and the central interval.
  void choose() {
    if (hmax < hmin) {
      hmin = hmax;
      errmin = errmax;
    }
    if (4.0 * epssum < hmin * hmin * sdsum) {
      hfwd = hmin;
      errmax = errmin;
    } else if (hmax * hmax * sdsum < 4.0 * epssum) {
      hfwd = hmax;
    } else {
      hfwd = 2.0 * std::sqrt(epssum / sdsum);
      errmax = 2.0 * std::sqrt(epssum * sdsum);
    }
    if (hcen == 0.0) hcen = 10.0 * hfwd;
  }
};

// Derivative state of one run, handed by reference to the routines below so
// that a second solver can run them on its own state.  NLSQP keeps NPDSTA.
struct Npdsta {
  // Settings of the run, filled by the caller before the set-up.
  int dif_class = kDifComputed;  // kDifComputed, kDifUser or kDifFixed
  int difmode = 1;               // 1 forward differences, 2 central
  int verify = -1;               // working verify level (below 0: no check)
  int iprint = 0;                // print file (0: none)
  int isumm = 0;                 // summary file (0: none)
  bool chdbg = false;            // trace of the interval search
  int jobj1 = 1, jobj2 = 0;      // variables of the element check of the objective
  int jcon1 = 1, jcon2 = 0;      // variables of the element check of the constraints

  // Missing counts, set by NPDERV, corrected by FDINTV, read by NPFDGR for
  // the whole run.
  int nmissj = 0;  // missing Jacobian elements
  int nmissg = 0;  // missing gradient elements

  void reset() { *this = Npdsta{}; }
};
inline Npdsta NPDSTA;

// Verdict comments of the interval search (index 0..4), 18 characters when
// printed; CHKCNJ writes the last one with a small s.
extern const char* const kChcoreVerdict[5];

// Derivative set-up at x.  inform: 0 checks passed, 1 or 2 the number of
// checks with large errors, negative the MODE of a callback.  lvlder is
// raised when the callbacks set every element.  nfun and ngrad grow by 1.
// cdint/fdint are the fixed central and forward intervals, dxchk the check
// interval; fdnorm returns the largest forward step used.  Work: wrk1 and
// wrk2 (nnlcon), dx and wrk3 (n), wrk4 (nnlcon), w (lenw).
void NPDERV(Npdsta& st, int& inform, int msglvl, int kfirst, int& lvlder, int& nfun, int& ngrad,
            int ldcj, int ldcju, int n, int nnlcon, const Cnlfun& cnlfun, const Objfun& objfun,
            std::span<int> kneed, double bigbnd, double fprec, double cdint, double fdint,
            double dxchk, double& fdnorm, double& fobj, double xnorm, std::span<const double> bl,
            std::span<const double> bu, std::span<double> c, std::span<double> wrk1,
            std::span<double> cjac, std::span<double> cjacu, std::span<double> wrk2,
            std::span<double> dx, std::span<double> grad, std::span<double> gradu,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> x,
            std::span<double> wrk3, std::span<double> wrk4, std::span<double> w, int lenw,
            std::span<int> iusr, std::span<double> rusr);

// Difference estimates at x of every missing element (markers read from the
// user arrays) into cjac and grad.  c and fobj must be the values at x.
// central: one-sided central estimates from x + delta and x + 2 delta.
void NPFDGR(const Npdsta& st, bool central, int& inform, int ldcj, int ldcju, int n, int nnlcon,
            double bigbnd, double cdint, double fdint, double& fdnorm, double fobj,
            const Cnlfun& cnlfun, const Objfun& objfun, std::span<int> kneed,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> c1, std::span<double> c2, std::span<double> cjac,
            std::span<double> cjacu, std::span<double> grad, std::span<double> gradu,
            std::span<const double> hforwd, std::span<const double> hcntrl, std::span<double> x,
            std::span<double> w, int lenw, std::span<int> iusr, std::span<double> rusr);

// Difference intervals hforwd and hcntrl (relative to 1 + |x(j)|) and first
// central estimates of the missing elements; elements found constant are
// confirmed at a second point.  c1 and cwrk are constraint work vectors, dx
// a work vector of n.
void FDINTV(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, int nnlcon, int ldcj, int ldcju,
            double bigbnd, double fprec, double& fdnorm, double fobj, const Objfun& objfun,
            const Cnlfun& cnlfun, std::span<int> kneed, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<double> c1,
            std::span<double> cwrk, std::span<double> cjac, std::span<double> cjacu,
            std::span<double> grad, std::span<double> gradu, std::span<double> hforwd,
            std::span<double> hcntrl, std::span<double> x, std::span<double> dx, std::span<double> w,
            int lenw, std::span<int> iusr, std::span<double> rusr);

// Check of the supplied objective gradient: inform 0, 1 (large errors) or
// the negative MODE.  oktol is the tolerance, dxchk the check interval.
void CHKOBG(const Npdsta& st, int& inform, int msglvl, int n, double bigbnd, double fprec,
            double oktol, double dxchk, double fobj, double xnorm, const Objfun& objfun,
            std::span<const double> bl, std::span<const double> bu, std::span<double> grad,
            std::span<double> gradu, std::span<double> dx, std::span<double> x,
            std::span<double> y, std::span<double> w, int lenw, std::span<int> iusr,
            std::span<double> rusr);

// Check of the supplied constraint Jacobian; ncset is the number of
// Jacobian elements set.  c1, cjdx and err are work vectors of nnlcon.
void CHKCNJ(const Npdsta& st, int& inform, int lvlder, int msglvl, int ncset, int n, int nnlcon,
            int ldcj, int ldcju, double bigbnd, double fprec, double oktol, double dxchk,
            double xnorm, const Cnlfun& cnlfun, std::span<int> kneed, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<double> c1,
            std::span<double> cjac, std::span<double> cjacu, std::span<double> cjdx,
            std::span<double> dx, std::span<double> err, std::span<double> x, std::span<double> y,
            std::span<double> w, int lenw, std::span<int> iusr, std::span<double> rusr);

// FDINTV for an objective alone (no constraint rows); runs when lvlder is 0
// or 2.
void FDINTO(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, double bigbnd, double fprec,
            double& fdnorm, double fobj, const Objfun& objfun, std::span<const double> bl,
            std::span<const double> bu, std::span<double> grad, std::span<double> gradu,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> x,
            std::span<double> dx, std::span<double> w, int lenw, std::span<int> iusr,
            std::span<double> rusr);

// FDINTV for an objective given as nres residuals f with Jacobian fjac
// (leading dimensions ldfj, ldfju): the residuals come from objres, called
// like a constraint callback with its own need flags kneedf (nres).  The
// gradient-level digit counts the objective Jacobian: missing objective
// elements are counted in st.nmissg.  f1 and fwrk are work vectors of nres.
void FDINTJ(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, int nnlcon, int nres, int ldcj,
            int ldcju, int ldfj, int ldfju, double bigbnd, double fprec, double& fdnorm,
            const Cnlfun& objres, const Cnlfun& cnlfun, std::span<int> kneed, std::span<int> kneedf,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> c1, std::span<double> cwrk, std::span<double> cjac,
            std::span<double> cjacu, std::span<const double> f, std::span<double> f1,
            std::span<double> fwrk, std::span<double> fjac, std::span<double> fjacu,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> x,
            std::span<double> dx, std::span<double> w, int lenw, std::span<int> iusr,
            std::span<double> rusr);

// CHKCNJ for the Jacobian of the residuals of the objective (objres called
// like a constraint callback), with its own texts; verify levels, check range
// and derivative-level test are those of CHKCNJ.
void CHKOBJ(const Npdsta& st, int& inform, int lvlder, int msglvl, int nfset, int n, int nres,
            int ldfj, int ldfju, double bigbnd, double fprec, double oktol, double dxchk,
            double xnorm, const Cnlfun& objres, std::span<int> kneedf, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> f, std::span<double> f1,
            std::span<double> fjac, std::span<double> fjacu, std::span<double> fjdx,
            std::span<double> dx, std::span<double> err, std::span<double> x, std::span<double> y,
            std::span<double> w, int lenw, std::span<int> iusr, std::span<double> rusr);

}  // namespace qv::optim
