// The objective function and the fit driver on jobs read from short
// scripts: which groups an evaluation touches, the scale of a run, the
// Hessian and interval-search forms of the value, the debug lines, the
// unknown fit codes; the driver's restarts, its message file and the
// random restart points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/fitdrv.hpp"
#include "fit/fitfun.hpp"
#include "fit/hessian.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "job_fixture.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "optim/nlsqp.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using testing_support::JobTest;
using testing_support::JobInDirTest;

// Counts the occurrences of what in text.
int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class FitfunTest : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    msg_ = jobbase::testing_support::temp_path("fitfun_msg_" + std::to_string(++nmsg_));
    open7("REPLACE");
  }
  void TearDown() override {
    runtime::close_unit(runtime::kMsgUnit);
    JobTest::TearDown();
  }
  void open7(const char* status) {
    runtime::OpenSpec spec;
    spec.file = msg_;
    spec.status = status;
    if (std::string(status) == "UNKNOWN") spec.position = "APPEND";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  // Everything written on unit 7 so far.
  std::string unit7() {
    runtime::close_unit(runtime::kMsgUnit);
    std::ifstream in(msg_);
    std::stringstream ss;
    ss << in.rdbuf();
    open7("UNKNOWN");
    return ss.str();
  }
  // Reads and prepares the job, then counts it and lays out its arrays.
  void setup(const std::string& text) {
    build(text);
    capture([] {
      fit::FITCNT(X(), IWORKS.ix(), LABTAB, MAINPR.LABSLOT);
      fit::FITLAY(X(), IWORKS.ix());
    });
  }
  // One evaluation of the objective at the parameter vector; its report
  // lines go to out.
  double eval(int& mode, std::string* out = nullptr) {
    const auto& f = fit::FITARR;
    double fobj = -1.0;
    std::span<double> x(X().ptr(f.X), static_cast<std::size_t>(f.N));
    std::span<double> g(X().ptr(f.GOBJ), static_cast<std::size_t>(f.N));
    const std::string o = capture([&] { fit::FITFUN(mode, f.N, x, fobj, g, 0, IWORKS.ix().span(), X().span()); });
    if (out) *out = o;
    return fobj;
  }
  double eval() {
    int mode = 0;
    return eval(mode);
  }

  std::string msg_;
  static inline int nmsg_ = 0;
};

// Least squares on one variable: observed 1, expected the fixed value of A,
// N = 3, so the fit function is 2 (1 - a)^2; a = 0.5 gives 0.5.
constexpr const char* kLsHalf =
    "Least squares of one variable\n"
    " Data NG=1 NI=1 NO=3\n"
    " CMatrix\n 1\n"
    " Begin Matrices;\n  A FU 1 1\n End Matrices;\n"
    " Matrix A 0.5\n"
    " Covariance A;\n"
    " Options ULS\n"
    "End\n";

TEST_F(FitfunTest, FirstCallFixesTheScaleAndLaterCallsDivideByIt) {
  // Raw totals below 1 leave the scale at 1; the first call writes its value
  // on unit 7 (and a blank record on the report).
  setup(kLsHalf);
  ASSERT_EQ(col(gcol::kFitCode), kFitLS);
  std::string out;
  int mode = 0;
  EXPECT_DOUBLE_EQ(eval(mode, &out), 0.5);  // 2 (1 - 0.5)^2, closed form
  EXPECT_EQ(out, "\n");
  EXPECT_EQ(fit::OBJCEL.FSCALE, 1.0);
  EXPECT_EQ(fit::OBJCEL.FSIGN, 1.0);
  EXPECT_TRUE(fit::OBJCEL.FFIRST);
  EXPECT_EQ(mode, 0);
  EXPECT_NE(unit7().find(" At your starting values, the function value is 0.5"), std::string::npos);
  EXPECT_DOUBLE_EQ(col(gcol::kFitValue), 0.5);

  // A raw total of 4.5 at the first call of the next run: scale 4.5, and a
  // later raw total of 0.5 is returned as 0.5 / 4.5.
  X()(addr('A') + 1) = -0.5;  // 2 (1.5)^2 = 4.5
  fit::OBJCEL.FFIRST = false;
  EXPECT_DOUBLE_EQ(eval(mode, &out), 1.0);
  EXPECT_DOUBLE_EQ(fit::OBJCEL.FSCALE, 4.5);
  X()(addr('A') + 1) = 0.5;
  EXPECT_DOUBLE_EQ(eval(mode, &out), 0.5 / 4.5);
  EXPECT_EQ(out, "");  // no blank record after the first call
  EXPECT_EQ(count(unit7(), "At your starting values"), 2);

  // While the Hessian is estimated the value is half the raw total,
  // whatever the scale.
  fit::OBJCEL.HESFLG = true;
  EXPECT_DOUBLE_EQ(eval(), 0.25);
  fit::OBJCEL.HESFLG = false;
}

