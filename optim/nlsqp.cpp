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

using namespace optkern;
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

// The state of the major iterations: what one iteration leaves for the next,
// and the quantities of the current iteration that its phases share.
struct Major {
  // Set at iteration zero.
  int nfirst = 0;                  // Majits at entry: the first iteration number
  int msgsave = 0, msgqpsave = 0;  // the major and minor print levels of the run
  double ftolroot = 0.0;           // sqrt(optimality tolerance)

  // Carried from one iteration to the next.
  std::string flags = "     ";     // the flag field of the log
  int ninfqp = 0;                  // infeasible subproblems in a row
  int minits = 0;                  // minor iterations of the current iteration
  int lastsave = 0;                // the iteration of the last periodic save
  bool newgq = false;              // new derivatives due before the next subproblem
  bool firstlog = true;
  bool lastiter = false;
  double alfa = 0.0;               // the step length taken (0 until a search)
  double alfastep = 0.0;           // the length of the last step

  // The QP subproblem.
  bool qpfeasible = true;
  int nqperr = 0, linact = 0, nlnact = 0, ninf = 0;
  double stepnorm = 0.0, gdir = 0.0, qpcurv = 0.0;
  double redgnorm = 0.0, freegnorm = 0.0;  // norms of the projected gradient

  // The violations and the scales and condition estimates of the tests.
  double cvnorm = 0.0;
  int nviol = 0;
  double gscale = 0.0, optthresh = 0.0;
  double condt = 0.0, condh = 0.0, condhz = 0.0;

  // The tests.
  bool ptconv = false, isoptim = false, stepconv = false, infflag = false, done = false;

  // The merit function and the slopes of the Lagrangian along the step.
  double meritalf = 0.0, grdalf = 0.0, dlag0 = 0.0, dlag1 = 0.0;
};

// T as the log and the condition estimate read it: from its first word to
// the end of the workspace.
Mat1<const double> t_factor(const Run& r) {
  return Mat1<const double>(csp(r.t, static_cast<int>(r.w.size() - static_cast<std::size_t>(r.t - r.w.data()))),
                            r.ldt);
}

// The Jacobian times the step: at the start of the line search, then at the
// point it accepts (the words after A times the QP direction's linear rows).
double* jacobian_times_step(const Run& r) { return r.ap + r.nclin; }

// The major and minor print levels as the run set them.
void restore_print_levels(Run& r, const Major& m) {
  r.msgnp = m.msgsave;
  r.msgqp = m.msgqpsave;
  NPOPTS.inp(slot::kMajorPrintLevel) = m.msgsave;
  NPOPTS.ils(slot::kMinorPrintLevel) = m.msgqpsave;
}

// Iteration zero: the print levels held back until the first debug iteration
// (or the traces on from the start), the QP's copy of the feasibility
// tolerances and the first merit value.
void major_iteration_zero(Run& r, Major& m, int majits) {
  m.nfirst = majits;
  m.lastsave = majits;
  m.ftolroot = std::sqrt(r.opttol);
  m.msgsave = r.msgnp;
  m.msgqpsave = r.msgqp;
  if (r.ldbg >= 1 && r.ldbg <= r.itmax1) {
    r.msgnp = r.msgnp > 4 ? 5 : 0;
    r.msgqp = r.msgqp > 4 ? 5 : 0;
    NPOPTS.inp(slot::kMajorPrintLevel) = r.msgnp;
    NPOPTS.ils(slot::kMinorPrintLevel) = r.msgqp;
  } else if (r.ldbg == 0 && r.iprint > 0) {
    // A debug level without a first iteration: traces from the start.
    set_debug(true);
  }
  copy(r.nctotl, r.featol, r.qpftol);
  m.meritalf = *r.fobj - dot(r.nnlcon, r.nlmult, r.cnlval.data());
}

// The periodic save of the run (not again for a repeated iteration).
void save_periodically(Run& r, Major& m, int majits) {
  if (r.ksave > 0 && r.kfreq > 0 && majits % r.kfreq == 0 && majits != m.nfirst && majits != m.lastsave) {
    NPSAVE(r.ksave, old_run(r, majits), NPMERT, NPPREC.epsinv);
    m.lastsave = majits;
  }
}

// Completes the gradient and the Jacobian by differences at x (NPFDGR).
// Returns its result: negative when a callback stopped the run.
int difference_derivatives(Run& r) {
  const int n = r.n, nnlcon = r.nnlcon, nctotl = r.nctotl;
  int info = 0;
  NPFDGR(NPDSTA, r.difmode == 2, info, r.ldcj, r.ldjac, n, nnlcon, r.bigbnd, r.cdint, r.fdint, r.fdnorm, *r.fobj,
         *r.cnlfun, *r.objfun, r.kneed, r.bl, r.bu, r.cnlval, sp(r.qplo, nctotl), sp(r.qphi, nctotl),
         sp(r.cjac, r.ldcj * n), r.cnljac, sp(r.grad, n), r.gobj, csp(r.hforwd, n), csp(r.hcntrl, n), r.x, r.w,
         static_cast<int>(r.w.size()), r.iusr, r.rusr);
  return info;
}

// The projected gradient: Q' times the gradient.
void project_gradient(Run& r) {
  copy(r.n, r.grad, r.gq);
  FACMUL(6, r.n, r.nz, r.nfree, r.ldzy, r.unitq, r.kx, sp(r.gq, r.n), csp(r.zy, r.zylen()), sp(r.wrk, r.n));
}

// From here on the derivatives are estimated by central differences; the
// current ones are due again.
void switch_to_central_differences(Run& r, Major& m) {
  m.flags[2] = 'c';
  r.difmode = 2;
  NPDSTA.difmode = 2;
  m.newgq = true;
  if (r.msgnp > 4 && r.iprint > 0 && m.minits > 0)
    runtime::write_fmt(r.iprint, "(' Minor itn',i6,'.  Central-differences computed. ',' QP re-solved.')",
                       {m.minits});
}

// One QP subproblem (npiqp): the search direction, the minor iterations, the
// count of infeasible subproblems in a row and the norms of the projected
// gradient.
void solve_qp_subproblem(Run& r, Major& m, int majits) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon, nctotl = r.nctotl;
  int qpiters = 0;
  npiqp(m.qpfeasible, r.unitq, m.nqperr, majits, qpiters, n, nclin, nnlcon, r.ldcj, r.ldaqp, r.ldr, m.linact,
        m.nlnact, r.nactiv, r.nfree, r.nz, m.ninf, r.istate, r.wslist, r.kx, m.stepnorm, m.gdir, m.qpcurv,
        sp(r.qpmat, r.ldaqp * n), sp(r.adx, r.ncqp), sp(r.anorm, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, r.cnlval,
        csp(r.cjac, r.ldcj * n), sp(r.mult, nctotl), sp(r.nlmult, nnlcon), sp(r.cs, nnlcon), sp(r.dmult, nnlcon),
        sp(r.dslack, nnlcon), sp(r.dx, n), sp(r.qplo, nctotl), sp(r.qphi, nctotl), csp(r.qpftol, nctotl), r.r,
        sp(r.rho, nnlcon), sp(r.slack, nnlcon), sp(r.nlviol, nnlcon), r.x, sp(r.infwt, nctotl), r.iw, r.w, r.loc,
        trace_unit(1));
  m.minits += qpiters;
  if (!m.qpfeasible) {
    ++m.ninfqp;
    m.flags[1] = 'i';
  } else {
    m.ninfqp = 0;
  }
  m.redgnorm = norm2(r.nz, r.gq);
  m.freegnorm = (r.nfree > 0 && r.nactiv > 0) ? norm2(r.nfree, r.gq) : m.redgnorm;
}

