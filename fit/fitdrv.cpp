#include "fit/fitdrv.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "fit/fitcb.hpp"
#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/hessian.hpp"
#include "fit/likcis.hpp"
#include "fit/objcel.hpp"
#include "fit/prparm.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "numlib/errexit.hpp"
#include "numlib/random.hpp"
#include "optim/nlsqp.hpp"
#include "optim/options.hpp"
#include "jobbase/htmlrep.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using runtime::kMsgUnit;
using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_fmt_full;
using runtime::write_list;

namespace {

// The perturbation factor of the JI option (the single-precision 0.1).
constexpr double kJiggle = static_cast<double>(0.1f);

// Sends the numerical library's error and advisory messages to unit u.
void library_units(int u) {
  int e = u, a = u;
  numlib::ERRUNIT(1, e);
  numlib::ADVUNIT(1, a);
}

// Opens the message unit: a scratch file, or OPTDUMP.OUT under the NA
// option (started anew by the run's first fit that writes it, added to by
// the later ones).
void open_message_unit() {
  auto& d = FITDRVC;
  runtime::OpenSpec spec;
  if (jobbase::FITOPT.NA == 0) {
    spec.status = "SCRATCH";
  } else {
    spec.file = "OPTDUMP.OUT";
    spec.status = d.DUMPED ? "UNKNOWN" : "REPLACE";
    spec.position = d.DUMPED ? "APPEND" : "ASIS";
    d.DUMPED = true;
  }
  runtime::open_unit(kMsgUnit, spec);
}

std::span<double> words(Vec1<double> X, int at, long long n) {
  return std::span<double>(X.ptr(at), static_cast<std::size_t>(n));
}
std::span<int> iwords(Vec1<int> IX, int at, long long n) {
  return std::span<int>(IX.ptr(at), static_cast<std::size_t>(n));
}

// The perturbation of the JI option.
void jiggle(Vec1<double> X) {
  const auto& f = FITARR;
  write_list(kStdout, {" Jiggling parameter estimates..."});
  for (int i = 1; i <= f.N; ++i) {
    double& x = X(f.X + i - 1);
    x = x + kJiggle * (x + 0.5);
  }
}

// Every group's fit-function code := code.
void set_codes(Vec1<double> X, int code) {
  const int NG = jobbase::icell(X(1));
  for (int g = 1; g <= NG; ++g) GroupView{X, NG, g}.col(gcol::kFitCode) = code;
}

// The objective as the constraint callback and the Hessian take it.
const Fitobj& objective() {
  static const Fitobj f = &FITFUN;
  return f;
}

// One evaluation of the objective at the parameter vector.
double evaluate(Vec1<double> X, Vec1<int> IX) {
  const auto& f = FITARR;
  double fobj = 0.0;
  FITFUN(FITDRVC.MODE, f.N, words(X, f.X, f.N), fobj, words(X, f.GOBJ, f.N), 0, IX.span(), X.span());
  return fobj;
}

// One optimizer run from the parameter vector under the option lines sent
// last.
void nlsqp_run(Vec1<double> X, Vec1<int> IX) {
  const auto& f = FITARR;
  auto& d = FITDRVC;
  for (int i = 1; i <= f.N; ++i) IX(f.ISTATE + i - 1) = 0;
  d.INFORM = -1;
  const optim::Objfun objfun = &FITFUN;
  const optim::Cnlfun cnlfun = [](int& mode, int nnlcon, int n, int ldjac, std::span<const int> kneed,
                                  std::span<const double> x, std::span<double> c, std::span<double> cjac,
                                  int kfirst, std::span<int> iusr, std::span<double> rusr) {
    FITCON(objective(), mode, nnlcon, n, ldjac, kneed, x, c, cjac, kfirst, iusr, rusr);
  };
  const long long n = f.N;
  optim::NLSQP(f.N, f.NCLIN, f.NNLCON, f.LDA, f.LDJAC, f.LDRFAC, words(X, f.ALIN, f.LDA * n),
               words(X, f.BLOW, f.NCTOTL), words(X, f.BUPP, f.NCTOTL), cnlfun, objfun, d.INFORM, d.MAJITS,
               iwords(IX, f.ISTATE, f.NCTOTL), words(X, f.CNLVAL, f.LDJAC), words(X, f.CNLJAC, f.LDJAC * n),
               words(X, f.XMULT, f.NCTOTL), d.FOBJ, words(X, f.GOBJ, n), words(X, f.RFAC, n * n),
               words(X, f.X, n), iwords(IX, f.IW, f.NIW), f.NIW, words(X, f.W, f.NW), f.NW, IX.span(),
               X.span());
}

// The optimizer run of step 6: the option lines, then the run.
void run_optimizer(Vec1<double> X, Vec1<int> IX) {
  FITOPL(FITDRVC.WARM, [](std::string_view line) { optim::NPOPLN(line); });
  nlsqp_run(X, IX);
}

// The warnings about the run and its code line (step 9).
void run_warnings(int nonpd) {
  const auto& d = FITDRVC;
  const auto& mv = MVNCNT;
  if (nonpd > 0) {
    jobbase::WARNHD();
    write_list(kStdout, {});
    if (jobbase::FITOPT.OPTFIT < 3)
      write_fmt_full(kStdout, "(a,i4,a,i4,a)",
                     {" Penalty function is in operation for ", nonpd, " groups; Chi-squared wrong"});
    else
      write_fmt_full(kStdout, "(a,i4,a,i4,a)",
                     {" Penalty function is in operation for ", nonpd, " groups or cases; Fit function wrong"});
  }
  if (mv.NPDMVN > 0) {
    jobbase::WARNHD();
    write_list(kStdout, {" During optimization, the multivariate normal integration"});
    write_list(kStdout, {" routine was asked to use a non-positive definite covariance"});
    write_list(kStdout, {" matrix", mv.NPDMVN, " times."});
    write_list(kStdout, {" If your fit is very bad, this may be a cause of it."});
  }
  if (mv.ACCMVN > 0) {
    jobbase::WARNHD();
    write_list(kStdout, {" During optimization, the multivariate normal integration"});
    write_list(kStdout, {" routine gave less than requested accuracy ", mv.ACCMVN, " times."});
  }
  const int nbad = OBJCEL.NBADFN;
  if (d.INFORM != 0 || nbad > 0) {
    jobbase::WARNHD();
    write_list(kStdout, {});
    // With result code 0 no advice above explains the warning: say what
    // happened, and how often.
    if (d.INFORM == 0)
      write_list(kStdout, {" The fit function could not be computed at " + std::to_string(nbad) +
                           (nbad == 1 ? " trial point" : " trial points") + " during the search"});
    write_list(kStdout, {" Minimization may not be successful.  See above"});
  }
  switch (d.INFORM) {
    case 6: write_list(kStdout, {" CODE RED - Hessian/precision problem"}); break;
    case 3: write_list(kStdout, {" CODE RED - constraint error"}); break;
    case 4: write_list(kStdout, {" CODE BLUE - not enough iterations"}); break;
    case 1: write_list(kStdout, {" CODE GREEN - it probably was OK"}); break;
    default: break;
  }
  write_list(kStdout, {});
}

// Where a pass of the driver goes next.
enum class Next { PointA, PointB, Done };

// Whether the pass that has just been reported is the job's last: no
// two-stage or Try Hard restart follows it.  Without free parameters there
// is nothing to improve on and no other place to start from: every Try Hard
// run would repeat the report.
bool last_pass() {
  const auto& o = jobbase::FITOPT;
  if (o.LSML == 1) return false;
  return !FITARR.FREEP || !(o.TH < 0.0 || o.TH > 0.0);
}

// The two-stage and Try Hard restarts after a pass (step 11).
Next restart(Vec1<double> X) {
  auto& o = jobbase::FITOPT;
  const auto& f = FITARR;
  if (last_pass()) return Next::Done;
  if (o.LSML == 1) {
    o.OPTFIT = 1;
    set_codes(X, jobbase::kFitML);
    o.LSML = -1;
    return Next::PointB;
  }
  if (o.TH < 0.0) {
    write_list(kStdout, {});
    write_list(kStdout, {" Now I'm trying to improve on the current solution for you..."});
    o.TH = o.TH + 1.0;
    FITDRVC.WARM = true;
    if (o.JI) jiggle(X);
    return Next::PointA;
  }
  o.TH = o.TH - 1.0;
  write_list(kStdout, {});
  write_list(kStdout, {" Try Hard option in effect - restarting from different place"});
  for (int i = 1; i <= f.N; ++i) {
    const double lo = X(f.BLOW + i - 1), hi = X(f.BUPP + i - 1);
    X(f.X + i - 1) = lo == hi ? lo : numlib::RNDUAB(lo, hi);
  }
  if (o.LSML == -1) {
    o.LSML = 1;
    o.OPTFIT = 0;
    set_codes(X, jobbase::kFitLS);
  }
  return Next::PointB;
}

// A keyword line: the keyword left-justified in columns 1-40 (a text of
// 40 characters, so that the A40 field does not right-justify it), then the
// value field.
std::string keyword_line(std::string_view key, std::string_view fmt, runtime::Out value) {
  std::string k(key);
  k.resize(40, ' ');
  return runtime::write_internal(fmt, {k, value});
}

}  // namespace