TEST_F(FitfunTest, IntervalSearchValueAndNegativeFirstTotal) {
  struct Case {
    int upper;          // CIUPPR
    double target, wgt; // CITARG, CIWGT
    double raw;         // value before scaling: w (T - F)^2 -/+ x_e, F = 0.5, x_e = 0.5
  };
  // Closed forms of w (T - F)^2 - x_e (upper) and + x_e (lower).
  const Case cases[] = {
      {0, 2.5, 3.0, 3.0 * 4.0 + 0.5},
      {1, 2.5, 3.0, 3.0 * 4.0 - 0.5},
      {1, 0.5, 0.0, -0.5},
  };
  for (const Case& c : cases) {
    setup(kLsHalf);
    auto& oc = fit::OBJCEL;
    oc.CIMODE = 1;
    oc.CIUPPR = c.upper;
    oc.CITARG = c.target;
    oc.CIWGT = c.wgt;
    oc.CIELPOS = addr('A') + 1;  // the element's value
    const double scale = std::max(1.0, std::abs(c.raw));
    EXPECT_DOUBLE_EQ(eval() * scale, c.raw) << c.upper << " " << c.wgt;
    EXPECT_DOUBLE_EQ(oc.FSCALE, scale);
    EXPECT_EQ(oc.FSIGN, c.raw < 0.0 ? -1.0 : 1.0);
    oc.reset();
    reset_all();
  }
}

TEST_F(FitfunTest, NegativeFirstTotalScalesByItsMagnitudeAndDebugShowsTheRawTotal) {
  // A first raw total of -250 (the interval form with weight 0 and an
  // element of 250, upper limit): scale 250, sign -1; later values are
  // total / 250, and the debug line "Total function value=" shows
  // value x sign x scale, the negated raw total.
  setup(kLsHalf);
  auto& oc = fit::OBJCEL;
  oc.CIMODE = 1;
  oc.CIUPPR = 1;
  oc.CIWGT = 0.0;
  oc.CIELPOS = addr('A') + 1;
  X()(oc.CIELPOS) = 250.0;
  EXPECT_DOUBLE_EQ(eval(), -1.0);
  EXPECT_EQ(oc.FSCALE, 250.0);
  EXPECT_EQ(oc.FSIGN, -1.0);
  X()(oc.CIELPOS) = 125.0;
  FITOPT.DB = 1;
  unit7();
  EXPECT_DOUBLE_EQ(eval(), -0.5);
  const std::string u7 = unit7();
  EXPECT_NE(u7.find(" Optimizer parameter vector (order may differ from Qv spec)\n"), std::string::npos) << u7;
  // The group's own value is 2 (1 - 125)^2 (A is the element moved).
  EXPECT_NE(u7.find(" Group Fntype    Value\n    1      1   0.3075200D+05\n"), std::string::npos) << u7;
  EXPECT_NE(u7.find(" Total function value= 125."), std::string::npos) << u7;
  EXPECT_NE(u7.find(" Scaled function value returned= -0.5"), std::string::npos) << u7;
}

