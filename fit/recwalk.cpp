#include "fit/recwalk.hpp"

#include <algorithm>

#include "algebra/formmach.hpp"
#include "fit/objcel.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
namespace igcol = jobbase::igcol;
using jobbase::GroupView;
using jobbase::icell;
using jobbase::IGRPTB;

namespace {

void evaluate(Vec1<double> X, int kind, int g) {
  int status = 0;
  algebra::EVFORM(X, kind, g, g, status);
}

}  // namespace

RecordGroup record_group(Vec1<double> X, Vec1<int> IX, int NG, int g) {
  const GroupView G{X, NG, g};
  RecordGroup grp;
  grp.X = X;
  grp.IX = IX;
  grp.NG = NG;
  grp.g = g;
  const int dword = G.icol(gcol::kDefVars);
  grp.d = dword != 0 ? icell(X(dword)) : 0;
  grp.p = G.icol(gcol::kNvar) - grp.d;
  grp.first = G.icol(gcol::kRecords);
  grp.n = grp.first >= 2 ? icell(X(grp.first - 1)) : 0;
  grp.trouble = grp.first >= 4 ? icell(X(grp.first - 3)) : 0;
  grp.ids = G.icol(gcol::kIdCodes);
  const int code = G.icol(gcol::kFitCode);
  grp.nmodel = (code == jobbase::kFitVL || code == jobbase::kFitOrdMix)
                   ? std::max(IGRPTB(IX, NG, igcol::kModels, g), 1)
                   : 1;
  grp.weights = grp.nmodel >= 2 || G.col(gcol::kWeightFormula) > 0.0;
  grp.defs = grp.d > 0 && jobbase::FITSTA.DEFSW != 0;
  grp.defmap = IX(g + 1);
  grp.same_means = IGRPTB(IX, NG, igcol::kSameMeans, g) == 1;
  grp.same_cov = IGRPTB(IX, NG, igcol::kSameCov, g) == 1;
  grp.same_weights = IGRPTB(IX, NG, igcol::kSameWeights, g) == 1;
  return grp;
}

void forget_record_areas(Vec1<double> X, int NG) {
  for (int g = 1; g <= NG; ++g) GroupView{X, NG, g}.col(gcol::kFitReserved) = 0.0;
}

RecordWalk::RecordWalk(const RecordGroup& grp, BlockWords words, int T) : grp_(grp), words_(words), T_(T) {
  auto& m = jobbase::MAINPR;
  auto X = grp.X;
  const GroupView G{X, grp.NG, grp.g};
  base_ = G.icol(gcol::kFitReserved);
  top0_ = m.WSTOP;
  // The area is laid out again when the group has none (the fit forgets
  // every group's area when a job starts: the header's words below are no
  // proof, a continued job may have stored anything over them), when it was
  // laid out for another job, and whenever the workspace top has fallen
  // below it (its words may then have been used by someone else).
  // Otherwise it serves every run of the job: the records do not change.
  first_ = base_ < 1 || X(base_) < 0.0 || X(base_ + 1) < 0.0 || icell(X(base_ + 2)) != m.JOBNO ||
           m.WSTOP < base_ + kHeader + icell(X(base_)) + icell(X(base_ + 1));
  OBJCEL.RAWALC = false;
  evaluate(X, jobbase::fkind::kCov, grp.g);
  evaluate(X, jobbase::fkind::kMeans, grp.g);
  if (first_) {
    base_ = m.WSTOP;
    int largest = 0;
    int r = grp.first;
    for (int i = 0; i < grp.n; ++i) {
      const int len = icell(X(r));
      largest = std::max(largest, len - grp.d);
      r += 2 + 2 * len;
    }
    const int block = words_(largest, T_) * grp.nmodel;
    jobbase::check_room(static_cast<long long>(base_) + kHeader + block);
    X(base_) = 0.0;
    X(base_ + 1) = block;
    X(base_ + 2) = m.JOBNO;
    G.col(gcol::kFitReserved) = base_;
  }
  area_ = base_ + kHeader + icell(X(base_));
  m.WSTOP = std::max(m.WSTOP, area_);
  top0_ = std::max(top0_, area_ + icell(X(base_ + 1)));
  r_ = grp.first;
}

void RecordWalk::reserve(int words) {
  auto X = grp_.X;
  const int block = icell(X(base_ + 1));
  jobbase::check_room(static_cast<long long>(base_) + kHeader + words + block);
  X(base_) = words;
  area_ = base_ + kHeader + words;
  top0_ = std::max(top0_, area_ + block);
  jobbase::MAINPR.WSTOP = area_;
}

void RecordWalk::prepare(const Record& rec) {
  auto X = grp_.X;
  auto IX = grp_.IX;
  const int debug = jobbase::FITOPT.DB;
  const int g = grp_.g;
  if (rec.i == 0 && grp_.weights) {
    if (debug == 2) runtime::write_list(runtime::kMsgUnit, {" First Case #", rec.i + 1});
    evaluate(X, jobbase::fkind::kWeight, g);
  }
  if (!grp_.defs) return;
  // Definition values equal to the record before's leave the model as it
  // is; without reuse every record with a flag re-evaluates.
  const bool changed = rec.i == 0 || (rec.w & 2) != 0 || (!RECCEL.REUSE && rec.w != 0);
  if (!changed) return;
  const int map = grp_.defmap;
  const int pairs = map >= 1 ? IX(map) : 0;
  for (int k = 1; k <= pairs; ++k) {
    const int number = IX(map + 2 * k - 1);
    const int word = IX(map + 2 * k);
    if (number >= 1 && number <= grp_.d) X(word) = X(rec.defvals + number - 1);
  }
  auto& fm = algebra::FMFLAG;
  int status = 0;
  fm.INFIT = true;
  algebra::EVCOMP(X, 0, status);
  fm.INFIT = false;
  if (debug == 2) runtime::write_list(runtime::kMsgUnit, {" Re-eval Case #", rec.i + 1});
  const bool codes = (rec.w & 1) != 0;
  if (!grp_.same_cov || codes) evaluate(X, jobbase::fkind::kCov, g);
  if (!grp_.same_means || codes) evaluate(X, jobbase::fkind::kMeans, g);
  if (grp_.weights && !grp_.same_weights) evaluate(X, jobbase::fkind::kWeight, g);
}

int RecordWalk::reserved_words() const { return icell(grp_.X(base_)); }

void RecordWalk::finish() { jobbase::MAINPR.WSTOP = top0_; }

double RecordWalk::weight(int e) const {
  if (!grp_.weights) return 1.0;
  const GroupView G{grp_.X, grp_.NG, grp_.g};
  return grp_.X(G.icol(gcol::kWeightResult) + e);
}

}  // namespace qv::fit