void FITOPL(int warm, const Optsink& sink) {
  const auto& o = jobbase::FITOPT;
  auto real_line = [&sink](const char* key, double v) {
    if (v != 0.0) sink(keyword_line(key, "(a40,d10.4)", v));
  };
  sink("Infinite Bound Size       = 1.0e+15");
  sink("Minor print level=0");
  sink("Hessian=No");
  if (o.DE == 1) sink("Default");
  sink("Derivative level=0");
  sink(warm == 1 ? "Warm start" : "Cold start");
  sink("Verify level=3");
  real_line("Function precision=", o.FU);
  real_line("Feasibility tolerance=", o.FE);
  if (o.IT == -1) {
    if (o.DE != 1) sink("Major iterations=1000 ");
  } else {
    sink(keyword_line("Major Iterations=", "(a40,i10)", o.IT));
  }
  if (o.NA == 0)
    sink("Major print level=0");
  else
    sink(keyword_line("Major print level=", "(a40,i4)", o.NA));
  real_line("Optimality tolerance=       ", o.OP);
  real_line("Linesearch tolerance=         ", o.LI);
  real_line("Infinite step size =         ", o.STE);
  real_line("Difference interval =        ", o.FI);
}

void OPTMSG(int inform, int itmax) {
  auto line = [](const char* text) { write_list(kStdout, {text}); };
  jobbase::WARNHD();
  write_list(kStdout, {});
  line(" I am not sure I have found a solution that satisfies");
  line("          Kuhn-Tucker conditions for a minimum.");
  write_list(kStdout, {"          The IFAIL parameter is ", inform});
  write_list(kStdout, {});
  switch (inform) {
    case 1:
      line("We probably have a minimum here, but you might consider trying different");
      line("starting values.  You can randomize these with TH=n on  the OU line, where");
      line("n is the number of times you wish to do this.");
      line("I STRONGLY recommend BOundaries to be set if you use TH");
      break;
    case 4:
      // The limit the optimizer ran under: the IT value, 1000, or under DE
      // the optimizer's own default for the problem.
      line("The number of iterations has exceeded maximum.  Try increasing it with");
      write_list(kStdout, {"IT=n on the OU line.  Current value is", itmax});
      break;
    case 6:
      line("Looks like I got stuck here.  Check the following:");
      line("1. The model is correctly specified");
      line("2. Starting values are good");
      line("3. You are not already at the solution ");
      write_list(kStdout, {});
      line("The error can arise if the Hessian is ill-conditioned");
      write_list(kStdout, {});
      line("You can try resetting it to an identity matrix and fit");
      line("from the solution by putting TH=-n on the OU line");
      line("where n is the number of refits that you want to do ");
      write_list(kStdout, {});
      line("If all else fails try putting NA=30 on the OU line ");
      line("and examine the file OPTDUMP.OUT and the optimizer manual ");
      write_list(kStdout, {});
      break;
    case 9:
      line("Something went wrong - perhaps you made a mistake with the BOundary line or STarting values?");
      line("I recommend that you put NA=30 on the OU line and then examine the OPTDUMP.OUT file");
      break;
    case -1:
      line(" Somehow your fit function cannot be computed for these parameter estimates");
      line(" This may be because a matrix is not positive definite, or you have tried");
      line(" to divide by zero or a very small number or something like that");
      line(" Try different starting values is the best I can offer for now.");
      break;
    default:
      line("This is an unusual error.  Please look in the optimizer manual for assistance.");
      line("It may be that you specified a constraint incorrectly,");
      line("or misspecified the model.  Check everything carefully .");
      line("I recommend that you put NA=30 on the OU line and then examine the ");
      line("OPTDUMP.OUT file");
      line("I'm incredibly sorry I can't be of more help.");
      break;
  }
  write_list(kStdout, {});
}