// A data group and a constraint group on the same parameter.
constexpr const char* kConstrained =
    "Data and constraint\n"
    " Data NG=2 NI=1 NO=3\n"
    " CMatrix\n 1\n"
    " Begin Matrices;\n  A FU 1 1 Free\n End Matrices;\n"
    " Start .5 ALL\n"
    " Covariance A*A';\n"
    "End\n"
    "The constraint\n"
    " Constraint\n"
    " Matrices = Group 1\n"
    " Constraint A*A';\n"
    "End\n";

TEST_F(FitfunTest, ConstraintModeEvaluatesTheConstraintGroupsAndReturnsZero) {
  setup(kConstrained);
  ASSERT_EQ(col(gcol::kKind, 2), kKindConstraint);
  const auto& f = fit::FITARR;
  X()(f.X) = 0.7;
  fit::OBJCEL.CONMOD = true;
  FITOPT.DB = 1;
  std::string out;
  int mode = 0;
  EXPECT_EQ(eval(mode, &out), 0.0);
  fit::OBJCEL.CONMOD = false;
  EXPECT_EQ(out, "");
  // The constraint value is fresh: A A' at the new parameter.
  EXPECT_DOUBLE_EQ(X()(static_cast<int>(col(gcol::kCovResult, 2))), 0.49);
  EXPECT_FALSE(fit::OBJCEL.FFIRST);  // no scale fixed, no start-value line
  const std::string u7 = unit7();
  EXPECT_EQ(u7.find("At your starting values"), std::string::npos);
  EXPECT_NE(u7.find(" Evaluating constraints\n Constraint functions for group   2\n   0.4900000D+00\n"),
            std::string::npos)
      << u7;
}

TEST_F(FitfunTest, AllCalculationJobReturnsZeroWithScaleOne) {
  setup(
      "Only calculations\n Calculation NG=1\n Begin Matrices;\n  A FU 1 1\n End Matrices;\n"
      " Matrix A 2\n Begin Algebra;\n  B = A*A;\n End Algebra;\nEnd\n");
  ASSERT_EQ(col(gcol::kKind), kKindCalc);
  EXPECT_EQ(eval(), 0.0);
  EXPECT_EQ(fit::OBJCEL.FSCALE, 1.0);
  // Once the driver has given the trailing calculation group code 6 it is
  // copied and evaluated too, and still adds nothing.
  col(gcol::kFitCode) = kFitNone;
  fit::OBJCEL.FFIRST = false;
  EXPECT_EQ(eval(), 0.0);
  EXPECT_EQ(fit::OBJCEL.FSCALE, 1.0);
}

// The objective evaluates the vector it is given, wherever it lies (the
// optimizer's difference points and search points are vectors of its own):
// that point goes into the parameter's element and decides the value, and
// the job's parameter vector in the workspace is left alone.  Closed form
// of the fit function: 2 (1 - a)^2.
TEST_F(FitfunTest, ObjectiveEvaluatesThePointItIsGivenNotTheWorkspaceVector) {
  std::string free = kLsHalf;
  free.replace(free.find("A FU 1 1"), 8, "A FU 1 1 Free");
  setup(free);
  const auto& f = fit::FITARR;
  ASSERT_EQ(f.N, 1);
  ASSERT_EQ(X()(f.X), 0.5);
  std::vector<double> point = {0.25}, grad(1);
  double fobj = 0.0;
  int mode = 0;
  capture([&] { fit::FITFUN(mode, 1, point, fobj, grad, 0, IWORKS.ix().span(), X().span()); });
  EXPECT_EQ(val('A', 1), 0.25);
  EXPECT_DOUBLE_EQ(col(gcol::kFitValue), 1.125);
  EXPECT_EQ(X()(f.X), 0.5);
  // The workspace vector is a point like any other.
  EXPECT_DOUBLE_EQ(eval() * fit::OBJCEL.FSCALE, 0.5);
  EXPECT_EQ(val('A', 1), 0.5);
  EXPECT_DOUBLE_EQ(col(gcol::kFitValue), 0.5);
}

