// Difference estimates of a full gradient and a 5-row Jacobian at n = 20
// (forward and one-sided central), with cheap callbacks so that the time is
// the routine's own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "optim/npderiv.hpp"

namespace {

using namespace qv::optim;

void BM_Npfdgr(benchmark::State& state) {
  const int n = 20, m = 5;
  const bool central = state.range(0) != 0;
  Objfun obj = [](int&, int nn, std::span<const double> x, double& f, std::span<double>, int, std::span<int>,
                  std::span<double>) {
    double s = 0;
    for (int j = 0; j < nn; ++j) s += x[j] * x[j] * (1.0 + 0.1 * j);
    f = s;
  };
  Cnlfun con = [](int&, int mm, int nn, int, std::span<const int> kneed, std::span<const double> x,
                  std::span<double> c, std::span<double>, int, std::span<int>, std::span<double>) {
    for (int i = 0; i < mm; ++i) {
      if (!kneed[i]) continue;
      double s = 0;
      for (int j = 0; j < nn; ++j) s += x[j] * (i + j + 1);
      c[i] = s * s;
    }
  };
  Npdsta st;
  st.dif_class = kDifUser;
  st.nmissj = m * n;
  std::vector<double> x(n, 0.5), bl(n + m, -1e20), bu(n + m, 1e20), c(m, 1.0), c1(m), c2(m), cjac(m * n),
      cjacu(m * n, kDerivUnset), grad(n), gradu(n, kDerivUnset), hf(n, 1e-8), hc(n, 1e-5), w(1);
  std::vector<int> kneed(m), iusr(1);
  std::vector<double> rusr(1);
  int inform = 0;
  double fdnorm = 0.0;
  for (auto _ : state) {
    NPFDGR(st, central, inform, m, m, n, m, 1e20, 0.0, 0.0, fdnorm, 1.0, con, obj, kneed, bl, bu, c, c1, c2, cjac,
           cjacu, grad, gradu, hf, hc, x, w, 1, iusr, rusr);
    benchmark::DoNotOptimize(grad.data());
    benchmark::DoNotOptimize(cjac.data());
  }
}
BENCHMARK(BM_Npfdgr)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
