#include "optim/npderiv.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>

#include "optkern/blas.hpp"
#include "optkern/chcore.hpp"
#include "optkern/rotations.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;

const char* const kChcoreVerdict[5] = {"", "Constant?", "Linear or odd?", "Too nonlinear?",
                                       "Small derivative?"};

namespace {

using runtime::Mat1;
using runtime::Out;
using runtime::Vec1;

using DVec = Vec1<double>;
using CVec = Vec1<const double>;
using DMat = Mat1<double>;

// Writes one formatted group on unit when it is set.
void put(int unit, std::string_view fmt, std::initializer_list<Out> items = {}) {
  if (unit > 0) runtime::write_fmt(unit, fmt, items);
}

std::string comment18(int verdict, bool small_s) {
  std::string s = kChcoreVerdict[std::clamp(verdict, 0, 4)];
  if (small_s && verdict == 4) s[0] = 's';
  return runtime::fpad(s, 18);
}

// Room to the bounds of variable j from xj: the infinite bound size where a
// bound is absent.
void room_to_bounds(double bigbnd, double bl, double bu, double xj, double& lo, double& hi) {
  lo = -bigbnd;
  hi = bigbnd;
  if (bl > -bigbnd) lo = bl - xj;
  if (bu < bigbnd) hi = bu - xj;
}

// The same room limited to [-1, 1], for the trial directions.
void unit_room(double bigbnd, double bl, double bu, double xj, double& lo, double& hi) {
  lo = -1.0;
  if (bl > -bigbnd && bl - xj > -1.0) lo = bl - xj;
  hi = 1.0;
  if (bu < bigbnd && bu > bl && bu - xj < 1.0) hi = bu - xj;
}

// A check range: stop n when not in 1..n, start 1 when not in 1..stop.
void check_range(int n, int j1, int j2, int& first, int& last) {
  last = (j2 >= 1 && j2 <= n) ? j2 : n;
  first = (j1 >= 1 && j1 <= last) ? j1 : 1;
}

struct SearchOut {
  int info = 0;
  int iter = 0;
  double cdest = 0.0, fdest = 0.0, sdest = 0.0, errbnd = 0.0, hopt = 0.0, hcint = 0.0;
};

// The interval search for one function along variable j from fx = f(x):
// evaluates at xj + h and (xj + h) + h through eval until chcore is done.
// Returns false when a callback set MODE negative; x(j) is back at xj
// either way, so a run that ends there leaves x at the point it was given.
template <class Eval>
bool search(const Npdsta& st, double fprec, double fx, double xj, double hsign, double& xslot,
            const int& mode, Eval&& eval, SearchOut& r) {
  const double absacc = fprec * (1.0 + std::abs(fx));
  r.hopt = 2.0 * (1.0 + std::abs(xj)) * std::sqrt(fprec);
  double h = 10.0 * r.hopt * hsign;
  bool first = true;
  bool done = false;
  r.iter = 0;
  r.cdest = 0.0;
  r.sdest = 0.0;
  const int trace = st.iprint > 0 ? st.iprint : -1;
  while (!done) {
    xslot = xj + h;
    const double f1 = eval(0);
    if (mode < 0) break;
    xslot = (xj + h) + h;
    const double f2 = eval(1);
    if (mode < 0) break;
    chcore(st.chdbg, done, first, absacc, fprec, fx, r.info, r.iter, 3, r.cdest, r.fdest, r.sdest,
           r.errbnd, f1, f2, h, r.hopt, r.hcint, trace);
  }
  xslot = xj;
  return mode >= 0;
}

// ---------------------------------------------------------------------------
// Difference intervals: one routine for the scalar objective (FDINTV,
// FDINTO) and for an objective of residuals (FDINTJ).

struct FdTexts {
  const char* fwd_repl;
  const char* cen_repl;
  const char* cons_const;  // nullptr: not printed
  const char* obj_const;
  const char* jac_all;     // nullptr: the Jacobian part of the level is left alone
  const char* obj_all;
};

constexpr FdTexts kFdintvTexts = {
    "(' XXX  ',i4,'-th difference interval ',1p,e10.2,' replaced by ',e10.2)",
    "(' XXX  ',i4,'-th central-difference interval ',1p,e10.2,' replaced by ',e10.2)",
    "(/i5,'  constant constraint gradient elements assigned.')",
    "(/i5,'  constant  objective gradient elements assigned.')",
    "(//' All missing Jacobian elements are constants.  ',' Derivative level increased to ',i4)",
    "(//' All missing objective gradients are constants.  ',' Derivative level increased to ',i4)"};

constexpr FdTexts kFdintoTexts = {
    "(' XXX  ',i4,'-th difference interval ',1pe10.2,' replaced by ',1pe10.2)",
    "(' XXX  ',i4,'-th central-difference interval ',1pe10.2,' replaced by ',1pe10.2)",
    nullptr,
    "(/i5,'  constant  objective gradient elements assigned.')",
    nullptr,
    "(//' All missing objective gradients are constants.  ',' Derivative level increased to ',i4)"};

constexpr FdTexts kFdintjTexts = {
    "(' XXX  ',i4,'-th difference interval ',1p,e10.2,' replaced by ',e10.2)",
    "(' XXX  ',i4,'-th central-difference interval ',1p,e10.2,' replaced by ',e10.2)",
    "(/i5,'  constant constraint gradient elements assigned.')",
    "(/i5,'  constant objective  gradient elements assigned.')",
    "(//' All missing constraint Jacobian elements',' are constants.   Derivative level increased to ',i4)",
    "(//' All missing objective  Jacobian elements',' are constants.   Derivative level increased to ',i4)"};

// The functions whose derivatives are estimated: nnlcon constraint rows and
// either a scalar objective (nres = 0) or nres residual rows.
struct FdFuncs {
  int n = 0;
  int nnlcon = 0;
  int ldcju = 1;
  const Cnlfun* cnlfun = nullptr;
  Vec1<int> kneed;
  CVec c;
  DVec c1, cwrk;
  DMat cjac, cjacu;
  std::span<double> cjacu_s;  // the user Jacobian as the callback receives it

  int nres = 0;  // 0: scalar objective
  const Objfun* objfun = nullptr;
  double fobj = 0.0;
  DVec grad, gradu;
  int ldfju = 1;
  const Cnlfun* objres = nullptr;
  Vec1<int> kneedf;
  CVec f;
  DVec f1, fwrk;
  DMat fjac, fjacu;
  std::span<double> fjacu_s;