// Whether forward differences are too coarse for the step just found: the
// norm of H times the step is within their error.
bool forward_differences_too_coarse(const Run& r) {
  if (!r.needfd || r.difmode == 2) return false;
  const double hnorm = norm2(r.n, r.hstep);
  const double cnorm = r.nnlcon > 0 ? norm2(r.nnlcon, r.cnlval.data()) : 0.0;
  const double objmag = 1.0 + std::abs(*r.fobj) + cnorm;
  return hnorm <= safdiv(objmag * r.fprec, r.fdnorm);
}

// The search direction: the QP subproblem, solved again with central
// differences until the gradient is accepted.  Returns 0, or the negative
// MODE of a callback that stopped the run.
int search_direction(Run& r, Major& m, int majits) {
  for (;;) {
    if (m.newgq) {
      if (r.needfd) {
        const int info = difference_derivatives(r);
        if (info < 0) return info;
      }
      project_gradient(r);
      m.newgq = false;
    }
    solve_qp_subproblem(r, m, majits);
    if (!forward_differences_too_coarse(r)) return 0;
    switch_to_central_differences(r, m);
  }
}

// The violations of the bounds and constraints at x (npfeas).
void measure_violations(Run& r, Major& m) {
  double errmax = 0.0;
  int jmax = 0;
  m.cvnorm = 0.0;
  m.nviol = 0;
  npfeas(r.n, r.nclin, r.nnlcon, r.istate, r.bigbnd, m.cvnorm, errmax, jmax, m.nviol, csp(r.ax, r.nclin), r.bl,
         r.bu, r.cnlval, csp(r.featol, r.nctotl), r.x, sp(r.wrk, r.nctotl), trace_unit(1));
}

// Cond T of the log: 0 with no active constraint, the diagonal of T with
// one, the ratio of its largest to its smallest with more.
double condition_of_t(const Run& r) {
  const Mat1<const double> T = t_factor(r);
  if (r.nactiv == 1) return std::abs(T(1, r.nfree));
  if (r.nactiv < 1) return 0.0;
  double tmax = 0.0, tmin = 0.0;
  for (int i = 1; i <= r.nactiv; ++i) {
    const double d = std::abs(T(i, r.nfree - i + 1));
    if (i == 1 || d > tmax) tmax = d;
    if (i == 1 || d < tmin) tmin = d;
  }
  return safdiv(tmax, tmin);
}

// The condition estimate of H over the leading k x k block of R: the ratio
// of its largest to its smallest diagonal, squared (the largest safe
// magnitude once the ratio reaches its square root).
double condition_of_r(const Run& r, int k) {
  double dmax = 0.0, dmin = 0.0;
  rdiag(k, r.r.data(), r.ldr, dmax, dmin);
  const double ratio = safdiv(dmax, dmin);
  return ratio >= wmach(8) ? wmach(7) : ratio * ratio;
}

// The scales of the tests and the condition estimates of the log.
void test_quantities(const Run& r, Major& m) {
  const double objmag = 1.0 + std::abs(*r.fobj);
  m.gscale = std::max(objmag, m.freegnorm);
  m.optthresh = m.ftolroot * m.gscale;
  m.condt = condition_of_t(r);
  m.condh = condition_of_r(r, r.n);
  m.condhz = r.nz == 0 ? 1.0 : (r.nz == r.n ? m.condh : condition_of_r(r, r.nz));
}

// The point test: a negligible step to a feasible point from a subproblem
// that was solved.
bool point_converged(const Major& m) {
  return m.stepnorm <= NPPREC.epspt8 * m.gscale && m.nviol == 0 && m.nqperr <= 1;
}

// Optimality: a negligible reduced gradient at a feasible point.
bool converged_to_optimality(const Major& m) { return m.redgnorm < m.optthresh && m.nviol == 0; }

// The step test: the last step was negligible against x.
bool step_converged(const Run& r, const Major& m, int majits) {
  const double xmag = 1.0 + r.xnorm;
  return majits > 0 && m.alfastep <= m.ftolroot * xmag;
}

// No feasible point for the nonlinear constraints: a negligible step from an
// infeasible subproblem, or more than seven infeasible subproblems in a row.
bool nonlinear_constraints_infeasible(const Major& m) { return (m.stepconv && !m.qpfeasible) || m.ninfqp > 7; }

// The convergence tests of the iteration.
void convergence_tests(const Run& r, Major& m, int majits) {
  m.ptconv = point_converged(m);
  m.isoptim = converged_to_optimality(m);
  m.stepconv = step_converged(r, m, majits);
  m.infflag = nonlinear_constraints_infeasible(m);
  m.done = m.ptconv || (m.stepconv && m.isoptim) || m.infflag;
}

// The merit value and its slope along the direction, the slope dlag0 of the
// Lagrangian, and with nonlinear constraints the penalty parameters (npmrt).
void merit_function(Run& r, Major& m) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon;
  m.meritalf = *r.fobj;
  m.grdalf = m.gdir;
  m.dlag0 = m.gdir;
  if (nnlcon > 0) {
    m.dlag0 = m.gdir - dot(nnlcon, r.adx + nclin, r.mult + r.nplin);
    npmrt(NPMERT, m.qpfeasible, n, nclin, nnlcon, m.meritalf, m.grdalf, m.qpcurv, r.istate,
          csp(r.adx + nclin, nnlcon), csp(r.nlmult, nnlcon), csp(r.cs, nnlcon), csp(r.dmult, nnlcon),
          sp(r.rho, nnlcon), csp(r.nlviol, nnlcon), sp(r.qplo, nnlcon), sp(r.qphi, nnlcon), NPPREC.epsinv,
          trace_unit(1));
  }
}

// The log line of the iteration (NPPRIT).
void log_iteration(const Run& r, Major& m, int majits) {
  const int n = r.n;
  NpLogLine line;
  line.majits = majits;
  line.minits = m.minits;
  line.step = m.alfa;
  line.nfun = r.nfun;
  line.merit = m.meritalf;
  line.violtn = m.cvnorm;
  line.gznorm = m.redgnorm;
  line.nz = r.nz;
  line.nbnd = n - r.nfree;
  line.nlin = m.linact;
  line.nnl = m.nlnact;
  line.penalty = NPMERT.rhonrm;
  line.gfnorm = m.freegnorm;
  line.condh = m.condh;
  line.condhz = m.condhz;
  line.condt = m.condt;
  line.step_converged = m.stepconv;
  line.gradient_small = m.redgnorm < m.optthresh;
  line.feasible = m.nviol == 0;
  line.fobj = *r.fobj;
  LogDetail detail;
  detail.n = n;
  detail.nclin = r.nclin;
  detail.nnlcon = r.nnlcon;
  detail.istate = r.istate;
  detail.x = r.x;
  detail.ax = csp(r.ax, r.nclin);
  detail.cnl = r.cnlval;
  detail.t = t_factor(r);
  detail.nactiv = r.nactiv;
  detail.nfree = r.nfree;
  detail.r = Mat1<const double>(r.r, r.ldr);
  detail.nrank = n;
  NPPRIT(r.msgnp, r.msgqp, m.firstlog, line, detail, m.flags);
  m.firstlog = false;
}

