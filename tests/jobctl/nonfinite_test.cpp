// Whole jobs at the edges of the numbers: observed matrices whose
// determinant lies beyond the range of a double, values that cannot be
// computed (infinite or undefined), a zero diagonal weight, and data groups
// without the observed matrix that their fit function reads.
//
// References are closed forms.  The independence model (a free diagonal
// expected matrix) fitted by maximum likelihood has its estimates at the
// observed variances, and then F = (N - 1)(sum ln s_ii - ln det S); with
// variables in pairs of correlation r, ln det S = sum ln s_ii + (p/2)
// ln(1 - r^2), so F = -(N - 1)(p/2) ln(1 - r^2) whatever the variances.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <sstream>
#include <string>

#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/fitstat.hpp"
#include "fit/objcel.hpp"
#include "job_fixture.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using testing_support::JobInDirTest;

// A script of p variables in pairs (2k - 1, 2k) of correlation r, each of
// variance v, N observations, fitted by the independence model from the
// start value `start` (the CM lines hold at most 10 numbers).
std::string pairs_job(int p, double v, double r, double start, int N) {
  std::ostringstream s;
  s.precision(17);
  s << "Independence model of " << p << " variables\n Data NG=1 NI=" << p << " NO=" << N << "\n CMatrix\n";
  for (int i = 1; i <= p; ++i) {
    for (int j = 1; j <= i; ++j) {
      const double x = i == j ? v : (i % 2 == 0 && j == i - 1 ? r * v : 0.0);
      s << (j % 10 == 1 ? " " : " ") << x;
      if (j % 10 == 0 || j == i) s << "\n";
    }
  }
  s << " Matrices\n A DI " << p << " " << p << " Free\n Covariance A;\n Start " << start << " all\nEnd\n";
  return s.str();
}

// Whether a report prints a number that is not one.
bool prints_non_number(const std::string& out) {
  if (out.find("NaN") != std::string::npos || out.find("Infinity") != std::string::npos) return true;
  for (std::size_t p = out.find("Inf"); p != std::string::npos; p = out.find("Inf", p + 1))
    if (out.compare(p, 11, "Information") != 0) return true;
  return false;
}

// Jobs run in a directory of their own (the fit's message file).
class EdgeJobTest : public JobInDirTest {
 protected:
  EdgeJobTest() : JobInDirTest("edgejob_") {}
  // Reads, prepares and runs one job without capturing the report, for a
  // job that stops.
  void run_to_stop(const std::string& text) {
    feed(text);
    RDLINE();
    if (!read_job()) return;
    prepare_job();
    run_job();
  }
  // Reads and prepares the job and lays out its fit, with the message unit
  // open, for evaluations of the objective.
  void lay_out(const std::string& text) {
    build(text);
    runtime::OpenSpec spec;
    spec.status = "SCRATCH";
    runtime::open_unit(runtime::kMsgUnit, spec);
    capture([] {
      fit::FITCNT(X(), IWORKS.ix(), LABTAB, MAINPR.LABSLOT);
      fit::FITLAY(X(), IWORKS.ix());
    });
  }
  // One evaluation of the objective at the parameter vector.
  static double eval(int& mode) {
    const auto& f = fit::FITARR;
    double fobj = -1.0;
    std::span<double> x(X().ptr(f.X), static_cast<std::size_t>(f.N));
    std::span<double> g(X().ptr(f.GOBJ), static_cast<std::size_t>(f.N));
    capture([&] { fit::FITFUN(mode, f.N, x, fobj, g, 0, IWORKS.ix().span(), X().span()); });
    return fobj;
  }
};

using EdgeJobDeathTest = EdgeJobTest;

// ---------------------------------------------------------------------------
// Observed matrices at any scale.

