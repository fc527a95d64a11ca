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
#include "optim_alt/e04ucf.hpp"
#include "optim_alt/options.hpp"

namespace {

using namespace qv;
using optim::hs::Problem;

const Problem& find(const std::string& name) {
  for (const Problem& p : optim::hs::problems())
    if (p.name == name) return p;
  return optim::hs::problems().front();
}

// One problem's arrays for repeated cold E04UCF solves.
class AltSolver {
 public:
  AltSolver(const Problem& p, int level) : p_(p), level_(level), n_(p.n), m_(p.m) {
    const int nctotl = n_ + m_;
    bl_.assign(p.bl.begin(), p.bl.begin() + nctotl);
    bu_.assign(p.bu.begin(), p.bu.begin() + nctotl);
    alin_.assign(static_cast<std::size_t>(n_), 0.0);
    istate_.assign(static_cast<std::size_t>(nctotl), 0);
    xmult_.assign(static_cast<std::size_t>(nctotl), 0.0);
    c_.assign(static_cast<std::size_t>(std::max(m_, 1)), 0.0);
    cjac_.assign(static_cast<std::size_t>(std::max(m_, 1) * n_), 0.0);
    g_.assign(static_cast<std::size_t>(n_), 0.0);
    rfac_.assign(static_cast<std::size_t>(n_ * n_), 0.0);
    x_.assign(static_cast<std::size_t>(n_), 0.0);
    gwork_.assign(static_cast<std::size_t>(n_), 0.0);
    cwork_.assign(static_cast<std::size_t>(std::max(m_, 1)), 0.0);
    jwork_.assign(static_cast<std::size_t>(std::max(m_, 1) * n_), 0.0);
    niw_ = 2 * n_ + m_ + nctotl;
    nw_ = 20 * n_ + 21 * m_ + m_ * n_ + (m_ > 0 ? 2 * n_ * n_ + m_ * n_ : 0);
    iw_.assign(static_cast<std::size_t>(niw_), 0);
    w_.assign(static_cast<std::size_t>(nw_), 0.0);
    iusr_.assign(1, 0);
    rusr_.assign(1, 0.0);
    objfun_ = [this](int& mode, int n, std::span<const double> x, double& fobj, std::span<double> gobj, int,
                     std::span<int>, std::span<double>) {
      p_.obj(x.data(), fval_, gwork_.data());
      if (mode == 0 || mode == 2) {
        fobj = fval_;
        ++nevals_;
      }
      if (level_ == 3 && (mode == 1 || mode == 2)) {
        std::copy(gwork_.begin(), gwork_.begin() + n, gobj.begin());
        if (mode == 1) ++nevals_;
      }
    };
    cnlfun_ = [this](int& mode, int m, int n, int ldj, std::span<const int> kneed, std::span<const double> x,
                     std::span<double> c, std::span<double> jac, int, std::span<int>, std::span<double>) {
      p_.con(x.data(), cwork_.data(), jwork_.data(), m);
      for (int i = 0; i < m; ++i) {
        if (kneed[static_cast<std::size_t>(i)] != 1) continue;
        if (mode == 0 || mode == 2) c[static_cast<std::size_t>(i)] = cwork_[static_cast<std::size_t>(i)];
        if (level_ == 3 && (mode == 1 || mode == 2))
          for (int j = 0; j < n; ++j)
            jac[static_cast<std::size_t>(i + j * ldj)] = jwork_[static_cast<std::size_t>(i + j * m)];
      }
    };
  }

  void solve() {
    std::copy(p_.x0.begin(), p_.x0.end(), x_.begin());
    std::fill(istate_.begin(), istate_.end(), 0);
    std::fill(xmult_.begin(), xmult_.end(), 0.0);
    nevals_ = 0;
    ifail_ = 1;
    optim_alt::E04UCF(n_, 0, m_, 1, std::max(1, m_), n_, alin_, bl_, bu_, cnlfun_, objfun_, majits_, istate_, c_,
                      cjac_, xmult_, f_, g_, rfac_, x_, iw_, niw_, w_, nw_, iusr_, rusr_, ifail_);
  }

  int ifail() const { return ifail_; }
  int majits() const { return majits_; }
  int evaluations() const { return nevals_; }
  double f() const { return f_; }

 private:
  const Problem& p_;
  int level_, n_, m_, niw_ = 0, nw_ = 0;
  int ifail_ = 0, majits_ = 0, nevals_ = 0;
  double f_ = 0.0, fval_ = 0.0;
  std::vector<double> bl_, bu_, alin_, xmult_, c_, cjac_, g_, rfac_, x_, w_, rusr_, gwork_, cwork_, jwork_;
  std::vector<int> istate_, iw_, iusr_;
  optim::Objfun objfun_;
  optim::Cnlfun cnlfun_;
};

void BM_E04ucf(benchmark::State& state, const std::string& name, int level) {
  const Problem& p = find(name);
  const std::vector<std::string> lines = {"Nolist", "Defaults", "Major print level -1",
                                          "Derivative level " + std::to_string(level)};
  for (const std::string& line : lines) optim_alt::E04UEF(line);
  if (level == 3) optim_alt::E04UEF("Verify No");
  AltSolver solver(p, level);
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