// The result of a run whose tests held.
int inform_when_converged(const Major& m) {
  if (m.stepconv && m.isoptim) return 0;
  if (m.ptconv) return 1;
  return 3;
}

// The result of a run that stopped without a test holding: the iterations
// limit, or a failed search at a point that is optimal or is not.
int inform_without_convergence(const Run& r, const Major& m, int majits) {
  if (majits >= r.itmax1) return 4;
  if (m.isoptim) return 1;
  return 6;
}

// The number of the next iteration; the print levels and the traces from the
// first debug iteration on.
void next_major_iteration(Run& r, const Major& m, int& majits) {
  ++majits;
  if (majits == r.ldbg && r.iprint > 0) {
    restore_print_levels(r, m);
    set_debug(true);
  }
}

// x, the projected gradient and, with nonlinear constraints, c - s, the
// multipliers and the slacks as the start of the step.
void keep_start_of_step(Run& r) {
  const int nnlcon = r.nnlcon;
  copy(r.n, r.x.data(), r.x1);
  copy(r.n, r.gq, r.gq1);
  if (nnlcon > 0) {
    copy(nnlcon, r.cs, r.cs1);
    copy(nnlcon, r.nlmult, r.nlmult1);
    copy(nnlcon, r.slack, r.slack1);
  }
}

// The bounds on the step length of the search.
struct StepBounds {
  double alfmax = 1.0;    // the nearest constraint (1 with estimated derivatives and nonlinear rows)
  double alfbnd = 0.0;    // the search's first bound
  double alfatiny = 0.0;  // forward differences give up below it
  double alfacap = 0.0;   // the step limit
};

// The bounds on the step length, and the first trial step alfa.
StepBounds step_bounds(Run& r, Major& m) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon;
  StepBounds b;
  const double alfalow = m.qpfeasible ? 1.0 : 0.0;
  if (nnlcon == 0 || !r.needfd) {
    b.alfmax = safdiv(r.bigdx, m.stepnorm);
    int info = 0;
    double alfhit = 0.0;
    npalf(info, n, nclin, nnlcon, alfhit, alfalow, b.alfmax, r.bigbnd, m.stepnorm, csp(r.anorm, r.ncqp),
          csp(r.adx, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, csp(r.dslack, nnlcon), csp(r.dx, n),
          csp(r.slack, nnlcon), r.x, trace_unit(1));
    b.alfmax = alfhit;
    if (b.alfmax < 1.0 + NPPREC.epspt3 && m.qpfeasible) b.alfmax = 1.0;
  }
  b.alfbnd = nnlcon == 0 ? b.alfmax : std::min(1.0, b.alfmax);
  const bool centrl = r.difmode == 2;
  b.alfatiny = (r.needfd && !centrl) ? std::min(safdiv(r.fdnorm, m.stepnorm), b.alfmax) : 0.0;
  b.alfacap = safdiv((1.0 + r.xnorm) * r.steplim, m.stepnorm);
  m.alfa = std::min(1.0, b.alfacap);
  return b;
}

// The line search along the direction (npsrch).  Returns its result: 1..3
// a step was taken, 4..8 none, negative a callback stopped the run.
int line_search(Run& r, Major& m, StepBounds& b) {
  const int n = r.n, nnlcon = r.nnlcon;
  double* cjdx = jacobian_times_step(r);
  copy(nnlcon, r.adx + r.nclin, cjdx);
  int info = 0;
  npsrch(r.needfd, n, nnlcon, r.ldcj, r.ldjac, r.nfun, r.ngrad, r.kneed, *r.cnlfun, *r.objfun, m.alfa, b.alfbnd,
         b.alfmax, b.alfatiny, m.stepnorm, r.fprec, r.lstol, m.gdir, m.grdalf, m.dlag0, m.dlag1, *r.fobj,
         m.meritalf, m.qpcurv, r.xnorm, r.cnlval, sp(r.ctry, nnlcon), sp(r.cjac, r.ldcj * n), r.cnljac,
         sp(cjdx, nnlcon), sp(r.qplo, nnlcon), csp(r.nlmult1, nnlcon), sp(r.nlmult, nnlcon), csp(r.dmult, nnlcon),
         csp(r.slack1, nnlcon), sp(r.slack, nnlcon), csp(r.dslack, nnlcon), csp(r.cs1, nnlcon), sp(r.cs, nnlcon),
         csp(r.dx, n), sp(r.grad, n), r.gobj, csp(r.mult + r.nplin, nnlcon), csp(r.rho, nnlcon), csp(r.x1, n), r.x,
         sp(r.qphi, nnlcon), 0, r.iusr, r.rusr, info, trace_unit(2));
  return info;
}

// After a step with estimated derivatives: the supplied derivatives at the
// new x (MODE 1), the others by differences, and there the slopes g'p and
// dlag1.  Returns 0, or the negative MODE of a callback that stopped the run.
int derivatives_after_step(Run& r, Major& m) {
  const int n = r.n, nnlcon = r.nnlcon;
  double* cjdx = jacobian_times_step(r);
  int mode = 1;
  r.ngrad += 1;
  if (nnlcon > 0) {
    for (int& k : r.kneed) k = 1;
    (*r.cnlfun)(mode, nnlcon, n, r.ldjac, r.kneed, r.x, r.cnlval, r.cnljac, 0, r.iusr, r.rusr);
    if (mode < 0) return mode;
    MATCPY("General", nnlcon, n, r.cnljac, r.ldjac, sp(r.cjac, r.ldcj * n), r.ldcj);
  }
  (*r.objfun)(mode, n, r.x, *r.fobj, r.gobj, 0, r.iusr, r.rusr);
  if (mode < 0) return mode;
  copy(n, r.gobj.data(), r.grad);
  const int info = difference_derivatives(r);
  if (info < 0) return info;
  m.gdir = dot(n, r.grad, r.dx);
  m.dlag1 = m.gdir;
  if (nnlcon > 0) {
    // The same QP multipliers as in dlag0, so that dlag1 - dlag0 is the
    // change of the Lagrangian's slope along the step.
    gemv(nnlcon, n, r.cjac, r.ldcj, r.dx, cjdx);
    m.dlag1 -= dot(nnlcon, cjdx, r.mult + r.nplin);
  }
  return 0;
}

