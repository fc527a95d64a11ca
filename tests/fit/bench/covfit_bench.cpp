// Evaluations per second of the covariance fit functions on a nine-variable
// group: the kernels alone and through the group adapter (ML), with an
// expected matrix 0.9 S + 0.1 diag(S) so that every value is non-trivial.
#include <benchmark/benchmark.h>

#include <vector>

#include "fit/covfit.hpp"
#include "fit/objcel.hpp"
#include "jobctl/mainprog.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/packidx.hpp"

namespace {

using namespace qv::fit;

constexpr int kP = 9;

// A positive-definite S: 1 on the diagonal, 0.3 off it, times a scale per variable.
std::vector<double> observed() {
  std::vector<double> S;
  for (int i = 1; i <= kP; ++i)
    for (int j = 1; j <= i; ++j) S.push_back((i == j ? 1.0 : 0.3) * (1.0 + 0.1 * i) * (1.0 + 0.1 * j));
  return S;
}
std::vector<double> expected(const std::vector<double>& S) {
  std::vector<double> E = S;
  int k = 0;
  for (int i = 1; i <= kP; ++i)
    for (int j = 1; j <= i; ++j, ++k) E[k] = i == j ? S[k] : 0.9 * S[k];
  return E;
}

void BM_MlKernel(benchmark::State& st) {
  const auto S = observed();
  const auto E = expected(S);
  std::vector<double> scratch(ml_scratch(kP));
  for (auto _ : st) {
    const MlResult r = ml_fit(S, E, kP, 1.0, 301.0, 0.0, scratch);
    benchmark::DoNotOptimize(r.F);
  }
}
BENCHMARK(BM_MlKernel);

void BM_GlsKernel(benchmark::State& st) {
  const auto S = observed();
  const auto E = expected(S);
  std::vector<double> scratch(gls_scratch(kP));
  for (auto _ : st) benchmark::DoNotOptimize(gls_fit(S, E, kP, 301.0, scratch));
}
BENCHMARK(BM_GlsKernel);

void BM_LsKernel(benchmark::State& st) {
  const auto S = observed();
  const auto E = expected(S);
  for (auto _ : st) benchmark::DoNotOptimize(ls_fit(S, E, 301.0));
}
BENCHMARK(BM_LsKernel);

// ML through COVFIT on a one-group workspace.
void BM_MlAdapter(benchmark::State& st) {
  auto X = qv::jobbase::WORKSP.x();
  const auto S = observed();
  const auto E = expected(S);
  X(1) = 1;
  const int sAddr = 1001, eAddr = 2001;
  for (std::size_t k = 0; k < S.size(); ++k) {
    X(sAddr + static_cast<int>(k)) = S[k];
    X(eAddr + static_cast<int>(k)) = E[k];
  }
  auto col = [&](int k) -> double& { return qv::jobbase::GRPTAB(X, 1, k, 1); };
  col(1) = 301;
  col(2) = kP;
  col(3) = qv::runtime::packed_size(kP);
  col(4) = sAddr;
  col(9) = eAddr;
  col(10) = 1.0;
  qv::jobbase::MAINPR.WSTOP = 5001;
  OBJCEL.FFIRST = true;
  for (auto _ : st) {
    double fobj = 0.0;
    COVFIT(2, X, 1, 1, fobj);
    benchmark::DoNotOptimize(fobj);
  }
}
BENCHMARK(BM_MlAdapter);

}  // namespace

BENCHMARK_MAIN();
