// The edition's factorisations beside the optimizer's at n = 50: F01QFF
// against QRFACT (QR with column interchanges of a 50 x 50 matrix) and
// E4R1MD against R1MOD (one rank-one update of a 50 x 50 triangle).  The
// same order of time is expected of each pair.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "optim/facutil.hpp"
#include "optim/qrkit.hpp"
#include "optim_alt/qrfact.hpp"
#include "optim_alt/r1mod.hpp"

namespace {

constexpr int kN = 50;

std::vector<double> dense() {
  std::vector<double> a(kN * kN);
  for (int j = 0; j < kN; ++j)
    for (int i = 0; i < kN; ++i) a[static_cast<std::size_t>(i + j * kN)] = std::sin(1.0 + i * 0.7 + j * 1.3);
  return a;
}

std::vector<double> triangle() {
  std::vector<double> r(kN * kN, 0.0);
  for (int j = 0; j < kN; ++j)
    for (int i = 0; i <= j; ++i) r[static_cast<std::size_t>(i + j * kN)] = i == j ? 2.0 : 0.01 * (i - j);
  return r;
}

void BM_F01QFF(benchmark::State& state) {
  const std::vector<double> a0 = dense();
  std::vector<double> a(a0.size()), zeta(kN), work(2 * kN);
  std::vector<int> perm(kN);
  for (auto _ : state) {
    a = a0;
    int ifail = 1;
    qv::optim_alt::F01QFF("Column", kN, kN, a, kN, zeta, perm, work, ifail);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_F01QFF);

void BM_QRFACT(benchmark::State& state) {
  const std::vector<double> a0 = dense();
  std::vector<double> a(a0.size()), zeta(kN), work(2 * kN);
  std::vector<int> perm(kN);
  for (auto _ : state) {
    a = a0;
    int inform = 0;
    qv::optim::QRFACT("Column", kN, kN, a, kN, zeta, perm, work, inform);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_QRFACT);

void BM_E4R1MD(benchmark::State& state) {
  const std::vector<double> r0 = triangle();
  std::vector<double> r(r0.size()), u(kN), v(kN), q;
  for (auto _ : state) {
    r = r0;
    for (int i = 0; i < kN; ++i) {
      u[static_cast<std::size_t>(i)] = 0.1 * std::cos(i);
      v[static_cast<std::size_t>(i)] = 0.1 * std::sin(i);
    }
    qv::optim_alt::E4R1MD(kN, 0, kN, kN, kN, kN, r, q, u, v);
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_E4R1MD);

void BM_R1MOD(benchmark::State& state) {
  const std::vector<double> r0 = triangle();
  std::vector<double> r(r0.size()), u, v(kN), w(kN), c(kN), s(kN);
  for (auto _ : state) {
    r = r0;
    for (int i = 0; i < kN; ++i) {
      v[static_cast<std::size_t>(i)] = 0.1 * std::cos(i);
      w[static_cast<std::size_t>(i)] = 0.1 * std::sin(i);
    }
    qv::optim::R1MOD(kN, 0, kN, kN, kN, kN, r, u, v, w, c, s);
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_R1MOD);

}  // namespace

BENCHMARK_MAIN();
