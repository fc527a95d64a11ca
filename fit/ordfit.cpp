#include "fit/ordfit.hpp"

#include <algorithm>
#include <cmath>
#include <compare>

#include "algebra/mvncond.hpp"
#include "algebra/mvnsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/pedids.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using jobbase::icell;
using runtime::kMsgUnit;
using runtime::kStdout;
using runtime::write_list;

namespace {

// The start-up constant: the smallest single-precision normal number.
constexpr double kSafeMin = 5.87747175411144e-39;

std::size_t sz(int n) { return static_cast<std::size_t>(n); }

// One model's words of a record's block for J members and T thresholds per
// variable: the record's correlations (the packed covariance first, s
// words), the integral's value and status, the lower and upper limits and
// the record's standardised thresholds (J x T).  The block is sized as
// 3s + J^2 + 2JT + 1, which holds them.
int block_words(int J, int T) {
  const int s = J * (J + 1) / 2;
  return 3 * s + J * J + 2 * J * T + 1;
}

// Offsets within a model's block.
struct Block {
  int rcov, value, status, lower, upper, thr;
  Block(int base, int J) {
    rcov = base;
    value = base + J * (J + 1) / 2;
    status = value + 1;
    lower = status + 1;
    upper = lower + J;
    thr = upper + J;
  }
};

// Error 232 when a variance of the model's covariance (packed, order p) at
// cov is not positive.
void check_variances(Vec1<double> X, int cov, int p) {
  for (int k = 1; k <= p; ++k) {
    const double v = X(cov + runtime::packed_index(k, k) - 1);
    if (v <= 0.0) {
      write_list(kStdout, {" Error - variance is LE 0 for variable", k});
      write_list(kStdout, {" Variance is ", v});
      jobbase::ERRMSG(232);
    }
  }
}

// The job's index of the group's distinct records (patterns), laid out once
// per job in the words the walk reserves for the fit function, so that each
// pattern is integrated once per evaluation whatever the order of the
// records.  Two records are one pattern when their member counts, codes and
// categories are equal, and their definition values too when the model or
// the weights may depend on them.  The patterns are numbered 1..NP in the
// order of that key (not of the records), and F sums their terms in that
// order, so that any order of the same records gives the same F to the last
// bit.  Words from the reserved address:
//   NP, then the pattern of each record (n words, record 0 first), then per
//   pattern: its record count, its term -2 ln T of this evaluation, a flag
//   set once the term is computed in this evaluation, and each model's
//   integral value and status.
struct PatternIndex {
  Vec1<double> X;
  int base = 0;
  int n = 0;
  int nmodel = 1;
  static constexpr int kCount = 0, kTerm = 1, kDone = 2, kModels = 3;
  int stride() const { return kModels + 2 * nmodel; }
  int patterns() const { return icell(X(base)); }
  // Pattern of record i (from 0), 1..NP.
  int of(int i) const { return icell(X(base + 1 + i)); }
  // First word of pattern k's cells.
  int cell(int k) const { return base + 1 + n + (k - 1) * stride(); }
  static int words(int n, int np, int nmodel) { return 1 + n + np * (kModels + 2 * nmodel); }
};

// Orders two records (at ra and rb) by the pattern key; ties are equal.
std::strong_ordering compare_records(Vec1<double> X, int ra, int rb, int d, bool defs) {
  const int la = icell(X(ra)), lb = icell(X(rb));
  if (la != lb) return la <=> lb;
  const auto words = [&](int from, int to) {
    for (int k = from; k < to; ++k) {
      const auto c = std::strong_order(X(ra + k), X(rb + k));
      if (c != 0) return c;
    }
    return std::strong_ordering::equal;
  };
  // Codes (definition codes first), the members' values, the definition values.
  auto c = words(2, 2 + la);
  if (c == 0) c = words(2 + la + d, 2 + 2 * la);
  if (c == 0 && defs) c = words(2 + la, 2 + la + d);
  return c;
}

// Lays out the index on the group's first call in a job: sorts the record
// numbers by the key in integer scratch at IWSTOP (not kept), reserves the
// index's words and fills them.
PatternIndex lay_out_patterns(RecordWalk& walk, const RecordGroup& grp) {
  auto X = grp.X;
  auto IX = grp.IX;
  const int n = grp.n;
  const bool defs = grp.defs && !(grp.same_cov && grp.same_means && (!grp.weights || grp.same_weights));
  auto& m = jobbase::MAINPR;
  jobbase::CHKIMEM(m.IWSTOP + 3 * n);
  int* order = IX.ptr(m.IWSTOP);
  int* addr = order + n;
  int* pat = addr + n;
  int r = grp.first;
  for (int i = 0; i < n; ++i) {
    order[i] = i;
    addr[i] = r;
    r += 2 + 2 * icell(X(r));
  }
  std::sort(order, order + n, [&](int a, int b) {
    const auto c = compare_records(X, addr[a], addr[b], grp.d, defs);
    return c < 0 || (c == 0 && a < b);
  });
  int np = 0;
  for (int t = 0; t < n; ++t) {
    if (t == 0 || compare_records(X, addr[order[t - 1]], addr[order[t]], grp.d, defs) != 0) ++np;
    pat[order[t]] = np;
  }
  walk.reserve(PatternIndex::words(n, np, grp.nmodel));
  PatternIndex idx{X, walk.reserved(), n, grp.nmodel};
  X(idx.base) = np;
  for (int k = 1; k <= np; ++k)
    for (int w = 0; w < idx.stride(); ++w) X(idx.cell(k) + w) = 0.0;
  for (int i = 0; i < n; ++i) {
    X(idx.base + 1 + i) = pat[i];
    X(idx.cell(pat[i]) + PatternIndex::kCount) += 1.0;
  }
  return idx;
}

}  // namespace

