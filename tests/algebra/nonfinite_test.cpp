// NaN among the numbers of a normal integral or a packed factorisation: the
// result must show it (a NaN value, a failure code) instead of a plausible
// number computed as if the NaN were an infinite limit or a positive pivot.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "algebra/mvnadp.hpp"
#include "algebra/mvnlattice.hpp"
#include "algebra/mvnmc.hpp"
#include "algebra/mvnsetup.hpp"
#include "algebra/mvnsph.hpp"
#include "algebra/packed.hpp"

namespace qv::algebra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Integrator = void (*)(int, std::span<const double>, std::span<const double>, std::span<const int>,
                            std::span<const double>, int, double, double, double&, double&, int&);

struct Engine {
  const char* name;
  Integrator f;
};
const Engine kEngines[] = {{"MVNADP", MVNADP}, {"MVNLAT", MVNLAT}, {"MVNMC", MVNMC}, {"MVNSPH", MVNSPH}};

// A NaN limit that the flags mark as finite gives a NaN probability (it was
// integrated as an infinite limit, with INFORM 0); a NaN limit the flags mark
// as infinite is never read, and an infinite limit is an ordinary one.
TEST(NonFinite, NormalIntegralLimits) {
  struct Case {
    const char* what;
    std::vector<double> lo, up;
    std::vector<int> kind;
    bool nan;
  };
  const Case cases[] = {
      {"NaN lower, both limits", {kNaN, -1, -1}, {1, 1, 1}, {2, 2, 2}, true},
      {"NaN upper, upper only", {0, 0, 0}, {1, 1, kNaN}, {0, 0, 0}, true},
      {"NaN lower, lower only", {-1, kNaN, -1}, {0, 0, 0}, {1, 1, 1}, true},
      {"NaN upper of a lower-only variable", {-1, -1, -1}, {kNaN, 1, 1}, {1, 2, 2}, false},
      {"NaN limits of an unbounded variable", {kNaN, -1, -1}, {kNaN, 1, 1}, {-1, 2, 2}, false},
      {"infinite limits", {-kInf, -1, -1}, {kInf, 1, 1}, {2, 2, 2}, false},
  };
  const std::vector<double> rho = {0.3, 0.3, 0.3};
  for (const auto& e : kEngines) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(e.name) + ": " + c.what);
      double error = 0.0, value = 0.0;
      int inform = -1;
      e.f(3, c.lo, c.up, c.kind, rho, 20000, 1e-3, 0.0, error, value, inform);
      if (c.nan) {
        EXPECT_TRUE(std::isnan(value));
        EXPECT_EQ(inform, 0);
      } else {
        EXPECT_GE(value, 0.0);
        EXPECT_LE(value, 1.0);
      }
    }
  }
}

// A NaN pivot fails as a negative one (fault 2): the factor was full of NaN
// with fault 0, and SYMINV delivered it as a successful inverse.
TEST(NonFinite, CholpkNaNPivot) {
  const std::vector<std::vector<double>> cases = {
      {kNaN, 1, 4, 1, 1, 4},  // a diagonal element
      {4, kNaN, 4, 1, 1, 4},  // an off-diagonal element that reaches a later pivot
      {4, 1, 4, 1, kNaN, 4},
  };
  for (const auto& a0 : cases) {
    std::vector<double> a = a0, l(6);
    int nullity = -1, fault = -1;
    CHOLPK(Vec1<double>(a.data(), 6), 3, Vec1<double>(l.data(), 6), nullity, fault);
    EXPECT_EQ(fault, 2);
  }
}

}  // namespace
}  // namespace qv::algebra