namespace {

// The starting weight of a search: (c / 3.8414)^2 plus the single-precision
// 1e-5.
double start_weight(double c) {
  const double r = c / 3.8414;
  return r * r + static_cast<double>(1e-5f);
}

// The weight of the final run of a search.  The penalty objective
// w (T - F)^2 -/+ x_e is least where F falls short of T by 1/(2 w F'), which
// leaves the limit about 1/(2 w F'^2) beyond the profile root; a run at a
// thousand times the weight, from where the search ended, shrinks that bias
// a thousandfold.
constexpr double kPolish = 1000.0;

// One limit: the penalty runs from the current parameter vector, the weight
// raised while the target is missed, at most six runs and one reset of the
// Hessian factor; then the final run at the higher weight.  Leaves the limit
// in X(e); returns the restart count and sets fail to the result code.
int limit_search(Vec1<double> X, Vec1<int> IX, std::string_view label, bool upper, double c, int& fail) {
  auto& d = FITDRVC;
  auto& oc = OBJCEL;
  const auto& f = FITARR;
  const int e = oc.CIELPOS;
  double w = start_weight(c);
  oc.CIUPPR = upper ? 1 : 0;
  oc.CIWGT = w;
  int r = 0;
  d.INFORM = -1;
  OFFZER(X.from(f.X), f.N);
  bool reset = false;
  double delta = 0.0;  // (T - F)^2 reached by the last run
  for (;;) {
    if (upper)
      write_list(kMsgUnit, {" Starting optimization to find upper interval on ", std::string(label)});
    else
      write_list(kMsgUnit, {" Starting optimization to find lower interval on ", std::string(label.substr(0, 16))});
    nlsqp_run(X, IX);
    const double fv = d.FOBJ * oc.FSCALE;
    d.FOBJ = fv;
    delta = (upper ? fv + X(e) : fv - X(e)) / w;
    if (delta > 0.001) {
      w = std::max(100.0, 1000.0 * delta * w);
      oc.CIWGT = w;
      write_list(kMsgUnit, {" Conbas reset to ", w, " restarting"});
    } else {
      if ((d.INFORM != 4 && d.INFORM != 6) || reset) break;
      reset = true;
      jobbase::IDENT(X.from(f.RFAC), f.N);
    }
    if (r >= 5) break;
    r += 1;
  }
  // The final run at the higher weight from where the search ended.  Its
  // point is kept when it lies nearer the target (T - F)^2 than the search's
  // own; the search's result code stands either way.
  const int inform = d.INFORM;
  std::vector<double> keep(static_cast<std::size_t>(f.N));
  for (int i = 1; i <= f.N; ++i) keep[static_cast<std::size_t>(i - 1)] = X(f.X + i - 1);
  const double wp = w * kPolish;
  oc.CIWGT = wp;
  nlsqp_run(X, IX);
  const double fp = d.FOBJ * oc.FSCALE;
  const double deltap = (upper ? fp + X(e) : fp - X(e)) / wp;
  if (!(deltap <= delta)) {
    for (int i = 1; i <= f.N; ++i) X(f.X + i - 1) = keep[static_cast<std::size_t>(i - 1)];
    evaluate(X, IX);
  }
  oc.CIWGT = w;
  d.INFORM = inform;
  fail = d.INFORM;
  return r;
}

}  // namespace

