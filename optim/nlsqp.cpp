// NLSQP: one run of the sequential quadratic programming method, and its
// major iterations npcore.
//
// A run checks its input, moves the start onto the bounds and linear
// constraints, sets up the derivatives and then iterates: a QP subproblem for
// the search direction, the convergence tests, the penalty parameters of the
// merit function, a line search and the quasi-Newton update of R.  Every
// array comes from the caller; nothing is allocated and nothing stops the
// process.
#include "optim/nlsqp.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

#include "optkern/blas.hpp"
#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optim/lscore.hpp"
#include "optkern/machine.hpp"
#include "optim/npderiv.hpp"
#include "optim/npiqp.hpp"
#include "optim/nplog.hpp"
#include "optim/npmrt.hpp"
#include "optim/npsrch.hpp"
#include "optim/npupdt.hpp"
#include "optim/npwset.hpp"
#include "optim/options.hpp"
#include "optim/qrkit.hpp"
#include "optkern/rotations.hpp"
#include "optim/runfile.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using runtime::Mat1;
using runtime::Vec1;

namespace {

constexpr std::string_view kTitle = "NLSQP  ---  Version 4.06-2     Nov  1992";

// Euclidean norm of v(1..n) by the scaled sum of squares (of length 1 its
// absolute value, of length 0 zero).
double norm2(int n, const double* v) { return ssq_norm2(n, v, 1); }

double dot(int n, const double* a, const double* b) {
  if (n <= 0) return 0.0;
  const int inc = 1;
  return ddot_(&n, a, &inc, b, &inc);
}

void copy(int n, const double* from, double* to) {
  if (n <= 0) return;
  const int inc = 1;
  dcopy_(&n, from, &inc, to, &inc);
}

double safdiv(double a, double b) {
  bool fail = false;
  return SAFDIV(a, b, fail);
}

// y := A x for the m x n matrix A (leading dimension lda).
void gemv(int m, int n, const double* a, int lda, const double* x, double* y) {
  if (m <= 0) return;
  if (n <= 0) {
    std::fill(y, y + m, 0.0);
    return;
  }
  const int inc = 1;
  const double one = 1.0, zero = 0.0;
  dgemv_("N", &m, &n, &one, a, &lda, x, &inc, &zero, y, &inc, 1);
}

// Largest and smallest magnitude of the diagonal R(1..k, 1..k).
void rdiag(int k, const double* r, int ldr, double& dmax, double& dmin) {
  dmax = 0.0;
  dmin = 0.0;
  if (k <= 0) return;
  AMAXMIN(k, std::span<const double>(r, static_cast<std::size_t>((k - 1) * (ldr + 1) + 1)), ldr + 1, dmax, dmin);
}

// Writes one formatted record on each of the two units that is positive.
void both(int u1, int u2, std::string_view fmt, std::initializer_list<runtime::Out> items = {}) {
  for (int u : {u1, u2})
    if (u > 0) runtime::write_fmt(u, fmt, items);
}

// Everything a run hands to its major iterations: sizes, options, the
// caller's arrays and the blocks of the workspace by their roles.
struct Run {
  // Sizes.
  int n = 0, nclin = 0, nnlcon = 0, nctotl = 0, nplin = 0, ncqp = 0;
  int ldaqp = 1, ldcj = 1, ldjac = 1, ldr = 1, ldt = 1, ldzy = 1;
  // Words of T and of ZY: N x N each with general constraints (one word when
  // N = 1), none without them, where the variables are only permuted.
  int tlen() const { return ncqp > 0 ? ldt * n : 0; }
  int zylen() const { return ncqp > 0 ? ldzy * n : 0; }

  // Options in force.
  int itmax1 = 0, itmax2 = 0, msgnp = 0, msgqp = 0, ldbg = 0, lvlder = 0;
  int iprint = 0, isumm = 0, ksave = 0, kfreq = 0, nlnx = 0;
  double bigbnd = 0, bigdx = 0, fprec = 0, opttol = 0, lstol = 0, steplim = 0, cdint = 0, fdint = 0;
  double rcndbd = 0, tolrank = 0;
  bool needfd = false;
  int dif_class = kDifComputed;

  // Callbacks and the user's arrays.
  const Cnlfun* cnlfun = nullptr;
  const Objfun* objfun = nullptr;
  std::span<const double> bl, bu;
  std::span<int> istate;
  std::span<double> cnlval, cnljac, xmult, gobj, r, x;
  std::span<int> iusr;
  std::span<double> rusr;
  double* fobj = nullptr;

  // Integer workspace.
  std::span<int> wslist, kx, kneed, iperm;

  // The QP matrix (the linear rows first): in the workspace when there are
  // nonlinear constraints, else the caller's ALIN in place.
  double* qpmat = nullptr;

  // Real workspace.
  double *hforwd, *hcntrl, *anorm;
  double *rstep, *rstep0, *hz;
  double *t, *zy;
  double *ap, *adx;
  double *hstep, *gq, *wsmult, *px;
  double *featol, *qpftol, *infwt;
  double *qplo, *qphi;
  double *dx, *x1;
  double *mult;
  double *gq1;
  double *wrk;
  double *nlmult, *dmult, *slack, *dslack, *rho;
  double *cs, *cs1, *nlmult1, *slack1, *nlviol, *ctry;
  double *cjac, *grad, *ax;

  // Working set and counters.
  bool unitq = true;
  int nactiv = 0, nfree = 0, nz = 0, nrank = 0;
  int nfun = 0, ngrad = 0;
  int difmode = 0;
  double fdnorm = 0.0, xnorm = 0.0;
  std::span<double> w;
  std::span<int> iw;
  Lsloc loc;  // the QP vectors in w
};

std::span<double> sp(double* p, int n) { return {p, static_cast<std::size_t>(std::max(n, 0))}; }
std::span<const double> csp(const double* p, int n) { return {p, static_cast<std::size_t>(std::max(n, 0))}; }

// Trace unit of the major iterations (0 while the traces are off).
int trace_unit(int digit) {
  const Nprun& s = NPRUN;
  if (!s.debug || s.iprint <= 0) return 0;
  return NPOPTS.npdbg[static_cast<std::size_t>(digit - 1)] > 0 ? s.iprint : 0;
}

// Switches the debug traces on or off: NLSQP's own and those of the QP
// machinery.
void set_debug(bool on) {
  NPRUN.debug = on;
  LSPRNT.trace = on && NPOPTS.lsdbg[0] > 0;
}

// The run as an OLD RUN file holds it.
OldRun old_run(Run& r, int majits) {
  OldRun run;
  run.n = r.n;
  run.nclin = r.nclin;
  run.nnlcon = r.nnlcon;
  run.majits = majits;
  run.nfree = r.nfree;
  run.dif_class = r.dif_class;
  run.lvlder = r.lvlder;
  run.unitq = r.unitq;
  run.kx = r.kx;
  run.istate = r.istate;
  run.x = r.x;
  run.cnl = r.cnlval;
  run.nlmult = sp(r.nlmult, r.nnlcon);
  run.zy = Mat1<double>(sp(r.zy, r.zylen()), r.ldzy);
  run.r = Mat1<double>(r.r, r.ldr);
  run.hforwd = sp(r.hforwd, r.n);
  run.hcntrl = sp(r.hcntrl, r.n);
  return run;
}

// The major iterations.  inform and majits as for NLSQP.
void npcore(Run& r, int& inform, int& majits) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon, nplin = r.nplin, nctotl = r.nctotl;
  const Npprec& pr = NPPREC;
  Mat1<double> R(r.r, r.ldr);
  Mat1<const double> T(csp(r.t, static_cast<int>(r.w.size() - static_cast<std::size_t>(r.t - r.w.data()))), r.ldt);

