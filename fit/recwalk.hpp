// The walk over a group's variable-length (or rectangular) records that the
// record likelihood and the ordinal record fit functions share: the group's
// layout, the evaluation of its formulas, the definition values copied into
// the model with the re-evaluations they need, the mixing weights, and
// whether a record's own matrices must be built or are those of the record
// before it.
//
// A record at address r: X(r) = d + J (d definition values, J members),
// X(r + 1) = its pattern flag w, then d + J codes (definition values first),
// then d + J values in the same order; the next record is at r + 2 + 2(d + J).
// w = 0: same codes and definition values as the record before; 1: other
// codes; 2: other definition values; 3: both.
//
// Workspace: each group keeps an area from its base B (GRPTAB column 35),
// taken at WSTOP when the group first needs it in a job (and again whenever
// WSTOP is found below it).  The fit forgets every group's base when a job
// starts (forget_record_areas): a continued job stores its new material
// where the job before had its areas, so their words prove nothing.  B holds
// the words the fit function reserved for itself (its cache, from B + 3),
// B + 1 the words of the largest record's block, B + 2 the job number; the
// record's block (NMODEL blocks of the fit function's size for J members)
// follows the reserved words.  WSTOP never falls below where the walk found
// it: while a record is handled it stands past the record's block (and past
// every area above), and after the group past the group's largest block, so
// that the groups' areas never overlap and formula temporaries never reach
// them.
//
// Use:
//   RecordWalk walk(group, words);          // words(J): one model's block
//   if (walk.first_call()) walk.reserve(cache_words);   // optional
//   Record rec;
//   while (walk.next(rec)) {                // WSTOP set for the record
//     walk.prepare(rec);                    // definition values, re-evaluations
//     ... rec.rebuild: build the record's matrices, else reuse them ...
//   }
//   walk.finish();
#pragma once

#include <algorithm>

#include "jobbase/areas.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Switches of the walk, for the tests and benchmarks (run lifetime): with
// REUSE off every record builds its own matrices; with CACHE off the record
// likelihood inverts each record's matrix instead of each pattern's once.
struct Reccel {
  bool REUSE = true;
  bool CACHE = true;
  void reset() { *this = Reccel(); }
};
inline Reccel RECCEL;

// A record group's layout, read from its tables.
struct RecordGroup {
  Vec1<double> X;
  Vec1<int> IX;
  int NG = 0;
  int g = 0;
  int d = 0;          // definition values per record
  int p = 0;          // modelled variables (the model's order)
  int n = 0;          // records
  int first = 0;      // address of the first record
  int trouble = 0;    // address of the per-record trouble counts
  int ids = 0;        // address of the p identification codes
  int nmodel = 1;     // component models
  bool weights = false;  // mixing weights: NMODEL >= 2 or a weight formula
  bool defs = false;     // definition values go into the model (d > 0, switched on)
  int defmap = 0;        // IWORKS position of the group's definition map
  bool same_means = false;    // SAMEMEA: the means formula does not use them
  bool same_cov = false;      // SAMECOV: the covariance formula does not use them
  bool same_weights = false;  // SAMEWEI: the weight formula does not use them
};
RecordGroup record_group(Vec1<double> X, Vec1<int> IX, int NG, int g);

// Forgets the record areas of the job's NG groups (GRPTAB column 35 := 0),
// so that each group lays its area out again at its first walk of the job.
// The fit calls it once per job, before anything is evaluated.
void forget_record_areas(Vec1<double> X, int NG);

// One record of the walk.
struct Record {
  int i = -1;        // record number from 0
  int r = 0;         // address
  int J = 0;         // members
  int w = 0;         // pattern flag
  int codes = 0;     // address of the members' codes
  int values = 0;    // address of the members' values
  int defvals = 0;   // address of the definition values
  int block = 0;     // address of the record's block (model e's at block + e * words(J))
  bool cov_changed = true;    // the record's covariance differs from the record before's
  bool means_changed = true;  // its means (or thresholds) may differ
  bool rebuild = true;        // either: build the record's matrices
};

