// Cost per record of the ordinal record likelihood (fit code 14): FITFUN on
// the one-factor model of three ordinal items of three categories, 400
// records (tests/fit/refs/ordfit_refs.txt, "three variables"), at the
// reference estimates, with reuse off (every record is integrated).  One run
// per setting of the integrator: the specified tolerances (absolute 1e-6 in single precision,
// relative 1.0), then tighter ones up to those in use.  The counter dm2ll is
// -2 ln L minus the reference's at the same estimates (2363.3887742682).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/ordfit.hpp"
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

constexpr double kRef = 2363.3887742682;
constexpr int kRecords = 400;

// The patterns and their counts (ordfit_refs.txt), written round-robin.
std::string script() {
  const int pats[25][4] = {{0, 0, 0, 59}, {0, 0, 1, 15}, {0, 0, 2, 4},  {0, 1, 0, 24}, {0, 1, 1, 7},
                           {0, 1, 2, 3},  {0, 2, 1, 3},  {1, 0, 0, 38}, {1, 0, 1, 25}, {1, 0, 2, 4},
                           {1, 1, 0, 41}, {1, 1, 1, 22}, {1, 1, 2, 11}, {1, 2, 0, 9},  {1, 2, 1, 10},
                           {1, 2, 2, 7},  {2, 0, 0, 12}, {2, 0, 1, 7},  {2, 0, 2, 4},  {2, 1, 0, 10},
                           {2, 1, 1, 19}, {2, 1, 2, 15}, {2, 2, 0, 14}, {2, 2, 1, 16}, {2, 2, 2, 21}};
  std::vector<int> left;
  for (const auto& p : pats) left.push_back(p[3]);
  std::string s = "Ordinal cost\n Data NGroups=1 NInputvars=3 NObservations=400\n Ordinal\n";
  for (bool any = true; any;) {
    any = false;
    for (int k = 0; k < 25; ++k)
      if (left[k] > 0) {
        s += std::to_string(pats[k][0]) + " " + std::to_string(pats[k][1]) + " " + std::to_string(pats[k][2]) + "\n";
        --left[k];
        any = true;
      }
  }
  s += "End\n Begin Matrices;\n  F FU 3 1 Free\n  I ID 3 3\n  T FU 2 3 Free\n End Matrices;\n"
       " Start 1.298246846450 F 1 1\n Start 0.955724804022 F 2 1\n Start 0.676869659208 F 3 1\n"
       " Start -0.920983034749 T 1 1\n Start -0.287626005860 T 1 2\n Start 0.049540418853 T 1 3\n"
       " Start 0.879241081182 T 2 1\n Start 1.164622868988 T 2 2\n Start 1.138944010955 T 2 3\n"
       " Covariance F*F' + I /\n Thresholds T /\nEnd\n";
  return s;
}

void prepare() {
  fit::bench::prepare_job_from("ordfit_bench_job.qv", script());
}

struct Setting {
  double abserr, relerr;
};
const Setting kSettings[] = {
    {fit::kOrdAbsSingle, fit::kOrdRelLoose}, {1e-6, 1e-3}, {1e-7, 1e-4},
    {1e-12, 1e-5},                           {fit::kOrdAbsTight, fit::kOrdRelTight},
};

void BM_OrdinalFitfunPerRecord(benchmark::State& st) {
  static const bool ready = (prepare(), true);
  (void)ready;
  const Setting& s = kSettings[st.range(0)];
  fit::ORDCEL.ABSERR = s.abserr;
  fit::ORDCEL.RELERR = s.relerr;
  fit::RECCEL.REUSE = false;
  auto X = jobbase::WORKSP.x();
  auto IX = jobbase::IWORKS.ix();
  const auto& f = fit::FITARR;
  std::span<double> x(X.ptr(f.X), static_cast<std::size_t>(f.N));
  std::span<double> g(X.ptr(f.GOBJ), static_cast<std::size_t>(f.N));
  double fobj = 0.0;
  int mode = 0;
  fit::OBJCEL.FFIRST = false;
  fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());  // the value at the estimates
  const double m2ll = fobj * fit::OBJCEL.FSCALE;
  for (auto _ : st) {
    mode = 0;
    fit::FITFUN(mode, f.N, x, fobj, g, 0, IX.span(), X.span());
    benchmark::DoNotOptimize(fobj);
  }
  st.counters["us/record"] = benchmark::Counter(static_cast<double>(st.iterations()) * kRecords,
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  st.counters["dm2ll"] = m2ll - kRef;
  st.counters["relerr"] = s.relerr;
  fit::ORDCEL.reset();
  fit::RECCEL.reset();
}
BENCHMARK(BM_OrdinalFitfunPerRecord)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
