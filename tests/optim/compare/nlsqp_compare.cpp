// Comparison of NLSQP with the alternative optimizer edition's E04UCF and
// with NLopt's SLSQP on the published test problems.
//
// Two passes: analytic gradients (NLSQP and E04UCF at derivative level 3
// with the checks off; SLSQP given the gradients) and differences as the fit
// uses them (NLSQP and E04UCF at level 0; SLSQP given forward differences with
// h = sqrt(eps)(1 + |x_j|), n extra evaluations per gradient).  Per problem
// and solver: objective evaluations per solve (a call asking for a value, or
// for gradients the callback supplies), the median wall time of repeated
// solves, and whether f* was reached (|f - f*| <= 1e-6 max(1, |f*|) with a
// largest violation of at most 1e-6).  NLSQP's set-up evaluations (the
// first values and, with differences, the search for the difference
// intervals) are shown apart.  E04UCF runs silently (IFAIL 1 on entry) with
// its print levels off, and its IFAIL is shown.  SLSQP runs with xtol_rel 1e-8,
// ftol_rel 1e-12 and maxeval 2000 from the start moved onto the bounds.
//
// Built only by "make compare" (NLopt is a development tool here, never a
// dependency of qvt or qvh).
#include <nlopt.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "hsproblems.hpp"
#include "nlsqp_solve.hpp"
#include "optim_alt/e04ucf_solve.hpp"

