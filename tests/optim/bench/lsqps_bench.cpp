// LSQPS on a convex QP with 50 variables and 20 general rows (fixed seed):
// H = M'M + I, a linear term, bounds [-1, 1] and rows l <= A x <= u that cut
// the unconstrained minimum.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "optim/lsqps.hpp"
#include "optim/options.hpp"

namespace {

using namespace qv::optim;

void BM_LsqpsConvexQp(benchmark::State& state) {
  const int n = 50, nclin = 20;
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> m(n * n), h(n * n), a(nclin * n), c(n), bl(n + nclin), bu(n + nclin);
  for (double& v : m) v = u(gen);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? 1.0 : 0.0;
      for (int k = 0; k < n; ++k) s += m[k + i * n] * m[k + j * n];
      h[i + j * n] = s;
    }
  for (double& v : a) v = u(gen);
  for (double& v : c) v = 10.0 * u(gen);
  for (int j = 0; j < n; ++j) {
    bl[j] = -1.0;
    bu[j] = 1.0;
  }
  for (int i = 0; i < nclin; ++i) {
    bl[n + i] = -0.5;
    bu[n + i] = 0.5;
  }
  LSOPLN("Nolist");
  LSOPLN("Problem type QP2");
  LSOPLN("Print level 0");
  LSOPLN("Print file 0");
  LSOPLN("Summary file 0");
  std::vector<int> istate(n + nclin), kx(n), iw(1000);
  std::vector<double> x(n), r(n * n), b(1), mult(n + nclin), w(20000);
  int inform = 0, iter = 0;
  double obj = 0.0;
  for (auto _ : state) {
    std::fill(istate.begin(), istate.end(), 0);
    std::fill(x.begin(), x.end(), 0.0);
    r = h;
    LSQPS(0, n, nclin, nclin, n, a, bl, bu, c, istate, kx, x, r, b, inform, iter, obj, mult, iw, 1000, w, 20000);
    benchmark::DoNotOptimize(x.data());
  }
  state.counters["iterations"] = iter;
  state.counters["inform"] = inform;
}
BENCHMARK(BM_LsqpsConvexQp);

}  // namespace

BENCHMARK_MAIN();
