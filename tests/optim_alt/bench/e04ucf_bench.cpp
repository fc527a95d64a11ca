// Whole E04UCF solves of HS71 from the published start, cold each time, at
// derivative levels 0 (differences) and 3 (supplied), beside NLSQP's solves
// of the same problem: the time per solve and the objective evaluations per
// solve (a call asking for a value, or for gradients the callback supplies).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "optim/hsproblems.hpp"
#include "optim/nlsqp_solve.hpp"
#include "optim_alt/e04ucf_solve.hpp"

namespace {

using namespace qv;
using optim::hs::Problem;

const Problem& find(const std::string& name) {
  for (const Problem& p : optim::hs::problems())
    if (p.name == name) return p;
  return optim::hs::problems().front();
}

void BM_E04ucf(benchmark::State& state, const std::string& name, int level) {
  const Problem& p = find(name);
  optim_alt::testing::quiet_options(level, p.major_limit);
  optim_alt::testing::AltSolver solver(p, level);
  long evals = 0, solves = 0;
  for (auto _ : state) {
    solver.solve();
    evals += solver.evaluations();
    ++solves;
    benchmark::DoNotOptimize(solver.f());
  }
  state.counters["evals/solve"] = static_cast<double>(evals) / static_cast<double>(solves);
  state.counters["majits"] = solver.majits();
  state.counters["ifail"] = solver.ifail();
  state.counters["f-f*"] = solver.f() - p.fstar;
}

void BM_Nlsqp(benchmark::State& state, const std::string& name, int level) {
  const Problem& p = find(name);
  optim::testing::quiet_options(level, p.major_limit);
  optim::testing::HsSolver solver(p, level);
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
  state.counters["f-f*"] = solver.f() - p.fstar;
}

BENCHMARK_CAPTURE(BM_E04ucf, HS71_level0, std::string("HS71"), 0);
BENCHMARK_CAPTURE(BM_E04ucf, HS71_level3, std::string("HS71"), 3);
BENCHMARK_CAPTURE(BM_Nlsqp, HS71_level0, std::string("HS71"), 0);
BENCHMARK_CAPTURE(BM_Nlsqp, HS71_level3, std::string("HS71"), 3);

}  // namespace

BENCHMARK_MAIN();