  // 1. Initialise.
  const int nfirst = majits;
  std::string flags = "     ";
  int ninfqp = 0;
  const double ftolroot = std::sqrt(r.opttol);
  const double sqrtn = pr.sqrtn;
  double alfastep = 0.0;
  double alfa = 0.0;
  const int msgsave = r.msgnp, msgqpsave = r.msgqp;
  if (r.ldbg >= 1 && r.ldbg <= r.itmax1) {
    r.msgnp = r.msgnp > 4 ? 5 : 0;
    r.msgqp = r.msgqp > 4 ? 5 : 0;
    NPOPTS.inp(slot::kMajorPrintLevel) = r.msgnp;
    NPOPTS.ils(slot::kMinorPrintLevel) = r.msgqp;
  } else if (r.ldbg == 0 && r.iprint > 0) {
    // A debug level without a first iteration: traces from the start.
    set_debug(true);
  }
  copy(nctotl, r.featol, r.qpftol);
  double& fobj = *r.fobj;
  const double* c = r.cnlval.data();
  const std::span<const double> cv = r.cnlval;
  double meritalf = fobj - dot(nnlcon, r.nlmult, c);

  bool newgq = false, done = false, lastiter = false, firstlog = true;
  bool qpfeasible = true, isoptim = false;
  int minits = 0;
  int lastsave = nfirst;
  double stepnorm = 0.0, gdir = 0.0, qpcurv = 0.0, grdalf = 0.0, dlag0 = 0.0, dlag1 = 0.0;
  int nqperr = 0, linact = 0, nlnact = 0, ninf = 0;

  auto fdgr = [&](int& info) {
    NPFDGR(NPDSTA, r.difmode == 2, info, r.ldcj, r.ldjac, n, nnlcon, r.bigbnd, r.cdint, r.fdint, r.fdnorm, fobj,
           *r.cnlfun, *r.objfun, r.kneed, r.bl, r.bu, r.cnlval, sp(r.qplo, nctotl), sp(r.qphi, nctotl),
           sp(r.cjac, r.ldcj * n), r.cnljac, sp(r.grad, n), r.gobj, csp(r.hforwd, n), csp(r.hcntrl, n), r.x, r.w,
           static_cast<int>(r.w.size()), r.iusr, r.rusr);
  };
  auto project = [&]() {
    copy(n, r.grad, r.gq);
    FACMUL(6, n, r.nz, r.nfree, r.ldzy, r.unitq, r.kx, sp(r.gq, n), csp(r.zy, r.zylen()),
           sp(r.wrk, n));
  };
  auto central_switch = [&]() {
    flags[2] = 'c';
    r.difmode = 2;
    NPDSTA.difmode = 2;
    newgq = true;
    if (r.msgnp > 4 && r.iprint > 0 && minits > 0)
      runtime::write_fmt(r.iprint, "(' Minor itn',i6,'.  Central-differences computed. ',' QP re-solved.')",
                         {minits});
  };

