// Whole NLSQP solves from the published starts: Rosenbrock and HS71 at
// derivative levels 0 (differences) and 3 (supplied), cold each time.
// Reports the time per solve and the objective evaluations per solve.
#include <benchmark/benchmark.h>

#include <string>

#include "hsproblems.hpp"
#include "nlsqp_solve.hpp"

namespace {

using namespace qv::optim;

const hs::Problem& find(const std::string& name) {
  for (const hs::Problem& p : hs::problems())
    if (p.name == name) return p;
  return hs::problems().front();
}

void BM_Nlsqp(benchmark::State& state, const std::string& name, int level) {
  const hs::Problem& p = find(name);
  testing::quiet_options(level, p.major_limit);
  testing::HsSolver solver(p, level);
  long evals = 0, solves = 0;
  for (auto _ : state) {
    solver.solve();
    evals += solver.evaluations();
    ++solves;
    benchmark::DoNotOptimize(solver.f());
  }
  state.counters["evals/solve"] = static_cast<double>(evals) / static_cast<double>(solves);
  state.counters["majits"] = solver.majits();
  state.counters["inform"] = solver.inform();
}

BENCHMARK_CAPTURE(BM_Nlsqp, Rosenbrock_level0, std::string("Rosenbrock"), 0);
BENCHMARK_CAPTURE(BM_Nlsqp, Rosenbrock_level3, std::string("Rosenbrock"), 3);
BENCHMARK_CAPTURE(BM_Nlsqp, HS71_level0, std::string("HS71"), 0);
BENCHMARK_CAPTURE(BM_Nlsqp, HS71_level3, std::string("HS71"), 3);

}  // namespace

BENCHMARK_MAIN();