// At the new point: the projected gradient, the norm of x, the multipliers
// after a full step, the linear constraint values, the length of the step,
// and the quasi-Newton update of R (npupdt).
void update_after_step(Run& r, Major& m) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon;
  project_gradient(r);
  r.xnorm = norm2(n, r.x.data());
  if (nnlcon > 0 && m.alfa >= 1.0) copy(nnlcon, r.mult + r.nplin, r.nlmult);
  if (nclin > 0) {
    const int inc = 1;
    daxpy_(&nclin, &m.alfa, r.adx, &inc, r.ax, &inc);
  }
  m.alfastep = m.alfa * m.stepnorm;
  npupdt(m.flags[0], r.unitq, n, nnlcon, r.nfree, r.nz, r.ldaqp, r.ldcj, r.ldzy, r.ldr, r.kx, m.alfa, m.dlag0,
         m.dlag1, m.qpcurv, csp(nnlcon > 0 ? r.qpmat + nclin : r.qpmat, nnlcon > 0 ? r.ldaqp * n - nclin : 0),
         csp(r.cjac, r.ldcj * n), csp(r.adx + nclin, nnlcon), csp(jacobian_times_step(r), nnlcon),
         csp(r.cs1, nnlcon), csp(r.cs, nnlcon), sp(r.gq1, n), csp(r.gq, n), sp(r.hstep, n), sp(r.rstep, n),
         csp(r.mult + r.nplin, nnlcon), r.r, sp(r.qplo, nnlcon), csp(r.zy, r.zylen()), sp(r.wrk, r.nctotl),
         sp(r.hz, n), NPRUN.rfrobn, trace_unit(1));
}

// The debug trace of R before a refactorization.
void trace_hessian_factor(const Run& r) {
  const int tu = trace_unit(1);
  if (tu <= 0) return;
  const int n = r.n;
  const Mat1<const double> R(r.r, r.ldr);
  runtime::write_fmt(tu, "(/a/(1p,5e15.6))", {" //npcore//  Hessian factor R before refactorization"});
  for (int i = 1; i <= n; ++i)
    for (int j = i; j <= n; j += 5) {
      std::array<runtime::Out, 5> items{0.0, 0.0, 0.0, 0.0, 0.0};
      std::size_t k = 0;
      for (int l = j; l <= std::min(n, j + 4); ++l) items[k++] = runtime::Out(R(i, l));
      runtime::write_fmt(tu, "(1p,5e15.6)", std::span<const runtime::Out>(items.data(), k));
    }
}

// Whether R is to be refactorized: its condition estimate above the bound,
// or its diagonal small against its norm.
bool r_needs_refactorizing(const Run& r) {
  double drmax = 0.0, drmin = 0.0;
  rdiag(r.n, r.r.data(), r.ldr, drmax, drmin);
  const double cond = safdiv(drmax, drmin);
  return cond > r.rcndbd || 100.0 * NPPREC.sqrtn * drmax < NPRUN.rfrobn;
}

// R refactorized with column interchanges (QRPIVT), and Rfrobn measured
// again.
void refactorize_r(Run& r) {
  QRPIVT(r.unitq, r.n, r.nfree, r.nz, r.ldzy, r.ldr, r.iperm, r.kx, sp(r.gq, r.n), r.r, sp(r.zy, r.zylen()),
         sp(r.wrk, r.nctotl), sp(r.qplo, 2 * r.nctotl), r.rcndbd, NPRUN.rfrobn);
}

// R refactorized after the update when it needs it, with the trace and the
// flag of the log.
void refactorize_ill_conditioned_r(Run& r, Major& m) {
  if (!r_needs_refactorizing(r)) return;
  trace_hessian_factor(r);
  m.flags[4] = 'r';
  refactorize_r(r);
}

// The step of an iteration: the line search along the direction and, when
// it moved, the derivatives, the update of R and its conditioning at the new
// point; when it failed with forward differences at a point that is not
// optimal, central differences and the same iteration again.  Returns 0, or
// the negative MODE of a callback that stopped the run.
int take_step(Run& r, Major& m, int& majits) {
  next_major_iteration(r, m, majits);
  keep_start_of_step(r);
  StepBounds b = step_bounds(r, m);
  const int info = line_search(r, m, b);
  if (info < 0) return info;
  if (b.alfacap < m.alfa) m.flags[3] = 'l';
  m.lastiter = info > 3;
  if (info <= 3) {
    // A step was taken.
    if (r.needfd) {
      const int stop = derivatives_after_step(r, m);
      if (stop < 0) return stop;
    }
    update_after_step(r, m);
    refactorize_ill_conditioned_r(r, m);
  } else if (r.needfd && r.difmode != 2 && !m.isoptim) {
    // No acceptable step: repeat the iteration with central differences.
    switch_to_central_differences(r, m);
    m.lastiter = false;
    --majits;
  }
  return 0;
}

// The major iterations until a test holds, the limit is reached or no step
// can be taken.  Returns inform.
int major_iterations(Run& r, Major& m, int& majits) {
  do {
    save_periodically(r, m, majits);
    if (const int stop = search_direction(r, m, majits); stop < 0) return stop;
    measure_violations(r, m);
    test_quantities(r, m);
    convergence_tests(r, m, majits);
    merit_function(r, m);
    log_iteration(r, m, majits);
    m.alfa = 0.0;
    m.minits = 0;
    m.lastiter = majits >= r.itmax1;
    if (m.done) return inform_when_converged(m);
    if (majits < r.itmax1) {
      if (const int stop = take_step(r, m, majits); stop < 0) return stop;
    }
  } while (!m.lastiter);
  return inform_without_convergence(r, m, majits);
}

// The exit of the major iterations: the print levels back, the exit line,
// the solution table (PRSOLN) and the final nonlinear multipliers in XMULT.
void leave_major_iterations(Run& r, const Major& m, int inform, int majits) {
  const int n = r.n, nnlcon = r.nnlcon;
  restore_print_levels(r, m);
  if (r.msgnp > 0 && r.iprint > 0)
    runtime::write_fmt(r.iprint, "(/' Exit  NP phase.  Inform = ',i2,'  Majits = ',i4,'   nfun = ',i4,'   ngrad = ',i4)",
                       {inform, majits, r.nfun, r.ngrad});
  PRSOLN(r.msgnp, r.nfree, r.ldaqp, n, r.nclin, r.nctotl, r.bigbnd, false, {}, r.nactiv, r.istate, r.wslist, r.kx,
         csp(r.qpmat, r.ldaqp * n), r.bl, r.bu, r.cnlval, r.xmult, csp(r.wsmult, n), r.x);
  if (nnlcon > 0) copy(nnlcon, r.nlmult, r.xmult.data() + r.nplin);
}

// The major iterations.  inform and majits as for NLSQP.
void npcore(Run& r, int& inform, int& majits) {
  Major m;
  major_iteration_zero(r, m, majits);
  inform = major_iterations(r, m, majits);
  leave_major_iterations(r, m, inform, majits);
}

// NLSQP's arguments as the caller gave them, for the phases of the run.
struct Args {
  int n, nclin, nnlcon, lda, ldjac, ldrfac;
  std::span<const double> alin, blow, bupp;
  const Cnlfun& cnlfun;
  const Objfun& objfun;
  std::span<int> istate;
  std::span<double> cnlval, cnljac, xmult;
  double& fobj;
  std::span<double> gobj, rfac, x;
  std::span<int> iw;
  int niw;
  std::span<double> w;
  int nw;
  std::span<int> iusr;
  std::span<double> rusr;
};

// What the set-up of a run keeps beside Run: the options that only it reads,
// and what it leaves for the exit.
struct Setup {
  int verify = 0, hess = 0, kload = 0, start = 0;
  double tolact = 0.0, tolfea = 0.0, tolnlf = 0.0, hcndbd = 0.0;
  int nerror = 0;            // input errors
  int inflp = 0;             // result of the linear-feasibility phase
  double suminf = 0.0;       // its sum of infeasibilities
  int loadfree = 0;          // free variables of a loaded run
  double dxchk = 0.0;        // interval of the derivative checks
  int kfirst = 1;            // the callbacks' first-call flag
  bool checked = false;      // the derivatives were checked at the start point
  bool derivs_set = false;   // the internal gradient and Jacobian hold values

