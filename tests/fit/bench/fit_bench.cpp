// Evaluations per second of the objective FITFUN on the nine-variable
// three-factor maximum-likelihood model of the Holzinger-Swineford data
// (21 free parameters: L*P*L' + E*E'), read from a script by the job layer
// and laid out by the fit's set-up as a fit would have it.  Each evaluation
// copies the parameters into the matrices, evaluates the formula and the ML
// fit function, and scales the value.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <span>
#include <string>

#include "../hs9_data.hpp"
#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/mainprog.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"
#include "support/script_unit.hpp"

namespace {

using namespace qv;
using testing_support::kScriptUnit;

std::string hs_script() {
  std::string s = "Holzinger-Swineford three factors\n Data NGroups=1 NInputvars=9 NObservations=301\n CMatrix\n";
  std::size_t k = 0;
  char buf[40];
  for (int i = 1; i <= 9; ++i) {
    for (int j = 1; j <= i; ++j, ++k) {
      std::snprintf(buf, sizeof buf, " %.17g", fit::hs9::kS9[k]);
      s += buf;
    }
    s += "\n";
  }
  s +=
      " Begin Matrices;\n  L FU 9 3\n  P ST 3 3\n  E DI 9 9\n End Matrices;\n"
      " Specification L\n  1 0 0\n  2 0 0\n  3 0 0\n  0 4 0\n  0 5 0\n  0 6 0\n  0 0 7\n  0 0 8\n  0 0 9\n"
      " Specification P 10 11 12\n Specification E 13 14 15 16 17 18 19 20 21\n"
      " Start .5 ALL\n Covariance L*P*L' + E*E';\nEnd\n";
  return s;
}

// Reads and prepares the job, counts it and lays out its arrays; unit 7 is a
// scratch file as in a fit without NA.
void prepare() {
  const std::string path = "fit_bench_job.qv";
  std::ofstream(path) << hs_script();
  jobbase::read_script_from(kScriptUnit, path);
  jobbase::MAINPR.ECHOLN = false;
  jobbase::RDLINE();
  jobctl::read_job();
  jobctl::prepare_job();
  runtime::close_unit(kScriptUnit);
  std::remove(path.c_str());
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  fit::FITCNT(X, IX, jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  fit::FITLAY(X, IX);
  runtime::open_unit(runtime::kMsgUnit, {"", "SCRATCH"});
}

void BM_FitfunHs9Ml(benchmark::State& st) {
  static const bool ready = (prepare(), true);
  (void)ready;
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  const auto& f = fit::FITARR;
  std::span<double> x(X.ptr(f.X), static_cast<std::size_t>(f.N));
  std::span<double> g(X.ptr(f.GOBJ), static_cast<std::size_t>(f.N));
  double fobj = 0.0;
  int mode = 0;
  fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());  // fixes the scale
  int k = 0;
  for (auto _ : st) {
    // A small move of one parameter per evaluation, as the differences do.
    x[static_cast<std::size_t>(k)] += 1.0e-7;
    fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());
    benchmark::DoNotOptimize(fobj);
    x[static_cast<std::size_t>(k)] -= 1.0e-7;
    k = (k + 1) % f.N;
  }
  st.counters["evals/s"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FitfunHs9Ml);

// The whole job in-process, as qvt runs it: reading, preparation, the fit
// and its report (sent to /dev/null), with every area reset before each run.
// What the fit costs a process beyond start-up, without the process.
void BM_WholeJobHs9Ml(benchmark::State& st) {
  const std::string path = "fit_bench_whole.qv";
  std::ofstream(path) << hs_script();
  const int devnull = ::open("/dev/null", O_WRONLY);
  const int saved = ::dup(1);
  for (auto _ : st) {
    std::fflush(stdout);
    ::dup2(devnull, 1);
    jobctl::run_script_file(path, kScriptUnit, false);
    std::fflush(stdout);
    ::dup2(saved, 1);
  }
  ::close(devnull);
  ::close(saved);
  std::remove(path.c_str());
}
BENCHMARK(BM_WholeJobHs9Ml)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
