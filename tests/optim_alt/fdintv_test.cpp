#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "numlib/capture.hpp"
#include "optim/nlsqp.hpp"
#include "optim_alt/derivchk.hpp"
#include "optim_alt/options.hpp"

namespace qv::optim_alt {
namespace {

using numlib::test::UnitCapture;
using Vec = std::vector<double>;

// An objective-only problem for the interval search (no constraints).
struct Fd {
  int n;
  Vec x, bl, bu, grad, gradu, hforwd, hcntrl, dx;
  std::function<double(const Vec&)> f;
  int calls = 0;
  int mode_at = -1;

  Fd(int n_, std::function<double(const Vec&)> f_) : n(n_), f(std::move(f_)) {
    const auto un = static_cast<std::size_t>(n);
    x.resize(un);
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(j)] = 0.5 + 0.1 * j;
    bl.assign(un, -1e20);
    bu.assign(un, 1e20);
    grad.assign(un, 0.0);
    gradu.assign(un, optim::kDerivUnset);
    hforwd.assign(un, 0.0);
    hcntrl.assign(un, 0.0);
    dx.assign(un, 0.0);
  }

  int run(int msglvl, int& lvlder) {
    E4WORK.nmissg = 0;
    for (double g : gradu) E4WORK.nmissg += g == optim::kDerivUnset ? 1 : 0;
    optim::Objfun obj = [this](int& mode, int nn, std::span<const double> xs, double& fv, std::span<double>, int,
                               std::span<int>, std::span<double>) {
      ++calls;
      if (calls == mode_at) mode = -2;
      fv = f(Vec(xs.begin(), xs.begin() + nn));
    };
    optim::Cnlfun cons = [](int&, int, int, int, std::span<const int>, std::span<const double>, std::span<double>,
                            std::span<double>, int, std::span<int>, std::span<double>) {};
    int inform = 99;
    double fdnorm = -1.0;
    std::vector<int> kneed(1), iusr(1);
    Vec c(1), c1(1), cwrk(1), cjac(1), cjacu(1), rusr(1);
    E4FDIV(inform, msglvl, lvlder, n, 0, 1, 1, 1e20, 1e-15, fdnorm, f(x), obj, cons, kneed, bl, bu, c, c1, cwrk, cjac,
           cjacu, grad, gradu, hforwd, hcntrl, x, dx, iusr, rusr);
    return inform;
  }
};

double cubic(const Vec& x) { return x[0] * x[0] * x[0] + std::sin(x[1]) * x[0]; }

TEST(E4FDIV, IntervalsAndFirstEstimatesOfMissingGradients) {
  E4WORK.reset();
  UnitCapture cap;
  Fd p(2, cubic);
  int lvlder = 0;
  EXPECT_EQ(p.run(1, lvlder), 0);
  EXPECT_EQ(lvlder, 0);
  // Closed-form gradient at (0.5, 0.6): (3 x1^2 + sin x2, x1 cos x2).
  EXPECT_NEAR(p.grad[0], 0.75 + std::sin(0.6), 1e-7);
  EXPECT_NEAR(p.grad[1], 0.5 * std::cos(0.6), 1e-7);
  EXPECT_EQ(p.x, (Vec{0.5, 0.6}));
  for (int j = 0; j < 2; ++j) {
    EXPECT_GT(p.hforwd[static_cast<std::size_t>(j)], 0.0);
    EXPECT_GT(p.hcntrl[static_cast<std::size_t>(j)], p.hforwd[static_cast<std::size_t>(j)]);
  }
  // The intervals and error estimates are the search's own: this proves the layout.
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             " ", " ", " Computation of the finite-difference intervals",
                             " ----------------------------------------------", " ", " ",
                             "    J      X(J)   Forward DX(J)   Central DX(J)      Error est.", " ",
                             "    1  5.00D-01    4.331726D-08    9.486833D-07    1.299548D-07",
                             "    2  6.00D-01    1.412189D-07    1.011929D-06    1.427922D-07"}));
}

TEST(E4FDIV, AConstantObjectiveIsConfirmedAndRaisesTheDerivativeLevel) {
  E4WORK.reset();
  UnitCapture cap;
  Fd p(2, [](const Vec&) { return 7.0; });
  int lvlder = 0;
  EXPECT_EQ(p.run(1, lvlder), 0);
  EXPECT_EQ(lvlder, 3);
  EXPECT_EQ(p.gradu, (Vec{0.0, 0.0}));  // the confirmed quotient, exact for a constant
  EXPECT_EQ(E4WORK.nmissg, 0);
  const auto lines = cap.lines();
  ASSERT_GE(lines.size(), 10u);
  const std::vector<std::string> tail(lines.end() - 10, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{" ", "    2  constant  objective gradient elements assigned.", " ", " ",
                                            " All missing Jacobian elements are constants.",
                                            " Derivative level increased to    2", " ", " ",
                                            " All missing objective gradients are constants.",
                                            " Derivative level increased to    3"}))
      << lines.size();
}