namespace {

using namespace qv::optim;
using hs::kInf;
using hs::Problem;

constexpr int kRepeats = 21;

bool reached(const Problem& p, double f, double viol) {
  const double tol = 1e-6 * std::max(1.0, std::abs(p.fstar));
  bool ok = std::abs(f - p.fstar) <= tol;
  if (p.has_alt) ok = ok || std::abs(f - p.falt) <= 1e-6 * std::max(1.0, std::abs(p.falt));
  return ok && viol <= 1e-6;
}

// ---- SLSQP through NLopt's C interface ---------------------------------

struct SlsqpCtx {
  const Problem* p = nullptr;
  bool differences = false;
  int nevals = 0;
};

// Objective value; with differences, the gradient by forward steps.
double slsqp_obj(unsigned n, const double* x, double* grad, void* data) {
  auto* c = static_cast<SlsqpCtx*>(data);
  std::vector<double> g(n);
  double f = 0.0;
  c->p->obj(x, f, g.data());
  ++c->nevals;
  if (grad != nullptr) {
    if (!c->differences) {
      std::copy(g.begin(), g.end(), grad);
    } else {
      const double h0 = std::sqrt(std::numeric_limits<double>::epsilon());
      std::vector<double> y(x, x + n);
      for (unsigned j = 0; j < n; ++j) {
        const double h = h0 * (1.0 + std::abs(x[j]));
        y[j] = x[j] + h;
        double fj = 0.0;
        c->p->obj(y.data(), fj, g.data());
        ++c->nevals;
        grad[j] = (fj - f) / h;
        y[j] = x[j];
      }
    }
  }
  return f;
}

struct SlsqpCon {
  const Problem* p = nullptr;
  bool differences = false;
  int row = 0;
  double sign = 1.0;  // constraint as sign * (c_row - bound) <= 0
  double bound = 0.0;
};

double slsqp_con(unsigned n, const double* x, double* grad, void* data) {
  auto* c = static_cast<SlsqpCon*>(data);
  const int m = c->p->m;
  std::vector<double> v(static_cast<std::size_t>(m)), J(static_cast<std::size_t>(m) * n);
  c->p->con(x, v.data(), J.data(), m);
  const double val = c->sign * (v[static_cast<std::size_t>(c->row)] - c->bound);
  if (grad != nullptr) {
    if (!c->differences) {
      for (unsigned j = 0; j < n; ++j) grad[j] = c->sign * J[static_cast<std::size_t>(c->row) + j * m];
    } else {
      const double h0 = std::sqrt(std::numeric_limits<double>::epsilon());
      std::vector<double> y(x, x + n), vj(static_cast<std::size_t>(m));
      for (unsigned j = 0; j < n; ++j) {
        const double h = h0 * (1.0 + std::abs(x[j]));
        y[j] = x[j] + h;
        c->p->con(y.data(), vj.data(), J.data(), m);
        grad[j] = c->sign * (vj[static_cast<std::size_t>(c->row)] - v[static_cast<std::size_t>(c->row)]) / h;
        y[j] = x[j];
      }
    }
  }
  return val;
}

struct Outcome {
  double f = 0.0, viol = 0.0, seconds = 0.0;
  int evals = 0, code = 0;
  int setup = 0;  // NLSQP: evaluations before the first major iteration
};

Outcome slsqp_solve(const Problem& p, bool differences) {
  const unsigned n = static_cast<unsigned>(p.n);
  std::vector<double> lb(p.bl.begin(), p.bl.begin() + p.n), ub(p.bu.begin(), p.bu.begin() + p.n);
  for (double& v : lb)
    if (v <= -kInf) v = -HUGE_VAL;
  for (double& v : ub)
    if (v >= kInf) v = HUGE_VAL;
  std::vector<SlsqpCon> cons;
  cons.reserve(static_cast<std::size_t>(2 * p.m));
  for (int i = 0; i < p.m; ++i) {
    const double lo = p.bl[static_cast<std::size_t>(p.n + i)], hi = p.bu[static_cast<std::size_t>(p.n + i)];
    if (lo == hi) {
      cons.push_back({&p, differences, i, 1.0, lo});
    } else {
      if (lo > -kInf) cons.push_back({&p, differences, i, -1.0, lo});
      if (hi < kInf) cons.push_back({&p, differences, i, 1.0, hi});
    }
  }
  Outcome best;
  std::vector<double> times;
  for (int rep = 0; rep < kRepeats; ++rep) {
    nlopt_opt o = nlopt_create(NLOPT_LD_SLSQP, n);
    nlopt_set_lower_bounds(o, lb.data());
    nlopt_set_upper_bounds(o, ub.data());
    SlsqpCtx ctx{&p, differences, 0};
    nlopt_set_min_objective(o, slsqp_obj, &ctx);
    for (SlsqpCon& c : cons) {
      const int i = c.row;
      const bool eq = p.bl[static_cast<std::size_t>(p.n + i)] == p.bu[static_cast<std::size_t>(p.n + i)];
      if (eq)
        nlopt_add_equality_constraint(o, slsqp_con, &c, 1e-8);
      else
        nlopt_add_inequality_constraint(o, slsqp_con, &c, 1e-8);
    }
    nlopt_set_xtol_rel(o, 1e-8);
    nlopt_set_ftol_rel(o, 1e-12);
    nlopt_set_maxeval(o, 2000);
    std::vector<double> x = p.x0;
    for (unsigned j = 0; j < n; ++j) x[j] = std::clamp(x[j], lb[j], ub[j]);
    double f = 0.0;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = nlopt_optimize(o, x.data(), &f);
    const auto t1 = std::chrono::steady_clock::now();
    nlopt_destroy(o);
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
    best.f = f;
    best.evals = ctx.nevals;
    best.code = rc;
    // Largest violation at the end.
    double v = 0.0;
    for (unsigned j = 0; j < n; ++j) v = std::max({v, lb[j] - x[j], x[j] - ub[j]});
    for (SlsqpCon& c : cons) {
      const double cv = slsqp_con(n, x.data(), nullptr, &c);
      const bool eq = p.bl[static_cast<std::size_t>(p.n + c.row)] == p.bu[static_cast<std::size_t>(p.n + c.row)];
      v = std::max(v, eq ? std::abs(cv) : cv);
    }
    best.viol = v;
  }
  std::sort(times.begin(), times.end());
  best.seconds = times[times.size() / 2];
  return best;
}

Outcome nlsqp_solve(const Problem& p, int level) {
  testing::quiet_options(level, p.major_limit);
  testing::HsSolver s(p, level);
  std::vector<double> times;
  for (int rep = 0; rep < kRepeats; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    s.solve();
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
  }
  std::sort(times.begin(), times.end());
  Outcome o;
  o.f = s.f();
  o.viol = s.violation();
  o.evals = s.evaluations();
  o.code = s.inform();
  o.seconds = times[times.size() / 2];
  // The set-up alone (first values, difference intervals): a run that stops
  // at the major iterations limit 0.
  testing::quiet_options(level, 0);
  NPOPLN("Major iterations 0");
  testing::HsSolver s0(p, level);
  s0.solve();
  o.setup = s0.evaluations();
  return o;
}

Outcome alt_solve(const Problem& p, int level) {
  qv::optim_alt::testing::quiet_options(level, p.major_limit);
  qv::optim_alt::testing::AltSolver s(p, level);
  std::vector<double> times;
  for (int rep = 0; rep < kRepeats; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    s.solve();
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
  }
  std::sort(times.begin(), times.end());
  Outcome o;
  o.f = s.f();
  o.viol = s.violation();
  o.evals = s.evaluations();
  o.code = s.ifail();
  o.seconds = times[times.size() / 2];
  return o;
}

}  // namespace

