// Evaluations per second of the objective FITFUN on the nine-variable
// three-factor maximum-likelihood model of the Holzinger-Swineford data
// (21 free parameters: L*P*L' + E*E'), read from a script by the job layer
// and laid out by the fit's set-up as a fit would have it.  Each evaluation
// copies the parameters into the matrices, evaluates the formula and the ML
// fit function, and scales the value.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>

#include "../hs9_data.hpp"
#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/mainprog.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"
#include "support/script_unit.hpp"
#include "bench_job.hpp"

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
  fit::bench::prepare_job_from("fit_bench_job.qv", hs_script());
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

// The record likelihood (fit code 10) on 10,000 cases of ten indicators of
// one factor with 10% of the values missing (the generator of make bench's
// tools/bench/fiml_data.awk: a fixed linear congruential sequence), one
// factor with free means (30 parameters).  FITFUN evaluations per second,
// with the pattern cache (as the program runs) and without it.
struct Lcg {
  double s = 20261211.0;
  double u() {
    s = std::fmod(s * 16807.0, 2147483647.0);
    return s / 2147483647.0;
  }
  double gauss() {
    const double a = u(), b = u();
    return std::sqrt(-2.0 * std::log(a)) * std::cos(6.283185307179586 * b);
  }
};

void write_fiml_data(const std::string& path, int n) {
  std::ofstream out(path);
  Lcg r;
  char buf[32];
  for (int i = 1; i <= n; ++i) {
    const double f = r.gauss();
    std::string line;
    bool any = false;
    for (int j = 1; j <= 10; ++j) {
      const double y = j + (0.6 + 0.04 * j) * f + std::sqrt(0.5) * r.gauss();
      if (r.u() < 0.1) {
        line += j > 1 ? " ." : ".";
      } else {
        std::snprintf(buf, sizeof buf, j > 1 ? " %.4f" : "%.4f", y);
        line += buf;
        any = true;
      }
    }
    if (!any) line = "11.0000" + line.substr(1);
    out << line << "\n";
  }
}

void prepare_fiml() {
  jobctl::reset_all_areas();
  const std::string data = "fit_bench_fiml10k.dat";
  write_fiml_data(data, 10000);
  std::string script =
      "One factor, ten indicators, free means\n Data NGroups=1 NInputvars=10 NObservations=100000\n"
      " Rectangular File=" + data + "\n Begin Matrices;\n  L FU 10 1 Free\n  E DI 10 10 Free\n"
      "  M FU 1 10 Free\n End Matrices;\n Start 0.8 L 1 1 to L 10 1\n Start 0.5 E 1 1 to E 10 10\n";
  for (int j = 1; j <= 10; ++j) script += " Start " + std::to_string(j) + " M 1 " + std::to_string(j) + "\n";
  script += " Covariance L*L' + E /\n Means M /\nEnd\n";
  const std::string path = "fit_bench_fiml.qv";
  std::ofstream(path) << script;
  jobbase::read_script_from(kScriptUnit, path);
  jobbase::MAINPR.ECHOLN = false;
  const int devnull = ::open("/dev/null", O_WRONLY);
  const int saved = ::dup(1);
  std::fflush(stdout);
  ::dup2(devnull, 1);
  jobbase::RDLINE();
  jobctl::read_job();
  jobctl::prepare_job();
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  fit::FITCNT(X, IX, jobbase::LABTAB, jobbase::MAINPR.LABSLOT);
  fit::FITLAY(X, IX);
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(devnull);
  ::close(saved);
  runtime::close_unit(kScriptUnit);
  std::remove(path.c_str());
  std::remove(data.c_str());
  runtime::open_unit(runtime::kMsgUnit, {"", "SCRATCH"});
  auto& m = jobbase::MAINPR;
  m.PI = 3.141592653589793;
  m.SAFMIN = 0x1p-1022;
  m.MLNSAF = -std::log(m.SAFMIN);
  m.LN1E30 = std::log(1.0E30);
}

void fiml_evaluations(benchmark::State& st, bool cache) {
  prepare_fiml();
  fit::RECCEL.CACHE = cache;
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  const auto& f = fit::FITARR;
  std::span<double> x(X.ptr(f.X), static_cast<std::size_t>(f.N));
  std::span<double> g(X.ptr(f.GOBJ), static_cast<std::size_t>(f.N));
  double fobj = 0.0;
  int mode = 0;
  fit::OBJCEL.FFIRST = false;
  fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());  // lays out the area, fixes the scale
  int k = 0;
  for (auto _ : st) {
    x[static_cast<std::size_t>(k)] += 1.0e-7;
    fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());
    benchmark::DoNotOptimize(fobj);
    x[static_cast<std::size_t>(k)] -= 1.0e-7;
    k = (k + 1) % f.N;
  }
  fit::RECCEL.reset();
  st.counters["evals/s"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}
void BM_FitfunVl10k(benchmark::State& st) { fiml_evaluations(st, true); }
void BM_FitfunVl10kNoCache(benchmark::State& st) { fiml_evaluations(st, false); }
BENCHMARK(BM_FitfunVl10k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FitfunVl10kNoCache)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