TEST(E4FDIV, ALinearElementThatFailsItsConfirmationStaysMissing) {
  E4WORK.reset();
  Fd p(2, [](const Vec& x) { return 2.0 * x[0] - 4.0 * x[1]; });
  int lvlder = 0;
  EXPECT_EQ(p.run(0, lvlder), 0);
  // The estimates are the slopes (closed form 2, -4).
  EXPECT_NEAR(p.grad[0], 2.0, 1e-9);
  EXPECT_NEAR(p.grad[1], -4.0, 1e-9);
  // The quotient at the second point differs from the estimate in its last
  // bits, so neither element is taken as constant (an exact comparison).
  EXPECT_EQ(p.gradu, (Vec{optim::kDerivUnset, optim::kDerivUnset}));
  EXPECT_EQ(E4WORK.nmissg, 2);
}

TEST(E4FDIV, MissingJacobianElementsGetIntervalsAndEstimates) {
  E4WORK.reset();
  // c1 = x1^2 + x2, c2 = x1 x2 at x = (0.5, 0.6); the Jacobian is missing, the gradient supplied (level 1).
  const int n = 2, m = 2;
  Vec x = {0.5, 0.6}, bl(2, -1e20), bu(2, 1e20), c = {0.85, 0.3}, c1(2), cwrk(2);
  Vec cjac(4, 0.0), cjacu(4, optim::kDerivUnset), grad = {1, 1}, gradu = {1, 1}, hf(2), hc(2), dx(2), rusr(1);
  std::vector<int> kneed(2), iusr(1);
  E4WORK.nmissj = 4;
  optim::Objfun obj = [](int&, int, std::span<const double>, double& f, std::span<double>, int, std::span<int>,
                         std::span<double>) { f = 0.0; };
  optim::Cnlfun cons = [](int&, int, int, int, std::span<const int>, std::span<const double> xs, std::span<double> cv,
                          std::span<double>, int, std::span<int>, std::span<double>) {
    cv[0] = xs[0] * xs[0] + xs[1];
    cv[1] = xs[0] * xs[1];
  };
  int inform = 99, lvlder = 1;
  double fdnorm = 0.0;
  E4FDIV(inform, 0, lvlder, n, m, m, m, 1e20, 1e-15, fdnorm, 0.0, obj, cons, kneed, bl, bu, c, c1, cwrk, cjac, cjacu,
         grad, gradu, hf, hc, x, dx, iusr, rusr);
  EXPECT_EQ(inform, 0);
  // Closed form: row 1 (2 x1, 1) = (1, 1), row 2 (x2, x1) = (0.6, 0.5).
  const Vec want = {1.0, 0.6, 1.0, 0.5};
  for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(cjac[k], want[k], 1e-7) << k;
  EXPECT_GT(fdnorm, 0.0);
  EXPECT_EQ(x, (Vec{0.5, 0.6}));
}

TEST(E4FDIV, UsersIntervalsThatCannotBeUsedAreReplaced) {
  E4WORK.reset();
  E4WORK.dif_class = 1;
  UnitCapture cap;
  Fd p(2, cubic);
  p.hforwd = {-1.0, 0.1};
  p.hcntrl = {0.2, 0.0};
  int lvlder = 0;
  EXPECT_EQ(p.run(1, lvlder), 0);
  EXPECT_EQ(p.calls, 0);
  // eps = 2^-56: sqrt(eps) = 2^-28 = 3.7252902984e-09, eps^0.33 = 2.735052581817296e-06 (Python).
  EXPECT_EQ(p.hforwd, (Vec{0x1p-28, 0.1}));
  EXPECT_NEAR(p.hcntrl[1], 2.735052581817296e-06, 1e-20);
  EXPECT_EQ(cap.lines(), (std::vector<std::string>{
                             " XXX     1-th difference interval  -1.00D+00 replaced by   3.73D-09",
                             " XXX     2-th central-difference interval   0.00D+00 replaced by   2.74D-06"}));
}

TEST(E4FDIV, PrintLevelZeroAndANegativeMode) {
  E4WORK.reset();
  {
    UnitCapture cap;
    Fd p(2, cubic);
    int lvlder = 0;
    EXPECT_EQ(p.run(0, lvlder), 0);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_NEAR(p.grad[0], 0.75 + std::sin(0.6), 1e-7);
  }
  Fd p(2, cubic);
  p.mode_at = 3;
  int lvlder = 0;
  EXPECT_EQ(p.run(0, lvlder), -2);
  EXPECT_EQ(p.x, (Vec{0.5, 0.6}));
}

}  // namespace
}  // namespace qv::optim_alt
