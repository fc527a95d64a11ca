// Benchmarks of the working-set factor updates at n = 50: one general row
// added to and deleted from a working set of ten rows (the factors are
// updated, never recomputed), and one rank-one modification of R.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "optim/facutil.hpp"
#include "optim/workset.hpp"

namespace {

using namespace qv::optim;

constexpr int kN = 50;
constexpr int kRows = 11;

struct Factors {
  int n = kN, nclin = kRows;
  bool unitQ = true;
  int nactiv = 0, nfree = kN, nZ = kN, nZ1 = kN, nrank = kN;
  std::vector<int> kx, wslist, istate;
  std::vector<double> a, zy, t, r, res, gq, w, c, s;

  Factors() {
    kx.resize(kN);
    std::iota(kx.begin(), kx.end(), 1);
    wslist.assign(kRows, 0);
    istate.assign(kN + kRows, 0);
    a.resize(static_cast<std::size_t>(kRows * kN));
    for (int j = 0; j < kN; ++j)
      for (int i = 0; i < kRows; ++i) a[static_cast<std::size_t>(i + j * kRows)] = std::sin(1.0 + i * 0.7 + j * 1.3);
    zy.assign(kN * kN, 0.0);
    t.assign(static_cast<std::size_t>(kRows * kN), 0.0);
    r.assign(kN * kN, 0.0);
    for (int j = 0; j < kN; ++j)
      for (int i = 0; i <= j; ++i) r[static_cast<std::size_t>(i + j * kN)] = i == j ? 2.0 : 0.01 * (i - j);
    res.assign(kN, 1.0);
    gq.assign(kN, 0.5);
    w.assign(kN, 0.0);
    c.assign(kN, 0.0);
    s.assign(kN, 0.0);
    LSCOND.asize = 10.0;
    for (int row = 1; row < kRows; ++row) add(row);
  }
  void add(int row) {
    int inform = 0;
    lsadd(unitQ, inform, 0, row, kN + row, nactiv, nZ, nfree, nrank, 1, 1, kN, kRows, kN, kN, kRows, kx, 1e15, a, r,
          t, res, gq, zy, w, c, s);
    ++nactiv;
    --nZ;
    wslist[static_cast<std::size_t>(nactiv - 1)] = row;
  }
  void del(int kdel) {
    nZ1 = nZ;
    lsdel(unitQ, kN, nactiv, nfree, 1, 1, nZ, nZ1, kRows, kN, kN, kRows, nrank, kN + wslist[kdel - 1], kdel, wslist,
          kx, a, res, r, t, gq, zy, c, s);
  }
};

void BM_LsaddLsdelGeneralRow(benchmark::State& state) {
  Factors f;
  for (auto _ : state) {
    f.add(kRows);
    f.del(f.nactiv);
    benchmark::DoNotOptimize(f.t.data());
  }
}
BENCHMARK(BM_LsaddLsdelGeneralRow);

void BM_R1mod(benchmark::State& state) {
  std::vector<double> r(kN * kN, 0.0), v(kN), w(kN), c(kN), s(kN), u(1);
  for (int j = 0; j < kN; ++j)
    for (int i = 0; i <= j; ++i) r[static_cast<std::size_t>(i + j * kN)] = i == j ? 2.0 : 0.01 * (i - j);
  for (int i = 0; i < kN; ++i) w[static_cast<std::size_t>(i)] = 1e-3 * std::cos(i);
  for (auto _ : state) {
    for (int i = 0; i < kN; ++i) v[static_cast<std::size_t>(i)] = 1e-3 * std::sin(i);
    R1MOD(kN, 0, kN, kN, kN, kN, r, u, v, w, c, s);
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_R1mod);

}  // namespace

BENCHMARK_MAIN();