  double redgnorm = 0.0, freegnorm = 0.0;
  do {
    // 2.1 Periodic save (not again for a repeated iteration).
    if (r.ksave > 0 && r.kfreq > 0 && majits % r.kfreq == 0 && majits != nfirst && majits != lastsave) {
      NPSAVE(r.ksave, old_run(r, majits), NPMERT, pr.epsinv);
      lastsave = majits;
    }

    // 2.2 The QP subproblem, until the gradient is accepted.
    bool goodgq = false;
    while (!goodgq) {
      const bool centrl = r.difmode == 2;
      if (newgq) {
        if (r.needfd) {
          int info = 0;
          fdgr(info);
          if (info < 0) {
            inform = info;
            goto finish;
          }
        }
        project();
        newgq = false;
      }

      int qpiters = 0;
      npiqp(qpfeasible, r.unitq, nqperr, majits, qpiters, n, nclin, nnlcon, r.ldcj, r.ldaqp, r.ldr, linact, nlnact,
            r.nactiv, r.nfree, r.nz, ninf, r.istate, r.wslist, r.kx, stepnorm, gdir, qpcurv,
            sp(r.qpmat, r.ldaqp * n), sp(r.adx, r.ncqp), sp(r.anorm, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, cv,
            csp(r.cjac, r.ldcj * n), sp(r.mult, nctotl), sp(r.nlmult, nnlcon), sp(r.cs, nnlcon),
            sp(r.dmult, nnlcon), sp(r.dslack, nnlcon), sp(r.dx, n), sp(r.qplo, nctotl), sp(r.qphi, nctotl),
            csp(r.qpftol, nctotl), r.r, sp(r.rho, nnlcon), sp(r.slack, nnlcon), sp(r.nlviol, nnlcon), r.x,
            sp(r.infwt, nctotl), r.iw, r.w, r.loc, trace_unit(1));
      minits += qpiters;
      if (!qpfeasible) {
        ++ninfqp;
        flags[1] = 'i';
      } else {
        ninfqp = 0;
      }

      redgnorm = norm2(r.nz, r.gq);
      freegnorm = (r.nfree > 0 && r.nactiv > 0) ? norm2(r.nfree, r.gq) : redgnorm;

      goodgq = true;
      if (r.needfd && !centrl) {
        const double hnorm = norm2(n, r.hstep);
        const double cnorm = nnlcon > 0 ? norm2(nnlcon, c) : 0.0;
        const double objmag = 1.0 + std::abs(fobj) + cnorm;
        if (hnorm <= safdiv(objmag * r.fprec, r.fdnorm)) {
          central_switch();
          goodgq = false;
        }
      }
    }

    // 2.3 Violations.
    double cvnorm = 0.0, errmax = 0.0;
    int jmax = 0, nviol = 0;
    npfeas(n, nclin, nnlcon, r.istate, r.bigbnd, cvnorm, errmax, jmax, nviol, csp(r.ax, nclin), r.bl, r.bu, cv,
           csp(r.featol, nctotl), r.x, sp(r.wrk, nctotl), trace_unit(1));

    // 2.4 Quantities for the tests.
    const double objmag = 1.0 + std::abs(fobj);
    const double xmag = 1.0 + r.xnorm;
    const double gscale = std::max(objmag, freegnorm);
    const double optthresh = ftolroot * gscale;
    double condt = 0.0;
    if (r.nactiv == 1) {
      condt = std::abs(T(1, r.nfree));
    } else if (r.nactiv > 1) {
      double tmax = 0.0, tmin = 0.0;
      for (int i = 1; i <= r.nactiv; ++i) {
        const double d = std::abs(T(i, r.nfree - i + 1));
        if (i == 1 || d > tmax) tmax = d;
        if (i == 1 || d < tmin) tmin = d;
      }
      condt = safdiv(tmax, tmin);
    }
    const double rootmax = wmach(8);
    auto condof = [&](int k) {
      double dmax = 0.0, dmin = 0.0;
      rdiag(k, r.r.data(), r.ldr, dmax, dmin);
      const double ratio = safdiv(dmax, dmin);
      return ratio >= rootmax ? wmach(7) : ratio * ratio;
    };
    const double condh = condof(n);
    const double condhz = r.nz == 0 ? 1.0 : (r.nz == n ? condh : condof(r.nz));

    // 2.5 Tests.
    const bool ptconv = stepnorm <= pr.epspt8 * gscale && nviol == 0 && nqperr <= 1;
    isoptim = redgnorm < optthresh && nviol == 0;
    const bool stepconv = majits > 0 && alfastep <= ftolroot * xmag;
    const bool infflag = (stepconv && !qpfeasible) || ninfqp > 7;
    done = ptconv || (stepconv && isoptim) || infflag;

    // 2.6 Merit function.
    meritalf = fobj;
    grdalf = gdir;
    dlag0 = gdir;
    if (nnlcon > 0) {
      dlag0 = gdir - dot(nnlcon, r.adx + nclin, r.mult + nplin);
      npmrt(NPMERT, qpfeasible, n, nclin, nnlcon, meritalf, grdalf, qpcurv, r.istate, csp(r.adx + nclin, nnlcon),
            csp(r.nlmult, nnlcon), csp(r.cs, nnlcon), csp(r.dmult, nnlcon), sp(r.rho, nnlcon),
            csp(r.nlviol, nnlcon), sp(r.qplo, nnlcon), sp(r.qphi, nnlcon), pr.epsinv, trace_unit(1));
    }

    // 2.7 The log.
    {
      NpLogLine line;
      line.majits = majits;
      line.minits = minits;
      line.step = alfa;
      line.nfun = r.nfun;
      line.merit = meritalf;
      line.violtn = cvnorm;
      line.gznorm = redgnorm;
      line.nz = r.nz;
      line.nbnd = n - r.nfree;
      line.nlin = linact;
      line.nnl = nlnact;
      line.penalty = NPMERT.rhonrm;
      line.gfnorm = freegnorm;
      line.condh = condh;
      line.condhz = condhz;
      line.condt = condt;
      line.step_converged = stepconv;
      line.gradient_small = redgnorm < optthresh;
      line.feasible = nviol == 0;
      line.fobj = fobj;
      LogDetail detail;
      detail.n = n;
      detail.nclin = nclin;
      detail.nnlcon = nnlcon;
      detail.istate = r.istate;
      detail.x = r.x;
      detail.ax = csp(r.ax, nclin);
      detail.cnl = r.cnlval;
      detail.t = T;
      detail.nactiv = r.nactiv;
      detail.nfree = r.nfree;
      detail.r = Mat1<const double>(r.r, r.ldr);
      detail.nrank = n;
      NPPRIT(r.msgnp, r.msgqp, firstlog, line, detail, flags);
      firstlog = false;
    }
    alfa = 0.0;
    minits = 0;
    lastiter = majits >= r.itmax1;

    if (done) {
      if (stepconv && isoptim)
        inform = 0;
      else if (ptconv)
        inform = 1;
      else
        inform = 3;
      goto finish;
    }

    if (majits < r.itmax1) {
      ++majits;
      if (majits == r.ldbg && r.iprint > 0) {
        r.msgnp = msgsave;
        r.msgqp = msgqpsave;
        NPOPTS.inp(slot::kMajorPrintLevel) = msgsave;
        NPOPTS.ils(slot::kMinorPrintLevel) = msgqpsave;
        set_debug(true);
      }

      // Keep the start of the step.
      copy(n, r.x.data(), r.x1);
      copy(n, r.gq, r.gq1);
      if (nnlcon > 0) {
        copy(nnlcon, r.cs, r.cs1);
        copy(nnlcon, r.nlmult, r.nlmult1);
        copy(nnlcon, r.slack, r.slack1);
      }

      // Step bounds.
      const double alfalow = qpfeasible ? 1.0 : 0.0;
      double alfmax = 1.0;
      if (nnlcon == 0 || !r.needfd) {
        alfmax = safdiv(r.bigdx, stepnorm);
        int info = 0;
        double alfhit = 0.0;
        npalf(info, n, nclin, nnlcon, alfhit, alfalow, alfmax, r.bigbnd, stepnorm, csp(r.anorm, r.ncqp),
              csp(r.adx, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, csp(r.dslack, nnlcon), csp(r.dx, n),
              csp(r.slack, nnlcon), r.x, trace_unit(1));
        alfmax = alfhit;
        if (alfmax < 1.0 + pr.epspt3 && qpfeasible) alfmax = 1.0;
      }
      double alfbnd = nnlcon == 0 ? alfmax : std::min(1.0, alfmax);
      const bool centrl = r.difmode == 2;
      const double alfatiny = (r.needfd && !centrl) ? std::min(safdiv(r.fdnorm, stepnorm), alfmax) : 0.0;
      const double alfacap = safdiv((1.0 + r.xnorm) * r.steplim, stepnorm);
      alfa = std::min(1.0, alfacap);

      // The Jacobian times the step at the start, for the search.
      double* cjdx = r.ap + nclin;
      copy(nnlcon, r.adx + nclin, cjdx);
      int info = 0;
      npsrch(r.needfd, n, nnlcon, r.ldcj, r.ldjac, r.nfun, r.ngrad, r.kneed, *r.cnlfun, *r.objfun, alfa, alfbnd,
             alfmax, alfatiny, stepnorm, r.fprec, r.lstol, gdir, grdalf, dlag0, dlag1, fobj, meritalf, qpcurv,
             r.xnorm, r.cnlval, sp(r.ctry, nnlcon), sp(r.cjac, r.ldcj * n), r.cnljac, sp(cjdx, nnlcon),
             sp(r.qplo, nnlcon), csp(r.nlmult1, nnlcon), sp(r.nlmult, nnlcon), csp(r.dmult, nnlcon),
             csp(r.slack1, nnlcon), sp(r.slack, nnlcon), csp(r.dslack, nnlcon), csp(r.cs1, nnlcon),
             sp(r.cs, nnlcon), csp(r.dx, n), sp(r.grad, n), r.gobj, csp(r.mult + nplin, nnlcon),
             csp(r.rho, nnlcon), csp(r.x1, n), r.x, sp(r.qphi, nnlcon), 0, r.iusr, r.rusr, info, trace_unit(2));
      if (info < 0) {
        inform = info;
        goto finish;
      }
      if (alfacap < alfa) flags[3] = 'l';
      lastiter = info > 3;

      if (info <= 3) {
        // A step was taken.
        if (r.needfd) {
          int mode = 1;
          r.ngrad += 1;
          if (nnlcon > 0) {
            for (int& k : r.kneed) k = 1;
            (*r.cnlfun)(mode, nnlcon, n, r.ldjac, r.kneed, r.x, r.cnlval, r.cnljac, 0, r.iusr, r.rusr);
            if (mode < 0) {
              inform = mode;
              goto finish;
            }
            MATCPY("General", nnlcon, n, r.cnljac, r.ldjac, sp(r.cjac, r.ldcj * n), r.ldcj);
          }
          (*r.objfun)(mode, n, r.x, fobj, r.gobj, 0, r.iusr, r.rusr);
          if (mode < 0) {
            inform = mode;
            goto finish;
          }
          copy(n, r.gobj.data(), r.grad);
          fdgr(info);
          if (info < 0) {
            inform = info;
            goto finish;
          }
          gdir = dot(n, r.grad, r.dx);
          dlag1 = gdir;
          if (nnlcon > 0) {
            // The same QP multipliers as in dlag0, so that dlag1 - dlag0 is
            // the change of the Lagrangian's slope along the step.
            gemv(nnlcon, n, r.cjac, r.ldcj, r.dx, cjdx);
            dlag1 -= dot(nnlcon, cjdx, r.mult + nplin);
          }
        }
        project();
        r.xnorm = norm2(n, r.x.data());
        if (nnlcon > 0 && alfa >= 1.0) copy(nnlcon, r.mult + nplin, r.nlmult);
        if (nclin > 0) {
          const int inc = 1;
          daxpy_(&nclin, &alfa, r.adx, &inc, r.ax, &inc);
        }
        alfastep = alfa * stepnorm;

        npupdt(flags[0], r.unitq, n, nnlcon, r.nfree, r.nz, r.ldaqp, r.ldcj, r.ldzy, r.ldr, r.kx, alfa, dlag0, dlag1,
               qpcurv, csp(nnlcon > 0 ? r.qpmat + nclin : r.qpmat, nnlcon > 0 ? r.ldaqp * n - nclin : 0),
               csp(r.cjac, r.ldcj * n), csp(r.adx + nclin, nnlcon), csp(cjdx, nnlcon), csp(r.cs1, nnlcon),
               csp(r.cs, nnlcon), sp(r.gq1, n), csp(r.gq, n), sp(r.hstep, n), sp(r.rstep, n),
               csp(r.mult + nplin, nnlcon), r.r, sp(r.qplo, nnlcon), csp(r.zy, r.zylen()),
               sp(r.wrk, nctotl), sp(r.hz, n), NPRUN.rfrobn, trace_unit(1));

        double drmax = 0.0, drmin = 0.0;
        rdiag(n, r.r.data(), r.ldr, drmax, drmin);
        const double cond = safdiv(drmax, drmin);
        if (cond > r.rcndbd || 100.0 * sqrtn * drmax < NPRUN.rfrobn) {
          const int tu = trace_unit(1);
          if (tu > 0) {
            runtime::write_fmt(tu, "(/a/(1p,5e15.6))", {" //npcore//  Hessian factor R before refactorization"});
            for (int i = 1; i <= n; ++i)
              for (int j = i; j <= n; j += 5) {
                std::array<runtime::Out, 5> items{0.0, 0.0, 0.0, 0.0, 0.0};
                std::size_t k = 0;
                for (int l = j; l <= std::min(n, j + 4); ++l) items[k++] = runtime::Out(R(i, l));
                runtime::write_fmt(tu, "(1p,5e15.6)", std::span<const runtime::Out>(items.data(), k));
              }
          }
          flags[4] = 'r';
          QRPIVT(r.unitq, n, r.nfree, r.nz, r.ldzy, r.ldr, r.iperm, r.kx, sp(r.gq, n), r.r,
                 sp(r.zy, r.zylen()), sp(r.wrk, nctotl), sp(r.qplo, 2 * nctotl), r.rcndbd,
                 NPRUN.rfrobn);
        }
      } else if (r.needfd && !centrl && !isoptim) {
        // No acceptable step: repeat the iteration with central differences.
        central_switch();
        lastiter = false;
        --majits;
      }
    }
  } while (!done && !lastiter);

  if (majits >= r.itmax1)
    inform = 4;
  else if (isoptim)
    inform = 1;
  else
    inform = 6;

finish:
  r.msgnp = msgsave;
  r.msgqp = msgqpsave;
  NPOPTS.inp(slot::kMajorPrintLevel) = msgsave;
  NPOPTS.ils(slot::kMinorPrintLevel) = msgqpsave;
  if (r.msgnp > 0 && r.iprint > 0)
    runtime::write_fmt(r.iprint, "(/' Exit  NP phase.  Inform = ',i2,'  Majits = ',i4,'   nfun = ',i4,'   ngrad = ',i4)",
                       {inform, majits, r.nfun, r.ngrad});
  PRSOLN(r.msgnp, r.nfree, r.ldaqp, n, nclin, nctotl, r.bigbnd, false, {}, r.nactiv, r.istate, r.wslist, r.kx,
         csp(r.qpmat, r.ldaqp * n), r.bl, r.bu, r.cnlval, r.xmult, csp(r.wsmult, n), r.x);
  if (nnlcon > 0) copy(nnlcon, r.nlmult, r.xmult.data() + nplin);
}

// Input that would make the run read outside its arrays: each problem is
// one input error, reported like those of the input check.
int check_sizes(int iprint, int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac,
                std::size_t alin, std::size_t blow, std::size_t bupp, std::size_t istate, std::size_t cnlval,
                std::size_t cnljac, std::size_t xmult, std::size_t gobj, std::size_t rfac, std::size_t x,
                std::size_t iw, int niw, std::size_t w, int nw) {
  int nerror = 0;
  auto bad = [&](std::string_view what, long long value) {
    ++nerror;
    if (iprint > 0)
      runtime::write_fmt(iprint, "(/' XXX  ',a,' is out of range...',i16)", {what, value});
  };
  if (n < 1) bad("N     ", n);
  if (nclin < 0) bad("nclin ", nclin);
  if (nnlcon < 0) bad("NNLCON", nnlcon);
  if (lda < std::max(1, nclin)) bad("LDA   ", lda);
  if (ldjac < std::max(1, nnlcon)) bad("LDJAC ", ldjac);
  if (ldrfac < n) bad("LDRFAC", ldrfac);
  if (nerror > 0) return nerror;

  // The arrays must hold what the dimensions promise.
  auto shortarr = [&](std::string_view what, std::size_t have, long long need) {
    if (need > 0 && static_cast<long long>(have) < need) {
      ++nerror;
      if (iprint > 0)
        runtime::write_fmt(iprint, "(/' XXX  Array ',a,' is shorter than required...',i16)", {what, need});
    }
  };
  const long long nn = n;
  const long long nctotl = nn + nclin + nnlcon;
  shortarr("ALIN  ", alin, nclin > 0 ? static_cast<long long>(lda) * nn : 0);
  shortarr("BLOW  ", blow, nctotl);
  shortarr("BUPP  ", bupp, nctotl);
  shortarr("istate", istate, nctotl);
  shortarr("CNLVAL", cnlval, nnlcon);
  shortarr("CNLJAC", cnljac, nnlcon > 0 ? static_cast<long long>(ldjac) * nn : 0);
  shortarr("XMULT ", xmult, nctotl);
  shortarr("GOBJ  ", gobj, nn);
  shortarr("RFAC  ", rfac, static_cast<long long>(ldrfac) * nn);
  shortarr("X     ", x, nn);
  shortarr("iw    ", iw, niw);
  shortarr("w     ", w, nw);
  return nerror;
}

}  // namespace

void NLSQP(int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac, std::span<const double> alin,
           std::span<const double> blow, std::span<const double> bupp, const Cnlfun& cnlfun,
           const Objfun& objfun, int& inform, int& majits, std::span<int> istate,
           std::span<double> cnlval, std::span<double> cnljac, std::span<double> xmult, double& fobj,
           std::span<double> gobj, std::span<double> rfac, std::span<double> x, std::span<int> iw,
           int niw, std::span<double> w, int nw, std::span<int> iusr, std::span<double> rusr) {
  // 1. Machine constants and the precision of the run.
  MCHSET();
  set_precision(NPPREC, std::max(n, 1));
  const Npprec& pr = NPPREC;
  inform = 0;
  majits = 0;

  // 2. Defaults and the Parameters table.
  NPPRMS(n, nclin, nnlcon, kTitle);
  Npopts& o = NPOPTS;
  namespace sl = slot;

  Run r;
  r.n = n;
  r.nclin = nclin;
  r.nnlcon = nnlcon;
  r.itmax1 = o.inp(sl::kMajorIterations);
  r.lvlder = o.inp(sl::kDerivativeLevel);
  int verify = o.inp(sl::kVerifyLevel);
  r.msgnp = o.inp(sl::kMajorPrintLevel);
  r.ldbg = o.inp(sl::kDebugIteration);
  const int hess = o.inp(sl::kHessian);
  const int kload = o.inp(sl::kLoadFile);
  r.ksave = o.inp(sl::kSaveRun);
  r.kfreq = o.inp(sl::kSaveFrequency);
  r.nlnx = o.inp(sl::kNonlinVars);
  r.iprint = o.ils(sl::kPrintFile);
  r.isumm = o.ils(sl::kSummaryFile);
  const int start = o.ils(sl::kStart);
  r.itmax2 = o.ils(sl::kMinorIterations);
  r.msgqp = o.ils(sl::kMinorPrintLevel);
  r.bigbnd = o.rls(sl::kInfiniteBound);
  r.bigdx = o.rls(sl::kInfiniteStep);
  const double tolact = o.rls(sl::kCrashTol);
  const double tolfea = o.rls(sl::kLinearFeasTol);
  const double tolnlf = o.rnp(sl::kNonlinFeasTol);
  r.fprec = o.rnp(sl::kFunctionPrecision);
  r.opttol = o.rnp(sl::kOptimalityTol);
  r.lstol = o.rnp(sl::kLinesearchTol);
  r.steplim = o.rnp(sl::kStepLimit);
  r.fdint = o.rnp(sl::kDifferenceInterval);
  r.cdint = o.rnp(sl::kCentralInterval);
  const double hcndbd = o.rnp(sl::kConditionBound);
  r.dif_class = o.dif_class;

  NPRUN.iprint = r.iprint;
  NPRUN.itmax = r.itmax1;
  set_debug(false);
  LSPRNT.iprint = r.iprint;

  int nerror = 0;
  int inflp = 0;  // result of the linear-feasibility phase
  double suminf = 0.0;
  double* grad = nullptr;
  double* cjac = nullptr;
  bool derivs_set = false;  // the internal gradient and Jacobian hold values
  int ldcj = 1;

  auto estimated = [&]() { return r.lvlder == 0 || r.lvlder == 2 || (r.lvlder == 1 && nnlcon > 0); };

  // Unsafe dimensions are input errors before any array is read.
  nerror = check_sizes(r.iprint, n, nclin, nnlcon, lda, ldjac, ldrfac, alin.size(), blow.size(), bupp.size(),
                       istate.size(), cnlval.size(), cnljac.size(), xmult.size(), gobj.size(), rfac.size(), x.size(),
                       iw.size(), niw, w.size(), nw);
  if (nerror > 0) {
    inform = 9;
  } else {
    // 3. Derived settings.
    r.needfd = estimated();
    r.difmode = r.needfd ? 1 : 0;

    // 4. Sizes of the factors and of the QP matrix.
    r.nplin = n + nclin;
    r.nctotl = r.nplin + nnlcon;
    r.ncqp = nclin + nnlcon;
    r.ldaqp = std::max(1, r.ncqp);
    if (nnlcon == 0 && nclin > 0) r.ldaqp = lda;
    r.ldcj = std::max(1, nnlcon);
    ldcj = r.ldcj;
    r.ldjac = ldjac;
    r.ldr = ldrfac;

    // 5. Workspace and the input check.
    int litotl = 0, lwtotl = 0;
    NPWKSP(n, nclin, nnlcon, r.nctotl, litotl, lwtotl);
    const Npwloc& L = NPWLOC;
    r.ldt = L.ldt;
    r.ldzy = L.ldzy;
    std::span<int> kxchk = iw.size() >= static_cast<std::size_t>(litotl)
                               ? iw.subspan(static_cast<std::size_t>(L.kx - 1), static_cast<std::size_t>(n))
                               : std::span<int>{};
    CHKINP(nerror, r.msgnp, start, false, niw, nw, litotl, lwtotl, n, nclin, nnlcon, istate, kxchk, false, {},
           r.bigbnd, blow, bupp);
    if (nerror > 0) inform = 9;
  }

  if (inform == 0) {
    const Npwloc& L = NPWLOC;
    auto wp = [&](int at) { return w.data() + (at - 1); };
    auto ip = [&](int at, int len) {
      return iw.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
    };
    r.cnlfun = &cnlfun;
    r.objfun = &objfun;
    r.bl = blow;
    r.bu = bupp;
    r.istate = istate.first(static_cast<std::size_t>(r.nctotl));
    r.cnlval = cnlval.first(static_cast<std::size_t>(nnlcon));
    r.cnljac = nnlcon > 0 ? cnljac : std::span<double>{};
    r.xmult = xmult;
    r.gobj = gobj.first(static_cast<std::size_t>(n));
    r.r = rfac;
    r.x = x.first(static_cast<std::size_t>(n));
    r.iusr = iusr;
    r.rusr = rusr;
    r.fobj = &fobj;
    r.w = w.first(static_cast<std::size_t>(nw));
    r.iw = iw.first(static_cast<std::size_t>(niw));
    r.wslist = ip(L.kactiv, n);
    r.kx = ip(L.kx, n);
    r.kneed = ip(L.kneed, nnlcon);
    r.iperm = ip(L.iperm, r.nctotl);
    r.hforwd = wp(L.hforwd);
    r.hcntrl = wp(L.hcntrl);
    r.anorm = wp(L.anorm);
    r.dx = wp(L.vn1[0]);
    r.hstep = wp(L.vn1[1]);
    r.gq = wp(L.vn1[2]);
    r.rstep = wp(L.vn2[0]);
    r.rstep0 = wp(L.vn2[1]);
    r.hz = wp(L.vn2[2]);
    r.wsmult = wp(L.vn2[3]);
    r.px = wp(L.vn3[0]);
    r.x1 = wp(L.vn3[1]);
    r.gq1 = wp(L.vn4);
    r.t = wp(L.t);
    r.zy = wp(L.zy);
    r.adx = wp(L.vc1);
    r.ap = wp(L.vc2);
    r.infwt = wp(L.vt1[0]);
    r.wrk = wp(L.vt1[1]);
    r.featol = wp(L.vt1[2]);
    r.qpmat = nnlcon > 0 ? wp(L.qpmat) : const_cast<double*>(alin.data());
    r.qplo = wp(L.vt2[0]);
    r.qphi = wp(L.vt2[1]);
    r.mult = wp(L.vt3);
    r.qpftol = wp(L.vt4);
    r.nlmult = wp(L.nlmult);
    r.dmult = wp(L.dmult);
    r.slack = wp(L.slack);
    r.dslack = wp(L.dslack);
    r.rho = wp(L.rho);
    r.cs = wp(L.vm[0]);
    r.cs1 = wp(L.vm[1]);
    r.nlmult1 = wp(L.vm[2]);
    r.slack1 = wp(L.vm[3]);
    r.nlviol = wp(L.vm[4]);
    r.ctry = wp(L.vm[5]);
    r.cjac = wp(L.cjac);
    r.grad = wp(L.grad);
    r.ax = wp(L.ax);
    r.loc = npiqp_loc(L, n);
    grad = r.grad;
    cjac = r.cjac;
    const int n_ = n, nclin_ = nclin, nnlcon_ = nnlcon, nctotl = r.nctotl, nplin = r.nplin;
    Mat1<double> R(rfac, ldrfac);

    // 6. Tolerances of the factorizations.
    r.tolrank = 1.0 / hcndbd;
    r.rcndbd = std::sqrt(hcndbd);
    o.rls(sl::kRankTol) = r.tolrank;

    bool hot = start == 2;
    bool cold = start == 0;
    int loadfree = 0;

    // 7. An old run.
    if (kload > 0) {
      OldRun run = old_run(r, 0);
      int nerr = 0;
      NPLOAD(kload, run, NPMERT, nerr);
      if (nerr > 0) {
        nerror += nerr;
        inform = 9;
      } else {
        majits = run.majits;
        loadfree = run.nfree;
        r.unitq = run.unitq;
        if (run.lvlder > r.lvlder) r.lvlder = run.lvlder;
        if (r.msgnp > 0 && r.iprint > 0) write_parameters_table(n_, nclin_, nnlcon_, true);
      }
    }

    if (inform == 0) {
      // 8. Feasibility tolerances.
      if (tolfea > 0.0) DVFILL(nplin, tolfea, sp(r.featol, nplin), 1);
      if (tolnlf > 0.0 && nnlcon_ > 0) DVFILL(nnlcon_, tolnlf, sp(r.featol + nplin, nnlcon_), 1);

      // 9. Interval of the derivative checks.
      double dxchk = 0.0;
      if (r.dif_class == kDifComputed)
        dxchk = std::sqrt(r.fprec);
      else if (r.dif_class == kDifFixed)
        dxchk = r.fdint;
      else
        dxchk = r.hforwd[0];

      // The derivative routines' settings.
      Npdsta& st = NPDSTA;
      st.reset();
      st.dif_class = r.dif_class;
      st.difmode = r.difmode == 2 ? 2 : 1;
      st.iprint = r.iprint;
      st.isumm = r.isumm;
      st.chdbg = false;
      st.jobj1 = o.inp(sl::kStartObjCheck);
      st.jobj2 = o.inp(sl::kStopObjCheck);
      st.jcon1 = o.inp(sl::kStartConCheck);
      st.jcon2 = o.inp(sl::kStopConCheck);

      // 10. Counters.
      r.nfun = 0;
      r.ngrad = 0;
      int kfirst = 1;
      auto derv = [&](int level, int& info) {
        st.verify = level;
        NPDERV(st, info, r.msgnp, kfirst, r.lvlder, r.nfun, r.ngrad, r.ldcj, r.ldjac, n_, nnlcon_, cnlfun, objfun,
               r.kneed, r.bigbnd, r.fprec, r.cdint, r.fdint, dxchk, r.fdnorm, fobj, r.xnorm, r.bl, r.bu, r.cnlval,
               sp(r.qplo, nnlcon_), sp(r.cjac, r.ldcj * n_), r.cnljac, sp(r.qphi, nnlcon_), sp(r.dx, n_),
               sp(r.grad, n_), r.gobj, sp(r.hforwd, n_), sp(r.hcntrl, n_), r.x, sp(r.x1, n_),
               sp(r.wrk, nctotl), r.w, static_cast<int>(r.w.size()), r.iusr, r.rusr);
        kfirst = 0;
        if (info >= 0) derivs_set = true;
      };

      // 11. Early checks at the start point.
      bool checked = false;
      if (verify >= 10) {
        r.xnorm = norm2(n_, r.x.data());
        int info = 0;
        derv(verify - 10, info);
        if (info > 0) inform = 7;
        if (info < 0) inform = info;
        checked = true;
      }

      if (inform == 0) {
        // 12. Linear constraints, tolerances and the first working set.
        const Mat1<const double> A(alin, lda);
        double asize = 0.0;
        for (int i = 1; i <= nclin_; ++i) {
          double scale = 0.0, ssq = 1.0;
          for (int j = 1; j <= n_; ++j) {
            const double v = A(i, j);
            SSQUPD(1, std::span<const double>(&v, 1), 1, scale, ssq);
          }
          r.anorm[i - 1] = n_ == 1 ? std::abs(A(i, 1)) : SSQNRM(scale, ssq);
          asize = std::max(asize, r.anorm[i - 1]);
        }
        LSCOND.asize = nclin_ > 0 ? asize : 0.0;
        {
          double tmax = 0.0, tmin = 0.0;
          AMAXMIN(nplin, csp(r.featol, nplin), 1, tmax, tmin);
          copy(nplin, r.featol, r.infwt);
          const double s = 1.0 / tmin;
          const int inc = 1;
          dscal_(&nplin, &s, r.infwt, &inc);
        }
        int nartif = 0;
        lscrsh(cold, false, nclin_, nplin, r.nactiv, nartif, r.nfree, n_, lda, r.istate, r.wslist, r.bigbnd, tolact,
               alin, sp(r.ax, nclin_), r.bl, r.bu, r.x, sp(r.dx, n_), sp(r.x1, n_));
        const double condmx = std::max(1.0 / pr.epspt5, 100.0);

        // 13. Start.
        if (!hot) {
          r.unitq = true;
          majits = 0;
          for (int j = 1; j <= n_; ++j) r.kx[static_cast<std::size_t>(j - 1)] = j;
          if (start == 1) {
            r.nrank = r.nlnx;
            for (int i = 1; i <= nnlcon_; ++i) r.nlmult[i - 1] = xmult[static_cast<std::size_t>(nplin + i - 1)];
          } else {
            MATSET("Upper-triangular", n_, n_, 0.0, 1.0, rfac, ldrfac);
            NPRUN.rfrobn = pr.sqrtn;
            r.nrank = 0;
            DVFILL(nnlcon_, 0.0, sp(r.nlmult, nnlcon_), 1);
          }
          NPMERT.reset();
          DVFILL(nnlcon_, 0.0, sp(r.rho, nnlcon_), 1);

          // The fixed variables enter the factors.
          const int nfixed = n_ - r.nfree;
          r.nz = r.nfree;
          if (nfixed > 0) {
            if (r.nrank > 0 && r.nrank < n_) {
              int nfree = n_;
              int nz = n_;
              for (int j = n_; j >= 1 && nfree > r.nfree; --j) {
                const int is = r.istate[static_cast<std::size_t>(j - 1)];
                if (is <= 0) continue;
                // Position of j among the free variables.
                int ifix = 0;
                for (int k = 1; k <= nfree; ++k)
                  if (r.kx[static_cast<std::size_t>(k - 1)] == j) ifix = k;
                int info = 0;
                lsadd(r.unitq, info, ifix, 0, j, 0, nz, nfree, r.nrank, 0, 1, n_, lda, r.ldzy, ldrfac, r.ldt, r.kx,
                      condmx, alin, rfac, sp(r.t, r.tlen()), {}, sp(r.gq, n_),
                      sp(r.zy, r.zylen()), sp(r.dx, n_), sp(r.x1, n_), sp(r.gq1, n_));
                --nfree;
                --nz;
              }
              r.nz = nz;
            } else {
              // Move the fixed variables to the end of the permutation.
              int nfree = n_;
              for (int j = n_; j >= 1; --j) {
                if (r.istate[static_cast<std::size_t>(j - 1)] <= 0) continue;
                int k = 0;
                for (int l = 1; l <= nfree; ++l)
                  if (r.kx[static_cast<std::size_t>(l - 1)] == j) k = l;
                if (k != nfree) {
                  if (r.nrank > 0)
                    FACMOV(n_, 0, r.nrank, ldrfac, k, nfree, rfac, {}, sp(r.dx, n_), sp(r.x1, n_));
                  std::swap(r.kx[static_cast<std::size_t>(k - 1)], r.kx[static_cast<std::size_t>(nfree - 1)]);
                }
                --nfree;
              }
              r.nz = r.nfree;
            }
          }
          int nrej = 0, info = 0;
          const int k2 = r.nactiv;
          r.nactiv = 0;
          WSFACT(r.unitq, false, info, 1, k2, r.nactiv, nartif, r.nz, r.nfree, r.nrank, nrej, 0, 1, n_, r.ldzy,
                 lda, ldrfac, r.ldt, r.istate, r.wslist, r.kx, condmx, alin, rfac,
                 sp(r.t, r.tlen()), {}, sp(r.gq, n_), sp(r.zy, r.zylen()),
                 sp(r.dx, n_), sp(r.x1, n_), sp(r.gq1, n_));
          bool rowerr = false;
          int jmax = 0;
          double errmax = 0.0, ctx = 0.0;
          lssetx(false, rowerr, r.unitq, nclin_, r.nactiv, r.nfree, 0, r.nz, n_, nplin, r.ldzy, lda, ldrfac, r.ldt,
                 r.istate, r.wslist, r.kx, jmax, errmax, ctx, r.xnorm, alin, sp(r.ax, nclin_), r.bl, r.bu,
                 csp(r.gq, n_), sp(r.rstep, n_), csp(r.rstep0, n_), csp(r.featol, nplin), rfac,
                 csp(r.t, r.tlen()), r.x, csp(r.zy, r.zylen()),
                 sp(r.dx, n_), sp(r.x1, n_));

          // The linear-feasibility phase.
          Lsloc loc = npiqp_loc(L, n_);
          loc.wslist = L.kactiv;
          Lsctl ctl;
          ctl.itmax1 = r.itmax2;
          ctl.itmax2 = r.itmax2;
          ctl.msglvl = r.msgqp;
          ctl.idbg = r.itmax2 + 1;
          ctl.bigbnd = r.bigbnd;
          ctl.bigdx = r.bigdx;
          ctl.tolrank = r.tolrank;
          int iter = 0, nz1 = 0, ninf = 0;
          double ssq = 0.0;
          lscore("FP problem", false, {}, false, r.unitq, inflp, iter, nplin, nclin_, nplin, r.nactiv, r.nfree, 0,
                 r.nz, nz1, n_, lda, ldrfac, r.istate, r.wslist, r.kx, ctx, ssq, 0.0, suminf, ninf, r.xnorm, r.bl,
                 r.bu, alin, sp(r.mult, nctotl), sp(r.ax, nclin_), csp(r.featol, nplin), rfac, r.x, r.w, loc, ctl);
          if (inflp > 0) {
            inform = 2;
          } else if (r.msgqp > 0) {
            both(r.iprint, r.isumm, "(/' The linear constraints are feasible.')");
          }
        } else {
          // Hot start.
          if (loadfree != r.nfree) {
            nerror += 1;
            inform = 9;
          } else {
            int nrej = 0, info = 0, nartif2 = 0;
            const int k2 = r.nactiv;
            r.nactiv = 0;
            r.nz = r.nfree;
            WSFACT(r.unitq, false, info, 1, k2, r.nactiv, nartif2, r.nz, r.nfree, r.nlnx, nrej, 0, 1, n_,
                   r.ldzy, lda, ldrfac, r.ldt, r.istate, r.wslist, r.kx, condmx, alin, rfac,
                   sp(r.t, r.tlen()), {}, sp(r.gq, n_),
                   sp(r.zy, r.zylen()), sp(r.dx, n_), sp(r.x1, n_), sp(r.gq1, n_));
            r.nrank = r.nlnx;
            gemv(nclin_, n_, alin.data(), lda, r.x.data(), r.ax);
            r.xnorm = norm2(n_, r.x.data());
          }
        }
      }

      if (inform == 0 && !cold) {
        // 14. Test the given R.
        NPRUN.rfrobn = MATNRM("F", "U", n_, n_, rfac, ldrfac);
        double drmax = 0.0, drmin = 0.0;
        rdiag(n_, rfac.data(), ldrfac, drmax, drmin);
        const double cond = safdiv(drmax, drmin);
        if (cond > r.rcndbd || 100.0 * pr.sqrtn * drmax < NPRUN.rfrobn) {
          both(r.iprint, r.isumm, "(/' XXX  Bad initial Hessian,   R  refactorized.')");
          QRPIVT(r.unitq, n_, r.nfree, r.nz, r.ldzy, ldrfac, r.iperm, r.kx, sp(r.gq, n_), rfac,
                 sp(r.zy, r.zylen()), sp(r.wrk, nctotl), sp(r.qplo, 2 * nctotl), r.rcndbd,
                 NPRUN.rfrobn);
        }
      }

      if (inform == 0) {
        // 15. Derivatives at the start.
        int info = 0;
        derv(checked ? -1 : verify, info);
        if (info > 0) inform = 7;
        if (info < 0) inform = info;
        r.needfd = estimated();
      }

      if (inform == 0) {
        // 16. The major iterations.
        copy(n_, r.grad, r.gq);
        FACMUL(6, n_, r.nz, r.nfree, r.ldzy, r.unitq, r.kx, sp(r.gq, n_),
               csp(r.zy, r.zylen()), sp(r.wrk, n_));
        if (nnlcon_ > 0) {
          MATCPY("General", nclin_, n_, alin, lda, sp(r.qpmat, r.ldaqp * n_), r.ldaqp);
          npcrsh(cold, n_, nclin_, nnlcon_, nctotl, r.nactiv, r.nfree, r.nz, r.istate, r.wslist, r.bigbnd, tolact,
                 r.bl, r.bu, r.cnlval, trace_unit(1));
        }
        npcore(r, inform, majits);

        if (r.ksave > 0 && r.kfreq > r.itmax1) {
          NPSAVE(r.ksave, old_run(r, majits), NPMERT, pr.epsinv);
        }

        if (hess == 1) {
          // R as a factor of the Hessian in the natural variables.
          for (int j = 1; j <= n_; ++j) {
            for (int i = 1; i < j; ++i) r.dx[i - 1] = 0.0;
            for (int i = j; i <= n_; ++i) r.dx[i - 1] = R(j, i);
            FACMUL(3, n_, r.nz, r.nfree, r.ldzy, r.unitq, r.kx, sp(r.dx, n_),
                   csp(r.zy, r.zylen()), sp(r.wrk, n_));
            for (int i = 1; i <= n_; ++i) R(j, i) = r.dx[i - 1];
          }
          int info = 0;
          QRAPPQ(n_, n_, rfac, ldrfac, sp(r.wrk, n_), info);
        }
      }
    }
  }

  // 17. Exit messages.
  if (r.msgnp > 0) {
    switch (inform) {
      case 0:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - Optimal solution found.')");
        break;
      case 1:
        both(r.iprint, r.isumm,
             "(/' Exit NLSQP - Optimal solution found, ',' but the requested accuracy could not be achieved.')");
        break;
      case 2:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - No feasible point for the linear',' constraints.')");
        break;
      case 3:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - No feasible point for the nonlinear',' constraints.')");
        break;
      case 4:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - Too many major iterations.             ')");
        break;
      case 6:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - Current point cannot be improved upon. ')");
        break;
      case 7:
        both(r.iprint, r.isumm, "(/' Exit NLSQP - Large errors found in the derivatives. ')");
        break;
      case 9:
        both(r.iprint, r.isumm,
             "(/' Exit NLSQP - ',i10,' errors found in the input',' parameters.  Problem abandoned.')", {nerror});
        break;
      default:
        if (inform < 0) both(r.iprint, r.isumm, "(/' Exit NLSQP - User requested termination.')");
        break;
    }
    if (inform >= 0 && inform <= 6) {
      if (inflp == 0)
        both(r.iprint, r.isumm, "(/' Final nonlinear objective value =',g16.7)", {fobj});
      else if (inflp == 3)
        both(r.iprint, r.isumm, "(/' Minimum sum of infeasibilities =',g16.7)", {suminf});
      else
        both(r.iprint, r.isumm, "(/' Final sum of infeasibilities =',g16.7)", {suminf});
    }
  }

  // 18. The option slots as they were before the run.
  o.restore_saved();
  set_debug(false);

  // 19. The derivatives at the last point (not when a callback stopped the
  // run before the first ones were complete: the workspace holds none).
  if (inform < 9 && derivs_set) {
    if (nnlcon > 0) MATCPY("General", nnlcon, n, csp(cjac, ldcj * n), ldcj, cnljac, ldjac);
    copy(n, grad, gobj.data());
  }
}

}  // namespace qv::optim
