// The edition's major iterations E04UCZ: the steps of the optimizer's own
// major iterations (optim/nlsqp.cpp), with the edition's routines, working
// cells and texts.
#include "optim_alt/major.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string>
#include <string_view>

#include "optim/facutil.hpp"
#include "optim/lscore.hpp"
#include "optim/npiqp.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/derivset.hpp"
#include "optim_alt/iterlog.hpp"
#include "optim_alt/linesearch.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/nlwset.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/qpsolve.hpp"
#include "optim_alt/qrpivot.hpp"
#include "optim_alt/records.hpp"
#include "optim_alt/steplim.hpp"
#include "optim_alt/subproblem.hpp"
#include "optim_alt/update.hpp"
#include "optkern/blas.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optkern/rotations.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using namespace optkern;
using optim::FACMUL;
using runtime::Mat1;
using runtime::Vec1;

namespace {

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

// Everything the major iterations work with: sizes, options, the caller's
// arrays and the blocks of the workspace by their roles.
struct Run {
  E4major* p = nullptr;

  // Sizes.
  int n = 0, nclin = 0, nnlcon = 0, nctotl = 0, nplin = 0, ncqp = 0;
  int ldaqp = 1, ldcj = 1, ldjac = 1, ldr = 1, ldt = 1, ldzy = 1;
  // Words of T and of ZY: N x N each with general constraints, none
  // without them, where the variables are only permuted.
  int tlen() const { return ncqp > 0 ? ldt * n : 0; }
  int zylen() const { return ncqp > 0 ? ldzy * n : 0; }

  // Options in force.
  int itmax1 = 0, msgnp = 0, msgqp = 0, ldbg = 0;
  double bigbnd = 0, bigdx = 0, fprec = 0, opttol = 0, lstol = 0, steplim = 0, cdint = 0, fdint = 0;
  double rcndbd = 0;
  bool needfd = false;

  // Callbacks and the caller's arrays.
  const optim::Cnlfun* cnlfun = nullptr;
  const optim::Objfun* objfun = nullptr;
  std::span<const double> bl, bu;
  std::span<int> istate;
  std::span<double> cnlval, cnljac, xmult, gobj, r, x;
  std::span<int> iusr;
  std::span<double> rusr;
  double* fobj = nullptr;

  // Integer workspace.
  std::span<int> wslist, kx, kneed, iperm;

  // The QP matrix (the linear rows first).
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