void ordinal_box(int J, std::span<const double> cats, std::span<const int> counts, std::span<const double> thr,
                 std::span<double> lower, std::span<double> upper, std::span<int> kinds) {
  for (int j = 0; j < J; ++j) {
    const auto u = sz(j);
    const int c = icell(cats[u]);
    const int K = counts[u];
    lower[u] = 0.0;
    upper[u] = 0.0;
    if (c <= 0) {
      kinds[u] = 0;
      upper[u] = thr[u];
    } else if (c >= K) {
      kinds[u] = 1;
      lower[u] = thr[sz(j + (K - 1) * J)];
    } else {
      kinds[u] = 2;
      lower[u] = thr[sz(j + (c - 1) * J)];
      upper[u] = thr[sz(j + c * J)];
    }
  }
}

OrdinalIntegral ordinal_integral(int J, std::span<const double> lower, std::span<const double> upper,
                                 std::span<const int> kinds, std::span<const double> rho, const Ordcel& settings) {
  OrdinalIntegral r;
  r.points = settings.PTSPER * J;
  algebra::mvn_conditional_box(J, lower.first(sz(J)), upper.first(sz(J)), kinds.first(sz(J)), rho, r.points,
                               settings.ABSERR, settings.RELERR, r.error, r.value, r.status);
  return r;
}

double ordinal_pattern_relerr(const Ordcel& settings, double count) {
  return count > 1.0 ? std::min(settings.RELERR, settings.PATREL / count) : settings.RELERR;
}

int ordinal_shortfall_status(const OrdinalIntegral& r) {
  return r.status == 1 && r.error <= kOrdShortfall ? 0 : r.status;
}

void ordinal_status(int status, int points, bool note) {
  switch (status) {
    case 0:
      return;
    case 1:
      MVNCNT.ACCMVN += 1;
      if (note) write_list(kMsgUnit, {" Integral inaccurate with ", points, " points"});
      return;
    case 4:
      MVNCNT.NPDMVN += 1;
      OBJCEL.FMODE = -1;
      return;
    default:
      write_list(kStdout, {" Mulnor problem; error code: ", status});
      write_list(kStdout, {" I'm not sure what this means."});
      jobbase::ERRMSG(150);
  }
}

void ordinal_npd_note(int records) {
  if (records > 0)
    write_list(kStdout, {" Correlation matrix not positive definite for", records, records == 1 ? " record" : " records"});
}