  bool cold() const { return start == 0; }
  bool hot() const { return start == 2; }
};

// Input that would make the run read outside its arrays: each problem is
// one input error, reported like those of the input check.
int check_sizes(int iprint, const Args& a) {
  const int n = a.n, nclin = a.nclin, nnlcon = a.nnlcon;
  int nerror = 0;
  auto bad = [&](std::string_view what, long long value) {
    ++nerror;
    if (iprint > 0)
      runtime::write_fmt(iprint, "(/' XXX  ',a,' is out of range...',i16)", {what, value});
  };
  if (n < 1) bad("N     ", n);
  if (nclin < 0) bad("nclin ", nclin);
  if (nnlcon < 0) bad("NNLCON", nnlcon);
  if (a.lda < std::max(1, nclin)) bad("LDA   ", a.lda);
  if (a.ldjac < std::max(1, nnlcon)) bad("LDJAC ", a.ldjac);
  if (a.ldrfac < n) bad("LDRFAC", a.ldrfac);
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
  shortarr("ALIN  ", a.alin.size(), nclin > 0 ? static_cast<long long>(a.lda) * nn : 0);
  shortarr("BLOW  ", a.blow.size(), nctotl);
  shortarr("BUPP  ", a.bupp.size(), nctotl);
  shortarr("istate", a.istate.size(), nctotl);
  shortarr("CNLVAL", a.cnlval.size(), nnlcon);
  shortarr("CNLJAC", a.cnljac.size(), nnlcon > 0 ? static_cast<long long>(a.ldjac) * nn : 0);
  shortarr("XMULT ", a.xmult.size(), nctotl);
  shortarr("GOBJ  ", a.gobj.size(), nn);
  shortarr("RFAC  ", a.rfac.size(), static_cast<long long>(a.ldrfac) * nn);
  shortarr("X     ", a.x.size(), nn);
  shortarr("iw    ", a.iw.size(), a.niw);
  shortarr("w     ", a.w.size(), a.nw);
  return nerror;
}

// Whether some derivatives are estimated by differences, at the run's
// derivative level.
bool some_derivatives_estimated(const Run& r) {
  return r.lvlder == 0 || r.lvlder == 2 || (r.lvlder == 1 && r.nnlcon > 0);
}

// The result of the derivative set-up or checks as the run's inform: 7 for
// large errors, a callback's negative MODE as it is.
int inform_of_derivatives(int info) { return info > 0 ? 7 : info; }

// The options of the run (after NPPRMS), and the print file of the traces.
void read_run_options(Run& r, Setup& s, const Args& a) {
  Npopts& o = NPOPTS;
  namespace sl = slot;
  r.n = a.n;
  r.nclin = a.nclin;
  r.nnlcon = a.nnlcon;
  r.itmax1 = o.inp(sl::kMajorIterations);
  r.lvlder = o.inp(sl::kDerivativeLevel);
  s.verify = o.inp(sl::kVerifyLevel);
  r.msgnp = o.inp(sl::kMajorPrintLevel);
  r.ldbg = o.inp(sl::kDebugIteration);
  s.hess = o.inp(sl::kHessian);
  s.kload = o.inp(sl::kLoadFile);
  r.ksave = o.inp(sl::kSaveRun);
  r.kfreq = o.inp(sl::kSaveFrequency);
  r.nlnx = o.inp(sl::kNonlinVars);
  r.iprint = o.ils(sl::kPrintFile);
  r.isumm = o.ils(sl::kSummaryFile);
  s.start = o.ils(sl::kStart);
  r.itmax2 = o.ils(sl::kMinorIterations);
  r.msgqp = o.ils(sl::kMinorPrintLevel);
  r.bigbnd = o.rls(sl::kInfiniteBound);
  r.bigdx = o.rls(sl::kInfiniteStep);
  s.tolact = o.rls(sl::kCrashTol);
  s.tolfea = o.rls(sl::kLinearFeasTol);
  s.tolnlf = o.rnp(sl::kNonlinFeasTol);
  r.fprec = o.rnp(sl::kFunctionPrecision);
  r.opttol = o.rnp(sl::kOptimalityTol);
  r.lstol = o.rnp(sl::kLinesearchTol);
  r.steplim = o.rnp(sl::kStepLimit);
  r.fdint = o.rnp(sl::kDifferenceInterval);
  r.cdint = o.rnp(sl::kCentralInterval);
  s.hcndbd = o.rnp(sl::kConditionBound);
  r.dif_class = o.dif_class;

  NPRUN.iprint = r.iprint;
  NPRUN.itmax = r.itmax1;
  set_debug(false);
  LSPRNT.iprint = r.iprint;
}

// The difference mode, and the sizes of the factors and of the QP matrix
// (the linear rows in place when there are no nonlinear ones).
void derive_sizes(Run& r, const Args& a) {
  r.needfd = some_derivatives_estimated(r);
  r.difmode = r.needfd ? 1 : 0;
  r.nplin = a.n + a.nclin;
  r.nctotl = r.nplin + a.nnlcon;
  r.ncqp = a.nclin + a.nnlcon;
  r.ldaqp = std::max(1, r.ncqp);
  if (a.nnlcon == 0 && a.nclin > 0) r.ldaqp = a.lda;
  r.ldcj = std::max(1, a.nnlcon);
  r.ldjac = a.ldjac;
  r.ldr = a.ldrfac;
}

// The partition of the workspaces (NPWKSP) and the input check (CHKINP).
// Returns 0, or 9 after input errors.
int partition_and_check_input(Run& r, Setup& s, const Args& a) {
  const int n = a.n;
  int litotl = 0, lwtotl = 0;
  NPWKSP(n, a.nclin, a.nnlcon, r.nctotl, litotl, lwtotl);
  const Npwloc& L = NPWLOC;
  r.ldt = L.ldt;
  r.ldzy = L.ldzy;
  std::span<int> kxchk = a.iw.size() >= static_cast<std::size_t>(litotl)
                             ? a.iw.subspan(static_cast<std::size_t>(L.kx - 1), static_cast<std::size_t>(n))
                             : std::span<int>{};
  CHKINP(s.nerror, r.msgnp, s.start, false, a.niw, a.nw, litotl, lwtotl, n, a.nclin, a.nnlcon, a.istate, kxchk,
         false, {}, r.bigbnd, a.blow, a.bupp);
  return s.nerror > 0 ? 9 : 0;
}

// The start of a run, before any array is read: the machine constants and
// the precision, the option defaults with the Parameters table (NPPRMS), the
// options, the sizes and the input checks.  Returns 0, or 9 after input
// errors.
int start_run(Run& r, Setup& s, const Args& a) {
  NPPRMS(a.n, a.nclin, a.nnlcon, kTitle);
  read_run_options(r, s, a);
  // Unsafe dimensions are input errors before any array is read.
  s.nerror = check_sizes(r.iprint, a);
  if (s.nerror > 0) return 9;
  derive_sizes(r, a);
  return partition_and_check_input(r, s, a);
}