void LIKCIS(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB) {
  auto& d = FITDRVC;
  auto& oc = OBJCEL;
  auto& m = jobbase::MAINPR;
  const auto& f = FITARR;
  const auto& fe = jobbase::FESTAT;
  const int NG = jobbase::icell(X(1));
  bool any = false;
  for (int g = 1; g <= NG; ++g) any = any || jobbase::IGRPTB(IX, NG, jobbase::igcol::kIntervals, g) != 0;
  if (!any) return;

  // The estimates saved above WSTOP (one spare word first); the fit at the
  // solution.
  oc.FFIRST = false;
  const int save = m.WSTOP + 1;
  jobbase::CHKMEM(m.WSTOP + f.N + 1);
  for (int i = 1; i <= f.N; ++i) X(save + i - 1) = X(f.X + i - 1);
  m.WSTOP += f.N + 1;
  const double Fstar = d.FOBJ;
  auto restore = [&] {
    for (int i = 1; i <= f.N; ++i) X(f.X + i - 1) = X(save + i - 1);
  };

  for (int g = 1; g <= NG; ++g) {
    const int blk = jobbase::IGRPTB(IX, NG, jobbase::igcol::kIntervals, g);
    if (blk == 0) continue;
    const int nreq = jobbase::icell(X(blk));
    write_list(kStdout, {});
    write_list(kStdout, {});
    write_list(kStdout, {nreq, " Confidence intervals requested in group ", g});
    write_list(kStdout, {});
    write_fmt(kStdout, "(2A)", {"  Matrix Element Int.      Estimate         Lower       ", "  Upper  Lfail Ufail"});
    oc.CIMODE = 1;
    if (jobbase::FITOPT.IT < 500) optim::NPOPLN(keyword_line("Major Iterations=", "(a40,i10)", 500));

    for (int k = 0; k < nreq; ++k) {
      const int r = blk + 1 + 4 * k;
      const int e = jobbase::icell(X(r));
      const double c = X(r + 1);
      const double p = X(r + 2);
      const std::string label = LABTAB.get(jobbase::icell(X(r + 3)));
      const double E0 = X(e);
      if (CIELEM(X, g, NG, label) == 0) {
        cirow(label, p, E0, E0, E0, 0, 0, 0, 0);
        write_list(kStdout, {" Note: above element not modifiable"});
        if (fe.FEACTV && fe.MACHOUT) jobbase::FECINT(label, E0, E0, E0, 0, 0, 0, 0);
        continue;
      }
      if (CILIST(X, g, NG, label, p, 0, 0, 0, 0, 0, 0, 0, fe.FEACTV, fe.MACHOUT, 0) == 1) continue;

      oc.CIELPOS = e;
      oc.CITARG = Fstar + c;
      int Lfail = 0, Ufail = 0;
      const int Lcount = limit_search(X, IX, label, false, c, Lfail);
      double lower = X(e);

      oc.CIMODE = 0;
      write_list(kMsgUnit, {" IADDX,N ", save, f.N});
      restore();
      evaluate(X, IX);
      oc.CIMODE = 1;
      const int Ucount = limit_search(X, IX, label, true, c, Ufail);
      double upper = X(e);

      if (E0 < lower) {
        Lfail = 99;
        lower = E0;
      }
      if (upper < E0) {
        Ufail = 99;
        upper = E0;
      }
      cirow(label, p, E0, lower, upper, Lfail, Lcount, Ufail, Ucount);
      if (fe.FEACTV && fe.MACHOUT) jobbase::FECINT(label, E0, lower, upper, Lfail, Lcount, Ufail, Ucount);
      CILIST(X, g, NG, label, p, E0, lower, upper, Lfail, Lcount, Ufail, Ucount, fe.FEACTV, fe.MACHOUT, 1);

      restore();
      d.FOBJ = Fstar;
      evaluate(X, IX);
    }
  }
  oc.CIMODE = 0;
}