int main() {
  for (int pass = 0; pass < 2; ++pass) {
    const bool differences = pass == 1;
    const int level = differences ? 0 : 3;
    std::printf("\n%s\n", differences
                              ? "Pass 2: differences (NLSQP and E04UCF level 0, SLSQP forward differences)"
                              : "Pass 1: analytic gradients (NLSQP and E04UCF level 3, Verify No)");
    std::printf("%-11s | %6s %6s %10s %4s %3s | %6s %10s %4s %5s | %6s %10s %4s %3s\n", "problem", "NLSQP", "set-up",
                "us/solve", "f*", "inf", "E04UCF", "us/solve", "f*", "ifail", "SLSQP", "us/solve", "f*", "rc");
    std::printf("%-11s | %6s %6s %10s %4s %3s | %6s %10s %4s %5s | %6s %10s %4s %3s\n", "", "evals", "evals", "", "",
                "", "evals", "", "", "", "evals", "", "", "");
    int tot_n = 0, tot_e = 0, tot_s = 0, ok_n = 0, ok_e = 0, ok_s = 0, missed = 0, missed_e = 0, tot_setup = 0;
    double t_n = 0.0, t_e = 0.0, t_s = 0.0;
    for (const Problem& p : hs::problems()) {
      const Outcome a = nlsqp_solve(p, level);
      const Outcome e = alt_solve(p, level);
      const Outcome b = slsqp_solve(p, differences);
      const bool ra = reached(p, a.f, a.viol), re = reached(p, e.f, e.viol), rb = reached(p, b.f, b.viol);
      std::printf("%-11s | %6d %6d %10.1f %4s %3d | %6d %10.1f %4s %5d | %6d %10.1f %4s %3d\n", p.name.c_str(),
                  a.evals, a.setup, a.seconds * 1e6, ra ? "yes" : "no", a.code, e.evals, e.seconds * 1e6,
                  re ? "yes" : "no", e.code, b.evals, b.seconds * 1e6, rb ? "yes" : "no", b.code);
      tot_n += a.evals;
      tot_setup += a.setup;
      tot_e += e.evals;
      tot_s += b.evals;
      ok_n += ra;
      ok_e += re;
      ok_s += rb;
      t_n += a.seconds;
      t_e += e.seconds;
      t_s += b.seconds;
      if (rb && !ra) ++missed;
      if (ra && !re) ++missed_e;
    }
    std::printf("%-11s | %6d %6d %10.1f %4d     | %6d %10.1f %4d       | %6d %10.1f %4d\n", "total", tot_n, tot_setup,
                t_n * 1e6, ok_n, tot_e, t_e * 1e6, ok_e, tot_s, t_s * 1e6, ok_s);
    std::printf("f* reached by SLSQP but not by NLSQP: %d\n", missed);
    std::printf("f* reached by NLSQP but not by E04UCF: %d\n", missed_e);
  }
  return 0;
}