// The caller's arrays and the blocks of the workspace by their roles.
void bind_workspace(Run& r, const Args& a) {
  const Npwloc& L = NPWLOC;
  const int n = a.n, nnlcon = a.nnlcon;
  auto wp = [&](int at) { return a.w.data() + (at - 1); };
  auto ip = [&](int at, int len) {
    return a.iw.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
  };
  r.cnlfun = &a.cnlfun;
  r.objfun = &a.objfun;
  r.bl = a.blow;
  r.bu = a.bupp;
  r.istate = a.istate.first(static_cast<std::size_t>(r.nctotl));
  r.cnlval = a.cnlval.first(static_cast<std::size_t>(nnlcon));
  r.cnljac = nnlcon > 0 ? a.cnljac : std::span<double>{};
  r.xmult = a.xmult;
  r.gobj = a.gobj.first(static_cast<std::size_t>(n));
  r.r = a.rfac;
  r.x = a.x.first(static_cast<std::size_t>(n));
  r.iusr = a.iusr;
  r.rusr = a.rusr;
  r.fobj = &a.fobj;
  r.w = a.w.first(static_cast<std::size_t>(a.nw));
  r.iw = a.iw.first(static_cast<std::size_t>(a.niw));
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
  r.qpmat = nnlcon > 0 ? wp(L.qpmat) : const_cast<double*>(a.alin.data());
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
}

// The tolerances of the factorizations: the QP's rank tolerance and the
// bound on the condition of R.
void set_factor_tolerances(Run& r, const Setup& s) {
  r.tolrank = 1.0 / s.hcndbd;
  r.rcndbd = std::sqrt(s.hcndbd);
  NPOPTS.rls(slot::kRankTol) = r.tolrank;
}

// An old run loaded from unit kload (NPLOAD) over the start.  Returns false
// after errors in the file.
bool load_old_run(Run& r, Setup& s, int& majits) {
  OldRun run = old_run(r, 0);
  int nerr = 0;
  NPLOAD(s.kload, run, NPMERT, nerr);
  if (nerr > 0) {
    s.nerror += nerr;
    return false;
  }
  majits = run.majits;
  s.loadfree = run.nfree;
  r.unitq = run.unitq;
  if (run.lvlder > r.lvlder) r.lvlder = run.lvlder;
  if (r.msgnp > 0 && r.iprint > 0) write_parameters_table(r.n, r.nclin, r.nnlcon, true);
  return true;
}

// The feasibility tolerances the options set (otherwise those in the
// workspace stay, as after a load).
void set_feasibility_tolerances(Run& r, const Setup& s) {
  const int nplin = r.nplin, nnlcon = r.nnlcon;
  if (s.tolfea > 0.0) DVFILL(nplin, s.tolfea, sp(r.featol, nplin), 1);
  if (s.tolnlf > 0.0 && nnlcon > 0) DVFILL(nnlcon, s.tolnlf, sp(r.featol + nplin, nnlcon), 1);
}

// The interval of the derivative checks, by the class of the difference
// intervals.
double check_interval(const Run& r) {
  if (r.dif_class == kDifComputed) return std::sqrt(r.fprec);
  if (r.dif_class == kDifFixed) return r.fdint;
  return r.hforwd[0];
}

// The derivative routines' settings for the run (NPDSTA), the interval of
// the checks, and the counters.
void prepare_derivatives(Run& r, Setup& s) {
  Npopts& o = NPOPTS;
  s.dxchk = check_interval(r);
  Npdsta& st = NPDSTA;
  st.reset();
  st.dif_class = r.dif_class;
  st.difmode = r.difmode == 2 ? 2 : 1;
  st.iprint = r.iprint;
  st.isumm = r.isumm;
  st.chdbg = false;
  st.jobj1 = o.inp(slot::kStartObjCheck);
  st.jobj2 = o.inp(slot::kStopObjCheck);
  st.jcon1 = o.inp(slot::kStartConCheck);
  st.jcon2 = o.inp(slot::kStopConCheck);
  r.nfun = 0;
  r.ngrad = 0;
  s.kfirst = 1;
}

// The derivative set-up and checks (NPDERV) at x with the working verify
// level.  Returns its result.
int set_up_derivatives(Run& r, Setup& s, int level) {
  const int n = r.n, nnlcon = r.nnlcon;
  Npdsta& st = NPDSTA;
  st.verify = level;
  int info = 0;
  NPDERV(st, info, r.msgnp, s.kfirst, r.lvlder, r.nfun, r.ngrad, r.ldcj, r.ldjac, n, nnlcon, *r.cnlfun, *r.objfun,
         r.kneed, r.bigbnd, r.fprec, r.cdint, r.fdint, s.dxchk, r.fdnorm, *r.fobj, r.xnorm, r.bl, r.bu, r.cnlval,
         sp(r.qplo, nnlcon), sp(r.cjac, r.ldcj * n), r.cnljac, sp(r.qphi, nnlcon), sp(r.dx, n), sp(r.grad, n),
         r.gobj, sp(r.hforwd, n), sp(r.hcntrl, n), r.x, sp(r.x1, n), sp(r.wrk, r.nctotl), r.w,
         static_cast<int>(r.w.size()), r.iusr, r.rusr);
  s.kfirst = 0;
  if (info >= 0) s.derivs_set = true;
  return info;
}

// With a verify level of 10 or more: the derivatives checked at the start
// point, before anything moves it.  Returns the run's inform.
int check_derivatives_early(Run& r, Setup& s) {
  if (s.verify < 10) return 0;
  r.xnorm = norm2(r.n, r.x.data());
  const int info = set_up_derivatives(r, s, s.verify - 10);
  s.checked = true;
  return inform_of_derivatives(info);
}

// The row norms of the linear constraints, the largest of them as the QP's
// constraint size, and the QP's infeasibility weights: the feasibility
// tolerances of the bounds and linear rows over the smallest of them.
void linear_constraint_scales(Run& r, const Args& a) {
  const int n = a.n, nclin = a.nclin, nplin = r.nplin;
  const Mat1<const double> A(a.alin, a.lda);
  double asize = 0.0;
  for (int i = 1; i <= nclin; ++i) {
    double scale = 0.0, ssq = 1.0;
    for (int j = 1; j <= n; ++j) {
      const double v = A(i, j);
      SSQUPD(1, std::span<const double>(&v, 1), 1, scale, ssq);
    }
    r.anorm[i - 1] = n == 1 ? std::abs(A(i, 1)) : SSQNRM(scale, ssq);
    asize = std::max(asize, r.anorm[i - 1]);
  }
  LSCOND.asize = nclin > 0 ? asize : 0.0;
  double tmax = 0.0, tmin = 0.0;
  AMAXMIN(nplin, csp(r.featol, nplin), 1, tmax, tmin);
  copy(nplin, r.featol, r.infwt);
  const double s = 1.0 / tmin;
  const int inc = 1;
  dscal_(&nplin, &s, r.infwt, &inc);
}

// The condition limit of the start-up factorizations.
double start_condition_limit() { return std::max(1.0 / NPPREC.epspt5, 100.0); }

// The first working set of bounds and linear constraints (lscrsh).  Returns
// the number of artificial constraints in it.
int crash_linear_working_set(Run& r, const Setup& s, const Args& a) {
  const int n = a.n, nclin = a.nclin;
  int nartif = 0;
  lscrsh(s.cold(), false, nclin, r.nplin, r.nactiv, nartif, r.nfree, n, a.lda, r.istate, r.wslist, r.bigbnd,
         s.tolact, a.alin, sp(r.ax, nclin), r.bl, r.bu, r.x, sp(r.dx, n), sp(r.x1, n));
  return nartif;
}

