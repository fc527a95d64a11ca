// Time of VLSUMM's parameter list against the number of free elements: a
// calculation job with one full 1 x n matrix of n distinct free elements,
// read and prepared by the job layer once per size; each iteration builds
// the statistics count, the parameter list with its map and the definition
// maps again from the same tops.  The list is built in time linear in n
// (the fitted complexity is printed as "BigO").
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "jobbase/areas.hpp"
#include "jobctl/mainprog.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"
#include "support/script_unit.hpp"

namespace {

using namespace qv;
using testing_support::kScriptUnit;

// Reads and prepares the job of n free elements, its report sent to
// /dev/null.
void prepare(int n) {
  jobctl::reset_all_areas();
  const std::string path = "vlsum_bench_job.qv";
  std::ofstream(path) << "Parameter list of " << n << " free elements\n Calculation NGroups=1\n"
                      << " Begin Matrices;\n  A FU 1 " << n << " Free\n End Matrices;\nEnd\n";
  std::fflush(stdout);
  const int devnull = ::open("/dev/null", O_WRONLY);
  const int saved = ::dup(1);
  ::dup2(devnull, 1);
  jobbase::read_script_from(kScriptUnit, path);
  jobbase::MAINPR.ECHOLN = false;
  jobbase::RDLINE();
  jobctl::read_job();
  jobctl::prepare_job();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(devnull);
  ::close(saved);
  runtime::close_unit(kScriptUnit);
  std::remove(path.c_str());
}

void BM_ParameterList(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  prepare(n);
  auto& m = jobbase::MAINPR;
  const int wstop = m.WSTOP, iwstop = m.IWSTOP;
  int npar = 0, nstat = 0;
  for (auto _ : st) {
    m.WSTOP = wstop;
    m.IWSTOP = iwstop;
    jobbase::VLSUMM(jobbase::WORKSP.x(), jobbase::IWORKS.ix(), jobbase::LABTAB, m.LABSLOT, npar, nstat);
    benchmark::DoNotOptimize(npar);
  }
  if (npar != n) st.SkipWithError("the list does not hold every element");
  st.SetComplexityN(n);
}
BENCHMARK(BM_ParameterList)
    ->RangeMultiplier(4)
    ->Range(256, 1 << 18)
    ->Arg(722)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