  // The constraint rows (FDINTV and FDINTJ).
  void set_cons(int nnlcon_, int ldcj, int ldcju_, const Cnlfun& fun, std::span<int> kneed_,
                std::span<const double> c_, std::span<double> c1_, std::span<double> cwrk_,
                std::span<double> cjac_, std::span<double> cjacu_) {
    nnlcon = nnlcon_;
    ldcju = ldcju_;
    cnlfun = &fun;
    kneed = Vec1<int>(kneed_);
    c = CVec(c_);
    c1 = DVec(c1_);
    cwrk = DVec(cwrk_);
    cjac = DMat(cjac_, ldcj);
    cjacu = DMat(cjacu_, ldcju_);
    cjacu_s = cjacu_;
  }

  int obj_rows() const { return nres > 0 ? nres : 1; }
  double& obj_user(int i, int j) const { return nres > 0 ? fjacu(i, j) : gradu(j); }
  double& obj_work(int i, int j) const { return nres > 0 ? fjac(i, j) : grad(j); }
  double obj_value(int i) const { return nres > 0 ? f(i) : fobj; }

  // Constraint values at p into c1 (slot 0) or cwrk (slot 1).
  void eval_cons(int& mode, std::span<const double> p, int slot, std::span<int> iusr,
                 std::span<double> rusr) const {
    DVec out = slot == 0 ? c1 : cwrk;
    (*cnlfun)(mode, nnlcon, n, ldcju, kneed.span(), p, out.span(), cjacu_s, 0, iusr, rusr);
  }
  // Objective at p: the value (scalar) or the residuals into f1 (slot 0) or
  // fwrk (slot 1).
  double eval_obj(int& mode, std::span<const double> p, int slot, int row, std::span<int> iusr,
                  std::span<double> rusr) const {
    if (nres == 0) {
      double v = 0.0;
      (*objfun)(mode, n, p, v, gradu.span(), 0, iusr, rusr);
      return v;
    }
    DVec out = slot == 0 ? f1 : fwrk;
    (*objres)(mode, nres, n, ldfju, kneedf.span(), p, out.span(), fjacu_s, 0, iusr, rusr);
    return row > 0 ? out(row) : 0.0;
  }
};

// One call of fdint_core past its early returns: the functions, the state of
// the derivative routines, the bounds, the intervals and the point, with
// what its passes share (the callbacks' MODE, the last interval search, the
// counts of the elements found constant).
struct FdPass {
  Npdsta& st;
  const FdTexts& tx;
  const FdFuncs& fn;
  double bigbnd, fprec;
  double& fdnorm;
  CVec bl, bu;
  DVec hforwd, hcntrl, x, dx;
  std::span<int> iusr;
  std::span<double> rusr;
  bool prt;               // the messages are printed
  int mode = 0;           // one MODE for every call of both passes
  SearchOut out{};        // the last interval search
  int nconstj = 0;        // constraint gradient elements found constant
  int nconstg = 0;        // objective gradient elements found constant
  bool headed = false;    // the heading of the interval table is printed
};

using VarTally = FdTally;

// Whether the derivative level leaves some element to differences.
bool some_elements_estimated(int lvlder, int nnlcon) {
  return lvlder == 0 || lvlder == 2 || (lvlder == 1 && nnlcon > 0);
}

// Intervals given by the caller: the ones that cannot be used replaced by
// the defaults.
void replace_unusable_intervals(const Npdsta& st, const FdTexts& tx, int n, DVec hforwd, DVec hcntrl) {
  const Npprec& pr = NPPREC;
  for (int j = 1; j <= n; ++j) {
    if (hforwd(j) <= 0.0) {
      put(st.iprint, tx.fwd_repl, {j, hforwd(j), pr.epspt5});
      hforwd(j) = pr.epspt5;
    }
  }
  for (int j = 1; j <= n; ++j) {
    if (hcntrl(j) <= 0.0) {
      put(st.iprint, tx.cen_repl, {j, hcntrl(j), pr.epspt3});
      hcntrl(j) = pr.epspt3;
    }
  }
}

// The interval search for one missing element along variable j: its first
// estimate into the working array, the constant marker into the user's when
// it looks constant or linear, and its interval into the variable's tallies.
// Returns false when a callback set MODE negative.
template <class Eval>
bool search_element(FdPass& f, VarTally& v, int j, double& user, double& work, double fx, Eval&& eval,
                    bool is_cons) {
  v.found = true;
  const double absacc = f.fprec * (1.0 + std::abs(fx));
  SearchOut& r = f.out;
  if (!search(f.st, f.fprec, fx, v.xj, v.hsign, f.x(j), f.mode, eval, r)) return false;
  work = r.cdest;
  if (r.info == 1 || r.info == 2) {
    user = kDerivConstant;
    if (is_cons) {
      f.st.nmissj -= 1;
      f.nconstj += 1;
    } else {
      f.st.nmissg -= 1;
      f.nconstg += 1;
    }
  }
  v.add(r.info, r.sdest, r.hopt, r.errbnd, r.hcint, absacc);
  return true;
}

// The intervals of variable j: a search for each missing element of its
// column, then the variable's forward and central intervals (printed in the
// interval table).  Returns false when a callback set MODE negative.
bool intervals_of_variable(FdPass& f, int j, bool do_cons, bool do_obj) {
  const FdFuncs& fn = f.fn;
  const Npprec& pr = NPPREC;
  VarTally v;
  v.xj = f.x(j);
  double roomlo = 0.0, roomhi = 0.0;
  room_to_bounds(f.bigbnd, f.bl(j), f.bu(j), v.xj, roomlo, roomhi);
  v.hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
  v.hmin = 1.0 / pr.epspt3;

  if (do_cons) {
    for (int i = 1; i <= fn.nnlcon; ++i) {
      if (fn.cjacu(i, j) != kDerivUnset) continue;
      fn.kneed(i) = 1;
      auto eval = [&, i](int slot) {
        fn.eval_cons(f.mode, f.x.span(), slot, f.iusr, f.rusr);
        return slot == 0 ? fn.c1(i) : fn.cwrk(i);
      };
      if (!search_element(f, v, j, fn.cjacu(i, j), fn.cjac(i, j), fn.c(i), eval, true)) return false;
    }
  }
  if (do_obj) {
    for (int i = 1; i <= fn.obj_rows(); ++i) {
      if (fn.obj_user(i, j) != kDerivUnset) continue;
      if (fn.nres > 0) fn.kneedf(i) = 1;
      auto eval = [&, i](int slot) {
        return fn.eval_obj(f.mode, f.x.span(), slot, fn.nres > 0 ? i : 0, f.iusr, f.rusr);
      };
      if (!search_element(f, v, j, fn.obj_user(i, j), fn.obj_work(i, j), fn.obj_value(i), eval, false))
        return false;
    }
  }

  if (v.found) {
    v.choose();
    if (f.prt) {
      if (!f.headed)
        put(f.st.iprint, "(//'    j      x(j)   Forward dx(j)   Central dx(j) ','     Error est.'/)");
      f.headed = true;
      put(f.st.iprint, "(i5,1p,e10.2,e16.6,2e16.6)", {j, v.xj, v.hfwd, v.hcen, v.errmax});
    }
    f.fdnorm = std::max(f.fdnorm, v.hfwd);
    f.hforwd(j) = v.hfwd / (1.0 + std::abs(v.xj));
    f.hcntrl(j) = v.hcen / (1.0 + std::abs(v.xj));
  }
  f.x(j) = v.xj;
  return true;
}

// The first pass: the intervals of every variable, from searches along it
// for the functions that the derivative level leaves to differences.
// Returns false when a callback set MODE negative.
bool search_intervals(FdPass& f, int lvlder) {
  const FdFuncs& fn = f.fn;
  f.fdnorm = 0.0;
  const bool do_cons = fn.nnlcon > 0 && lvlder != 2;
  const bool do_obj = lvlder != 1;
  for (int i = 1; i <= fn.nnlcon; ++i) fn.kneed(i) = 0;
  for (int i = 1; i <= fn.nres; ++i) fn.kneedf(i) = 0;
  for (int j = 1; j <= fn.n; ++j)
    if (!intervals_of_variable(f, j, do_cons, do_obj)) return false;
  return true;
}

// The second point of the confirmation in dx: each variable a shrinking
// fraction of the way to the side with more room (within 1).
void second_point(FdPass& f) {
  double rho = 1.0 / f.fn.n;
  for (int j = 1; j <= f.fn.n; ++j) {
    double lo = 0.0, hi = 0.0;
    unit_room(f.bigbnd, f.bl(j), f.bu(j), f.x(j), lo, hi);
    f.dx(j) = (lo + hi) / 2.0 >= 0.0 ? f.x(j) + rho * hi : f.x(j) + rho * lo;
    rho = 0.97 * rho;
  }
}

// The functions at the second point: the constraints into the work vector,
// the objective into fdx (residuals into their work vector).  Returns false
// when a callback set MODE negative.
bool values_at_second_point(FdPass& f, double& fdx) {
  const FdFuncs& fn = f.fn;
  if (fn.nnlcon > 0) {
    for (int i = 1; i <= fn.nnlcon; ++i) fn.kneed(i) = 1;
    fn.eval_cons(f.mode, f.dx.span(), 1, f.iusr, f.rusr);
    if (f.mode < 0) return false;
  }
  if (fn.nres > 0)
    for (int i = 1; i <= fn.nres; ++i) fn.kneedf(i) = 1;
  fdx = fn.eval_obj(f.mode, f.dx.span(), 1, 0, f.iusr, f.rusr);
  return f.mode >= 0;
}

// The constraint elements of column j marked constant, confirmed by the
// quotient over delta between dx and the second point: the quotient when it
// is the same, else the element is missing after all.  Returns false when
// a callback set MODE negative.
bool confirm_constraint_column(FdPass& f, int j, double delta) {
  const FdFuncs& fn = f.fn;
  int nrows = 0;
  for (int i = 1; i <= fn.nnlcon; ++i) {
    fn.kneed(i) = fn.cjacu(i, j) == kDerivConstant ? 1 : 0;
    nrows += fn.kneed(i);
  }
  if (nrows == 0) return true;
  fn.eval_cons(f.mode, f.dx.span(), 0, f.iusr, f.rusr);
  if (f.mode < 0) return false;
  for (int i = 1; i <= fn.nnlcon; ++i) {
    if (fn.kneed(i) == 0) continue;
    const double q = (fn.c1(i) - fn.cwrk(i)) / delta;
    if (q == fn.cjac(i, j)) {
      fn.cjacu(i, j) = q;
    } else {
      fn.cjacu(i, j) = kDerivUnset;
      f.st.nmissj += 1;
      f.nconstj -= 1;
    }
  }
  return true;
}

// The same for gradient element j of a scalar objective (fdx its value at
// the second point).
bool confirm_objective_element(FdPass& f, int j, double delta, double fdx) {
  const FdFuncs& fn = f.fn;
  if (fn.gradu(j) != kDerivConstant) return true;
  const double fv = fn.eval_obj(f.mode, f.dx.span(), 0, 0, f.iusr, f.rusr);
  if (f.mode < 0) return false;
  const double q = (fv - fdx) / delta;
  if (q == fn.grad(j)) {
    fn.gradu(j) = q;
  } else {
    fn.gradu(j) = kDerivUnset;
    f.st.nmissg += 1;
    f.nconstg -= 1;
  }
  return true;
}

// The same for the residual rows of column j.
bool confirm_residual_column(FdPass& f, int j, double delta) {
  const FdFuncs& fn = f.fn;
  int nrows = 0;
  for (int i = 1; i <= fn.nres; ++i) {
    fn.kneedf(i) = fn.fjacu(i, j) == kDerivConstant ? 1 : 0;
    nrows += fn.kneedf(i);
  }
  if (nrows == 0) return true;
  fn.eval_obj(f.mode, f.dx.span(), 0, 0, f.iusr, f.rusr);
  if (f.mode < 0) return false;
  for (int i = 1; i <= fn.nres; ++i) {
    if (fn.kneedf(i) == 0) continue;
    const double q = (fn.f1(i) - fn.fwrk(i)) / delta;
    if (q == fn.fjac(i, j)) {
      fn.fjacu(i, j) = q;
    } else {
      fn.fjacu(i, j) = kDerivUnset;
      f.st.nmissg += 1;
      f.nconstg -= 1;
    }
  }
  return true;
}

// The second pass: each element found constant must give exactly the same
// quotient at a second point, else it is differenced after all.  Returns
// false when a callback set MODE negative.
bool confirm_constant_elements(FdPass& f) {
  const FdFuncs& fn = f.fn;
  second_point(f);
  double fdx = 0.0;
  if (!values_at_second_point(f, fdx)) return false;
  for (int j = 1; j <= fn.n; ++j) {
    const double dxj = f.dx(j);
    const double delta = (f.x(j) - dxj) / 2.0;
    f.dx(j) = dxj + delta;
    if (fn.nnlcon > 0 && !confirm_constraint_column(f, j, delta)) return false;
    if (fn.nres == 0) {
      if (!confirm_objective_element(f, j, delta, fdx)) return false;
    } else if (!confirm_residual_column(f, j, delta)) {
      return false;
    }
    f.dx(j) = dxj;
  }
  return true;
}

// The counts of the constant elements, and the derivative level raised when
// no element of a kind is missing.
void report_constant_elements(const FdPass& f, int& lvlder) {
  const FdTexts& tx = f.tx;
  const Npdsta& st = f.st;
  if (f.prt) {
    if (tx.cons_const != nullptr && lvlder < 2 && f.nconstj > 0) put(st.iprint, tx.cons_const, {f.nconstj});
    if (lvlder != 1 && f.nconstg > 0) put(st.iprint, tx.obj_const, {f.nconstg});
  }
  if (tx.jac_all != nullptr && st.nmissj == 0 && lvlder < 2) {
    lvlder = lvlder == 0 ? 2 : 3;
    if (f.prt) put(st.iprint, tx.jac_all, {lvlder});
  }
  if (st.nmissg == 0 && (lvlder == 0 || lvlder == 2)) {
    lvlder = lvlder == 0 ? 1 : 3;
    if (f.prt) put(st.iprint, tx.obj_all, {lvlder});
  }
}

void fdint_core(Npdsta& st, const FdTexts& tx, int& inform, int msglvl, int& lvlder,
                const FdFuncs& fn, double bigbnd, double fprec, double& fdnorm,
                std::span<const double> bls, std::span<const double> bus, DVec hforwd, DVec hcntrl,
                DVec x, DVec dx, std::span<int> iusr, std::span<double> rusr) {
  inform = 0;
  if (!some_elements_estimated(lvlder, fn.nnlcon)) return;
  if (st.dif_class == kDifFixed) return;
  if (st.dif_class == kDifUser) {
    replace_unusable_intervals(st, tx, fn.n, hforwd, hcntrl);
    return;
  }

  FdPass f{.st = st,
           .tx = tx,
           .fn = fn,
           .bigbnd = bigbnd,
           .fprec = fprec,
           .fdnorm = fdnorm,
           .bl = CVec(bls),
           .bu = CVec(bus),
           .hforwd = hforwd,
           .hcntrl = hcntrl,
           .x = x,
           .dx = dx,
           .iusr = iusr,
           .rusr = rusr,
           .prt = msglvl > 0 && st.iprint > 0};
  if (f.prt)
    put(st.iprint,
        "(//' Computation of the finite-difference intervals'/"
        "' ----------------------------------------------')");
  if (!search_intervals(f, lvlder)) {
    inform = f.mode;
    return;
  }
  // Without elements found constant there is nothing to confirm or report.
  if (f.nconstj + f.nconstg == 0) return;
  if (!confirm_constant_elements(f)) {
    inform = f.mode;
    return;
  }
  report_constant_elements(f, lvlder);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Check of a supplied Jacobian (constraints in CHKCNJ, residuals in CHKOBJ).

struct JacTexts {
  const char* heading;
  const char* ok;
  const char* bad;
  const char* sum_bad;
  const char* sum_ok;
  bool small_s;  // verdict 4 written as "small derivative?"
};

constexpr JacTexts kChkcnjTexts = {
    "(///' Verification of the constraint gradients.'/' -----------------------------------------')",
    "(/' The constraint Jacobian seems to be ok.')",
    "(/' XXX  The constraint Jacobian seems to be incorrect.')",
    "(/' XXX  There seem to be',i6,'  incorrect Jacobian elements out of the',i6,'  set in cols',i6,"
    "'  through',i6)",
    "(/i7,'  constraint Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6,"
    "'  seem to be ok.')",
    true};

constexpr JacTexts kChkobjTexts = {
    "(///' Verification of the objective gradients.'/' ----------------------------------------')",
    "(/' The objective Jacobian seems to be ok.')",
    "(/' XXX  The objective Jacobian seems to be incorrect.')",
    "(/' XXX  There seem to be',i6,'  incorrect objective Jacobian elements out of the',i6,"
    "'  set in cols',i6,'  through',i6)",
    "(/i7,'  Objective Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6,"
    "'  seem to be ok.')",
    false};

// dirfac of the directional checks: the single-precision 0.9, 0.99 or 0.999
// widened, by the number of variables.
double direction_factor(int n) {
  if (n <= 100) return static_cast<double>(0.9f);
  if (n <= 250) return static_cast<double>(0.99f);
  return static_cast<double>(0.999f);
}

// dx(j) := 1/N (-dirfac)^(j-1).
void check_direction(int n, DVec dx) {
  const double dirfac = direction_factor(n);
  double v = 1.0 / n;
  for (int j = 1; j <= n; ++j) {
    dx(j) = v;
    v = -dirfac * v;
  }
}

void chkjac_core(const Npdsta& st, const JacTexts& tx, int& inform, int lvlder, int msglvl,
                 int nset, int n, int m, int ldcj, int ldcju, double bigbnd, double fprec,
                 double oktol, double dxchk, double xnorm, const Cnlfun& fun,
                 std::span<int> kneeds, std::span<const double> bls, std::span<const double> bus,
                 std::span<const double> cs, std::span<double> c1s, std::span<double> cjacs,
                 std::span<double> cjacus, std::span<double> cjdxs, std::span<double> dxs,
                 std::span<double> errs, std::span<double> xs, std::span<double> ys,
                 std::span<int> iusr, std::span<double> rusr) {
  inform = 0;
  const int v = st.verify;
  if (!(v == 2 || v == 3 || (v == 0 && m > 0))) return;
  const Npprec& pr = NPPREC;
  const bool prt = msglvl > 0 && st.iprint > 0;
  Vec1<int> kneed(kneeds);
  CVec bl(bls), bu(bus), c(cs);
  DVec c1(c1s), cjdx(cjdxs), dx(dxs), err(errs), x(xs), y(ys);
  DMat cjac(cjacs, ldcj), cjacu(cjacus, ldcju);
  if (prt) put(st.iprint, tx.heading);

  // Directional check along a direction that leaves out every column with
  // a missing or constant element.
  check_direction(n, dx);
  int ncols = 0;
  for (int j = 1; j <= n; ++j) {
    bool unset = false;
    for (int i = 1; i <= m; ++i) unset = unset || cjac(i, j) == kDerivUnset;
    if (unset) {
      dx(j) = 0.0;
      continue;
    }
    ++ncols;
    double lo = 0.0, hi = 0.0;
    unit_room(bigbnd, bl(j), bu(j), x(j), lo, hi);
    dx(j) = dx(j) * ((lo + hi) / 2.0 < 0.0 ? lo : hi);
  }
  int mode = 0;
  if (ncols == 0) {
    if (prt) put(st.iprint, "(/' Every column contains a constant or',' missing element.')");
  } else {
    const double h = dxchk * (1.0 + xnorm);
    const double one = 1.0, zero = 0.0;
    const int inc = 1;
    dgemv_("N", &m, &n, &one, cjacu.ptr(), &ldcju, dx.ptr(), &inc, &zero, cjdx.ptr(), &inc, 1);
    dcopy_(&n, x.ptr(), &inc, y.ptr(), &inc);
    daxpy_(&n, &h, dx.ptr(), &inc, y.ptr(), &inc);
    for (int i = 1; i <= m; ++i) kneed(i) = 1;
    fun(mode, m, n, ldcju, kneeds, y.span(), c1.span(), cjacus, 0, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
    for (int i = 1; i <= m; ++i) err(i) = (c1(i) - c(i)) / h - cjdx(i);
    const int worst = idamax_(&m, err.ptr(), &inc);
    const double emax = std::abs(err(worst)) / (std::abs(cjdx(worst)) + 1.0);
    if (msglvl > 0) {
      put(st.iprint, emax <= oktol ? tx.ok : tx.bad);
      put(st.isumm, emax <= oktol ? tx.ok : tx.bad);
    }
    if (prt) put(st.iprint, "(/' The largest relative error was',1p,e12.2,'  in row',i5/)", {emax, worst});
    if (emax >= 0.9) inform = 1;
  }

  if (!(v == 2 || v == 3)) return;

  // Element check by the interval search.
  if (lvlder == 3) {
    // Every element is claimed: the ones the callback leaves unset are
    // constant and are not checked.
    MATSET("General", m, n, kDerivUnset, kDerivUnset, cjacus, ldcju);
    for (int i = 1; i <= m; ++i) kneed(i) = 1;
    mode = 2;
    fun(mode, m, n, ldcju, kneeds, x.span(), c1.span(), cjacus, 0, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
  }
  for (int i = 1; i <= m; ++i) kneed(i) = 0;
  int j1 = 0, j2 = 0;
  check_range(n, st.jcon1, st.jcon2, j1, j2);
  double emax = -1.0;
  int imax = 0, jmax = 0, nchecked = 0, ngood = 0, nbad = 0;
  mode = 0;
  SearchOut r;
  for (int j = j1; j <= j2; ++j) {
    const double xj = x(j);
    double roomlo = 0.0, roomhi = 0.0;
    room_to_bounds(bigbnd, bl(j), bu(j), xj, roomlo, roomhi);
    const double hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
    for (int i = 1; i <= m; ++i) err(i) = 0.0;
    bool headed = false;
    for (int i = 1; i <= m; ++i) {
      if (cjacu(i, j) == kDerivUnset) continue;
      kneed(i) = 1;
      auto eval = [&, i](int slot) {
        DVec out = slot == 0 ? c1 : cjdx;
        fun(mode, m, n, ldcju, kneeds, x.span(), out.span(), cjacus, 0, iusr, rusr);
        return out(i);
      };
      if (!search(st, fprec, c(i), xj, hsign, x(j), mode, eval, r)) {
        inform = mode;
        return;
      }
      const double aij = cjac(i, j);
      err(i) = std::abs(r.cdest - aij) / (std::abs(aij) + 1.0);
      const bool ok = err(i) <= oktol;
      ++nchecked;
      if (ok)
        ++ngood;
      else
        ++nbad;
      kneed(i) = 0;
      const bool constant = r.info == 1 && std::abs(aij) < pr.epspt8 && ok;
      if (prt && !constant) {
        const char* key = ok ? "  OK" : "BAD?";
        if (!headed) {
          put(st.iprint,
              "(//' Column    x(j)     dx(j)    Row   ',' Jacobian Value      Difference Approxn  Itns')");
          if (ok)
            put(st.iprint, "(/i7,1p,2e10.2,i5,2e18.8,2x,a4,i6)", {j, xj, r.hopt, i, aij, r.cdest, key, r.iter});
          else
            put(st.iprint, "(/i7,1p,2e10.2,i5,2e18.8,2x,a4,i6,2x,a18)",
                {j, xj, r.hopt, i, aij, r.cdest, key, r.iter, comment18(r.info, tx.small_s)});
          headed = true;
        } else if (ok) {
          put(st.iprint, "(7x,10x,1p,e10.2,i5,2e18.8,2x,a4,i6)", {r.hopt, i, aij, r.cdest, key, r.iter});
        } else {
          put(st.iprint, "(7x,10x,1p,e10.2,i5,2e18.8,2x,a4,i6,2x,a18)",
              {r.hopt, i, aij, r.cdest, key, r.iter, comment18(r.info, tx.small_s)});
        }
      }
    }
    if (m > 0) {
      const int inc = 1;
      const int iw = idamax_(&m, err.ptr(), &inc);
      if (err(iw) >= emax) {
        emax = err(iw);
        imax = iw;
        jmax = j;
      }
    }
    x(j) = xj;
  }

  inform = emax >= 0.9 ? 1 : 0;
  if (prt) {
    if (nchecked > 0) {
      if (nbad > 0)
        put(st.iprint, tx.sum_bad, {nbad, nchecked, j1, j2});
      else
        put(st.iprint, tx.sum_ok, {ngood, nchecked, j1, j2});
      put(st.iprint, "(/' The largest relative error was',1p,e12.2,'  in row',i5,',  column',i5/)",
          {emax, imax, jmax});
    } else {
      put(st.iprint, "(' All',i6,'   assigned Jacobian elements are',' constant.')", {nset});
    }
  }
  MATCPY("General", m, n, cjacs, ldcj, cjacus, ldcju);
}

}  // namespace

void NPFDGR(const Npdsta& st, bool central, int& inform, int ldcj, int ldcju, int n, int nnlcon,
            double bigbnd, double cdint, double fdint, double& fdnorm, double fobj,
            const Cnlfun& cnlfun, const Objfun& objfun, std::span<int> kneeds,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> cs,
            std::span<double> c1s, std::span<double> c2s, std::span<double> cjacs,
            std::span<double> cjacus, std::span<double> grads, std::span<double> gradus,
            std::span<const double> hforwds, std::span<const double> hcntrls, std::span<double> xs,
            std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr, std::span<double> rusr) {
  Vec1<int> kneed(kneeds);
  CVec bl(bls), bu(bus), c(cs), hforwd(hforwds), hcntrl(hcntrls);
  DVec c1(c1s), c2(c2s), grad(grads), gradu(gradus), x(xs);
  DMat cjac(cjacs, ldcj), cjacu(cjacus, ldcju);
  inform = 0;
  int mode = 0;
  const int kfirst = 0;
  fdnorm = 0.0;
  const bool fixed = st.dif_class == kDifFixed;
  for (int j = 1; j <= n; ++j) {
    const double xj = x(j);
    int nrows = 0;
    if (st.nmissj > 0 && nnlcon > 0) {
      for (int i = 1; i <= nnlcon; ++i) {
        kneed(i) = cjacu(i, j) == kDerivUnset ? 1 : 0;
        nrows += kneed(i);
      }
    }
    const bool gmiss = gradu(j) == kDerivUnset;
    if (nrows > 0 || gmiss) {
      double roomlo = 0.0, roomhi = 0.0;
      room_to_bounds(bigbnd, bl(j), bu(j), xj, roomlo, roomhi);
      double interval = 0.0;
      if (fixed)
        interval = central ? cdint : fdint;
      else
        interval = central ? hcntrl(j) : hforwd(j);
      double delta = interval * (1.0 + std::abs(xj));
      fdnorm = std::max(fdnorm, delta);
      // Step towards the side with more room.
      if ((roomlo + roomhi) / 2.0 < 0.0) delta = -delta;

      // The needed constraints into cout and the objective into fout at the
      // displaced x; false when a callback set MODE negative.
      auto eval_at = [&](std::span<double> cout, double& fout) {
        if (nrows > 0) {
          cnlfun(mode, nnlcon, n, ldcju, kneeds, xs, cout, cjacus, kfirst, iusr, rusr);
          if (mode < 0) return false;
        }
        if (gmiss) {
          objfun(mode, n, xs, fout, gradus, kfirst, iusr, rusr);
          if (mode < 0) return false;
        }
        return true;
      };

      // A callback that stops the run leaves x at the point given.
      double f1 = 0.0, f2 = 0.0;
      x(j) = xj + delta;
      if (!eval_at(c1s, f1)) {
        x(j) = xj;
        inform = mode;
        return;
      }
      if (central) {
        x(j) = (xj + delta) + delta;
        if (!eval_at(c2s, f2)) {
          x(j) = xj;
          inform = mode;
          return;
        }
        for (int i = 1; i <= nnlcon && nrows > 0; ++i)
          if (kneed(i) == 1) cjac(i, j) = (4.0 * c1(i) - 3.0 * c(i) - c2(i)) / (2.0 * delta);
        if (gmiss) grad(j) = (4.0 * f1 - 3.0 * fobj - f2) / (2.0 * delta);
      } else {
        for (int i = 1; i <= nnlcon && nrows > 0; ++i)
          if (kneed(i) == 1) cjac(i, j) = (c1(i) - c(i)) / delta;
        if (gmiss) grad(j) = (f1 - fobj) / delta;
      }
    }
    x(j) = xj;
  }
}

void FDINTV(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, int nnlcon, int ldcj, int ldcju,
            double bigbnd, double fprec, double& fdnorm, double fobj, const Objfun& objfun,
            const Cnlfun& cnlfun, std::span<int> kneed, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<double> c1,
            std::span<double> cwrk, std::span<double> cjac, std::span<double> cjacu,
            std::span<double> grad, std::span<double> gradu, std::span<double> hforwd,
            std::span<double> hcntrl, std::span<double> x, std::span<double> dx,
            std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr, std::span<double> rusr) {
  FdFuncs fn;
  fn.n = n;
  fn.set_cons(nnlcon, ldcj, ldcju, cnlfun, kneed, c, c1, cwrk, cjac, cjacu);
  fn.objfun = &objfun;
  fn.fobj = fobj;
  fn.grad = DVec(grad);
  fn.gradu = DVec(gradu);
  fdint_core(st, kFdintvTexts, inform, msglvl, lvlder, fn, bigbnd, fprec, fdnorm, bl, bu,
             DVec(hforwd), DVec(hcntrl), DVec(x), DVec(dx), iusr, rusr);
}

void FDINTO(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, double bigbnd, double fprec,
            double& fdnorm, double fobj, const Objfun& objfun, std::span<const double> bl,
            std::span<const double> bu, std::span<double> grad, std::span<double> gradu,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> x,
            std::span<double> dx, std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr,
            std::span<double> rusr) {
  FdFuncs fn;
  fn.n = n;
  fn.objfun = &objfun;
  fn.fobj = fobj;
  fn.grad = DVec(grad);
  fn.gradu = DVec(gradu);
  inform = 0;
  if (!(lvlder == 0 || lvlder == 2)) return;
  fdint_core(st, kFdintoTexts, inform, msglvl, lvlder, fn, bigbnd, fprec, fdnorm, bl, bu,
             DVec(hforwd), DVec(hcntrl), DVec(x), DVec(dx), iusr, rusr);
}

void FDINTJ(Npdsta& st, int& inform, int msglvl, int& lvlder, int n, int nnlcon, int nres, int ldcj,
            int ldcju, int ldfj, int ldfju, double bigbnd, double fprec, double& fdnorm,
            const Cnlfun& objres, const Cnlfun& cnlfun, std::span<int> kneed, std::span<int> kneedf,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> c1, std::span<double> cwrk, std::span<double> cjac,
            std::span<double> cjacu, std::span<const double> f, std::span<double> f1,
            std::span<double> fwrk, std::span<double> fjac, std::span<double> fjacu,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> x,
            std::span<double> dx, std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr,
            std::span<double> rusr) {
  FdFuncs fn;
  fn.n = n;
  fn.set_cons(nnlcon, ldcj, ldcju, cnlfun, kneed, c, c1, cwrk, cjac, cjacu);
  fn.nres = nres;
  fn.ldfju = ldfju;
  fn.objres = &objres;
  fn.kneedf = Vec1<int>(kneedf);
  fn.f = CVec(f);
  fn.f1 = DVec(f1);
  fn.fwrk = DVec(fwrk);
  fn.fjac = DMat(fjac, ldfj);
  fn.fjacu = DMat(fjacu, ldfju);
  fn.fjacu_s = fjacu;
  fdint_core(st, kFdintjTexts, inform, msglvl, lvlder, fn, bigbnd, fprec, fdnorm, bl, bu,
             DVec(hforwd), DVec(hcntrl), DVec(x), DVec(dx), iusr, rusr);
}

void CHKOBG(const Npdsta& st, int& inform, int msglvl, int n, double bigbnd, double fprec,
            double oktol, double dxchk, double fobj, double xnorm, const Objfun& objfun,
            std::span<const double> bls, std::span<const double> bus, std::span<double> grads,
            std::span<double> gradus, std::span<double> dxs, std::span<double> xs,
            std::span<double> ys, std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr,
            std::span<double> rusr) {
  inform = 0;
  const int v = st.verify;
  if (!(v == 0 || v == 1 || v == 3)) return;
  const Npprec& pr = NPPREC;
  const bool prt = msglvl > 0 && st.iprint > 0;
  CVec bl(bls), bu(bus);
  DVec grad(grads), gradu(gradus), dx(dxs), x(xs), y(ys);
  if (prt)
    put(st.iprint,
        "(///' Verification of the objective gradients.'/' ----------------------------------------')");

  const double h = dxchk * (1.0 + xnorm);
  check_direction(n, dx);
  int nset = 0;
  for (int j = 1; j <= n; ++j) {
    if (grad(j) == kDerivUnset) {
      dx(j) = 0.0;
      continue;
    }
    ++nset;
    double lo = 0.0, hi = 0.0;
    unit_room(bigbnd, bl(j), bu(j), x(j), lo, hi);
    dx(j) = dx(j) * ((lo + hi) / 2.0 < 0.0 ? lo : hi);
  }
  if (nset == 0) {
    if (prt) put(st.iprint, "(/' No gradient elements assigned.')");
    return;
  }

  // Directional check.
  const int inc = 1;
  const double gdir = ddot_(&n, gradus.data(), &inc, dx.ptr(), &inc);
  dcopy_(&n, x.ptr(), &inc, y.ptr(), &inc);
  daxpy_(&n, &h, dx.ptr(), &inc, y.ptr(), &inc);
  int mode = 0;
  double f1 = 0.0;
  objfun(mode, n, ys, f1, gradus, 0, iusr, rusr);
  if (mode < 0) {
    inform = mode;
    return;
  }
  const double fdiff = (f1 - fobj) / h;
  const double error = std::abs(fdiff - gdir) / (std::abs(gdir) + 1.0);
  if (msglvl > 0) {
    const char* verdict = error <= oktol ? "(/' The objective gradients seem to be ok.')"
                                         : "(/' XXX  The objective gradients seem to be incorrect.')";
    put(st.iprint, verdict);
    put(st.isumm, verdict);
  }
  if (prt)
    put(st.iprint,
        "(/' Directional derivative of the objective',1p,e18.8/' Difference approximation               ',1p,e18.8)",
        {gdir, fdiff});
  if (error >= 0.9) inform = 1;

  if (v == 1 || v == 3) {
    int j1 = 0, j2 = 0;
    check_range(n, st.jobj1, st.jobj2, j1, j2);
    double emax = 0.0;
    int jmax = 0, nchecked = 0, ngood = 0, nbad = 0;
    bool headed = false;
    SearchOut r;
    for (int j = j1; j <= j2; ++j) {
      const double gj = grad(j);
      if (gj == kDerivUnset) continue;
      const double xj = x(j);
      double roomlo = 0.0, roomhi = 0.0;
      room_to_bounds(bigbnd, bl(j), bu(j), xj, roomlo, roomhi);
      const double hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
      auto eval = [&](int) {
        double fv = 0.0;
        objfun(mode, n, xs, fv, gradus, 0, iusr, rusr);
        return fv;
      };
      if (!search(st, fprec, fobj, xj, hsign, x(j), mode, eval, r)) {
        inform = mode;
        return;
      }
      x(j) = xj;
      const double gcentral = r.cdest;
      const double err = std::abs(gcentral - gj) / (std::abs(gj) + 1.0);
      if (err >= emax) {
        emax = err;
        jmax = j;
      }
      const bool ok = err <= oktol;
      ++nchecked;
      if (ok)
        ++ngood;
      else
        ++nbad;
      if (prt && !(r.info == 1 && std::abs(gj) < pr.epspt8 && ok)) {
        if (!headed)
          put(st.iprint, "(//4x,'j',4x,'x(j)',5x,'dx(j)',11x,'g(j)',9x,'  Difference approxn  Itns'/)");
        headed = true;
        if (ok)
          put(st.iprint, "(i5,1p,2e10.2,2e18.8,2x,a4,i6)", {j, xj, r.hopt, gj, gcentral, "  OK", r.iter});
        else
          put(st.iprint, "(i5,1p,2e10.2,2e18.8,2x,a4,i6,2x,a18)",
              {j, xj, r.hopt, gj, gcentral, "BAD?", r.iter, comment18(r.info, false)});
      }
    }
    inform = emax >= 0.9 ? 1 : 0;
    if (prt) {
      if (nbad > 0)
        put(st.iprint,
            "(/' XXX  There seem to be',i6,'  incorrect objective gradients out of the',i6,'  set in cols',i6,"
            "'  through',i6)",
            {nbad, nchecked, j1, j2});
      else
        put(st.iprint,
            "(/i7,'  Objective gradients out of the',i6,'  set in cols',i6,'  through',i6,'  seem to be ok.')",
            {ngood, nchecked, j1, j2});
      put(st.iprint, "(/' The largest relative error was',1p,e12.2,'   in element',i6/)", {emax, jmax});
    }
  }
  // The callback may have written into the caller's gradient.
  dcopy_(&n, grad.ptr(), &inc, gradus.data(), &inc);
}

void CHKCNJ(const Npdsta& st, int& inform, int lvlder, int msglvl, int ncset, int n, int nnlcon,
            int ldcj, int ldcju, double bigbnd, double fprec, double oktol, double dxchk,
            double xnorm, const Cnlfun& cnlfun, std::span<int> kneed, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> c, std::span<double> c1,
            std::span<double> cjac, std::span<double> cjacu, std::span<double> cjdx,
            std::span<double> dx, std::span<double> err, std::span<double> x, std::span<double> y,
            std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr, std::span<double> rusr) {
  chkjac_core(st, kChkcnjTexts, inform, lvlder, msglvl, ncset, n, nnlcon, ldcj, ldcju, bigbnd, fprec,
              oktol, dxchk, xnorm, cnlfun, kneed, bl, bu, c, c1, cjac, cjacu, cjdx, dx, err, x, y,
              iusr, rusr);
}

void CHKOBJ(const Npdsta& st, int& inform, int lvlder, int msglvl, int nfset, int n, int nres,
            int ldfj, int ldfju, double bigbnd, double fprec, double oktol, double dxchk,
            double xnorm, const Cnlfun& objres, std::span<int> kneedf, std::span<const double> bl,
            std::span<const double> bu, std::span<const double> f, std::span<double> f1,
            std::span<double> fjac, std::span<double> fjacu, std::span<double> fjdx,
            std::span<double> dx, std::span<double> err, std::span<double> x, std::span<double> y,
            std::span<double> /*w*/, int /*lenw*/, std::span<int> iusr, std::span<double> rusr) {
  chkjac_core(st, kChkobjTexts, inform, lvlder, msglvl, nfset, n, nres, ldfj, ldfju, bigbnd, fprec,
              oktol, dxchk, xnorm, objres, kneedf, bl, bu, f, f1, fjac, fjacu, fjdx, dx, err, x, y,
              iusr, rusr);
}

void NPDERV(Npdsta& st, int& inform, int msglvl, int kfirst, int& lvlder, int& nfun, int& ngrad,
            int ldcj, int ldcju, int n, int nnlcon, const Cnlfun& cnlfun, const Objfun& objfun,
            std::span<int> kneeds, double bigbnd, double fprec, double cdint, double fdint,
            double dxchk, double& fdnorm, double& fobj, double xnorm, std::span<const double> bl,
            std::span<const double> bu, std::span<double> cs, std::span<double> wrk1,
            std::span<double> cjacs, std::span<double> cjacus, std::span<double> wrk2,
            std::span<double> dx, std::span<double> grads, std::span<double> gradus,
            std::span<double> hforwd, std::span<double> hcntrl, std::span<double> xs,
            std::span<double> wrk3, std::span<double> wrk4, std::span<double> w, int lenw,
            std::span<int> iusr, std::span<double> rusr) {
  const bool prt = msglvl > 0 && st.iprint > 0;
  Vec1<int> kneed(kneeds);
  DMat cjacu(cjacus, ldcju);
  DVec gradu(gradus);
  int infog = 0, infocj = 0;
  st.nmissj = 0;
  st.nmissg = 0;
  int ncset = n * nnlcon;
  inform = 0;

  if (nnlcon > 0) {
    const bool count = lvlder == 0 || lvlder == 1;
    if (count) MATSET("General", nnlcon, n, kDerivUnset, kDerivUnset, cjacus, ldcju);
    for (int i = 1; i <= nnlcon; ++i) kneed(i) = 1;
    int mode = 2;
    cnlfun(mode, nnlcon, n, ldcju, kneeds, xs, cs, cjacus, kfirst, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
    MATCPY("General", nnlcon, n, cjacus, ldcju, cjacs, ldcj);
    if (count) {
      for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= nnlcon; ++i)
          if (cjacu(i, j) == kDerivUnset) st.nmissj += 1;
      ncset = n * nnlcon - st.nmissj;
      if (kfirst == 1) {
        if (st.nmissj == 0) {
          lvlder = lvlder == 0 ? 2 : 3;
          if (prt)
            put(st.iprint,
                "(//' All Jacobian elements have been set.  ',' Derivative level increased to ',i4)",
                {lvlder});
        } else if (prt) {
          put(st.iprint,
              "(//' The user sets ',i6,'   out of',i6,'   Jacobian elements.'/' Each iteration, ',i6,"
              "'   Jacobian elements will be estimated numerically.')",
              {ncset, n * nnlcon, st.nmissj});
        }
      }
    }
  }

  const bool gcount = lvlder == 0 || lvlder == 2;
  if (gcount)
    for (int j = 1; j <= n; ++j) gradu(j) = kDerivUnset;
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
      if (gradu(j) == kDerivUnset) st.nmissg += 1;
    if (kfirst == 1) {
      if (st.nmissg == 0) {
        lvlder = lvlder == 0 ? 1 : 3;
        if (prt)
          put(st.iprint,
              "(//' All objective gradient elements have been set.  ',' Derivative level increased to ',i4)",
              {lvlder});
      } else if (prt) {
        put(st.iprint,
            "(//' The user sets ',i6,'   out of',i6,'   objective gradient elements.'/' Each iteration, ',i6,"
            "'   gradient elements will be estimated numerically.')",
            {n - st.nmissg, n, st.nmissg});
      }
    }
  }
  nfun += 1;
  ngrad += 1;

  if (st.verify >= 0) {
    const double tol = NPPREC.epspt3;
    if (ncset > 0) {
      CHKCNJ(st, infocj, lvlder, msglvl, ncset, n, nnlcon, ldcj, ldcju, bigbnd, fprec, tol, dxchk, xnorm,
             cnlfun, kneeds, bl, bu, cs, wrk1, cjacs, cjacus, wrk2, dx, wrk4, xs, wrk3, w, lenw, iusr,
             rusr);
      if (infocj < 0) {
        inform = infocj;
        return;
      }
    }
    if (st.nmissg < n) {
      CHKOBG(st, infog, msglvl, n, bigbnd, fprec, tol, dxchk, fobj, xnorm, objfun, bl, bu, grads,
             gradus, dx, xs, wrk3, w, lenw, iusr, rusr);
      if (infog < 0) {
        inform = infog;
        return;
      }
    }
  }

  if (st.nmissj > 0 || st.nmissg > 0) {
    int info = 0;
    FDINTV(st, info, msglvl, lvlder, n, nnlcon, ldcj, ldcju, bigbnd, fprec, fdnorm, fobj, objfun, cnlfun,
           kneeds, bl, bu, cs, wrk1, wrk2, cjacs, cjacus, grads, gradus, hforwd, hcntrl, xs, dx, w, lenw,
           iusr, rusr);
    if (info < 0) {
      inform = info;
      return;
    }
    if (st.dif_class == kDifFixed || st.dif_class == kDifUser) {
      NPFDGR(st, st.difmode == 2, info, ldcj, ldcju, n, nnlcon, bigbnd, cdint, fdint, fdnorm, fobj, cnlfun,
             objfun, kneeds, bl, bu, cs, wrk1, wrk2, cjacs, cjacus, grads, gradus, hforwd, hcntrl, xs, w,
             lenw, iusr, rusr);
      if (info < 0) {
        inform = info;
        return;
      }
    }
  }
  inform = infog + infocj;
}

}  // namespace qv::optim
