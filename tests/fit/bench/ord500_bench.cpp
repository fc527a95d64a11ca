// Cost of one evaluation of the ordinal record likelihood (fit code 14) on
// the benchmark case of make bench (tools/bench/ord500.qv): one factor, four
// ordinal items of three categories, 500 records in the order drawn by
// tools/bench/ord_data.awk (the same generator, here in C++), at the
// script's starting values.  Argument 0: each distinct pattern integrated
// once per evaluation (as fitted); 1: reuse off, every record integrated.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>

#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/recwalk.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"
#include "jobctl/mainprog.hpp"
#include "runtime/units.hpp"
#include "support/script_unit.hpp"
#include "bench_job.hpp"

namespace {

using namespace qv;

// ord_data.awk: a Lehmer generator exact in double arithmetic, Box-Muller
// deviates, loadings 0.5 to 0.8, cuts at -0.5 and 0.7.
std::string records() {
  double s = 20261211.0;
  const auto u = [&] {
    s = std::fmod(s * 16807.0, 2147483647.0);
    return s / 2147483647.0;
  };
  const auto gauss = [&] {
    const double a = u(), b = u();
    return std::sqrt(-2.0 * std::log(a)) * std::cos(6.283185307179586 * b);
  };
  std::string out;
  for (int i = 0; i < 500; ++i) {
    const double f = gauss();
    for (int j = 1; j <= 4; ++j) {
      const double l = 0.4 + 0.1 * j;
      const double y = l * f + std::sqrt(1.0 - l * l) * gauss();
      out += std::to_string(y < -0.5 ? 0 : (y < 0.7 ? 1 : 2));
      out += j < 4 ? " " : "\n";
    }
  }
  return out;
}

void prepare() {
  const std::string text =
      "Ordinal benchmark\n Data NGroups=1 NInputvars=4 NObservations=500\n Ordinal\n" + records() +
      "End\n Begin Matrices;\n  L FU 4 1 Free\n  I ID 4 4\n  T FU 2 4 Free\n"
      " End Matrices;\n Start .8 L 1 1 to L 4 1\n Start -.6 T 1 1 to T 1 4\n"
      " Start .8 T 2 1 to T 2 4\n Covariance L*L' + I /\n Thresholds T /\nEnd\n";
  fit::bench::prepare_job_from("ord500_bench_job.qv", text);
}

void BM_Ordinal500PerEvaluation(benchmark::State& st) {
  static const bool ready = (prepare(), true);
  (void)ready;
  fit::RECCEL.REUSE = st.range(0) == 0;
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  const auto& f = fit::FITARR;
  std::span<double> x(X.ptr(f.X), static_cast<std::size_t>(f.N));
  std::span<double> g(X.ptr(f.GOBJ), static_cast<std::size_t>(f.N));
  double fobj = 0.0;
  int mode = 0;
  fit::OBJCEL.FFIRST = false;
  fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());
  const double m2ll = fobj * fit::OBJCEL.FSCALE;
  for (auto _ : st) {
    mode = 0;
    fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());
    benchmark::DoNotOptimize(fobj);
  }
  st.counters["m2ll"] = m2ll;
  fit::RECCEL.reset();
}
BENCHMARK(BM_Ordinal500PerEvaluation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