void ordinal_fit(Vec1<double> X, Vec1<int> IX, int NG, int g, double& FOBJ) {
  const GroupView G{X, NG, g};
  const RecordGroup grp = record_group(X, IX, NG, g);
  // The pair at column 42: where the per-variable threshold counts start in
  // IWORKS (one per identification code), and T.
  const int pair = G.icol(gcol::kRecordBlock);
  const int counts = pair >= 1 ? icell(X(pair)) : 0;
  const int T = pair >= 1 ? std::max(icell(X(pair + 1)), 1) : 1;
  const int p = grp.p;
  const int covstride = runtime::packed_size(p);
  const int thrstride = p * T;
  const int debug = jobbase::FITOPT.DB;

  RecordWalk walk(grp, block_words, T);
  const PatternIndex idx = walk.first_call()
                               ? lay_out_patterns(walk, grp)
                               : PatternIndex{X, walk.reserved(), grp.n, grp.nmodel};
  const int np = idx.patterns();
  for (int k = 1; k <= np; ++k) X(idx.cell(k) + PatternIndex::kDone) = 0.0;
  const int cov0 = G.icol(gcol::kCovResult);
  const int thr0 = G.icol(gcol::kMeansResult);
  // Records whose integral met a correlation matrix that is not positive
  // definite: one line on the report for the evaluation, not one a record.
  int npd = 0;
  Record rec;
  while (walk.next(rec)) {
    walk.prepare(rec);
    const int J = rec.J;
    const int cell = idx.cell(idx.of(rec.i));
    // A pattern's integrals are computed at its first record of the
    // evaluation (at every record with reuse off: the same values again).
    const bool first = X(cell + PatternIndex::kDone) == 0.0;
    if (first || !RECCEL.REUSE) {
      // Integer scratch: the members' kinds and the positions of their codes.
      auto& m = jobbase::MAINPR;
      jobbase::CHKIMEM(m.IWSTOP + 2 * J);
      const std::span<int> kinds(IX.ptr(m.IWSTOP), sz(J));
      const std::span<int> pos(IX.ptr(m.IWSTOP + J), sz(J));
      const int words = block_words(J, T);
      // The pattern's tolerance tightens with its record count.
      Ordcel settings = ORDCEL;
      settings.RELERR = ordinal_pattern_relerr(ORDCEL, X(cell + PatternIndex::kCount));
      double total = 0.0;
      for (int e = 0; e < grp.nmodel; ++e) {
        const Block b(rec.block + e * words, J);
        const int cov = cov0 + e * covstride;
        check_variances(X, cov, p);
        PEDIDS(X, grp.ids, cov, b.rcov, thr0 + e * thrstride, b.thr, J, p, rec.codes, rec.i, T, 1, pos);
        // The threshold count of each member's variable, by its code.
        for (int j = 0; j < J; ++j) pos[sz(j)] = counts >= 1 ? IX(counts + icell(X(rec.codes + j)) - 1) : T;
        ordinal_box(J, std::span<const double>(X.ptr(rec.values), sz(J)), pos,
                    std::span<const double>(X.ptr(b.thr), sz(J * T)), std::span<double>(X.ptr(b.lower), sz(J)),
                    std::span<double>(X.ptr(b.upper), sz(J)), kinds);
        const OrdinalIntegral r = ordinal_integral(
            J, std::span<const double>(X.ptr(b.lower), sz(J)), std::span<const double>(X.ptr(b.upper), sz(J)),
            kinds, std::span<const double>(X.ptr(b.rcov), sz(J * (J - 1) / 2)), settings);
        X(b.value) = r.value;
        X(b.status) = ordinal_shortfall_status(r);
        X(cell + PatternIndex::kModels + 2 * e) = X(b.value);
        X(cell + PatternIndex::kModels + 2 * e + 1) = X(b.status);
        total += walk.weight(e) * r.value;
      }
      if (total > kSafeMin) {
        X(cell + PatternIndex::kTerm) = -2.0 * std::log(total);
      } else {
        X(cell + PatternIndex::kTerm) = -2.0 * total;
        OBJCEL.FMODE = -1;
      }
      X(cell + PatternIndex::kDone) = 1.0;
    }
    // Every record acts on its integrals' status (count, FMODE); the note of
    // an inaccurate integral is written once for its pattern.
    bool troubled = false;
    for (int e = 0; e < grp.nmodel; ++e) {
      const int status = icell(X(cell + PatternIndex::kModels + 2 * e + 1));
      ordinal_status(status, ORDCEL.PTSPER * J, first);
      if (status == algebra::kMvnNotPosDef) troubled = true;
      if (debug == 2) write_list(kMsgUnit, {" Integral is ", X(cell + PatternIndex::kModels + 2 * e)});
    }
    if (troubled) ++npd;
  }
  ordinal_npd_note(npd);
  // The patterns' terms, each times its record count, in the key's order.
  double F = 0.0;
  for (int k = 1; k <= np; ++k) {
    const int cell = idx.cell(k);
    if (X(cell + PatternIndex::kDone) != 0.0) F += X(cell + PatternIndex::kCount) * X(cell + PatternIndex::kTerm);
  }
  walk.finish();
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