// A positive-definite observed matrix is fitted whatever its determinant:
// 80 variables of variance 10000 (det 1e320, beyond a double), and matrices
// whose determinant only leaves the LU routine's range (2^-120 to 2^124).
TEST_F(EdgeJobTest, PositiveDefiniteObservedMatrixIsFittedWhateverItsDeterminant) {
  struct Case {
    const char* name;
    int p;
    double v, r, start;
    int N;
  };
  const Case cases[] = {
      {"80 independent variables of variance 10000, N = 100", 80, 1e4, 0.0, 8000, 100},
      {"80 variables of variance 10000 in pairs r = .5", 80, 1e4, 0.5, 8000, 100},
      {"20 variables of variance .01 in pairs r = .5 (det 1e-41)", 20, 0.01, 0.5, 0.01, 50},
      {"12 variables of variance 1000 in pairs r = .3 (det 1e36)", 12, 1000, 0.3, 900, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_all();
    const std::string out = run(pairs_job(c.p, c.v, c.r, c.start, c.N));
    EXPECT_EQ(out.find("error code"), std::string::npos) << out;
    EXPECT_EQ(out.find("not positive-definite"), std::string::npos) << out;
    EXPECT_FALSE(prints_non_number(out)) << out;
    // Closed form: -(N - 1)(p/2) ln(1 - r^2), estimates the variances.
    const double want = -(c.N - 1.0) * (c.p / 2.0) * std::log(1.0 - c.r * c.r);
    EXPECT_NEAR(fit::FITRES.F, want, 1e-6 * std::max(1.0, want));
    EXPECT_EQ(fit::FITRES.DF, c.p * (c.p + 1) / 2 - c.p);
    for (int i = 1; i <= c.p; ++i) EXPECT_NEAR(val('A', i), c.v, 1e-5 * c.v) << "variance " << i;
  }
}

// The determinant kept for maximum likelihood: the LU's where it is in its
// range (unchanged), else the double nearest exp(ln det S), infinite beyond
// the range of a double.
TEST_F(EdgeJobTest, ObservedDeterminantBeyondTheRangeOfADouble) {
  build(pairs_job(80, 1e4, 0.0, 8000, 100));
  EXPECT_EQ(col(gcol::kObsDet), std::numeric_limits<double>::infinity());
  reset_all();
  build(pairs_job(12, 1000, 0.3, 900, 30));
  // 1000^12 (1 - .09)^6, closed form
  EXPECT_NEAR(col(gcol::kObsDet), 1e36 * std::pow(0.91, 6), 1e-12 * 1e36);
  reset_all();
  build(pairs_job(4, 2, 0.5, 1, 30));
  EXPECT_NEAR(col(gcol::kObsDet), 16 * 0.75 * 0.75, 1e-13);
}

// Positive definiteness is the factor's, not the determinant's sign: a
// matrix of two negative variances (det 1) is refused, as is a singular one.
TEST_F(EdgeJobDeathTest, MatrixThatIsNotPositiveDefiniteIsError155) {
  for (const char* cm : {" -1\n 0 -1\n", " 1\n 1 1\n"}) {
    reset_all();
    const std::string job = std::string("Not positive definite\n Data NG=1 NI=2 NO=10\n CMatrix\n") + cm +
                            " Matrices\n A SY 2 2 Free\n Covariance A;\nEnd\n";
    EXPECT_QV_ERROR(run_to_stop(job), 155);
  }
}

// ---------------------------------------------------------------------------
// Values that cannot be computed.

// Least squares of one variable (observed 2, N = 20) with expected A A'.
std::string overflow_job(const char* start) {
  return std::string(
             "Expected matrix that overflows\n Data NG=1 NI=1 NO=20\n CMatrix\n 2\n"
             " Matrices\n A FU 1 1 Free\n Covariance A*A';\n Matrix A ") +
         start + "\n Options UL\nEnd\n";
}

// A first value that is infinite is not computable: the penalty (100 p^2 +
// previous value + 1e-30 x 1e33) with MODE -1, and that finite penalty is
// the run's scale, so the later values are numbers.
TEST_F(EdgeJobTest, FirstValueThatIsInfiniteIsThePenaltyWithModeMinusOne) {
  lay_out(overflow_job("1E200"));
  const double penalty = 100.0 + 0.0 + 1.0000000031710769e-30 * 9.999999944957273e+32;
  int mode = 0;
  EXPECT_DOUBLE_EQ(eval(mode), 1.0);
  EXPECT_EQ(mode, -1);
  EXPECT_DOUBLE_EQ(fit::OBJCEL.FSCALE, penalty);
  EXPECT_DOUBLE_EQ(col(gcol::kFitValue), penalty);
  // At A = 1: 19 (2 - 1)^2 = 19, closed form, scaled by the penalty.
  X()(fit::FITARR.X) = 1.0;
  mode = 0;
  EXPECT_DOUBLE_EQ(eval(mode), 19.0 / penalty);
  EXPECT_EQ(mode, 0);
}

// A total that overflows (here the interval search's weight times the
// squared distance) is returned as the largest double with MODE -1 and
// does not fix the scale.
TEST_F(EdgeJobTest, TotalThatOverflowsIsNotComputableAndDoesNotFixTheScale) {
  lay_out(overflow_job("1"));
  auto& oc = fit::OBJCEL;
  oc.CIMODE = 1;
  oc.CIWGT = 1e300;
  oc.CITARG = 1e10;
  oc.CIELPOS = fit::FITARR.X;
  int mode = 0;
  EXPECT_EQ(eval(mode), std::numeric_limits<double>::max());
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(oc.FSCALE, 1.0);
  EXPECT_TRUE(oc.FFIRST);
  oc.CIMODE = 0;
  mode = 0;
  EXPECT_DOUBLE_EQ(eval(mode), 19.0);  // 19 (2 - 1)^2, the scale 1 kept
  EXPECT_EQ(mode, 0);
}

// Maximum likelihood at expected variances of 1e200 (det E = 1e400): a
// number, not the penalty.
TEST_F(EdgeJobTest, MaximumLikelihoodWithADeterminantThatOverflowsIsComputed) {
  const std::string job =
      "Expected determinant beyond a double\n Data NG=1 NI=2 NO=51\n CMatrix\n 2\n 1 3\n"
      " Matrices\n A DI 2 2 Free\n Covariance A;\n Matrix A 1E200 1E200\nEnd\n";
  lay_out(job);
  int mode = 0;
  EXPECT_DOUBLE_EQ(eval(mode), 1.0);
  EXPECT_EQ(mode, 0);
  // (ln(det E / det S) + tr(E^-1 S) - 2)(N - 1) = (ln(1e400 / 5) + 5e-200 - 2) 50
  EXPECT_NEAR(fit::OBJCEL.FSCALE, (400.0 * std::log(10.0) - std::log(5.0) - 2.0) * 50.0, 1e-9);

  // The whole job reaches the independence model's minimum: 50 ln(6 / 5).
  reset_all();
  const std::string out = run(job);
  EXPECT_FALSE(prints_non_number(out)) << out;
  EXPECT_NEAR(fit::FITRES.F, 50.0 * std::log(6.0 / 5.0), 1e-6);
  EXPECT_NEAR(val('A', 1), 2.0, 1e-5);
  EXPECT_NEAR(val('A', 2), 3.0, 1e-5);
}

// The job whose start value overflowed: the run is said to have met a value
// it could not compute, and it still reaches the minimum, A^2 = 2, with no
// NaN in the report.
TEST_F(EdgeJobTest, RunFromAStartThatOverflowsReportsNumbers) {
  const std::string out = run(overflow_job("1E200"));
  EXPECT_FALSE(prints_non_number(out)) << out;
  EXPECT_NE(out.find(" Minimization may not be successful.  See above\n"), std::string::npos) << out;
  EXPECT_NEAR(fit::FITRES.F, 0.0, 1e-8);
  EXPECT_NEAR(std::fabs(val('A', 1)), std::sqrt(2.0), 1e-5);
}

// A zero diagonal weight would be divided by: the weights (the inverse of a
// diagonal asymptotic matrix) cannot be inverted, error 24, with the line
// that names the weight.
TEST_F(EdgeJobDeathTest, ZeroDiagonalWeightIsError24) {
  const std::string job =
      "A zero weight\n Data NG=1 NI=2 NO=20\n CMatrix\n 1\n .5 2\n AV\n 1 0 1\n"
      " Matrices\n A SY 2 2 Free\n Covariance A;\nEnd\n";
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        run_to_stop(job);
      },
      ::testing::ExitedWithCode(1),
      ::testing::ContainsRegex(" AV weight number 2 is zero; DWLS divides by each weight\n(.|\n)*"
                               "error code is +24\n(.|\n)*couldn't invert your asymptotic matrix"));
}

