#include "fit/vlfit.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <span>

#include "fit/objcel.hpp"
#include "fit/packedmat.hpp"
#include "fit/pedids.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/eigen_sym.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
namespace igcol = jobbase::igcol;
using jobbase::GroupView;
using jobbase::icell;
using runtime::kMsgUnit;
using runtime::kOutFileUnit;
using runtime::kStdout;
using runtime::Out;
using runtime::packed_index_sym;
using runtime::packed_index;
using runtime::packed_size;
using runtime::Vec1;
using runtime::write_fmt;
using runtime::write_list;

namespace {

constexpr double kTinyLikelihood = 1e-32;
constexpr double kTinyConstant = 1e-20;
constexpr double kConstantPenalty = 1e20;
constexpr int kLastFailure = 21;       // the failure that ends the group
constexpr int kOverflowAdds = 50;      // records an out-of-range likelihood adds 2 FSCALE for
constexpr int kFastMembers = 64;       // records of up to this many members take the short loop

// Words of one model's block of a record with J members.
int block_words(int J, int /*T*/) { return 3 * packed_size(J) + J * (J + 2) + 1; }
// Words of a pattern's cache entry for one model: the packed covariance
// (s), the packed inverse (s), the members' means (J, kept there when the
// means do not change with definition values), then the inversion's result
// (kResultWords) and the number of the evaluation that filled it.
constexpr int kResultWords = 5;
int entry_words(int J) { return 2 * packed_size(J) + J + kResultWords + 1; }
// Words of a pattern's header: its entries' address, J, its positions'
// address, the first of its records in the list of values' addresses, the
// number of its records, and 1 when a code repeats in it (its matrix is then left to the record loop, where a code
// without a further position stops the job at the record it belongs to).
constexpr int kPatternWords = 6;
// Records whose quadratic forms are taken side by side (lanes).
constexpr int kLanes = 2;  // two doubles: one SSE2 register

using Inversion = VlInversion;

void store(Vec1<double> X, int a, const Inversion& v) {
  X(a) = v.det;
  X(a + 1) = v.nullity;
  X(a + 2) = v.fault;
  X(a + 3) = v.K;
  X(a + 4) = v.lnc;
}
Inversion load(Vec1<double> X, int a) {
  return {X(a), icell(X(a + 1)), icell(X(a + 2)), X(a + 3), X(a + 4)};
}

// The first-call warning of a record whose matrix the group cannot use.
// With matrix set, the model number (when model >= 0) and the record's
// covariance follow.
void first_call_warning(int g, const char* closing, bool matrix, int model, int cov, Vec1<double> X, int J) {
  write_list(kStdout, {});
  jobbase::WARNHD();
  write_list(kStdout, {" At your starting values the expected matrix is not positive-definite"});
  write_list(kStdout, {" for group number ", g});
  write_list(kStdout, {closing});
  if (!matrix) return;
  if (model >= 0) write_list(kStdout, {" Model #", model});
  write_list(kStdout, {" Expected matrix is"});
  write_lower_triangle(kStdout, X, cov, J);
}

// The pattern cache, laid out at the first evaluation of a run from A on:
// X(A) the number of patterns, X(A + 1 + i) the pattern of record i, then
// per pattern k a header of kPatternWords at A + 1 + n + 5k (the address of
// its entries, its J, the address of its members' positions, the first of
// its records in the address list below and their number), then per
// pattern its entries (NMODEL) and its J positions; then the list of the
// records' values' addresses, pattern by pattern (in record order within
// one; two words each: the address and the record's number), n words for
// the records' scaled log-likelihoods of the short loop, then the number of
// the group's last evaluation with the cache, the number of the last one
// whose short loop built every pattern it builds, and the model covariance
// (packed, order p) that one built them from.  A pattern is a record's list of member codes; the positions are
// PEDIDS's, found once here.
void lay_out_cache(RecordWalk& walk, const RecordGroup& grp) {
  auto X = grp.X;
  std::map<std::vector<double>, int> patterns;
  std::vector<int> of_record(static_cast<std::size_t>(std::max(grp.n, 0)));
  std::vector<int> values(static_cast<std::size_t>(std::max(grp.n, 0)));
  std::vector<int> sizes;
  std::vector<int> firsts;
  std::vector<int> counts;
  long long words = 1 + 4 * static_cast<long long>(grp.n) + 2 + packed_size(grp.p);
  int r = grp.first;
  for (int i = 0; i < grp.n; ++i) {
    const int len = icell(X(r));
    const int J = len - grp.d;
    std::vector<double> key(static_cast<std::size_t>(std::max(J, 0)));
    for (int j = 0; j < J; ++j) key[static_cast<std::size_t>(j)] = X(r + 2 + grp.d + j);
    const auto [it, added] = patterns.emplace(std::move(key), static_cast<int>(sizes.size()));
    if (added) {
      sizes.push_back(J);
      firsts.push_back(i);
      counts.push_back(0);
      words += kPatternWords + static_cast<long long>(grp.nmodel) * entry_words(J) + J;
    }
    of_record[static_cast<std::size_t>(i)] = it->second;
    ++counts[static_cast<std::size_t>(it->second)];
    values[static_cast<std::size_t>(i)] = r + 2 + len + grp.d;
    r += 2 + 2 * len;
  }
  jobbase::check_room(static_cast<long long>(walk.reserved()) + words);
  walk.reserve(static_cast<int>(words));
  const int A = walk.reserved();
  const int npat = static_cast<int>(sizes.size());
  X(A) = npat;
  for (int i = 0; i < grp.n; ++i) X(A + 1 + i) = of_record[static_cast<std::size_t>(i)];
  int at = A + 1 + grp.n + kPatternWords * npat;
  // The positions of the pattern's first record's members.
  std::vector<int> pos;
  r = grp.first;
  int i = 0;
  for (int k = 0; k < npat; ++k) {
    const int J = sizes[static_cast<std::size_t>(k)];
    const int hdr = A + 1 + grp.n + kPatternWords * k;
    X(hdr) = at;
    X(hdr + 1) = J;
    for (int e = 0; e < grp.nmodel; ++e) X(at + (e + 1) * entry_words(J) - 1) = -1.0;
    at += grp.nmodel * entry_words(J);
    X(hdr + 2) = at;
    X(hdr + 5) = 0.0;
    for (; i < firsts[static_cast<std::size_t>(k)]; ++i) r += 2 + 2 * icell(X(r));
    for (int a = 0; a < J; ++a)
      for (int b = 0; b < a; ++b)
        if (X(r + 2 + grp.d + a) == X(r + 2 + grp.d + b)) X(hdr + 5) = 1.0;
    pos.assign(static_cast<std::size_t>(std::max(J, 1)), 0);
    member_positions(X, grp.ids, grp.p, r + 2 + grp.d, J, i, pos);
    for (int j = 0; j < J; ++j) X(at + j) = pos[static_cast<std::size_t>(j)];
    at += J;
  }
  // The records' values' addresses, pattern by pattern.
  std::vector<int> next(static_cast<std::size_t>(npat));
  int list = at;
  for (int k = 0; k < npat; ++k) {
    const int hdr = A + 1 + grp.n + kPatternWords * k;
    X(hdr + 3) = list;
    X(hdr + 4) = counts[static_cast<std::size_t>(k)];
    next[static_cast<std::size_t>(k)] = list;
    list += 2 * counts[static_cast<std::size_t>(k)];
  }
  for (int i = 0; i < grp.n; ++i) {
    int& at_k = next[static_cast<std::size_t>(of_record[static_cast<std::size_t>(i)])];
    X(at_k) = values[static_cast<std::size_t>(i)];
    X(at_k + 1) = i;
    at_k += 2;
  }
  X(list + grp.n) = -1.0;
  X(list + grp.n + 1) = -1.0;
}

// The address of the records' scaled log-likelihoods in the cache at A.
int loglik_list(Vec1<double> X, int A, int n) {
  const int npat = icell(X(A));
  const int hdr = A + 1 + n + kPatternWords * (npat - 1);
  return icell(X(hdr + 3)) + 2 * icell(X(hdr + 4));
}

// Builds a record's covariance at cov from the model's (order p at mcov) and
// inverts it (packed into inv, with work at work), the full inverse
// expanded into full.  c2pi: (2 pi)^(J/2).
Inversion build(Vec1<double> X, const RecordGroup& grp, const Record& rec, int mcov, int cov, int inv, int work,
                int full, std::span<const int> pos, double c2pi) {
  const int J = rec.J;
  pedids_cov(X, grp.ids, mcov, cov, J, grp.p, rec.codes, rec.i, pos);
  Inversion v;
  jobbase::SYMINV(X.from(cov), J, X.from(inv), X.from(work), v.det, 1, v.nullity, v.fault);
  if (v.fault != 0) return v;
  for (int a = 1; a <= J; ++a)
    for (int b = 1; b <= J; ++b) X(full + (a - 1) * J + b - 1) = X(inv + runtime::packed_index_sym(a, b) - 1);
  if (v.nullity == 0) {
    v.K = std::sqrt(v.det) * c2pi;
    if (v.K > 0.0) v.lnc = std::log(1.0 / v.K);
  }
  return v;
}

// The report of a record whose likelihood vanishes at the starting values,
// then error 97.
[[noreturn]] void strange(Vec1<double> X, const Record& rec, int cov, int mu, bool transform, double lambda,
                          double c) {
  write_list(kStdout, {});
  if (transform) write_list(kStdout, {" Following transformation, the"});
  write_list(kStdout, {" Statistics for STRANGE observation #", rec.i + 1});
  write_list(kStdout, {});
  write_list(kStdout, {"   Variable         Observed            Expected            (O-E)/sd(E)"});
  for (int j = 0; j < rec.J; ++j) {
    double y = X(rec.values + j);
    if (transform) y = lambda == 0.0 ? std::log(y + c) : (std::pow(y + c, lambda) - 1.0) / lambda;
    const double v = X(cov + packed_index(j + 1, j + 1) - 1);
    if (v <= 0.0) {
      write_list(kStdout, {" Variance is less than or equal to zero for variable ", j + 1});
      break;
    }
    const double e = X(mu + j);
    write_fmt(kStdout, "(1x,i5,8x,d12.4,8x,d12.4,8x,d12.4)", {j + 1, y, e, (y - e) / std::sqrt(v)});
  }
  write_list(kStdout, {" Expected Covariance Matrix"});
  write_lower_triangle(kStdout, X, cov, rec.J);
  write_list(kStdout, {});
  jobbase::ERRMSG(97);
}

// q = d' R^-1 d from the lower triangle of the symmetric inverse (packed
// at row): each row's diagonal term once and its off-diagonal terms twice.
inline double quadratic(const double* row, const double* d, int J) {
  double q = 0.0;
  for (int a = 0; a < J; ++a) {
    double t = 0.0;
    for (int b = 0; b < a; ++b) t += row[b] * d[b];
    q += d[a] * (row[a] * d[a] + 2.0 * t);
    row += a + 1;
  }
  return q;
}

// The same for kGroups kLanes records side by side in groups of lanes
// (d[kGroups b + g] holds the b-th residuals of group g's records, one per
// lane): each lane takes the operations of quadratic() in the same order,
// so each record's q is the same to the last bit as quadratic() gives it
// alone.  The groups' sums are independent, so the processor overlaps them.
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));
constexpr int kGroups = 4;
// (The four groups are written out: held in registers at any optimisation
// level.)
static_assert(kGroups == 4);
inline void quadratic_lanes(const double* row, const Lanes* d, int J, Lanes* q) {
  Lanes s0 = {}, s1 = {}, s2 = {}, s3 = {};
  for (int a = 0; a < J; ++a) {
    Lanes t0 = {}, t1 = {}, t2 = {}, t3 = {};
    const Lanes* e = d;
    for (int b = 0; b < a; ++b, e += kGroups) {
      const double r = row[b];
      t0 += r * e[0];
      t1 += r * e[1];
      t2 += r * e[2];
      t3 += r * e[3];
    }
    const double r = row[a];
    s0 += e[0] * (r * e[0] + 2.0 * t0);
    s1 += e[1] * (r * e[1] + 2.0 * t1);
    s2 += e[2] * (r * e[2] + 2.0 * t2);
    s3 += e[3] * (r * e[3] + 2.0 * t3);
    row += a + 1;
  }
  q[0] = s0;
  q[1] = s1;
  q[2] = s2;
  q[3] = s3;
}