using FitfunDeathTest = FitfunTest;

TEST_F(FitfunDeathTest, CodesWithoutAFitFunctionAreError37) {
  // 15 is no code at all; 0 is none.
  for (int code : {15, 0}) {
    setup(kLsHalf);
    col(gcol::kFitCode) = code;
    const auto& f = fit::FITARR;
    std::span<double> x(X().ptr(f.X), 1), g(X().ptr(f.GOBJ), 1);
    double fobj = 0.0;
    int mode = 0;
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          fit::FITFUN(mode, 1, x, fobj, g, 0, IWORKS.ix().span(), X().span());
        },
        ::testing::ExitedWithCode(1),
        ::testing::ContainsRegex("Fit function code is +" + std::to_string(code) +
                                 "\n(.|\n)*error code is +37\n(.*)STOP 911"))
        << code;
    reset_all();
  }
}

// ---------------------------------------------------------------------------
// The driver on whole jobs, run in a directory of their own.

class FitdrvTest : public JobInDirTest {
 protected:
  FitdrvTest() : JobInDirTest("fitdrv_") {}
  static std::string dump() {
    runtime::close_unit(runtime::kMsgUnit);
    std::ifstream in("OPTDUMP.OUT");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

// A one-factor model of three variables with one degree of freedom
// (the loading of the third variable equated to the second's).
std::string factor_job(const std::string& options) {
  return "One factor\n"
         " Data NG=1 NI=3 NO=100\n"
         " CMatrix\n 1.0\n 0.5 1.0\n 0.4 0.3 1.0\n"
         " Begin Matrices;\n  F FU 3 1\n  E DI 3 3\n End Matrices;\n"
         " Specification F 1 2 2\n Specification E 3 4 5\n"
         " Start .5 ALL\n"
         " Covariance F*F' + E*E';\n"
         " Options " +
         options + "\nEnd\n";
}

TEST_F(FitdrvTest, RestartsRunTheWholeFitAgain) {
  struct Case {
    const char* options;
    int reports;   // statistics blocks, one per optimizer run
    int improve;   // improvement-run announcements
    int tryhard;   // random-restart announcements
  };
  const Case cases[] = {
      {"RS", 1, 0, 0},
      {"TH=2", 3, 0, 2},
      {"TH=-2", 3, 2, 0},
      {"ULML TH=1", 4, 0, 1},
      {"ULML", 2, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string out = run(factor_job(c.options));
    EXPECT_EQ(count(out, " Your model has        5 estimated parameters"), c.reports) << c.options << out;
    EXPECT_EQ(count(out, "\n\n Now I'm trying to improve on the current solution for you...\n"), c.improve)
        << c.options;
    EXPECT_EQ(count(out, "\n\n Try Hard option in effect - restarting from different place\n"), c.tryhard)
        << c.options;
    EXPECT_EQ(FITOPT.TH, 0.0) << c.options;
    reset_all();
  }
}

TEST_F(FitdrvTest, TwoStageFitIsLeastSquaresThenMaximumLikelihood) {
  const std::string out = run(factor_job("ULML"));
  const std::size_t ls = out.find(" The Least Squares function value is");
  const std::size_t ml = out.find(" Chi-squared fit of model >>>>>>>");
  ASSERT_NE(ls, std::string::npos) << out;
  ASSERT_NE(ml, std::string::npos) << out;
  EXPECT_LT(ls, ml);
  EXPECT_EQ(col(gcol::kFitCode), kFitML);
  EXPECT_EQ(FITOPT.LSML, -1);
  EXPECT_EQ(FITOPT.OPTFIT, 1);
}

TEST_F(FitdrvTest, MessageFileIsScratchUnlessNaAndAccumulatesOverTheRun) {
  run(factor_job("RS"));
  EXPECT_FALSE(std::filesystem::exists("OPTDUMP.OUT"));
  reset_all();

  // The run's first fit with NA starts the file anew (a stale one is
  // replaced); later fits of the run add to it.
  std::ofstream("OPTDUMP.OUT") << "stale\n";
  run(factor_job("NA=5"));
  const std::string first = dump();
  EXPECT_EQ(first.find("stale"), std::string::npos);
  EXPECT_EQ(count(first, " At your starting values"), 1) << first;
  EXPECT_NE(first.find("Major print level=                         5"), std::string::npos) << first;
  run(factor_job("NA=5"));
  const std::string both = dump();
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(count(both, " At your starting values"), 2);
}

TEST_F(FitdrvTest, RandomRestartPointsRepeatFromRunToRun) {
  // Unit 7 of each run holds the start value of the random restart; two runs
  // (fresh state each) draw the same points.
  auto restart_line = [this] {
    run(factor_job("NA=1 TH=1"));
    const std::string d = dump();
    std::vector<std::string> lines;
    std::istringstream in(d);
    for (std::string l; std::getline(in, l);)
      if (l.find(" At your starting values") == 0) lines.push_back(l);
    return lines;
  };
  const auto a = restart_line();
  reset_all();
  const auto b = restart_line();
  ASSERT_EQ(a.size(), 2u);  // one per run: the start and the restart
  EXPECT_EQ(a, b);
  EXPECT_NE(a[0], a[1]);  // the restart starts elsewhere
}

TEST_F(FitdrvTest, RandomRestartKeepsParametersWithEqualBounds) {
  // The debug lines on unit 7 show the vector of every evaluation; the one
  // before the second start-value line (the restart's first evaluation) is
  // the random point: parameter 1, bounded to [0.6, 0.6], keeps 0.6; the
  // others are drawn between their default bounds -10000 and 10000.
  std::string job = factor_job("NA=1 DB=1 TH=1");
  job.insert(job.find(" Covariance"), " Bound .6 .6 1\n");
  run(job);
  const std::string d = dump();
  std::size_t at = 0;
  for (int k = 0; k < 2; ++k) at = d.find(" At your starting values", at + 1);
  ASSERT_NE(at, std::string::npos);
  const std::size_t vec = d.rfind(" Optimizer parameter vector", at);
  ASSERT_NE(vec, std::string::npos);
  std::istringstream in(d.substr(d.find('\n', vec) + 1));
  std::vector<double> x;
  for (int i = 0; i < 5; ++i) {
    std::string v;
    in >> v;
    v[v.find('D')] = 'E';
    x.push_back(std::stod(v));
  }
  // The optimizer's order is that of the parameter list.
  std::size_t bounded = 5;
  for (int i = 0; i < 5; ++i)
    if (X()(FITSTA.PARLST + i) == 1.0) bounded = static_cast<std::size_t>(i);
  ASSERT_LT(bounded, 5u);
  EXPECT_EQ(x[bounded], 0.6);
  for (int i = 0; i < 5; ++i) {
    if (static_cast<std::size_t>(i) == bounded) continue;
    EXPECT_GE(x[static_cast<std::size_t>(i)], -10000.0) << i;
    EXPECT_LE(x[static_cast<std::size_t>(i)], 10000.0) << i;
    EXPECT_GT(std::abs(x[static_cast<std::size_t>(i)]), 2.0) << i;  // not near the solution
  }
}

TEST_F(FitdrvTest, JobWithoutFreeParametersRunsNoOptimizer) {
  const std::string out = run(
      "Fixed model\n Data NG=1 NI=1 NO=3\n CMatrix\n 1\n Begin Matrices;\n  A FU 1 1\n End Matrices;\n"
      " Matrix A 1\n Covariance A;\n Options NA=5\nEnd\n");
  const std::string d = dump();
  EXPECT_EQ(d.find("Calls to Option Routine"), std::string::npos) << d;
  EXPECT_EQ(d.find("NLSQP"), std::string::npos);
  EXPECT_EQ(out.find("IFAIL"), std::string::npos);
  EXPECT_EQ(out.find("CODE"), std::string::npos);
  EXPECT_NE(out.find(" Your model has        0 estimated parameters and          1 Observed statistics"),
            std::string::npos)
      << out;
}

// Start values strictly inside (-0.01, 0.01) start at +0.01 whatever their
// sign, so the loadings of this just-identified one-factor model (negative
// start values) come out positive: lambda_1^2 = r12 r13 / r23, lambda_2^2 =
// r12 r23 / r13, lambda_3^2 = r13 r23 / r12 (closed form of the model).
TEST_F(FitdrvTest, SmallNegativeStartValuesStartAtPlusOneHundredth) {
  const std::string job =
      "Small negative start values\n Data NG=1 NI=3 NO=100\n CMatrix\n 1.0\n 0.5 1.0\n 0.4 0.3 1.0\n"
      " Begin Matrices;\n  L FU 3 1 Free\n  E DI 3 3 Free\n End Matrices;\n"
      " Matrix L -0.004 -0.009 -0.005\n Matrix E 0.5 0.5 0.5\n"
      " Covariance L*L' + E*E;\nEnd\n";
  build(job);
  capture([] {
    fit::FITCNT(X(), IWORKS.ix(), LABTAB, MAINPR.LABSLOT);
    fit::FITLAY(X(), IWORKS.ix());
  });
  const auto& f = fit::FITARR;
  const double f01 = static_cast<double>(0.01f);
  ASSERT_EQ(f.NPAR, 6);
  // The parameter list runs E's three, then L's three.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(X()(f.X + i), 0.5) << i;
  for (int i = 3; i < 6; ++i) EXPECT_EQ(X()(f.X + i), f01) << i;

  reset_all();
  run(job);
  const double r12 = 0.5, r13 = 0.4, r23 = 0.3;
  EXPECT_NEAR(val('L', 1), std::sqrt(r12 * r13 / r23), 1e-4);
  EXPECT_NEAR(val('L', 2), std::sqrt(r12 * r23 / r13), 1e-4);
  EXPECT_NEAR(val('L', 3), std::sqrt(r13 * r23 / r12), 1e-4);
}

TEST_F(FitdrvTest, JiggleMovesTheStartValues) {
  // x := x + 0.1 (x + 0.5) with the single-precision 0.1: 0.5 becomes 0.6.
  run(factor_job("JI TH=-1 NA=1"));
  const std::string d = dump();
  EXPECT_EQ(count(d, " At your starting values"), 2);
  reset_all();
  const std::string out = run(factor_job("JI"));
  EXPECT_NE(out.find("\n\n Jiggling parameter estimates...\n"), std::string::npos) << out;
}

// A parameter whose derivative is 0 near the start only.  Covariance
// diag(max(a, b), a) with a = A(1,1) = D, b = A(1,2), observed diag(1, 0.25),
// start (0.8, 0.7), a <= 0.9: b has no effect while b < a, so the interval
// search at the start finds its gradient element constant; at the
// confirmation point b is above a and the element is differenced after all.
// The optimum fits exactly: a = 0.25, b = 1, chi-squared 0 (closed form).
constexpr const char* kFlatAtTheStart =
    "Max of a 1 x 2 matrix and its first element\n"
    " Data NGroups=1 NInputvars=2 NObservations=101\n"
    " CMatrix\n  1.0\n  0.0 0.25\n"
    " Matrices\n  A FU 1 2\n  D FU 1 1\n  Z ZE 1 1\n End Matrices;\n"
    " Specification A 1 2\n Specification D 1\n"
    " Matrix A 0.8 0.7\n Matrix D 0.8\n Bound 0.01 0.9 A 1 1\n"
    " Covariance \\max(A) | Z _ Z | D /\n"
    " Options NA=1\n"
    "End\n";

TEST_F(FitdrvTest, ParameterFlatAtTheStartOnlyIsEstimatedNotFrozen) {
  const std::string out = run(kFlatAtTheStart);
  const std::string d = dump();
  EXPECT_EQ(d.find("constant  objective gradient elements assigned"), std::string::npos) << d;
  EXPECT_NEAR(val('A', 1), 0.25, 1e-5);
  EXPECT_NEAR(val('A', 2), 1.0, 1e-5);
  EXPECT_NEAR(val('D', 1), 0.25, 1e-5);
  EXPECT_NEAR(fit::FITRES.F, 0.0, 1e-6);
  EXPECT_EQ(fit::FITRES.INFORM, 0) << out;
}

// The same with a 1 x 1 observed matrix and a <= 0.6 (a, b at 0.5, 0.3):
// the element of b is differenced at every iteration too, but b < a at
// every point the run reaches, so its derivative is 0 there: the run stops
// where a meets its bound, a stationary point (b has no effect anywhere
// below a), with chi-squared 100 (ln 0.6 + 1/0.6 - 1) = 15.584 (closed
// form).  Reaching b = 1 would take a step that no derivative points to.
TEST_F(FitdrvTest, ParameterWithoutEffectAtEveryIterateStaysWhereItStarted) {
  run("Max of a 1 x 2 matrix\n"
      " Data NGroups=1 NInputvars=1 NObservations=101\n"
      " CMatrix\n  1.0\n"
      " Matrices\n  A FU 1 2 Free\n End Matrices;\n"
      " Matrix A 0.5 0.3\n Bound 0 0.6 A 1 1\n"
      " Covariance \\max(A) /\n"
      " Options NA=1\n"
      "End\n");
  const std::string d = dump();
  EXPECT_EQ(d.find("constant  objective gradient elements assigned"), std::string::npos) << d;
  EXPECT_NEAR(val('A', 1), 0.6, 1e-7);
  EXPECT_EQ(val('A', 2), 0.3);
  EXPECT_NEAR(fit::FITRES.F, 100.0 * (std::log(0.6) + 1.0 / 0.6 - 1.0), 1e-5);
}

// A start next to a singular matrix: the difference-interval search steps
// A(2,1) from 0.9999999 to a point where the expected matrix is not
// positive definite, and the run ends there (-1).  The estimates listed are
// the start, the last point where the objective was computed, and so is the
// fit: chi-squared 49 F_ML(S, A) = 367499179.92 (closed form,
// F = ln|A| - ln|S| + tr(S A^-1) - 2).  The start-value message is not
// written (the start is positive definite), nor is the penalty warning.
TEST_F(FitdrvTest, RunStoppedAtADisplacedPointListsTheLastComputablePoint) {
  const std::string out = run(
      "Nearly singular start\n"
      " Data NGroups=1 NInputvars=2 NObservations=50\n"
      " CMatrix\n  1.2\n  0.3 0.9\n"
      " Matrices\n  A SY 2 2 Free\n End Matrices;\n"
      " Matrix A 1.0 0.9999999 1.0\n"
      " Covariance A /\n"
      " Options NA=1\n"
      "End\n");
  EXPECT_EQ(fit::FITRES.INFORM, -1);
  EXPECT_NE(out.find(" Somehow your fit function cannot be computed for these parameter estimates"),
            std::string::npos)
      << out;
  EXPECT_EQ(val('A', 1), 1.0);
  EXPECT_EQ(val('A', 2), 0.9999999);
  EXPECT_EQ(val('A', 3), 1.0);
  const auto& f = fit::FITARR;
  std::vector<double> x(X().ptr(f.X), X().ptr(f.X) + f.N);
  std::sort(x.begin(), x.end());
  EXPECT_EQ(x, (std::vector<double>{0.9999999, 1.0, 1.0}));
  const double a = 0.9999999, det = 1.0 - a * a;
  const double F = std::log(det) - std::log(1.2 * 0.9 - 0.09) + (1.2 + 0.9 - 0.6 * a) / det - 2.0;
  EXPECT_NEAR(fit::FITRES.F, 49.0 * F, 1e-6 * 49.0 * F);
  EXPECT_EQ(out.find("At the starting values"), std::string::npos) << out;
  EXPECT_EQ(out.find("Penalty function is in operation"), std::string::npos) << out;
  // One start-value line on unit 7: the evaluation at the solution is not
  // a first call.
  EXPECT_EQ(count(dump(), " At your starting values"), 1);
}

// One free parameter with a nonlinear constraint: T and ZY of the run are
// one word each (a checked build stops at a read outside its spans).  The
// constraint A = 0 holds at the solution, and the listing shows it.
TEST_F(FitdrvTest, OneParameterWithANonlinearConstraintIsFitted) {
  const std::string out = run(
      "T\n"
      " Data NG=1 NI=1 NO=10 Constraint\n"
      " Matrices\n"
      " A SY 1 1 Free\n"
      " Constraint A;\n"
      "End\n");
  EXPECT_EQ(fit::FITRES.INFORM, 0) << out;
  EXPECT_NEAR(val('A', 1), 0.0, 1e-10);
  EXPECT_EQ(val('A', 1), X()(fit::FITARR.X));
  EXPECT_NE(out.find(" Observed statistics include   1 constraints."), std::string::npos) << out;
}

TEST_F(FitdrvTest, HessianWorkspaceDoesNotGrowWithTheRestartsOfAJob) {
  // The identification check (CH) and the standard errors (the group's
  // request) estimate the Hessian after every pass; its scratch and the
  // covariance matrix are reserved once for the job, so the high-water mark
  // of the workspace is that of one pass however many improvement runs
  // follow.
  struct Case {
    const char* options;
    bool stderrs;
  };
  const Case cases[] = {{"CH", false}, {"RS", true}};
  for (const Case& c : cases) {
    int one_pass = 0, covariance = 0;
    for (const char* th : {"", " TH=-6"}) {
      const std::string options = std::string(c.options) + th;
      std::string out = build(factor_job(options));
      if (c.stderrs) col(gcol::kStdErrors) = 1.0;
      out += capture([] { run_job(); });
      EXPECT_EQ(count(out, " Your model has        5 estimated parameters"), *th == '\0' ? 1 : 7) << options;
      if (c.stderrs) {
        EXPECT_EQ(count(out, " (Rough) STANDARD ERRORS"), *th == '\0' ? 2 : 14) << options << out;
        EXPECT_FALSE(fit::SECOV.NOSE) << options;
      } else {
        EXPECT_EQ(count(out, " Eigenvalue test suggests model is identified"), *th == '\0' ? 1 : 7) << options << out;
      }
      if (*th == '\0') {
        one_pass = MAINPR.WSMAXD;
        covariance = fit::SECOV.ADDR;
      } else {
        EXPECT_EQ(MAINPR.WSMAXD, one_pass) << options;
        EXPECT_EQ(fit::SECOV.ADDR, covariance) << options;
      }
      reset_all();
    }
  }
}

TEST_F(FitdrvTest, IterationAdviceNamesTheLimitTheOptimizerRanUnder) {
  // With DE the "Default" line comes before the IT line, so IT holds.
  struct Case {
    const char* options;
    int limit;
  };
  const Case cases[] = {{"IT=2", 2}, {"DE IT=2", 2}, {"DE IT=3", 3}};
  for (const Case& c : cases) {
    const std::string out = run(factor_job(c.options));
    EXPECT_EQ(optim::NPRUN.itmax, c.limit) << c.options;
    EXPECT_NE(out.find(" IT=n on the OU line.  Current value is " + std::to_string(c.limit) + "\n"), std::string::npos)
        << c.options << out;
    EXPECT_NE(out.find(" CODE BLUE - not enough iterations\n"), std::string::npos) << c.options;
    reset_all();
  }
}

}  // namespace
}  // namespace qv::jobctl
