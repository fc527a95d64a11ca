#include "fit/fitfun.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "algebra/formmach.hpp"
#include "fit/covfit.hpp"
#include "fit/fitcb.hpp"
#include "fit/objcel.hpp"
#include "fit/ordfit.hpp"
#include "fit/rawfit.hpp"
#include "fit/tablefit.hpp"
#include "fit/userfit.hpp"
#include "fit/vlfit.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using runtime::kMsgUnit;
using runtime::Out;

namespace {

// Which steps of an evaluation a group takes part in, by its kind and code
// and the constraint mode.
bool in_copy(int kind, int code, bool conmod) {
  switch (kind) {
    case jobbase::kKindData: return !conmod;
    case jobbase::kKindConstraint: return conmod;
    case jobbase::kKindCalc: return code != jobbase::kFitTrailCalc;
    case jobbase::kKindSim: return true;
    default: return false;
  }
}
bool in_eval(int kind, int code, bool conmod) {
  switch (kind) {
    case jobbase::kKindData: return true;
    case jobbase::kKindConstraint: return conmod;
    case jobbase::kKindCalc: return code != jobbase::kFitTrailCalc;
    default: return false;  // a simulation group evaluates what it needs itself
  }
}
bool in_fit(int kind, bool conmod) {
  switch (kind) {
    case jobbase::kKindData:
    case jobbase::kKindSim: return true;
    case jobbase::kKindConstraint: return conmod;
    default: return false;
  }
}

// Whether a group holds the data its fit function reads: raw data (code 9),
// at least one case record (10, 12 to 14; a selection may have dropped them
// all) or a contingency table with a count (11: a table whose cells are all
// 0 or missing has nothing to fit).  The covariance fits check their
// observed matrix themselves; the other codes read none.
bool has_data(const GroupView& G, int code) {
  switch (code) {
    case jobbase::kFitRaw: return G.col(gcol::kRawData) >= 1.0;
    case jobbase::kFitVL:
    case jobbase::kFitOrd12:
    case jobbase::kFitOrd13:
    case jobbase::kFitOrdMix: {
      const int first = G.icol(gcol::kRecords);
      return first >= 4 && G.X(first - 1) >= 1.0;
    }
    case jobbase::kFitTable: return G.col(gcol::kObsData) >= 1.0 && G.col(gcol::kNobs) > 0.0;
    default: return true;
  }
}

// A fit function whose group has no data stops before it reads any: a
// blank line and one that names what is missing, then the error of a data
// matrix not supplied.
[[noreturn]] void no_data(const GroupView& G, int code) {
  const char* what =
      code == jobbase::kFitTable
          ? (G.col(gcol::kObsData) >= 1.0
                 ? " This group's contingency table (CTable) has no counts: every cell is 0 or missing"
                 : " This group's fit needs a contingency table (CTable) and it has none")
      : code == jobbase::kFitRaw
          ? " This group's fit needs raw data (RAw, Rectangular or VLength) and it has none"
          : " This group's fit needs case records (VLength, Rectangular or ORdinal) and it has none";
  runtime::write_list(runtime::kStdout, {});
  runtime::write_list(runtime::kStdout, {what});
  jobbase::ERRMSG(220);
}

// Component models of group g for its fit code: the group's NM for the
// mixture codes, else 1.
int models(Vec1<int> IX, int NG, int g, int code) {
  if (code == jobbase::kFitVL || code == jobbase::kFitOrdMix)
    return std::max(jobbase::IGRPTB(IX, NG, jobbase::igcol::kModels, g), 1);
  return 1;
}

// The debug lines at entry: the trial vector.
void debug_entry(int n, std::span<const double> x) {
  runtime::write_list(kMsgUnit, {});
  runtime::write_list(kMsgUnit, {" Optimizer parameter vector (order may differ from Qv spec)"});
  const std::size_t m = n > 0 ? std::min(static_cast<std::size_t>(n), x.size()) : 0;
  runtime::write_fmt(kMsgUnit, "(5(1x,d15.7))", {Out(x.first(m))});
}

// The debug lines at exit.
void debug_exit(Vec1<double> X, int NG, bool conmod, double fobj) {
  const auto& oc = OBJCEL;
  if (conmod) {
    runtime::write_list(kMsgUnit, {" Evaluating constraints"});
    for (int g = 1; g <= NG; ++g) {
      const GroupView G{X, NG, g};
      if (G.icol(gcol::kKind) != jobbase::kKindConstraint) continue;
      runtime::write_fmt(kMsgUnit, "(a,i4)", {" Constraint functions for group", g});
      const int nc = G.icol(gcol::kNstat);
      const int r = G.icol(gcol::kCovResult);
      if (nc > 0 && r >= 1)
        runtime::write_fmt(kMsgUnit, "(5(1x,d15.7))",
                           {Out(std::span<const double>(X.ptr(r), static_cast<std::size_t>(nc)))});
    }
    return;
  }
  runtime::write_list(kMsgUnit, {" Group Fntype    Value"});
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    runtime::write_fmt(kMsgUnit, "(2x,i3,4x,i3,1x,d15.7)", {g, G.icol(gcol::kFitCode), G.col(gcol::kFitValue)});
  }
  runtime::write_list(kMsgUnit, {" Total function value=", fobj * oc.FSIGN * oc.FSCALE});
  runtime::write_list(kMsgUnit, {" Scaled function value returned=", fobj});
}

}  // namespace

