// Runs of NLSQP on the published test problems and on the special cases of
// its exits, at derivative level 0 (all derivatives by differences, as the
// fit sends it) and 3 (all supplied).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "hsproblems.hpp"
#include "nlsqp_fixture.hpp"

namespace qv::optim {
namespace {

using testing::fresh_process;
using testing::lines_for;
using testing::PrintFile;
using testing::Result;
using testing::RunSetup;

const hs::Problem& problem(const std::string& name) {
  for (const hs::Problem& p : hs::problems())
    if (p.name == name) return p;
  throw std::runtime_error("no problem " + name);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The exit message of each result code.
std::string exit_text(int inform) {
  switch (inform) {
    case 0: return " Exit NLSQP - Optimal solution found.";
    case 1: return " Exit NLSQP - Optimal solution found,  but the requested accuracy could not be achieved.";
    case 2: return " Exit NLSQP - No feasible point for the linear constraints.";
    case 3: return " Exit NLSQP - No feasible point for the nonlinear constraints.";
    case 4: return " Exit NLSQP - Too many major iterations.             ";
    case 6: return " Exit NLSQP - Current point cannot be improved upon. ";
    case 7: return " Exit NLSQP - Large errors found in the derivatives. ";
    default: return " Exit NLSQP - User requested termination.";
  }
}

// ---- the table ---------------------------------------------------------
//
// Expected results at the published solutions (the collection's x*, f*):
// the states of the bounds and constraints active there (1 lower, 2 upper,
// 3 equality; 0 free) and the result codes accepted.  Code 1 is accepted
// beside 0 because the method gives it on two paths that a run reaching f*
// may take:
// - the last step lands on the solution of a quadratic model (HS3, HS35 at
//   level 3): the next subproblem's step is negligible, so the point test
//   ends the run before the step test (last step at most sqrt(optimality
//   tolerance) (1 + |x|)) can hold, as for an exact start;
// - with differences (HS5, HS11, HS14, HS28 at level 0) the step of the
//   last subproblem is shorter than the difference interval: the values-only
//   search refuses it (its whole interval lies below alfatiny, code 5) and
//   the point, optimal but reached by a step above the step test, ends the
//   run with 1 without switching to central differences.
struct Row {
  const char* name;
  bool linear;               // constraints as rows of ALIN
  std::vector<int> active;   // istate at x* (empty: not checked)
  std::vector<int> informs;  // accepted result codes
};

const std::vector<Row>& rows() {
  static const std::vector<Row> t = {
      {"Rosenbrock", false, {0, 0}, {0, 1}},
      {"HS1", false, {0, 0}, {0, 1}},
      {"HS2", false, {0, 1}, {0, 1}},
      {"HS3", false, {0, 1}, {0, 1}},
      {"HS4", false, {1, 1}, {1}},
      {"HS5", false, {0, 0}, {0, 1}},
      {"HS6", false, {0, 0, 3}, {0, 1}},
      {"HS7", false, {0, 0, 3}, {0, 1}},
      {"HS8", false, {0, 0, 3, 3}, {0, 1}},
      {"HS9", false, {0, 0, 3}, {0, 1}},
      {"HS10", false, {0, 0, 1}, {0, 1}},
      {"HS11", false, {0, 0, 1}, {0, 1}},
      {"HS12", false, {0, 0, 2}, {0, 1}},
      {"HS13", false, {}, {0, 1, 4, 6}},
      {"HS14", false, {0, 0, 3, 2}, {0, 1}},
      {"HS28", false, {0, 0, 0, 3}, {0, 1}},
      {"HS28", true, {0, 0, 0, 3}, {0, 1}},
      {"HS35", false, {0, 0, 0, 2}, {0, 1}},
      {"HS35", true, {0, 0, 0, 2}, {0, 1}},
      {"HS71", false, {1, 0, 0, 0, 1, 3}, {0, 1}},
      {"HS76", false, {0, 0, 1, 0, 2, 0, 0}, {0, 1}},
      {"HS76", true, {0, 0, 1, 0, 2, 0, 0}, {0, 1}},
  };
  return t;
}

class NlsqpTable : public ::testing::TestWithParam<int> {};

TEST_P(NlsqpTable, PublishedProblemsReachTheirSolutions) {
  const int level = GetParam();
  for (const Row& row : rows()) {
    const hs::Problem& p = problem(row.name);
    SCOPED_TRACE(std::string(row.name) + (row.linear ? " (linear rows)" : "") + " level " + std::to_string(level));
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.linear = row.linear;
    s.level = level;
    const Result r = testing::run(s, lines_for(level, p.major_limit));
    const std::string log = pf.text();

    EXPECT_NE(std::find(row.informs.begin(), row.informs.end(), r.inform), row.informs.end()) << "inform " << r.inform;
    EXPECT_TRUE(contains(log, exit_text(r.inform))) << log;
    const int limit = p.major_limit > 0 ? p.major_limit : 50;
    EXPECT_LE(r.majits, limit);
    char exitline[80];
    std::snprintf(exitline, sizeof exitline, " Exit  NP phase.  Inform = %2d  Majits = %4d", r.inform, r.majits);
    EXPECT_TRUE(contains(log, exitline)) << log;

    // HS8's objective is constant: its gradient is settled by the interval
    // search and never differenced again.
    if (level == 0 && row.name == std::string("HS8")) {
      EXPECT_TRUE(contains(log, "    2  constant  objective gradient elements assigned.")) << log;
    }

    // The published solution (HS2: either KKT point; HS13: a feasible end).
    const bool alt = p.has_alt && std::abs(r.f - p.falt) < std::abs(r.f - p.fstar);
    const std::vector<double>& xs = alt ? p.xalt : p.xstar;
    const double fs = alt ? p.falt : p.fstar;
    if (p.has_alt) std::printf("  [%s level %d ends at the %s KKT point]\n", row.name, level, alt ? "second" : "first");
    if (row.name != std::string("HS13")) {
      EXPECT_NEAR(r.f, fs, 1e-5 * std::max(1.0, std::abs(fs)));
      for (int j = 0; j < p.n; ++j) EXPECT_NEAR(r.x[j], xs[j], 1e-5 * std::max(1.0, std::abs(xs[j]))) << "x" << j + 1;
    } else {
      EXPECT_GE(r.x[0], -1e-8);
      EXPECT_GE(r.x[1], -1e-8);
      const double a = 1.0 - r.x[0];
      EXPECT_GE(a * a * a - r.x[1], -1e-6);
    }

    // Active set and the signs of the multipliers.
    if (!row.active.empty()) {
      for (std::size_t j = 0; j < row.active.size(); ++j) {
        const int want = row.active[j];
        const int got = r.istate[j];
        EXPECT_EQ(got, want) << "istate " << j + 1;
        if (got == 1) {
          EXPECT_GE(r.xmult[j], -1e-8) << "multiplier " << j + 1;
        } else if (got == 2) {
          EXPECT_LE(r.xmult[j], 1e-8) << "multiplier " << j + 1;
        } else if (got == 0) {
          EXPECT_EQ(r.xmult[j], 0.0) << "multiplier " << j + 1;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, NlsqpTable, ::testing::Values(0, 3));

// ---- special cases -----------------------------------------------------

constexpr double I = hs::kInf;

void f_sum(const double* x, double& f, double* g) {
  f = x[0] + x[1];
  g[0] = 1.0;
  g[1] = 1.0;
}
void c_sum(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0] + x[1];
  J[0] = 1.0;
  J[ldj] = 1.0;
}
void c_x1twice(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0];
  c[1] = x[0];
  J[0] = 1.0;
  J[1] = 1.0;
  J[ldj] = 0.0;
  J[ldj + 1] = 0.0;
}
void f_sq(const double* x, double& f, double* g) {
  f = x[0] * x[0] + x[1] * x[1];
  g[0] = 2.0 * x[0];
  g[1] = 2.0 * x[1];
}
// 10x - ln x: minimum 1 + ln 10 = 3.3025850930 at x = 0.1 (closed form).
void f_log(const double* x, double& f, double* g) {
  f = x[0] > 0.0 ? 10.0 * x[0] - std::log(x[0]) : 0.0;
  g[0] = x[0] > 0.0 ? 10.0 - 1.0 / x[0] : 0.0;
}

// Box 0 <= x <= 1 with x1 + x2 >= 3: no feasible point.
hs::Problem box_infeasible() {
  hs::Problem p = hs::make("box", 2, f_sum, 1, c_sum);
  p.bl = {0.0, 0.0, 3.0};
  p.bu = {1.0, 1.0, I};
  p.nlin = 1;
  p.A = {1, 1};
  p.linbl = {3.0};
  p.linbu = {I};
  p.x0 = {0.5, 0.5};
  return p;
}

// The result codes of the exits that are not optimal, at both levels.
class NlsqpExits : public ::testing::TestWithParam<int> {};

TEST_P(NlsqpExits, InfeasibleLinearRowEndsInTheFeasibilityPhase) {
  const int level = GetParam();
  const hs::Problem p = box_infeasible();
  fresh_process();
  PrintFile pf;
  RunSetup s;
  s.p = &p;
  s.linear = true;
  s.level = level;
  const Result r = testing::run(s, lines_for(level));
  const std::string log = pf.text();
  EXPECT_EQ(r.inform, 2);
  EXPECT_TRUE(contains(log, exit_text(2))) << log;
  EXPECT_TRUE(contains(log, " Minimum sum of infeasibilities =")) << log;
  EXPECT_FALSE(contains(log, " Exit  NP phase")) << log;
}

// Nonlinear constraints that no point satisfies.  Each case has its own
// way out, worked by hand from the method's rules:
// - x1 >= 1 as a bound with x1 <= 0 through CNLFUN: every subproblem is
//   infeasible, the bound stays active and the step is the objective's
//   null-space step along x2, on which the merit function falls without
//   end; the eighth infeasible subproblem in a row ends the run (3).
// - The box row x1 + x2 >= 3 through CNLFUN with 0 <= x <= 1: the first
//   infeasible subproblem steps to the corner (1, 1); there the next one
//   has both bounds active and the step 0, so the merit function has
//   slope 0 and the search is refused at once (code 8).  The point is not
//   optimal (a constraint is violated), so the run cannot improve it (6)
//   before a step test could hold.
// - x1 >= 1 and x1 <= 0 both through CNLFUN: the subproblem leaves both
//   rows violated with no constraint active; its null-space step (-1, -1)
//   moves both violations alike, so the merit function's slope is g'p = -2
//   while its penalty term, weighted by 1/eps after an infeasible
//   subproblem, has curvature of order 1e16: no trial step decreases it
//   beyond its precision and the search fails at the first iteration (6).
// Every line of the log marks an infeasible subproblem.
void c_x1(const double* x, double* c, double* J, int ldj) {
  c[0] = x[0];
  J[0] = 1.0;
  J[ldj] = 0.0;
}

TEST_P(NlsqpExits, InfeasibleNonlinearConstraints) {
  const int level = GetParam();
  hs::Problem bound = hs::make("x1 >= 1 as a bound, x1 <= 0", 2, f_sum, 1, c_x1);
  bound.bl = {1.0, -I, -I};
  bound.bu = {I, I, 0.0};
  bound.x0 = {0.5, 0.5};
  hs::Problem twice = hs::make("x1 >= 1 and x1 <= 0", 2, f_sum, 2, c_x1twice);
  twice.bl = {-I, -I, 1.0, -I};
  twice.bu = {I, I, I, 0.0};
  twice.x0 = {0.5, 0.5};
  struct Case {
    hs::Problem p;
    int inform;
    int majits;
    int lines;  // log lines, all marked 'i' (level 0 repeats one with central differences)
  };
  const Case cases[] = {
      {bound, 3, 7, 8},
      {box_infeasible(), 6, 2, 2},
      {twice, 6, 1, level == 0 ? 2 : 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.p.name);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &k.p;
    s.level = level;
    std::vector<std::string> opts = lines_for(level);
    opts.push_back("Major print level=10");
    const Result r = testing::run(s, opts);
    const std::string log = pf.text();
    EXPECT_EQ(r.inform, k.inform);
    EXPECT_EQ(r.majits, k.majits);
    EXPECT_TRUE(contains(log, exit_text(k.inform))) << log;
    const std::size_t head = log.find("  Maj  Mnr");
    ASSERT_NE(head, std::string::npos) << log;
    const std::size_t end = log.find(" Exit  NP phase");
    std::string lines = log.substr(head, end - head);
    int nlines = 0, ni = 0;
    for (std::size_t at = lines.find('\n'); at != std::string::npos && at + 1 < lines.size();) {
      const std::size_t next = lines.find('\n', at + 1);
      const std::string line = lines.substr(at + 1, next - at - 1);
      if (line.size() > 100) {
        ++nlines;
        if (line.substr(line.size() - 5, 5).find('i') != std::string::npos) ++ni;
      }
      at = next;
    }
    EXPECT_EQ(nlines, k.lines) << lines;
    EXPECT_EQ(ni, nlines) << lines;
  }
}

// f = x1 + x2 with no bounds: the first search runs out to the infinite
// step size (alfmax = 1e20/|p|), where |f| is 1.4e20 and the gradient
// (norm 1.4) is negligible against it.  The update along a step without
// change of the gradient leaves R of rank one; reset, its second diagonal is
// the first over the condition bound, so the next subproblem's step passes
// the infinite step size: that QP is unbounded and hands back the step 0,
// on which the search is refused.  The point counts as optimal, so the run
// ends with 1 after two iterations (there is no code for an unbounded
// problem).
TEST_P(NlsqpExits, UnboundedObjectiveEndsFarBelowItsStart) {
  const int level = GetParam();
  hs::Problem p = hs::make("x1 + x2", 2, f_sum);
  p.bl = {-I, -I};
  p.bu = {I, I};
  p.x0 = {0.0, 0.0};
  fresh_process();
  PrintFile pf;
  RunSetup s;
  s.p = &p;
  s.level = level;
  const Result r = testing::run(s, lines_for(level));
  EXPECT_EQ(r.inform, 1);
  EXPECT_EQ(r.majits, 2);
  EXPECT_LT(r.f, -1e20);
  EXPECT_TRUE(contains(pf.text(), exit_text(1)));
}

TEST_P(NlsqpExits, MajorIterationsLimit) {
  const int level = GetParam();
  const hs::Problem& p = problem("Rosenbrock");
  for (int limit : {3, 0}) {
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.level = level;
    std::vector<std::string> lines = lines_for(level);
    lines.push_back("Major iterations " + std::to_string(limit));
    const Result r = testing::run(s, lines);
    EXPECT_EQ(r.inform, 4);
    EXPECT_EQ(r.majits, limit);
    EXPECT_TRUE(contains(pf.text(), exit_text(4)));
  }
}

TEST_P(NlsqpExits, MinusOneOutsideTheDomainShortensTheStep) {
  const int level = GetParam();
  hs::Problem p = hs::make("10x - ln x", 1, f_log);
  p.bl = {-I};
  p.bu = {I};
  p.x0 = {1.0};
  fresh_process();
  PrintFile pf;
  RunSetup s;
  s.p = &p;
  s.level = level;
  int outside = 0;
  s.on_obj = [&outside](int& mode, const double* x) {
    if (x[0] <= 0.0) {
      ++outside;
      mode = -1;
    }
  };
  const Result r = testing::run(s, lines_for(level));
  // A call outside the domain anywhere but at a trial point of the search
  // would have ended the run with -1.
  EXPECT_TRUE(r.inform == 0 || r.inform == 1) << r.inform;
  EXPECT_GT(outside, 0);
  EXPECT_NEAR(r.x[0], 0.1, 1e-5);
  EXPECT_NEAR(r.f, 1.0 + std::log(10.0), 1e-9);  // 3.3025850930, closed form
}

TEST_P(NlsqpExits, NegativeModeEndsTheRunAtOnce) {
  const int level = GetParam();
  // MODE -1 at the very first call.
  {
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &problem("HS71");
    s.level = level;
    s.on_obj = [](int& mode, const double*) { mode = -1; };
    s.on_con = [](int& mode, const double*) { mode = -1; };
    std::vector<int> iw;
    std::vector<double> w(2000, 7.0);  // stale values in the workspace
    const Result r = testing::run(s, lines_for(level), {}, {}, {}, {}, 0, &iw, &w);
    const std::string log = pf.text();
    EXPECT_EQ(r.inform, -1);
    EXPECT_EQ(s.nobj + s.ncon, 1);
    EXPECT_TRUE(contains(log, exit_text(-1))) << log;
    EXPECT_FALSE(contains(log, "objective value =")) << log;
    // No gradient was ever formed: the caller's arrays keep what the
    // set-up put there (the unset marker) rather than stale workspace.
    for (double g : r.g) EXPECT_NE(g, 7.0);
    for (double j : r.cjac) EXPECT_NE(j, 7.0);
  }
  // MODE -5 from the constraints at their k-th call.
  for (int k : {1, 3, 6}) {
    SCOPED_TRACE(k);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &problem("HS71");
    s.level = level;
    int calls = 0, after = 0;
    s.on_con = [&](int& mode, const double*) {
      if (++calls == k) mode = -5;
    };
    s.on_obj = [&](int&, const double*) {
      if (calls >= k) ++after;
    };
    const Result r = testing::run(s, lines_for(level));
    EXPECT_EQ(r.inform, -5);
    EXPECT_EQ(s.ncon, k);
    EXPECT_EQ(after, 0);
    EXPECT_TRUE(contains(pf.text(), exit_text(-5)));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, NlsqpExits, ::testing::Values(0, 3));

// A run saved after its last iteration and loaded again: the hot start
// goes on from the saved point.
TEST(NlsqpStarts, HotStartFromASavedRunGoesOn) {
  for (int level : {0, 3}) {
    SCOPED_TRACE(level);
    const hs::Problem& p = problem("HS71");
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("qv_nlsqp_run_" + std::to_string(::getpid()) + ".txt"))
                                 .string();
    runtime::OpenSpec spec;
    spec.file = file;
    spec.status = "REPLACE";
    runtime::open_unit(15, spec);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.level = level;
    std::vector<int> iw;
    std::vector<double> w;
    std::vector<std::string> lines = lines_for(level);
    lines.push_back("Major iterations 2");
    lines.push_back("Save run 15");
    const Result first = testing::run(s, lines, {}, {}, {}, {}, 0, &iw, &w);
    EXPECT_EQ(first.inform, 4);
    EXPECT_EQ(first.majits, 2);
    runtime::close_unit(15);
    EXPECT_TRUE(contains(pf.text(), " Current run saved on file  15    Itn =       2"));

    runtime::OpenSpec again;
    again.file = file;
    again.status = "OLD";
    runtime::open_unit(15, again);
    RunSetup s2;
    s2.p = &p;
    s2.level = level;
    std::vector<std::string> hot = lines_for(level);
    hot.push_back("Hot start");
    hot.push_back("Load file 15");
    const Result r = testing::run(s2, hot, first.x, first.istate, first.xmult, first.rfac, 0, &iw, &w);
    const std::string log = pf.text();
    EXPECT_TRUE(r.inform == 0 || r.inform == 1) << r.inform << log;
    EXPECT_GT(r.majits, 2);
    EXPECT_NEAR(r.f, p.fstar, 1e-5 * p.fstar);
    runtime::close_unit(15);
    std::filesystem::remove(file);
  }
}

// A gradient of the wrong sign at level 3: the element check finds it
// (7); the directional check alone reports it and the run goes on.
TEST(NlsqpChecks, WrongGradientIsFoundByTheChecks) {
  hs::Problem p = hs::make("x1^2 + x2^2", 2, f_sq);
  p.bl = {-I, -I};
  p.bu = {I, I};
  p.x0 = {1.0, 1.0};
  for (int verify : {1, 0}) {
    SCOPED_TRACE(verify);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.level = 3;
    s.obj = [](const double* x, double& f, double* g) {
      f_sq(x, f, g);
      g[0] = -g[0];
      g[1] = -g[1];
    };
    std::vector<std::string> lines = lines_for(3);
    lines.push_back("Verify level=" + std::to_string(verify));
    const Result r = testing::run(s, lines);
    const std::string log = pf.text();
    EXPECT_TRUE(contains(log, "incorrect")) << log;
    if (verify == 1) {
      EXPECT_EQ(r.inform, 7);
      EXPECT_EQ(r.majits, 0);
      EXPECT_TRUE(contains(log, exit_text(7)));
    } else {
      EXPECT_NE(r.inform, 7);
      EXPECT_TRUE(contains(log, " Exit  NP phase.")) << log;
    }
  }
}

// Input errors: inform 9 with the message of each, before any callback,
// and the gradient and Jacobian arrays as the caller left them.
TEST(NlsqpInput, ErrorsAreCountedAndNothingIsEvaluated) {
  struct Case {
    const char* what;
    const char* text;
    std::function<void(hs::Problem&)> edit;
    std::vector<std::string> lines;
    std::vector<int> istate;
    int nw_delta = 0;
  };
  const std::vector<Case> cases = {
      {"bl > bu", " XXX  The bounds on  varbl  1  are inconsistent.",
       [](hs::Problem& p) { p.bl[0] = 2.0, p.bu[0] = 1.0; }, {}, {}, 0},
      {"bl = bu = 1e20", " XXX  The equal bounds on  varbl  2  are infinite.",
       [](hs::Problem& p) { p.bl[1] = I, p.bu[1] = I; }, {}, {}, 0},
      {"NW one short", " XXX  Not enough workspace to solve problem.", [](hs::Problem&) {}, {}, {}, -1},
      {"warm istate 7", " XXX  Component    2  of  istate  is out of range...",
       [](hs::Problem&) {}, {"Warm start"}, {0, 7, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hs::Problem p = problem("HS71");
    c.edit(p);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.level = 3;
    std::vector<std::string> lines = lines_for(3);
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    std::vector<int> istate = c.istate;
    if (!istate.empty()) istate.resize(static_cast<std::size_t>(p.n + p.m));
    const Result r = testing::run(s, lines, {}, istate, {}, {}, c.nw_delta);
    const std::string log = pf.text();
    EXPECT_EQ(r.inform, 9);
    EXPECT_EQ(s.nobj + s.ncon, 0);
    EXPECT_TRUE(contains(log, c.text)) << log;
    EXPECT_TRUE(contains(log, " Exit NLSQP -          1 errors found in the input parameters.  Problem abandoned."))
        << log;
    for (double g : r.g) EXPECT_EQ(g, 0.0);
    for (double j : r.cjac) EXPECT_EQ(j, 0.0);
  }
}

// Dimensions that would make the run read outside the arrays: each counts
// as one input error before anything is read.
TEST(NlsqpInput, UnsafeDimensionsAreInputErrors) {
  struct Case {
    const char* what;
    int n, nclin, nnlcon, lda, ldjac, ldrfac;
    const char* text;
  };
  const Case cases[] = {
      {"N < 1", 0, 0, 0, 1, 1, 1, " XXX  N      is out of range..."},
      {"nclin < 0", 2, -1, 0, 1, 1, 2, " XXX  nclin  is out of range..."},
      {"NNLCON < 0", 2, 0, -1, 1, 1, 2, " XXX  NNLCON is out of range..."},
      {"LDA < nclin", 2, 2, 0, 1, 1, 2, " XXX  LDA    is out of range..."},
      {"LDJAC < NNLCON", 2, 0, 2, 1, 1, 2, " XXX  LDJAC  is out of range..."},
      {"LDRFAC < N", 2, 0, 0, 1, 1, 1, " XXX  LDRFAC is out of range..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_process();
    PrintFile pf;
    NPOPLN("Defaults");
    NPOPLN("Major print level=1");
    int calls = 0;
    Objfun obj = [&calls](int&, int, std::span<const double>, double&, std::span<double>, int, std::span<int>,
                          std::span<double>) { ++calls; };
    Cnlfun con = [&calls](int&, int, int, int, std::span<const int>, std::span<const double>, std::span<double>,
                          std::span<double>, int, std::span<int>, std::span<double>) { ++calls; };
    std::vector<double> a(8, 0.0), bl(8, -I), bu(8, I), cv(4, 0.0), cj(8, 5.0), xm(8, 0.0), g(4, 5.0),
        rf(8, 0.0), x(4, 0.0), w(400, 0.0);
    std::vector<int> is(8, 0), iw(100, 0), iu(1);
    std::vector<double> ru(1);
    int inform = -99, majits = -99;
    double f = 0.0;
    NLSQP(c.n, c.nclin, c.nnlcon, c.lda, c.ldjac, c.ldrfac, a, bl, bu, con, obj, inform, majits, is, cv, cj, xm, f, g,
          rf, x, iw, 100, w, 400, iu, ru);
    const std::string log = pf.text();
    EXPECT_EQ(inform, 9);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(contains(log, c.text)) << log;
    for (double v : g) EXPECT_EQ(v, 5.0);
    for (double v : cj) EXPECT_EQ(v, 5.0);
  }
}

// Warm start from the solution and its multipliers, and the option slots
// after a run.
TEST(NlsqpStarts, WarmStartAtTheSolutionTakesAtMostOneIteration) {
  for (int level : {0, 3}) {
    SCOPED_TRACE(level);
    const hs::Problem& p = problem("HS71");
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &p;
    s.level = level;
    const Result first = testing::run(s, lines_for(level));
    ASSERT_TRUE(first.inform == 0 || first.inform == 1);
    // The slots as the lines left them: the derived limit is not kept.
    EXPECT_EQ(NPOPTS.inp(slot::kMajorIterations), kUnsetInt);
    EXPECT_EQ(NPOPTS.inp(slot::kDerivativeLevel), level);
    RunSetup again;
    again.p = &p;
    again.level = level;
    std::vector<std::string> lines = lines_for(level);
    lines.push_back("Warm start");
    const Result r = testing::run(again, lines, first.x, first.istate, first.xmult, first.rfac);
    EXPECT_LE(r.majits, 1);
    EXPECT_TRUE(r.inform == 0 || r.inform == 1) << r.inform;
    EXPECT_NEAR(r.f, p.fstar, 1e-5 * p.fstar);
  }
}



// The print file of whole runs at major print levels 10 and 20, compared
// with the stored logs (set QV_UPDATE_GOLDEN to write them anew).
TEST(NlsqpLogs, PrintFileMatchesTheStoredLog) {
  struct Case {
    const char* problem;
    bool linear;
    int print_level;
    const char* file;
  };
  const Case cases[] = {
      {"HS71", false, 10, "nlsqp_hs71_print10.txt"},
      {"HS28", true, 20, "nlsqp_hs28lin_print20.txt"},
  };
  const std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path() / "golden";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &problem(c.problem);
    s.linear = c.linear;
    s.level = 3;
    std::vector<std::string> lines = lines_for(3);
    lines.push_back("Major print level=" + std::to_string(c.print_level));
    testing::run(s, lines);
    const std::string log = pf.text();
    const std::filesystem::path path = dir / c.file;
    if (std::getenv("QV_UPDATE_GOLDEN") != nullptr) {
      std::ofstream(path) << log;
      continue;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in.good()) << path;
    std::stringstream want;
    want << in.rdbuf();
    EXPECT_EQ(log, want.str());
  }
}


// The major-iteration numbers of the log lines, with their flag fields.
std::vector<std::pair<int, std::string>> log_lines(const std::string& log) {
  std::vector<std::pair<int, std::string>> out;
  std::size_t at = 0;
  while (at < log.size()) {
    const std::size_t end = log.find('\n', at);
    const std::string line = log.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? log.size() : end + 1;
    // A log line: the iteration number in columns 1-5 and the flag field
    // after the three convergence letters.
    if (line.size() < 100 || line[4] < '0' || line[4] > '9') continue;
    const std::size_t conv = line.find_first_of("TF", 95);
    if (conv == std::string::npos) continue;
    out.emplace_back(std::stoi(line.substr(0, 5)), line.substr(conv + 4));
  }
  return out;
}

// A search that fails with forward differences repeats the iteration with
// central differences under the same number; the run's count agrees.
TEST(NlsqpDifferences, RepeatedIterationKeepsItsNumber) {
  fresh_process();
  PrintFile pf;
  RunSetup s;
  s.p = &problem("HS1");
  s.level = 0;
  std::vector<std::string> lines = lines_for(0);
  lines.push_back("Major print level=10");
  const Result r = testing::run(s, lines);
  const auto L = log_lines(pf.text());
  ASSERT_GE(L.size(), 2u);
  bool repeated = false;
  for (std::size_t k = 1; k < L.size(); ++k) {
    if (L[k].first == L[k - 1].first) {
      repeated = true;
      EXPECT_NE(L[k].second.find('c'), std::string::npos);
      EXPECT_EQ(L[k - 1].second.find('c'), std::string::npos);
    } else {
      EXPECT_EQ(L[k].first, L[k - 1].first + 1);
    }
  }
  EXPECT_TRUE(repeated);
  EXPECT_EQ(r.majits, L.back().first);
}

// Callbacks that set every derivative although level 0 was sent: the
// set-up raises the level to 3, the run needs no differences, and the
// central-difference test (which divides by the interval norm) never runs.
TEST(NlsqpDifferences, AllDerivativesSetRaiseTheLevel) {
  fresh_process();
  PrintFile pf;
  RunSetup s;
  s.p = &problem("HS71");
  s.level = 0;
  s.supply = 3;
  std::vector<std::string> lines = lines_for(0);
  lines.push_back("Major print level=10");
  const Result r = testing::run(s, lines);
  const std::string log = pf.text();
  EXPECT_EQ(r.inform, 0);
  EXPECT_NEAR(r.f, 17.0140173, 1e-5 * 17.0140173);
  EXPECT_TRUE(contains(log, " All Jacobian elements have been set.   Derivative level increased to    2")) << log;
  EXPECT_TRUE(contains(log, " All objective gradient elements have been set.   Derivative level increased to    3"))
      << log;
  EXPECT_FALSE(contains(log, "Central-differences")) << log;
  EXPECT_FALSE(contains(log, "finite-difference intervals")) << log;
  for (const auto& l : log_lines(log)) EXPECT_EQ(l.second.find('c'), std::string::npos) << log;
}

// A debug level without a first debug iteration traces from the start; with
// one, the traces start there and the log is quiet before it.
TEST(NlsqpDebug, TracesStartAtTheFirstDebugIteration) {
  for (int first : {0, 3}) {
    SCOPED_TRACE(first);
    fresh_process();
    PrintFile pf;
    RunSetup s;
    s.p = &problem("HS71");
    s.level = 3;
    std::vector<std::string> lines = lines_for(3);
    lines.push_back("Major print level=10");
    lines.push_back("Major debug level=1");
    if (first > 0) lines.push_back("Debug " + std::to_string(first));
    testing::run(s, lines);
    const std::string log = pf.text();
    const auto L = log_lines(log);
    ASSERT_FALSE(L.empty());
    EXPECT_EQ(L.front().first, 0) << log;  // print level 10 lowered to 5: lines, no detail
    const std::size_t trace = log.find(" //npfeas//  The maximum violation is");
    ASSERT_NE(trace, std::string::npos) << log;
    // The first trace comes before iteration 0's line, or after the line of
    // the iteration before the first debug iteration.
    auto line_of = [&log](int k) {
      char head[16];
      std::snprintf(head, sizeof head, "%5d", k);
      return log.find("\n" + std::string(head) + "    ");
    };
    if (first == 0) {
      EXPECT_LT(trace, line_of(0)) << log;
    } else {
      EXPECT_GT(trace, line_of(first - 1)) << log;
    }
  }
}


// Linear rows and nonlinear constraints together: HS14 with its equality
// as a row of ALIN and the ellipse through CNLFUN (f* = 9 - 2.875 sqrt 7 in
// closed form, x* = ((sqrt 7 - 1)/2, (sqrt 7 + 1)/4)).
TEST(NlsqpMixed, LinearRowBesideANonlinearConstraint) {
  for (int level : {0, 3}) {
    SCOPED_TRACE(level);
    fresh_process();
    PrintFile pf;
    for (const std::string& l : lines_for(level)) NPOPLN(l);
    const int n = 2, nclin = 1, m = 1;
    std::vector<double> a = {1.0, -2.0};
    std::vector<double> bl = {-I, -I, -1.0, -I}, bu = {I, I, -1.0, 1.0};
    Objfun obj = [level](int& mode, int, std::span<const double> x, double& f, std::span<double> g, int,
                         std::span<int>, std::span<double>) {
      f = (x[0] - 2.0) * (x[0] - 2.0) + (x[1] - 1.0) * (x[1] - 1.0);
      if (level == 3 && mode > 0) {
        g[0] = 2.0 * (x[0] - 2.0);
        g[1] = 2.0 * (x[1] - 1.0);
      }
    };
    Cnlfun con = [level](int& mode, int, int, int ldj, std::span<const int>, std::span<const double> x,
                         std::span<double> c, std::span<double> J, int, std::span<int>, std::span<double>) {
      c[0] = x[0] * x[0] / 4.0 + x[1] * x[1];
      if (level == 3 && mode > 0) {
        J[0] = x[0] / 2.0;
        J[static_cast<std::size_t>(ldj)] = 2.0 * x[1];
      }
    };
    std::vector<int> is(4, 0), iw(static_cast<std::size_t>(testing::niw_for(n, nclin, m))), iu(1);
    std::vector<double> cv(1), cj(2), xm(4), g(2), rf = {1, 0, 0, 1}, x = {2, 2},
                        w(static_cast<std::size_t>(testing::nw_for(n, nclin, m))), ru(1);
    int inform = -99, majits = -99;
    double f = 0.0;
    NLSQP(n, nclin, m, 1, 1, 2, a, bl, bu, con, obj, inform, majits, is, cv, cj, xm, f, g, rf, x, iw,
          static_cast<int>(iw.size()), w, static_cast<int>(w.size()), iu, ru);
    EXPECT_TRUE(inform == 0 || inform == 1) << inform;
    const double r7 = std::sqrt(7.0);
    EXPECT_NEAR(f, 9.0 - 2.875 * r7, 1e-6);
    EXPECT_NEAR(x[0], 0.5 * (r7 - 1.0), 1e-5);
    EXPECT_NEAR(x[1], 0.25 * (r7 + 1.0), 1e-5);
    EXPECT_EQ(is[2], 3);
    EXPECT_EQ(is[3], 2);
    EXPECT_LE(xm[3], 0.0);
  }
}

// One variable with one nonlinear constraint: T and ZY are one word each,
// which the iterations read (a checked build stops at any read the spans do
// not cover).  Minimum of (x - 2)^2 with x^2 <= 1: x* = 1, f* = 1, the
// constraint at its upper bound (closed form).
TEST(NlsqpMixed, OneVariableWithANonlinearConstraint) {
  for (int level : {0, 3}) {
    SCOPED_TRACE(level);
    fresh_process();
    PrintFile pf;
    for (const std::string& l : lines_for(level)) NPOPLN(l);
    const int n = 1, nclin = 0, m = 1;
    std::vector<double> a = {0.0};
    std::vector<double> bl = {-I, -I}, bu = {I, 1.0};
    Objfun obj = [level](int& mode, int, std::span<const double> x, double& f, std::span<double> g, int,
                         std::span<int>, std::span<double>) {
      f = (x[0] - 2.0) * (x[0] - 2.0);
      if (level == 3 && mode > 0) g[0] = 2.0 * (x[0] - 2.0);
    };
    Cnlfun con = [level](int& mode, int, int, int, std::span<const int>, std::span<const double> x,
                         std::span<double> c, std::span<double> J, int, std::span<int>, std::span<double>) {
      c[0] = x[0] * x[0];
      if (level == 3 && mode > 0) J[0] = 2.0 * x[0];
    };
    std::vector<int> is(2, 0), iw(static_cast<std::size_t>(testing::niw_for(n, nclin, m))), iu(1);
    std::vector<double> cv(1), cj(1), xm(2), g(1), rf = {1}, x = {0.5},
                        w(static_cast<std::size_t>(testing::nw_for(n, nclin, m))), ru(1);
    int inform = -99, majits = -99;
    double f = 0.0;
    NLSQP(n, nclin, m, 1, 1, 1, a, bl, bu, con, obj, inform, majits, is, cv, cj, xm, f, g, rf, x, iw,
          static_cast<int>(iw.size()), w, static_cast<int>(w.size()), iu, ru);
    EXPECT_TRUE(inform == 0 || inform == 1) << inform;
    EXPECT_NEAR(x[0], 1.0, 1e-6);
    EXPECT_NEAR(f, 1.0, 1e-6);
    EXPECT_EQ(is[1], 2);
    EXPECT_LE(xm[1], 0.0);
  }
}

}  // namespace
}  // namespace qv::optim