// A cold or warm start of the factors: Q the identity, Majits 0, the
// variables in their natural order; R the identity and no multipliers
// (cold) or R as given with the multipliers from XMULT (warm); the merit
// state and the penalty parameters reset.
void start_factors(Run& r, const Setup& s, const Args& a, int& majits) {
  const int n = a.n, nnlcon = a.nnlcon;
  r.unitq = true;
  majits = 0;
  for (int j = 1; j <= n; ++j) r.kx[static_cast<std::size_t>(j - 1)] = j;
  if (s.start == 1) {
    r.nrank = r.nlnx;
    for (int i = 1; i <= nnlcon; ++i) r.nlmult[i - 1] = a.xmult[static_cast<std::size_t>(r.nplin + i - 1)];
  } else {
    MATSET("Upper-triangular", n, n, 0.0, 1.0, a.rfac, a.ldrfac);
    NPRUN.rfrobn = NPPREC.sqrtn;
    r.nrank = 0;
    DVFILL(nnlcon, 0.0, sp(r.nlmult, nnlcon), 1);
  }
  NPMERT.reset();
  DVFILL(nnlcon, 0.0, sp(r.rho, nnlcon), 1);
}

// The fixed variables into the factors: added to R one at a time from the
// last (lsadd) when R has a rank below n, else moved to the end of the
// permutation (FACMOV keeps R triangular).
void fixed_variables_into_factors(Run& r, const Args& a) {
  const int n = a.n;
  const int nfixed = n - r.nfree;
  r.nz = r.nfree;
  if (nfixed <= 0) return;
  if (r.nrank > 0 && r.nrank < n) {
    const double condmx = start_condition_limit();
    int nfree = n;
    int nz = n;
    for (int j = n; j >= 1 && nfree > r.nfree; --j) {
      const int is = r.istate[static_cast<std::size_t>(j - 1)];
      if (is <= 0) continue;
      // Position of j among the free variables.
      int ifix = 0;
      for (int k = 1; k <= nfree; ++k)
        if (r.kx[static_cast<std::size_t>(k - 1)] == j) ifix = k;
      int info = 0;
      lsadd(r.unitq, info, ifix, 0, j, 0, nz, nfree, r.nrank, 0, 1, n, a.lda, r.ldzy, a.ldrfac, r.ldt, r.kx, condmx,
            a.alin, a.rfac, sp(r.t, r.tlen()), {}, sp(r.gq, n), sp(r.zy, r.zylen()), sp(r.dx, n), sp(r.x1, n),
            sp(r.gq1, n));
      --nfree;
      --nz;
    }
    r.nz = nz;
  } else {
    // Move the fixed variables to the end of the permutation.
    int nfree = n;
    for (int j = n; j >= 1; --j) {
      if (r.istate[static_cast<std::size_t>(j - 1)] <= 0) continue;
      int k = 0;
      for (int l = 1; l <= nfree; ++l)
        if (r.kx[static_cast<std::size_t>(l - 1)] == j) k = l;
      if (k != nfree) {
        if (r.nrank > 0) FACMOV(n, 0, r.nrank, a.ldrfac, k, nfree, a.rfac, {}, sp(r.dx, n), sp(r.x1, n));
        std::swap(r.kx[static_cast<std::size_t>(k - 1)], r.kx[static_cast<std::size_t>(nfree - 1)]);
      }
      --nfree;
    }
    r.nz = r.nfree;
  }
}

// The general constraints of the working set factorized (WSFACT) and x
// moved onto the working set (lssetx).  Returns lssetx's c'x for the
// feasibility phase.
double factorize_and_move_onto_working_set(Run& r, const Args& a, int nartif) {
  const int n = a.n, nclin = a.nclin, nplin = r.nplin;
  int nrej = 0, info = 0;
  const int k2 = r.nactiv;
  r.nactiv = 0;
  WSFACT(r.unitq, false, info, 1, k2, r.nactiv, nartif, r.nz, r.nfree, r.nrank, nrej, 0, 1, n, r.ldzy, a.lda,
         a.ldrfac, r.ldt, r.istate, r.wslist, r.kx, start_condition_limit(), a.alin, a.rfac, sp(r.t, r.tlen()), {},
         sp(r.gq, n), sp(r.zy, r.zylen()), sp(r.dx, n), sp(r.x1, n), sp(r.gq1, n));
  bool rowerr = false;
  int jmax = 0;
  double errmax = 0.0, ctx = 0.0;
  lssetx(false, rowerr, r.unitq, nclin, r.nactiv, r.nfree, 0, r.nz, n, nplin, r.ldzy, a.lda, a.ldrfac, r.ldt,
         r.istate, r.wslist, r.kx, jmax, errmax, ctx, r.xnorm, a.alin, sp(r.ax, nclin), r.bl, r.bu, csp(r.gq, n),
         sp(r.rstep, n), csp(r.rstep0, n), csp(r.featol, nplin), a.rfac, csp(r.t, r.tlen()), r.x,
         csp(r.zy, r.zylen()), sp(r.dx, n), sp(r.x1, n));
  return ctx;
}

// The linear-feasibility phase (lscore on the "FP problem").  Returns 0, or
// 2 when no point satisfies the bounds and linear constraints.
int linear_feasibility_phase(Run& r, Setup& s, const Args& a, double ctx) {
  const int n = a.n, nclin = a.nclin, nplin = r.nplin;
  Lsloc loc = npiqp_loc(NPWLOC, n);
  loc.wslist = NPWLOC.kactiv;
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
  lscore("FP problem", false, {}, false, r.unitq, s.inflp, iter, nplin, nclin, nplin, r.nactiv, r.nfree, 0, r.nz,
         nz1, n, a.lda, a.ldrfac, r.istate, r.wslist, r.kx, ctx, ssq, 0.0, s.suminf, ninf, r.xnorm, r.bl, r.bu,
         a.alin, sp(r.mult, r.nctotl), sp(r.ax, nclin), csp(r.featol, nplin), a.rfac, r.x, r.w, loc, ctl);
  if (s.inflp > 0) return 2;
  if (r.msgqp > 0) both(r.iprint, r.isumm, "(/' The linear constraints are feasible.')");
  return 0;
}

// A cold or warm start.  Returns 0, or 2 when no point satisfies the bounds
// and linear constraints.
int cold_or_warm_start(Run& r, Setup& s, const Args& a, int nartif, int& majits) {
  start_factors(r, s, a, majits);
  fixed_variables_into_factors(r, a);
  const double ctx = factorize_and_move_onto_working_set(r, a, nartif);
  return linear_feasibility_phase(r, s, a, ctx);
}