// ---------------------------------------------------------------------------
// Data groups without an observed matrix.

// Every fit function that reads the observed matrix stops with error 220
// when the group has none, as maximum likelihood did; DWLS on a matrix
// without its AV weights stops with error 40.
TEST_F(EdgeJobDeathTest, FitFunctionWithoutItsObservedDataStops) {
  struct Case {
    const char* name;
    const char* job;
    int code;
  };
  const Case cases[] = {
      {"GLS, one variable",
       "T\n Data NG=1 NI=1 NO=2\n Matrices\n A SY 1 1 Free\n Covariance A /\n Options GL\nEnd\n", 220},
      {"LS", "T\n Data NG=1 NI=2 NO=2\n Matrices\n A SY 2 2 Free\n End Matrices;\n Covariance A /\n Options LS\nEnd\n",
       220},
      {"DWLS",
       "T\n Data NG=1 NI=2 NO=2\n Matrices\n A SY 2 2 Free\n End Matrices;\n Covariance A /\n Options DW\nEnd\n", 220},
      {"GLS", "T\n Data NG=1 NI=2 NO=2\n Matrices\n A SY 2 2 Free\n End Matrices;\n Covariance A /\n Options GL\nEnd\n",
       220},
      {"ML", "T\n Data NG=1 NI=2 NO=2\n Matrices\n A SY 2 2 Free\n End Matrices;\n Covariance A /\n Options ML\nEnd\n",
       220},
      {"DWLS without AV weights",
       "T\n Data NG=1 NI=2 NO=20\n CMatrix\n 1\n .5 2\n Matrices\n A SY 2 2 Free\n End Matrices;\n"
       " Covariance A /\n Options DW\nEnd\n",
       40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_all();
    EXPECT_QV_ERROR(run_to_stop(c.job), c.code);
  }
}

}  // namespace
}  // namespace qv::jobctl
