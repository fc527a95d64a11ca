#include "fit/ordfit.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/mvnadp.hpp"
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

// Whether the record at values holds the same J categories as the record
// before it (at prev, with prevJ members).
bool same_values(Vec1<double> X, int values, int J, int prev, int prevJ) {
  if (prev == 0 || J != prevJ) return false;
  for (int j = 0; j < J; ++j)
    if (X(values + j) != X(prev + j)) return false;
  return true;
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
  algebra::MVNADP(J, lower.first(sz(J)), upper.first(sz(J)), kinds.first(sz(J)), rho, r.points, settings.ABSERR,
                  settings.RELERR, r.error, r.value, r.status);
  return r;
}

void ordinal_status(int status, int points) {
  switch (status) {
    case 0:
      return;
    case 1:
      MVNCNT.ACCMVN += 1;
      write_list(kMsgUnit, {" Integral inaccurate with ", points, " points"});
      return;
    case 4:
      MVNCNT.NPDMVN += 1;
      write_list(kStdout, {" Correlation matrix not positive definite"});
      OBJCEL.FMODE = -1;
      return;
    default:
      write_list(kStdout, {" Mulnor problem; error code: ", status});
      write_list(kStdout, {" I'm not sure what this means."});
      jobbase::ERRMSG(150);
  }
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
  const int cov0 = G.icol(gcol::kCovResult);
  const int thr0 = G.icol(gcol::kMeansResult);
  double F = 0.0;
  int prev = 0, prevJ = 0;
  Record rec;
  while (walk.next(rec)) {
    walk.prepare(rec);
    const int J = rec.J;
    // Integer scratch: the members' kinds and the positions of their codes.
    auto& m = jobbase::MAINPR;
    jobbase::CHKIMEM(m.IWSTOP + 2 * J);
    const std::span<int> kinds(IX.ptr(m.IWSTOP), sz(J));
    const std::span<int> pos(IX.ptr(m.IWSTOP + J), sz(J));
    // The integrals of the record before serve again when its codes,
    // definition values (as far as the model uses them) and categories are
    // the same.
    const bool reuse = !rec.rebuild && same_values(X, rec.values, J, prev, prevJ);
    const int words = block_words(J, T);
    double total = 0.0;
    for (int e = 0; e < grp.nmodel; ++e) {
      const Block b(rec.block + e * words, J);
      if (!reuse) {
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
            kinds, std::span<const double>(X.ptr(b.rcov), sz(J * (J - 1) / 2)));
        X(b.value) = r.value;
        X(b.status) = r.status;
      }
      ordinal_status(icell(X(b.status)), ORDCEL.PTSPER * J);
      if (debug == 2) write_list(kMsgUnit, {" Integral is ", X(b.value)});
      total += walk.weight(e) * X(b.value);
    }
    if (total > kSafeMin) {
      F -= 2.0 * std::log(total);
    } else {
      F -= 2.0 * total;
      OBJCEL.FMODE = -1;
    }
    prev = rec.values;
    prevJ = J;
  }
  walk.finish();
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