void FITDRV(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB) {
  auto& d = FITDRVC;
  auto& oc = OBJCEL;
  const auto& f = FITARR;
  const auto& o = jobbase::FITOPT;
  const int NG = jobbase::icell(X(1));
  d.reset_job();
  // The covariance matrix and the Hessian's scratch of an earlier job are
  // gone with its workspace; its fit results are not this job's (the
  // statistics block sends its records before it has computed them all).
  SECOV.reset();
  FITRES.reset();
  CITAB.reset_job();

  open_message_unit();
  library_units(kMsgUnit);
  if (o.JI) {
    write_list(kStdout, {});
    jiggle(X);
  }
  d.WARM = false;

  Next next = Next::PointA;
  while (next != Next::Done) {
    if (next == Next::PointA) {
      // The Hessian factor starts as the identity.
      const long long n = f.N;
      for (long long k = 0; k < n * n; ++k) X(static_cast<int>(f.RFAC + k)) = 0.0;
      for (int i = 0; i < f.N; ++i) X(f.RFAC + i * (f.N + 1)) = 1.0;
    }

    // Restart point B: the start value, which fixes the run's scale.
    library_units(kMsgUnit);
    oc.FFIRST = false;
    oc.NPDWRN = false;
    oc.RAWALC = false;
    oc.NBADFN = 0;
    d.INFORM = 0;
    d.MODE = 0;
    d.FOBJ = evaluate(X, IX);

    if (f.FREEP) {
      run_optimizer(X, IX);
      if (d.INFORM != 0) OPTMSG(d.INFORM, optim::NPRUN.itmax);
      if (stderr_wanted(X) || o.CH) HESSEC(X, IX, objective());
    }

    // The unscaled fit function; trailing calculation groups get code 6.
    // The run's scale stays fixed: the evaluation at the solution below is
    // not a first call (it writes no start-value lines about the solution).
    d.FOBJ = d.FOBJ * oc.FSCALE;
    for (int g = NG; g >= 1; --g) {
      double& code = GroupView{X, NG, g}.col(gcol::kFitCode);
      if (jobbase::icell(code) != jobbase::kFitTrailCalc) break;
      code = jobbase::kFitNone;
    }

    // Every matrix and group value at the solution, then a blank record and
    // the listing.  The solution goes into the parameters' elements first:
    // outside constraint mode the objective copies nothing in a job whose
    // groups are all constraint groups, and the listing would show the last
    // point the constraints were evaluated at.
    CPYPAR(X, IX, words(X, f.X, f.N));
    evaluate(X, IX);
    write_list(kStdout, {});
    const int nonpd = oc.NNONPD;
    library_units(runtime::kStdout);
    int mode = prmode::kEstimates;
    PRPARM(X, IX, LABTAB, mode, jobbase::FESTAT.FEACTV, jobbase::FESTAT.MACHOUT);

    run_warnings(nonpd);

    Statin in;
    in.F = d.FOBJ;
    in.NPAR = f.NPAR;
    in.NSTAT = jobbase::FITSTA.NSTTOT;
    in.NNLCON = f.NNLCON;
    in.INFORM = d.INFORM;
    in.FINAL = last_pass();
    FITSTS(X, in);

    next = restart(X);
  }

  LIKCIS(X, IX, LABTAB);
}

}  // namespace qv::fit