// The short loop's first pass over a pattern whose matrix is usable
// (entry at ent, J members): l = ln 1/K - q/2 of each of its records, into
// the records' words from ll.  The records go kLanes at a time; the last
// group fills its spare lanes with its last record and drops them.
// The bounds a record's scaled log-likelihood l must keep to be added
// by the short loop (the record loop's tests, for J members).
struct LoglikBounds {
  double lnS, ln1e30, mlnsaf, ln_tiny, ln_safmin;
  bool ok(double l) const {
    return !(l + lnS > ln1e30 || l < -mlnsaf) && !(l + lnS <= ln_tiny) && l + lnS > ln_safmin;
  }
};
constexpr double kNotReady = std::numeric_limits<double>::quiet_NaN();

// Marks the records of the pattern with header hdr for the record loop.
void pattern_not_ready(Vec1<double> X, int hdr, int ll) {
  const double* list = X.ptr(icell(X(hdr + 3)));
  const int count = icell(X(hdr + 4));
  for (int k = 0; k < count; ++k) X(ll + icell(list[2 * k + 1])) = kNotReady;
}

// The short loop's first pass over a pattern whose matrix is usable
// (entry at ent, J members): l = ln 1/K - q/2 of each of its records, into
// the records' words from ll, or kNotReady for a record whose l fails the
// bounds (the record loop takes it).  The records go kGroups kLanes at a time;
// the last group fills its spare lanes with its last record and drops
// them.
void pattern_logliks(Vec1<double> X, int hdr, int ent, int J, int ll, const LoglikBounds& bounds) {
  const int s = packed_size(J);
  const double* inv = X.ptr(ent + s);
  const double* mean = X.ptr(ent + 2 * s);
  const double lnc = X(ent + 2 * s + J + 4);
  const double* list = X.ptr(icell(X(hdr + 3)));
  const int count = icell(X(hdr + 4));
  const double* base = X.ptr(1);
  constexpr int kGroup = kGroups * kLanes;
  Lanes d[kGroups * kFastMembers];
  int rec[kGroup];
  for (int first = 0; first < count; first += kGroup) {
    // The values of the records two groups on, fetched ahead: a pattern's
    // records lie scattered over the data.
    for (int k = 2 * kGroup; k < 3 * kGroup && first + k < count; ++k) {
      const double* y = base + static_cast<std::ptrdiff_t>(list[2 * (first + k)]) - 1;
      __builtin_prefetch(y);
      __builtin_prefetch(y + J - 1);
    }
    for (int k = 0; k < kGroup; ++k) {
      const int at = std::min(first + k, count - 1);
      const double* y = X.ptr(icell(list[2 * at]));
      rec[k] = icell(list[2 * at + 1]);
      Lanes* dk = d + k / kLanes;
      for (int j = 0; j < J; ++j) dk[kGroups * j][k % kLanes] = y[j] - mean[j];
    }
    Lanes q[kGroups];
    quadratic_lanes(inv, d, J, q);
    for (int k = 0; k < kGroup && first + k < count; ++k) {
      const double l = lnc - q[k / kLanes][k % kLanes] / 2.0;
      X(ll + rec[k]) = bounds.ok(l) ? l : kNotReady;
    }
  }
}

}  // namespace