  // Working set and counters (copies of the record's, put back at the end).
  bool unitq = true;
  int nactiv = 0, nfree = 0, nz = 0;
  int nfun = 0, ngrad = 0;
  int difmode = 0;
  double fdnorm = 0.0, xnorm = 0.0;
  std::span<double> w;
  std::span<int> iw;
  optim::Lsloc loc;  // the QP vectors in w
};

std::span<double> sp(double* p, int n) { return {p, static_cast<std::size_t>(std::max(n, 0))}; }
std::span<const double> csp(const double* p, int n) { return {p, static_cast<std::size_t>(std::max(n, 0))}; }

// Whether the traces of a family are written: the debug switch is on and
// the digit of the major debug level is positive (1: the major iterations,
// their working set, merit function and update; 2: the line search).
bool trace_on(int digit) {
  const E4work& wk = E4WORK;
  return wk.debug && wk.inpdbg[static_cast<std::size_t>(digit - 1)] > 0;
}

// Switches the debug traces on or off: the edition's own and those of its
// QP machinery.
void set_debug(bool on) {
  E4work& wk = E4WORK;
  wk.debug = on;
  E4QPST.debug = on && wk.ilsdbg[0] > 0;
  E4QPST.dbg1 = wk.ilsdbg[0];
  E4QPST.dbg2 = wk.ilsdbg[1];
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
  E4WORK.msglvl = m.msgsave;
  E4WORK.msgqp = m.msgqpsave;
}

// Iteration zero: the print levels held back until the first debug iteration
// (or the traces on from the start), the QP's copy of the feasibility
// tolerances and the first merit value.
void major_iteration_zero(Run& r, Major& m, int majits) {
  m.nfirst = majits;
  m.ftolroot = std::sqrt(r.opttol);
  m.msgsave = r.msgnp;
  m.msgqpsave = r.msgqp;
  if (r.ldbg >= 1 && r.ldbg <= r.itmax1) {
    r.msgnp = r.msgnp > 4 ? 5 : 0;
    r.msgqp = r.msgqp > 4 ? 5 : 0;
    E4WORK.msglvl = r.msgnp;
    E4WORK.msgqp = r.msgqp;
  } else if (r.ldbg == 0) {
    // A debug level without a first iteration: traces from the start.
    set_debug(true);
  }
  copy(r.nctotl, r.featol, r.qpftol);
  m.meritalf = *r.fobj - dot(r.nnlcon, r.nlmult, r.cnlval.data());
  m.flags = "     ";
}

// Completes the gradient and the Jacobian by differences at x (E4FDGR).
// Returns its result: negative when a callback stopped the run.
int difference_derivatives(Run& r) {
  const int n = r.n, nnlcon = r.nnlcon, nctotl = r.nctotl;
  int info = 0;
  E4FDGR(r.difmode == 2, info, r.ldcj, r.ldjac, n, nnlcon, r.bigbnd, r.cdint, r.fdint, r.fdnorm, *r.fobj,
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
  m.flags[2] = 'C';
  r.difmode = 2;
  m.newgq = true;
  if (r.msgnp > 4 && m.minits > 0)
    put_records(advisory_unit(), "(' Minor itn',i6,'.  Central-differences computed. ',' QP re-solved.')",
                {m.minits});
}

// One QP subproblem (E04UCU): the search direction, the minor iterations, the
// count of infeasible subproblems in a row and the norms of the projected
// gradient.
void solve_qp_subproblem(Run& r, Major& m, int majits) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon, nctotl = r.nctotl;
  int qpiters = 0;
  E04UCU(m.qpfeasible, r.unitq, m.nqperr, majits, qpiters, n, nclin, nnlcon, r.ldcj, r.ldaqp, r.ldr, m.linact,
        m.nlnact, r.nactiv, r.nfree, r.nz, m.ninf, r.istate, r.wslist, r.kx, m.stepnorm, m.gdir, m.qpcurv,
        sp(r.qpmat, r.ldaqp * n), sp(r.adx, r.ncqp), sp(r.anorm, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, r.cnlval,
        csp(r.cjac, r.ldcj * n), sp(r.mult, nctotl), sp(r.nlmult, nnlcon), sp(r.cs, nnlcon), sp(r.dmult, nnlcon),
        sp(r.dslack, nnlcon), sp(r.dx, n), sp(r.qplo, nctotl), sp(r.qphi, nctotl), csp(r.qpftol, nctotl), r.r,
        sp(r.rho, nnlcon), sp(r.slack, nnlcon), sp(r.nlviol, nnlcon), r.x, sp(r.infwt, nctotl), r.iw, r.w, r.loc,
        trace_on(1));
  m.minits += qpiters;
  if (!m.qpfeasible) {
    ++m.ninfqp;
    m.flags[1] = 'I';
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

// The violations of the bounds and constraints at x (E04UCW).
void measure_violations(Run& r, Major& m) {
  double errmax = 0.0;
  int jmax = 0;
  m.cvnorm = 0.0;
  m.nviol = 0;
  E04UCW(r.n, r.nclin, r.nnlcon, r.istate, r.bigbnd, m.cvnorm, errmax, jmax, m.nviol, csp(r.ax, r.nclin), r.bl,
         r.bu, r.cnlval, csp(r.featol, r.nctotl), r.x, sp(r.wrk, r.nctotl), trace_on(1));
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
  return m.stepnorm <= std::pow(kEps, 0.8) * m.gscale && m.nviol == 0 && m.nqperr <= 1;
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
// Lagrangian, and with nonlinear constraints the penalty parameters (E04UCN).
void merit_function(Run& r, Major& m) {
  const int n = r.n, nclin = r.nclin, nnlcon = r.nnlcon;
  m.meritalf = *r.fobj;
  m.grdalf = m.gdir;
  m.dlag0 = m.gdir;
  if (nnlcon > 0) {
    m.dlag0 = m.gdir - dot(nnlcon, r.adx + nclin, r.mult + r.nplin);
    E04UCN(m.qpfeasible, n, nclin, nnlcon, m.meritalf, m.grdalf, m.qpcurv, r.istate, csp(r.adx + nclin, nnlcon),
           csp(r.nlmult, nnlcon), csp(r.cs, nnlcon), csp(r.dmult, nnlcon), sp(r.rho, nnlcon),
           csp(r.nlviol, nnlcon), sp(r.qplo, nnlcon), sp(r.qphi, nnlcon), trace_on(1));
  }
}

// The log of the iteration (E4PRIT).
void log_iteration(const Run& r, Major& m, int majits) {
  E4logline line;
  line.majits = majits;
  line.minits = m.minits;
  line.step = m.alfa;
  line.nfun = r.nfun;
  line.merit = m.meritalf;
  line.nactiv = r.nactiv;
  line.nlnact = m.nlnact;
  line.nfree = r.nfree;
  line.nz = r.nz;
  line.gfnorm = m.freegnorm;
  line.gznorm = m.redgnorm;
  line.condh = m.condh;
  line.condhz = m.condhz;
  line.condt = m.condt;
  line.cvnorm = m.cvnorm;
  line.penalty = E4MERT.scale * E4MERT.rhonrm;
  line.convpt = m.stepconv;
  line.ktcond[0] = m.redgnorm < m.optthresh;
  line.ktcond[1] = m.nviol == 0;
  line.objf = *r.fobj;
  E4logdetail detail;
  detail.n = r.n;
  detail.nclin = r.nclin;
  detail.nnlcon = r.nnlcon;
  detail.istate = r.istate;
  detail.x = r.x;
  detail.ax = csp(r.ax, r.nclin);
  detail.c = r.cnlval;
  detail.t = t_factor(r);
  detail.r = Mat1<const double>(std::span<const double>(r.r), r.ldr);
  E4PRIT(r.msgnp, r.msgqp, line, detail, m.flags);
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
  if (majits == r.ldbg) {
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
    E04UDT(info, n, nclin, nnlcon, alfhit, alfalow, b.alfmax, r.bigbnd, m.stepnorm, csp(r.anorm, r.ncqp),
           csp(r.adx, r.ncqp), csp(r.ax, nclin), r.bl, r.bu, csp(r.dslack, nnlcon), csp(r.dx, n),
           csp(r.slack, nnlcon), r.x, trace_on(1));
    b.alfmax = alfhit;
    if (b.alfmax < 1.0 + std::pow(kEps, 0.33) && m.qpfeasible) b.alfmax = 1.0;
  }
  b.alfbnd = nnlcon == 0 ? b.alfmax : std::min(1.0, b.alfmax);
  const bool centrl = r.difmode == 2;
  b.alfatiny = (r.needfd && !centrl) ? std::min(safdiv(r.fdnorm, m.stepnorm), b.alfmax) : 0.0;
  b.alfacap = safdiv((1.0 + r.xnorm) * r.steplim, m.stepnorm);
  m.alfa = std::min(1.0, b.alfacap);
  return b;
}

// The line search along the direction (E04UCR).  Returns its result: 1..3
// a step was taken, 4..8 none, negative a callback stopped the run.
int line_search(Run& r, Major& m, StepBounds& b) {
  const int n = r.n, nnlcon = r.nnlcon;
  double* cjdx = jacobian_times_step(r);
  copy(nnlcon, r.adx + r.nclin, cjdx);
  int info = 0;
  E04UCR(r.needfd, trace_on(2), n, nnlcon, r.ldcj, r.ldjac, r.nfun, r.ngrad, r.kneed, *r.cnlfun, *r.objfun, m.alfa,
         b.alfbnd, b.alfmax, b.alfatiny, m.stepnorm, r.fprec, r.lstol, m.gdir, m.grdalf, m.dlag0, m.dlag1, *r.fobj,
         m.meritalf, m.qpcurv, r.xnorm, r.cnlval, sp(r.ctry, nnlcon), sp(r.cjac, r.ldcj * n), r.cnljac,
         sp(cjdx, nnlcon), sp(r.qplo, nnlcon), csp(r.nlmult1, nnlcon), sp(r.nlmult, nnlcon), csp(r.dmult, nnlcon),
         csp(r.slack1, nnlcon), sp(r.slack, nnlcon), csp(r.dslack, nnlcon), csp(r.cs1, nnlcon), sp(r.cs, nnlcon),
         csp(r.dx, n), sp(r.grad, n), r.gobj, csp(r.mult + r.nplin, nnlcon), csp(r.rho, nnlcon), csp(r.x1, n), r.x,
         sp(r.qphi, nnlcon), 0, r.iusr, r.rusr, info);
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
// and the quasi-Newton update of R (E04UCL).
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
  E04UCL(m.flags[0], r.unitq, n, nnlcon, r.nfree, r.nz, r.ldaqp, r.ldcj, r.ldzy, r.ldr, r.kx, m.alfa, m.dlag0,
         m.dlag1, m.qpcurv, csp(nnlcon > 0 ? r.qpmat + nclin : r.qpmat, nnlcon > 0 ? r.ldaqp * n - nclin : 0),
         csp(r.cjac, r.ldcj * n), csp(r.adx + nclin, nnlcon), csp(jacobian_times_step(r), nnlcon),
         csp(r.cs1, nnlcon), csp(r.cs, nnlcon), sp(r.gq1, n), csp(r.gq, n), sp(r.hstep, n), sp(r.rstep, n),
         csp(r.mult + r.nplin, nnlcon), r.r, sp(r.qplo, nnlcon), csp(r.zy, r.zylen()), sp(r.wrk, r.nctotl),
         sp(r.hz, n), r.p->rfrobn, trace_on(1));
}

// The debug trace of the conditioning of R after an update.
void trace_conditioning(const Run& r) {
  if (!trace_on(1)) return;
  double drmax = 0.0, drmin = 0.0;
  rdiag(r.n, r.r.data(), r.ldr, drmax, drmin);
  const double cond = safdiv(drmax, drmin);
  const int nout = advisory_unit();
  put_records(nout, "(/a/' //E04UCZ//',1p,3d14.2)",
              {" //E04UCZ//        RFROBN         DRMAX         DRMIN", r.p->rfrobn, drmax, drmin});
  put_records(nout, "(a/' //E04UCZ//',1p,2d14.2)", {" //E04UCZ//          COND        RCNDBD", cond, r.rcndbd});
}

// Whether R is to be refactorized: its condition estimate above the bound,
// or its diagonal small against its norm.
bool r_needs_refactorizing(const Run& r) {
  double drmax = 0.0, drmin = 0.0;
  rdiag(r.n, r.r.data(), r.ldr, drmax, drmin);
  const double cond = safdiv(drmax, drmin);
  return cond > r.rcndbd || 100.0 * std::sqrt(static_cast<double>(r.n)) * drmax < r.p->rfrobn;
}

// R refactorized with column interchanges (E4QRPV), and Rfrobn measured
// again.
void refactorize_r(Run& r) {
  E4QRPV(r.unitq, r.n, r.nfree, r.nz, r.ldzy, r.ldr, r.kx, r.iperm, sp(r.gq, r.n), r.r, sp(r.zy, r.zylen()),
         sp(r.wrk, r.nctotl), sp(r.qplo, 2 * r.nctotl), r.rcndbd, r.p->rfrobn);
}

// R refactorized after the update when it needs it, with the trace and the
// flag of the log.
void refactorize_ill_conditioned_r(Run& r, Major& m) {
  trace_conditioning(r);
  if (!r_needs_refactorizing(r)) return;
  m.flags[4] = 'R';
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
  if (b.alfacap < m.alfa) m.flags[3] = 'L';
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

// The exit of the major iterations: the print levels back, the exit line
// of the traces, the solution table (E4PRSL) and the final nonlinear
// multipliers in XMULT.
void leave_major_iterations(Run& r, const Major& m, int inform, int majits) {
  const int n = r.n, nnlcon = r.nnlcon;
  restore_print_levels(r, m);
  if (trace_on(1))
    put_records(advisory_unit(), "(/' Exit  NP phase.  INFORM = ',i2,' MAJITS = ',i5,'   NFUN = ',i5,'   NGRAD = ',i5)",
                {inform, majits, r.nfun, r.ngrad});
  E4PRSL(r.msgnp, r.nfree, r.ldaqp, n, r.nclin, r.nctotl, r.bigbnd, false, {}, r.nactiv, r.istate, r.wslist, r.kx,
         csp(r.qpmat, r.ldaqp * n), r.bl, r.bu, r.cnlval, r.xmult, csp(r.wsmult, n), r.x);
  if (nnlcon > 0) copy(nnlcon, r.nlmult, r.xmult.data() + r.nplin);
}


// The record, the options of E4WORK and the blocks of the workspace by
// their roles.
void bind(Run& r, E4major& p, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, double& fobj) {
  const optim::Npwloc& L = p.loc;
  const E4work& wk = E4WORK;
  const int n = p.n, nclin = p.nclin, nnlcon = p.nnlcon;
  r.p = &p;
  r.n = n;
  r.nclin = nclin;
  r.nnlcon = nnlcon;
  r.nplin = n + nclin;
  r.nctotl = r.nplin + nnlcon;
  r.ncqp = nclin + nnlcon;
  r.ldaqp = p.ldaqp;
  r.ldcj = std::max(1, nnlcon);
  r.ldjac = p.ldcju;
  r.ldr = p.ldr;
  r.ldt = L.ldt;
  r.ldzy = L.ldzy;

  r.itmax1 = wk.itmax1;
  r.msgnp = wk.msglvl;
  r.msgqp = wk.msgqp;
  r.ldbg = wk.ldbg;
  r.bigbnd = wk.bigbnd;
  r.bigdx = wk.bigdx;
  r.fprec = wk.epsrf;
  r.opttol = wk.ftol;
  r.lstol = wk.eta;
  r.steplim = wk.dxlim;
  r.cdint = wk.cdint;
  r.fdint = wk.fdint;
  r.rcndbd = wk.rcndbd;
  r.needfd = p.lvlder == 0 || p.lvlder == 2 || (p.lvlder == 1 && nnlcon > 0);
  r.difmode = r.needfd ? 1 : 0;

  r.cnlfun = &cnlfun;
  r.objfun = &objfun;
  r.bl = p.bl;
  r.bu = p.bu;
  r.istate = p.istate.first(static_cast<std::size_t>(r.nctotl));
  r.cnlval = p.cnlval.first(static_cast<std::size_t>(nnlcon));
  r.cnljac = nnlcon > 0 ? p.cnljac : std::span<double>{};
  r.xmult = p.xmult;
  r.gobj = p.gobj.first(static_cast<std::size_t>(n));
  r.r = p.rfac;
  r.x = p.x.first(static_cast<std::size_t>(n));
  r.iusr = p.iusr;
  r.rusr = p.rusr;
  r.fobj = &fobj;
  r.w = p.w;
  r.iw = p.iw;

  auto wp = [&](int at) { return p.w.data() + (at - 1); };
  auto ip = [&](int at, int len) {
    return p.iw.subspan(static_cast<std::size_t>(at - 1), static_cast<std::size_t>(std::max(len, 0)));
  };
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
  r.qpmat = p.aqp.data();
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
  r.loc = optim::npiqp_loc(L, n);

  r.unitq = p.unitq;
  r.nactiv = p.nactiv;
  r.nfree = p.nfree;
  r.nz = p.nz;
  r.nfun = p.nfun;
  r.ngrad = p.ngrad;
  r.fdnorm = p.fdnorm;
  r.xnorm = p.xnorm;
}

// The working set and the counters back into the record.
void unbind(const Run& r, E4major& p) {
  p.unitq = r.unitq;
  p.nactiv = r.nactiv;
  p.nfree = r.nfree;
  p.nz = r.nz;
  p.nfun = r.nfun;
  p.ngrad = r.ngrad;
  p.fdnorm = r.fdnorm;
  p.xnorm = r.xnorm;
}

}  // namespace

void E04UCZ(E4major& p, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, int& inform, int& majits,
            double& fobj) {
  Run r;
  bind(r, p, cnlfun, objfun, fobj);
  Major m;
  major_iteration_zero(r, m, majits);
  inform = major_iterations(r, m, majits);
  leave_major_iterations(r, m, inform, majits);
  unbind(r, p);
}

}  // namespace qv::optim_alt