void FITFUN(int& mode, int n, std::span<const double> x, double& fobj, std::span<double> /*gobj*/,
            int /*kfirst*/, std::span<int> iusr, std::span<double> rusr) {
  auto& oc = OBJCEL;
  auto& m = jobbase::MAINPR;
  const Vec1<double> X(rusr);
  const Vec1<int> IX(iusr);
  const int NG = jobbase::icell(X(1));
  const bool conmod = oc.CONMOD;
  const int debug = jobbase::FITOPT.DB;

  // Copy step: the point given, wherever the caller keeps it (the
  // optimizer's iterate, a difference point, a trial point of the search),
  // into the parameters' elements, once for the job.
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (in_copy(G.icol(gcol::kKind), G.icol(gcol::kFitCode), conmod)) {
      CPYPAR(X, IX, x);
      break;
    }
  }

  oc.FMODE = mode;
  fobj = 0.0;
  oc.NNONPD = 0;
  if (debug != 0) debug_entry(n, x);

  // Evaluation step.  The formula machine records how high its temporaries
  // reach, so that the job's workspace share and the next job's clearing
  // cover them.
  auto& fm = algebra::FMFLAG;
  fm.ACCNT = true;
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    const int code = G.icol(gcol::kFitCode);
    if (!in_eval(G.icol(gcol::kKind), code, conmod) || code == jobbase::kFitUser) continue;
    int status = 0;
    m.IGRP = g;
    fm.INFIT = true;
    algebra::EVCOMP(X, 0, status);
    fm.INFIT = false;
    fm.NMODEL = models(IX, NG, g, code);
    algebra::EVFORM(X, jobbase::fkind::kCov, g, g, status);
  }
  fm.ACCNT = false;

  // Fit step: in constraint mode it ends at once, leaving the constraint
  // groups' values for the constraint callback.
  bool ended = false;
  for (int g = 1; g <= NG && !ended; ++g) {
    const GroupView G{X, NG, g};
    if (!in_fit(G.icol(gcol::kKind), conmod)) continue;
    if (conmod) {
      ended = true;
      break;
    }
    const int code = G.icol(gcol::kFitCode);
    m.IGRP = g;
    fm.NMODEL = models(IX, NG, g, code);
    if (!has_data(G, code)) no_data(G, code);
    switch (code) {
      case jobbase::kFitLS:
      case jobbase::kFitML:
      case jobbase::kFitAWLS:
      case jobbase::kFitDWLS:
      case jobbase::kFitGLS:
        COVFIT(code, X, NG, g, fobj);
        break;
      case jobbase::kFitNone:
        break;
      case jobbase::kFitUser:
      case jobbase::kFitUserRows:
        user_fit(code, X, NG, g, fobj);
        break;
      case jobbase::kFitRaw:
        raw_fit(X, NG, g, fobj);
        break;
      case jobbase::kFitVL:
        vl_fit(X, IX, NG, g, fobj);
        break;
      case jobbase::kFitTable:
        table_fit(X, NG, g, fobj);
        break;
      case jobbase::kFitOrd12:
      case jobbase::kFitOrd13:
      case jobbase::kFitOrdMix:
        ordinal_fit(X, IX, NG, g, fobj);
        break;
      default:
        runtime::write_list(runtime::kStdout, {"Fit function code is ", code});
        jobbase::ERRMSG(37);
    }
  }

  if (!ended) {
    // The interval search's objective.
    if (oc.CIMODE == 1) {
      const double e = X(oc.CIELPOS);
      fobj = oc.CIWGT * std::pow(oc.CITARG - fobj, 2.0) + (oc.CIUPPR == 1 ? -e : e);
    }
    // A total that is not finite cannot be computed.  The fit functions put
    // finite penalties in place of their own values; this is a sum or an
    // interval objective that overflowed.  It is returned as the largest
    // finite value with MODE -1, and never fixes the scale.
    const bool finite = std::isfinite(fobj);
    if (!finite) {
      fobj = std::numeric_limits<double>::max();
      oc.FMODE = -1;
    }
    // The scale of the run, fixed by its first evaluation.
    if (!oc.FFIRST) {
      runtime::write_list(runtime::kStdout, {});
      runtime::write_list(kMsgUnit, {" At your starting values, the function value is ", fobj});
      oc.FSCALE = finite ? std::abs(fobj) : 1.0;
      if (oc.FSCALE < 1.0) oc.FSCALE = 1.0;
      oc.FSIGN = fobj < 0.0 ? -1.0 : 1.0;
      oc.FFIRST = true;
    }
    fobj /= oc.FSCALE;
    if (oc.HESFLG) fobj = fobj * oc.FSCALE * 0.5;
  }

  if (debug != 0) debug_exit(X, NG, conmod, fobj);
  if (oc.FMODE == -1) {
    mode = -1;
    ++oc.NBADFN;
  }
}

}  // namespace qv::fit
