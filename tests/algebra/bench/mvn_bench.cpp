// Multivariate normal integrals at the fit's settings for ordinal raw data:
// NPTS = 5000 N, ABSTOL = 1e-6 (single precision), RELTOL = 1.0.  One
// record's likelihood term is one such call; the fit makes thousands.
#include <benchmark/benchmark.h>

#include <vector>

#include "algebra/mvnadp.hpp"

namespace {

// A record of N ordinal variables: intervals between thresholds, the first
// and last categories open on one side, correlations of a one-factor model.
struct Record {
  std::vector<double> lo, up, rho;
  std::vector<int> kind;
  explicit Record(int n) : lo(n), up(n), rho(n * (n - 1) / 2), kind(n) {
    for (int i = 0; i < n; ++i) {
      kind[i] = i % 3 == 0 ? 0 : (i % 3 == 1 ? 2 : 1);
      lo[i] = -0.6 + 0.05 * i;
      up[i] = 0.8 + 0.03 * i;
    }
    std::vector<double> load(n);
    for (int i = 0; i < n; ++i) load[i] = 0.5 + 0.03 * i;
    int p = 0;
    for (int i = 1; i < n; ++i)
      for (int j = 0; j < i; ++j) rho[p++] = load[i] * load[j];
  }
};

void BM_Mvnadp(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Record r(n);
  const double abstol = static_cast<double>(1e-6f);
  double err = 0, val = 0;
  int inform = 0;
  for (auto _ : state) {
    qv::algebra::MVNADP(n, r.lo, r.up, r.kind, r.rho, 5000 * n, abstol, 1.0, err, val, inform);
    benchmark::DoNotOptimize(val);
  }
  state.counters["value"] = val;
  state.counters["error"] = err;
  state.counters["inform"] = inform;
}
BENCHMARK(BM_Mvnadp)->Arg(4)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