// A hot start: the loaded working set factorized as it stands, R of the
// rank of the nonlinear variables, no feasibility phase.  Returns 0, or 9
// when the free variables are not those of the loaded run.
int hot_start(Run& r, Setup& s, const Args& a) {
  const int n = a.n;
  if (s.loadfree != r.nfree) {
    s.nerror += 1;
    return 9;
  }
  int nrej = 0, info = 0, nartif = 0;
  const int k2 = r.nactiv;
  r.nactiv = 0;
  r.nz = r.nfree;
  WSFACT(r.unitq, false, info, 1, k2, r.nactiv, nartif, r.nz, r.nfree, r.nlnx, nrej, 0, 1, n, r.ldzy, a.lda,
         a.ldrfac, r.ldt, r.istate, r.wslist, r.kx, start_condition_limit(), a.alin, a.rfac, sp(r.t, r.tlen()), {},
         sp(r.gq, n), sp(r.zy, r.zylen()), sp(r.dx, n), sp(r.x1, n), sp(r.gq1, n));
  r.nrank = r.nlnx;
  gemv(a.nclin, n, a.alin.data(), a.lda, r.x.data(), r.ax);
  r.xnorm = norm2(n, r.x.data());
  return 0;
}

// A warm or hot start's R: measured, and refactorized when it is
// ill-conditioned.
void test_given_r(Run& r) {
  NPRUN.rfrobn = MATNRM("F", "U", r.n, r.n, r.r, r.ldr);
  if (r_needs_refactorizing(r)) {
    both(r.iprint, r.isumm, "(/' XXX  Bad initial Hessian,   R  refactorized.')");
    refactorize_r(r);
  }
}

// The derivatives at the start (NPDERV, checked only when not checked
// early).  Returns the run's inform.
int derivatives_at_start(Run& r, Setup& s) {
  const int info = set_up_derivatives(r, s, s.checked ? -1 : s.verify);
  r.needfd = some_derivatives_estimated(r);
  return inform_of_derivatives(info);
}

// R as a factor of the Hessian in the natural variables: each row of R
// transformed by the working-set factors, then triangularized again.
void hessian_in_natural_variables(Run& r) {
  const int n = r.n;
  Mat1<double> R(r.r, r.ldr);
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) r.dx[i - 1] = 0.0;
    for (int i = j; i <= n; ++i) r.dx[i - 1] = R(j, i);
    FACMUL(3, n, r.nz, r.nfree, r.ldzy, r.unitq, r.kx, sp(r.dx, n), csp(r.zy, r.zylen()), sp(r.wrk, n));
    for (int i = 1; i <= n; ++i) R(j, i) = r.dx[i - 1];
  }
  int info = 0;
  QRAPPQ(n, n, r.r, r.ldr, sp(r.wrk, n), info);
}

// The major iterations from the first working set: the projected gradient,
// the linear rows of the QP matrix and the nonlinear working set (npcrsh),
// npcore, the save of a run that saved none on the way, and R in the
// natural variables when the Hessian option asks for it.  Returns inform.
int iterate(Run& r, const Setup& s, const Args& a, int& majits) {
  const int n = a.n, nclin = a.nclin, nnlcon = a.nnlcon;
  project_gradient(r);
  if (nnlcon > 0) {
    MATCPY("General", nclin, n, a.alin, a.lda, sp(r.qpmat, r.ldaqp * n), r.ldaqp);
    npcrsh(s.cold(), n, nclin, nnlcon, r.nctotl, r.nactiv, r.nfree, r.nz, r.istate, r.wslist, r.bigbnd, s.tolact,
           r.bl, r.bu, r.cnlval, trace_unit(1));
  }
  int inform = 0;
  npcore(r, inform, majits);
  if (r.ksave > 0 && r.kfreq > r.itmax1) NPSAVE(r.ksave, old_run(r, majits), NPMERT, NPPREC.epsinv);
  if (s.hess == 1) hessian_in_natural_variables(r);
  return inform;
}

// A run past its input checks: the workspace, an old run, the tolerances,
// the derivatives, the first working set and the start, then the major
// iterations.  Returns inform.
int set_up_and_iterate(Run& r, Setup& s, const Args& a, int& majits) {
  bind_workspace(r, a);
  set_factor_tolerances(r, s);
  if (s.kload > 0 && !load_old_run(r, s, majits)) return 9;
  set_feasibility_tolerances(r, s);
  prepare_derivatives(r, s);
  if (const int inform = check_derivatives_early(r, s); inform != 0) return inform;

  linear_constraint_scales(r, a);
  const int nartif = crash_linear_working_set(r, s, a);
  const int inform = s.hot() ? hot_start(r, s, a) : cold_or_warm_start(r, s, a, nartif, majits);
  if (inform != 0) return inform;
  if (!s.cold()) test_given_r(r);

  if (const int info = derivatives_at_start(r, s); info != 0) return info;
  return iterate(r, s, a, majits);
}

// The exit message of inform and the final value, on the print and summary
// files when the major print level is positive.
void write_exit_messages(const Run& r, const Setup& s, int inform, double fobj) {
  if (r.msgnp <= 0) return;
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
           "(/' Exit NLSQP - ',i10,' errors found in the input',' parameters.  Problem abandoned.')", {s.nerror});
      break;
    default:
      if (inform < 0) both(r.iprint, r.isumm, "(/' Exit NLSQP - User requested termination.')");
      break;
  }
  if (inform >= 0 && inform <= 6) {
    if (s.inflp == 0)
      both(r.iprint, r.isumm, "(/' Final nonlinear objective value =',g16.7)", {fobj});
    else if (s.inflp == 3)
      both(r.iprint, r.isumm, "(/' Minimum sum of infeasibilities =',g16.7)", {s.suminf});
    else
      both(r.iprint, r.isumm, "(/' Final sum of infeasibilities =',g16.7)", {s.suminf});
  }
}

// The derivatives at the last point into CNLJAC and GOBJ (not when a
// callback stopped the run before the first ones were complete: the
// workspace holds none).
void return_derivatives(const Run& r, const Setup& s, const Args& a, int inform) {
  if (inform >= 9 || !s.derivs_set) return;
  const int n = a.n;
  if (a.nnlcon > 0) MATCPY("General", a.nnlcon, n, csp(r.cjac, r.ldcj * n), r.ldcj, a.cnljac, a.ldjac);
  copy(n, r.grad, a.gobj.data());
}

}  // namespace

void NLSQP(int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac, std::span<const double> alin,
           std::span<const double> blow, std::span<const double> bupp, const Cnlfun& cnlfun,
           const Objfun& objfun, int& inform, int& majits, std::span<int> istate,
           std::span<double> cnlval, std::span<double> cnljac, std::span<double> xmult, double& fobj,
           std::span<double> gobj, std::span<double> rfac, std::span<double> x, std::span<int> iw,
           int niw, std::span<double> w, int nw, std::span<int> iusr, std::span<double> rusr) {
  const Args a{n,      nclin,  nnlcon, lda,  ldjac, ldrfac, alin, blow, bupp, cnlfun, objfun, istate, cnlval,
               cnljac, xmult,  fobj,   gobj, rfac,  x,      iw,   niw,  w,    nw,     iusr,   rusr};
  MCHSET();
  set_precision(NPPREC, std::max(n, 1));
  inform = 0;
  majits = 0;

  Run r;
  Setup s;
  inform = start_run(r, s, a);
  if (inform == 0) inform = set_up_and_iterate(r, s, a, majits);

  write_exit_messages(r, s, inform, fobj);
  // The option slots as they were before the run.
  NPOPTS.restore_saved();
  set_debug(false);
  return_derivatives(r, s, a, inform);
}

}  // namespace qv::optim