void Vlcel::size(int J, int nmodel, double pi) {
  const auto n = static_cast<std::size_t>(std::max(J, 1));
  if (POS.size() < n) POS.resize(n);
  if (INV.size() < static_cast<std::size_t>(nmodel)) INV.resize(static_cast<std::size_t>(nmodel));
  const std::size_t have = SCALE.size();
  if (have > n) return;
  SCALE.resize(n + 1);
  LNSCALE.resize(n + 1);
  C2PI.resize(n + 1);
  for (std::size_t k = have; k <= n; ++k) {
    const int j = static_cast<int>(k);
    SCALE[k] = (std::pow(10.0, j / 5.0) + 1.0) * 1e10;
    LNSCALE[k] = std::log(SCALE[k]);
    C2PI[k] = std::pow(2.0 * pi, j / 2.0);
  }
}

int vl_block_words(int J, int T) { return block_words(J, T); }

void vl_fit(Vec1<double> X, Vec1<int> IX, int NG, int g, double& FOBJ) {
  auto& oc = OBJCEL;
  auto& vc = VLCEL;
  const auto& m = jobbase::MAINPR;
  const GroupView G{X, NG, g};
  const RecordGroup grp = record_group(X, IX, NG, g);
  RecordWalk walk(grp, vl_block_words);
  const int nm = grp.nmodel;
  // Without definition values that change the covariance, each pattern's
  // matrix is the same for all its records in one evaluation.
  const bool cacheable = !grp.defs || grp.same_cov;
  if (walk.first_call() || !oc.FFIRST) {
    int longest = 0;
    int r = grp.first;
    for (int i = 0; i < grp.n; ++i) {
      longest = std::max(longest, icell(X(r)) - grp.d);
      r += 2 + 2 * icell(X(r));
    }
    // The tables are made afresh for each run.
    vc.SCALE.clear();
    vc.size(longest, nm, m.PI);
    if (walk.first_call() && RECCEL.CACHE && cacheable && grp.n > 0) lay_out_cache(walk, grp);
  }
  const int A = walk.reserved();
  const bool cache = RECCEL.CACHE && cacheable && walk.reserved_words() > 0;
  // The pattern's entries keep its members' means as well when no
  // definition value changes them.
  const bool means_cached = !grp.defs || grp.same_means;
  const double stamp = ++vc.CALLNO;
  // A run starts with every pattern to be built again (the evaluation
  // numbers start afresh with the cells).
  if (cache && !oc.FFIRST && !walk.first_call()) {
    const int npat = icell(X(A));
    for (int k = 0; k < npat; ++k) {
      const int hdr = A + 1 + grp.n + kPatternWords * k;
      const int J = icell(X(hdr + 1));
      for (int e = 0; e < nm; ++e) X(icell(X(hdr)) + (e + 1) * entry_words(J) - 1) = -1.0;
    }
    X(loglik_list(X, A, grp.n) + grp.n + 1) = -1.0;
  }
  // One model without weights: the record's likelihood is handled by its
  // logarithm (ln L - ln S = l), without the exponential and back.
  const bool single = nm == 1 && !grp.weights;
  const double ln_tiny = std::log(kTinyLikelihood);
  const double ln_safmin = std::log(m.SAFMIN);

  // The power transform (lambda, c).
  const int pword = jobbase::IGRPTB(IX, NG, igcol::kPower, g);
  const bool transform = pword != 0;
  double lambda = 1.0, c = 0.0;
  if (transform) {
    const int a = icell(X(pword));
    lambda = X(a);
    c = X(a + 1);
  }

  const int mcov0 = G.icol(gcol::kCovResult);
  const int mmeans0 = G.icol(gcol::kMeansResult);
  const int sp = packed_size(grp.p);
  const double fscale = oc.FSCALE;
  const bool first_call = !oc.FFIRST;
  const bool started = G.col(gcol::kFitValue) != 0.0;
  double F = 0.0;
  double P = 0.0;
  int failures = 0;
  int overflows = 0;
  bool ended = false;
  Record rec;
  // The common case in a short loop: one model, no weights, no transform, no
  // definition values, no statistics lines, the pattern cache on.  A record
  // whose pattern has not been built in this evaluation, or whose value
  // needs any of the checks' actions, goes the general way below, which
  // gives the same bits.
  const bool fast = cache && single && !transform && !grp.defs && !oc.PEDOUT;
  // Its first pass: each pattern's matrix is built (the same routine as
  // the record loop's, whose records then find it built), and for each
  // usable one the scaled log-likelihoods of its records are taken
  // pattern by pattern, several records side by side, into the records'
  // words; the record loop then adds them in record order.
  const int ll = cache ? loglik_list(X, A, grp.n) : 0;
  // When the group's last evaluation built the patterns here and the model
  // covariance is the same to the last bit (only means changed), each
  // pattern's matrix, inverse and determinant are those the build would
  // give again: they are kept, and only the means are taken anew.
  const int last = ll + grp.n;
  const int kept_cov = last + 2;
  const auto cov_bytes = static_cast<std::size_t>(packed_size(grp.p)) * sizeof(double);
  const bool same_cov = fast && X(last + 1) > 0.0 && X(last + 1) == X(last) &&
                        std::memcmp(X.ptr(kept_cov), X.ptr(mcov0), cov_bytes) == 0;
  if (cache) X(last) = stamp;
  if (fast) {
    const int npat = icell(X(A));
    for (int k = 0; k < npat; ++k) {
      const int hdr = A + 1 + grp.n + kPatternWords * k;
      const int J = icell(X(hdr + 1));
      if (J <= 0 || J > kFastMembers || X(hdr + 5) != 0.0 || vc.SCALE.size() <= static_cast<std::size_t>(J)) {
        pattern_not_ready(X, hdr, ll);
        continue;
      }
      const int ent = icell(X(hdr));
      const int s = packed_size(J);
      const int tail = ent + 2 * s + J;
      Record first;
      first.J = J;
      first.i = icell(X(icell(X(hdr + 3)) + 1));
      first.codes = icell(X(icell(X(hdr + 3)))) - J - grp.d;
      const int pa = icell(X(hdr + 2));
      std::span<int> pos(vc.POS.data(), static_cast<std::size_t>(J));
      for (int j = 0; j < J; ++j) pos[static_cast<std::size_t>(j)] = icell(X(pa + j));
      const int work = walk.block() + 2 * s;
      if (!same_cov)
        store(X, tail,
              build(X, grp, first, mcov0, ent, ent + s, work, work, pos, vc.C2PI[static_cast<std::size_t>(J)]));
      for (int j = 0; j < J; ++j) X(ent + 2 * s + j) = X(mmeans0 + pos[static_cast<std::size_t>(j)] - 1);
      X(tail + kResultWords) = stamp;
      const Inversion v = load(X, tail);
      if (v.fault == 0 && v.nullity == 0 && v.K > kTinyConstant && 1.0 / v.K > m.SAFMIN) {
        const LoglikBounds bounds{vc.LNSCALE[static_cast<std::size_t>(J)], m.LN1E30, m.MLNSAF, ln_tiny, ln_safmin};
        pattern_logliks(X, hdr, ent, J, ll, bounds);
      } else {
        pattern_not_ready(X, hdr, ll);
      }
    }
    X(last + 1) = stamp;
    if (!same_cov) std::memcpy(X.ptr(kept_cov), X.ptr(mcov0), cov_bytes);
  }
  while (!ended) {
    // The short loop: the run of records whose terms are ready, added in
    // record order; the first record that is not ready goes the general way.
    if (fast) {
      const double* term = X.ptr(ll);
      int i = walk.next_index();
      for (; i < grp.n && term[i] == term[i]; ++i) F -= 2.0 * (term[i] + 0.0);
      if (i >= grp.n) break;
      walk.skip_to(i);
    }
    if (!walk.next(rec)) break;
    const int J = rec.J;
    walk.prepare(rec);
    if (J <= 0) continue;
    if (vc.SCALE.size() <= static_cast<std::size_t>(J)) vc.size(J, nm, m.PI);
    const auto uJ = static_cast<std::size_t>(J);
    // The members' positions: the pattern's, or found for the record.
    int pattern = 0;
    std::span<int> pos(vc.POS.data(), uJ);
    if (cache) {
      // The pattern's positions, wanted for the means of a record and for a
      // pattern's first record of the evaluation.
      pattern = A + 1 + grp.n + kPatternWords * icell(X(A + 1 + rec.i));
      if ((rec.means_changed && !means_cached) || X(icell(X(pattern)) + entry_words(J) - 1) != stamp) {
        const int pa = icell(X(pattern + 2));
        for (int j = 0; j < J; ++j) pos[static_cast<std::size_t>(j)] = icell(X(pa + j));
      }
    } else if (rec.rebuild) {
      member_positions(X, grp.ids, grp.p, rec.codes, J, rec.i, pos);
    }
    const int s = packed_size(J);
    const int words = block_words(J, 0);
    const double S = vc.SCALE[uJ];
    const double lnS = vc.LNSCALE[uJ];
    double& trouble = X(grp.trouble + rec.i);
    double T = 0.0;
    for (int e = 0; e < nm; ++e) {
      const int blk = rec.block + e * words;
      const int inv = blk + s;
      const int work = blk + 2 * s;
      const int res = work + J * J;
      const int mu = res + J;
      const int cst = blk + 3 * s + J * (J + 1);
      const double We = walk.weight(e);
      const int mcov = mcov0 + e * sp;
      const int mmeans = mmeans0 + e * grp.p;
      int means = mu;
      if (rec.means_changed && !(cache && means_cached))
        for (int j = 0; j < J; ++j) X(mu + j) = X(mmeans + pos[static_cast<std::size_t>(j)] - 1);
      // Where the record's covariance and packed inverse are, and how its
      // inversion went.
      int cov = blk, pinv = inv;
      Inversion v;
      if (cache) {
        const int ent = icell(X(pattern)) + e * entry_words(J);
        cov = ent;
        pinv = ent + s;
        const int tail = ent + 2 * s + J;
        if (X(tail + kResultWords) != stamp) {
          store(X, tail, build(X, grp, rec, mcov, cov, pinv, work, work, pos, vc.C2PI[uJ]));
          if (means_cached)
            for (int j = 0; j < J; ++j) X(ent + 2 * s + j) = X(mmeans + pos[static_cast<std::size_t>(j)] - 1);
          X(tail + kResultWords) = stamp;
        }
        if (means_cached) means = ent + 2 * s;
        v = load(X, tail);
      } else {
        const auto ue = static_cast<std::size_t>(e);
        if (rec.cov_changed) vc.INV[ue] = build(X, grp, rec, mcov, cov, pinv, work, work, pos, vc.C2PI[uJ]);
        v = vc.INV[ue];
      }

      if (v.fault != 0 || v.nullity > 0) {
        trouble += 1.0;
        oc.FMODE = -1;
        const double lmin = smallest_eigenvalue(X, cov, J, m.WSTOP);
        P += fscale / grp.n * (lmin * lmin * J + 1.0 + v.nullity);
        write_list(kMsgUnit, {" ExpCov Non-positive definite: Penalty is", P, " vector ", rec.i + 1});
        ++failures;
        if (first_call && !oc.NPDWRN) {
          oc.NPDWRN = true;
          first_call_warning(g, " Minimization will probably be impaired by the penalty function", true,
                             nm >= 2 ? e : -1, cov, X, J);
        }
        if (failures >= kLastFailure) {
          F = P;
          ended = true;
          break;
        }
        continue;
      }
      if (v.K <= kTinyConstant) {
        trouble += 1.0;
        oc.FMODE = -1;
        if (first_call && !oc.NPDWRN) {
          oc.NPDWRN = true;
          first_call_warning(g, " Minimization may be impaired by penalty function", false, -1, cov, X, J);
        }
        ++failures;
        X(cst) = kConstantPenalty;
        F += kConstantPenalty;
        continue;
      }
      const double constant = 1.0 / v.K;
      X(cst) = constant;

      // Residuals, transformed observations and the Jacobian.
      double jac = 0.0;
      const double* y = X.ptr(rec.values);
      const double* mean = X.ptr(means);
      double* d = X.ptr(res);
      for (int j = 0; j < J; ++j) {
        double t = y[j];
        if (transform) {
          const double arg = y[j] + c;
          if (arg < kTinyLikelihood) {
            write_list(kStdout, {});
            write_list(kStdout, {" Additive constant of power transform is", c});
            write_list(kStdout, {" Observation in vector", rec.i + 1, " element ", j + 1, " is", y[j]});
            jobbase::ERRMSG(146);
          }
          const double ln = std::log(arg);
          t = lambda == 0.0 ? ln : (std::pow(arg, lambda) - 1.0) / lambda;
          jac += (lambda - 1.0) * ln;
        }
        d[j] = t - mean[j];
      }
      const double q = quadratic(X.ptr(pinv), d, J);
      double l;
      if (constant > m.SAFMIN) {
        l = v.lnc - q / 2.0;
      } else {
        l = constant - q / 2.0;
        oc.FMODE = -1;
      }
      if (l + lnS > m.LN1E30 || l < -m.MLNSAF) {
        trouble += 1.0;
        oc.FMODE = -1;
        if (overflows < kOverflowAdds) {
          F += 2.0 * fscale;
          ++overflows;
        }
        continue;
      }
      const double L = single ? 0.0 : std::exp(l) * S;
      if (single ? l + lnS <= ln_tiny : L <= kTinyLikelihood) {
        trouble += 1.0;
        oc.FMODE = -1;
        if (!started) strange(X, rec, cov, means, transform, lambda, c);
        if (oc.PEDOUT)
          write_list(kOutFileUnit, {-999999.0, q, rec.i + 1, J, icell(trouble), " 999", e + 1});
        F += 2.0 * fscale;
        continue;
      }
      if (oc.PEDOUT) {
        const double z = std::cbrt(q / J) - 1.0 + (2.0 / (9.0 * J)) * std::sqrt(9.0 * J / 2.0);
        const double m2l = single ? -2.0 * l : -2.0 * (std::log(L) - lnS);
        write_list(kOutFileUnit, {m2l, q, z, rec.i + 1, J, icell(trouble), " 000", e + 1});
      }
      if (single) {
        if (l + lnS > ln_safmin) {
          F -= 2.0 * (l + jac);
        } else {
          F = F - 2.0 * std::exp(l) * S + S + jac;
          oc.FMODE = -1;
        }
        continue;
      }
      T += We * L;
      if (e == nm - 1) {
        if (T > m.SAFMIN) {
          F -= 2.0 * (std::log(T) - lnS + jac);
        } else {
          F = F - 2.0 * T + S + jac;
          oc.FMODE = -1;
        }
      }
    }
  }
  walk.finish();
  // The penalty of the records whose matrix could not be inverted, once.
  if (!ended) F += P;
  oc.NNONPD += failures;
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
