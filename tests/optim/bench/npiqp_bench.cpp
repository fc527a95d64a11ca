// One QP subproblem of a major iteration at n = 20 with 10 nonlinear rows
// (fixed seed): from an empty working set (arg 0), and from the working set
// and factors the first solve leaves (arg 1), where the nonlinear rows are
// taken out and added again as in every later major iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "optim/nlsqp.hpp"
#include "optim/npiqp.hpp"
#include "optim/npmrt.hpp"
#include "optim/options.hpp"
#include "optim/workset.hpp"
#include "optim/wsutil.hpp"

namespace {

using namespace qv::optim;

struct State {
  bool unitQ = true;
  int nactiv = 0, nfree = 0, nZ = 0;
  std::vector<int> istate, wslist, kx;
  std::vector<double> w, R, qpmat, nlmult, rho;
};

void BM_Npiqp(benchmark::State& state) {
  const int n = 20, m = 10, nctotl = n + m;
  const double big = 1e20;
  NPOPTS.reset();
  NPMERT.reset();
  LSCOND.reset();
  LSPRNT.reset();
  NPOPTS.ils(slot::kPrintFile) = 0;
  NPOPTS.ils(slot::kSummaryFile) = 0;
  NPOPTS.ils(slot::kMinorPrintLevel) = 0;
  NPOPTS.ils(slot::kMinorIterations) = 500;
  NPOPTS.rls(slot::kInfiniteBound) = big;
  NPOPTS.rls(slot::kInfiniteStep) = big;
  NPOPTS.rls(slot::kRankTol) = 1e-10;
  NPOPTS.inp(slot::kNonlinVars) = n;
  set_precision(NPPREC, n);

  int li = 0, lw = 0;
  NPWKSP(n, 0, m, nctotl, li, lw);
  const Lsloc loc = npiqp_loc(NPWLOC, n);
  std::mt19937 gen(20260);
  std::uniform_real_distribution<double> u(-1.0, 1.0);

  State s0;
  s0.w.assign(static_cast<std::size_t>(lw), 0.0);
  s0.istate.assign(nctotl, 0);
  s0.wslist.assign(n, 0);
  s0.kx.resize(n);
  for (int k = 0; k < n; ++k) s0.kx[k] = k + 1;
  s0.nfree = n;
  s0.nZ = n;
  s0.R.assign(n * n, 0.0);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < j; ++i) s0.R[i + j * n] = 0.2 * u(gen);
    s0.R[j + j * n] = 1.5 + 0.5 * u(gen);
  }
  s0.qpmat.assign(m * n, 0.0);
  s0.nlmult.assign(m, 0.0);
  s0.rho.assign(m, 1.0);
  std::vector<double> cjac(m * n), c(m), bl(nctotl), bu(nctotl), x(n, 0.0), ax(1);
  for (double& v : cjac) v = u(gen);
  for (int i = 0; i < m; ++i) c[i] = 0.1 * u(gen);
  for (int j = 0; j < n; ++j) {
    bl[j] = -1.0;
    bu[j] = 1.0;
  }
  for (int i = 0; i < m; ++i) {
    bl[n + i] = -0.2;
    bu[n + i] = 0.2;
  }
  // The projected gradient, pointing out of the feasible region.
  for (int k = 0; k < n; ++k) s0.w[static_cast<std::size_t>(loc.cq - 1 + k)] = 3.0 * u(gen);

  std::vector<double> mult(nctotl), cs(m), dmult(m), dslack(m), qplo(nctotl), qphi(nctotl), qpftol(nctotl, 1e-8),
      slackv(m), nlviol(m);
  std::vector<int> iw(static_cast<std::size_t>(li));
  auto part = [](std::vector<double>& w, int pos, int len) {
    return std::span<double>(w).subspan(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(len));
  };
  auto run = [&](State& s) {
    bool feasible = false;
    int nqperr = 0, iters = 0, linact = 0, nlnact = 0, ninf = 0;
    double stepnorm = 0, gdir = 0, qpcurv = 0;
    npiqp(feasible, s.unitQ, nqperr, 1, iters, n, 0, m, m, m, n, linact, nlnact, s.nactiv, s.nfree, s.nZ, ninf,
          s.istate, s.wslist, s.kx, stepnorm, gdir, qpcurv, s.qpmat, part(s.w, NPWLOC.vc1, m),
          part(s.w, loc.rownorm, m), ax, bl, bu, c, cjac, mult, s.nlmult, cs, dmult, dslack,
          part(s.w, NPWLOC.vn1[0], n), qplo, qphi, qpftol, s.R, s.rho, slackv, nlviol, x, part(s.w, loc.infwt, nctotl),
          iw, s.w, loc);
    return iters;
  };

  State start = s0;
  if (state.range(0) == 1) {
    run(start);
    // The next major iteration: the same point, the projected gradient in
    // the new basis is what the factors hold now.
  }
  State s = start;
  long qpits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s = start;
    state.ResumeTiming();
    qpits += run(s);
    benchmark::DoNotOptimize(s.w.data());
  }
  state.counters["qp_iters"] = benchmark::Counter(static_cast<double>(qpits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Npiqp)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