class RecordWalk {
 public:
  using BlockWords = int (*)(int J, int T);
  // Starts the walk of group grp (current group g): takes or finds the base,
  // clears RAWALC, evaluates the covariance and means formulas.  words(J, T)
  // gives one model's block for J members; T is passed on to it.
  RecordWalk(const RecordGroup& grp, BlockWords words, int T = 0);
  // Whether the area was laid out by this call (the group's first in the
  // job, or an area another user of the workspace may have overwritten).
  bool first_call() const { return first_; }
  // The words reserved at base + 3 for the fit function (only when
  // first_call(); checked against the workspace limit).
  void reserve(int words);
  // Address and number of the reserved words.
  int reserved() const { return base_ + kHeader; }
  int reserved_words() const;
  // Address of the record block (every record's, model e's at
  // block() + e * words(J)); the largest record's block fits there.
  int block() const { return area_; }
  // The next record; false after the last.  Sets WSTOP past the record's
  // block.  The first record (of each call) is always rebuilt.
  bool next(Record& rec);
  // The number of the record next() gives next.
  int next_index() const { return i_ + 1; }
  // Passes over the records before record i (not handled: their matrices
  // count as not built), so that next() gives record i.
  void skip_to(int i);
  // Evaluates what the record needs before its matrices are built: on the
  // first record the weight formula (debug 2: " First Case #"); when the
  // record's definition values differ from the record before's (or it is
  // the first), copies them into the model, evaluates the computed
  // matrices and re-evaluates the covariance, means and weight formulas
  // unless the group says they do not depend on them (debug 2:
  // " Re-eval Case #").
  void prepare(const Record& rec);
  // Ends the walk: WSTOP past the group's area (or where it was, if higher).
  void finish();
  // The mixing weight of model e (1 without weights).
  double weight(int e) const;

 private:
  const RecordGroup& grp_;
  BlockWords words_;
  int T_;
  static constexpr int kHeader = 3;
  int base_ = 0;
  int area_ = 0;  // first word of the record blocks
  int top0_ = 0;  // WSTOP at the start, raised past the area
  int lastJ_ = -1;     // the members of the last record and
  int lastWords_ = 0;  // its blocks' words
  int r_ = 0;
  int i_ = -1;
  bool first_ = false;
};

inline void RecordWalk::skip_to(int i) {
  auto X = grp_.X;
  for (; i_ + 1 < i; ++i_)
    if (i_ >= 0) r_ += 2 + 2 * jobbase::icell(X(r_));
}

// Per record, so defined here to be inlined into the fit functions' loops.
inline bool RecordWalk::next(Record& rec) {
  auto X = grp_.X;
  if (i_ >= 0) r_ += 2 + 2 * jobbase::icell(X(r_));
  ++i_;
  if (i_ >= grp_.n) return false;
  rec.i = i_;
  rec.r = r_;
  const int len = jobbase::icell(X(r_));
  rec.J = len - grp_.d;
  rec.w = jobbase::icell(X(r_ + 1));
  rec.codes = r_ + 2 + grp_.d;
  rec.defvals = r_ + 2 + len;
  rec.values = rec.defvals + grp_.d;
  rec.block = area_;
  if (rec.J != lastJ_) {
    lastJ_ = rec.J;
    lastWords_ = words_(rec.J, T_) * grp_.nmodel;
  }
  jobbase::MAINPR.WSTOP = std::max(top0_, area_ + lastWords_);
  if (i_ == 0 || !RECCEL.REUSE) {
    rec.cov_changed = rec.means_changed = rec.rebuild = true;
    return true;
  }
  const bool codes = (rec.w & 1) != 0;
  const bool defs = (rec.w & 2) != 0 && grp_.defs;
  rec.cov_changed = codes || (defs && !grp_.same_cov);
  rec.means_changed = codes || (defs && !grp_.same_means);
  rec.rebuild = rec.cov_changed || rec.means_changed;
  return true;
}

}  // namespace qv::fit
