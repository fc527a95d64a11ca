// Derivative set-up, differences and checks with recording callbacks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "optim/npderiv.hpp"
#include "runtime/units.hpp"

namespace qv::optim {
namespace {

constexpr double kBig = 1e20;
constexpr int kUnit = 44;

// One callback call as the routine made it.
struct Call {
  int mode;
  std::vector<double> x;
};

// An objective f(x) with an optional gradient g(x) (elements it does not set
// stay as they are), recording every call.  on_call may change MODE.
struct Obj {
  std::function<double(const std::vector<double>&)> f;
  std::function<void(const std::vector<double>&, std::span<double>)> g;
  std::function<void(int&, int)> on_call;
  std::vector<Call> calls;
  Objfun fn() {
    return [this](int& mode, int n, std::span<const double> x, double& fobj, std::span<double> gobj, int,
                  std::span<int>, std::span<double>) {
      std::vector<double> xv(x.begin(), x.begin() + n);
      calls.push_back({mode, xv});
      if (mode == 0 || mode == 2) fobj = f(xv);
      if ((mode == 1 || mode == 2) && g) g(xv, gobj);
      if (on_call) on_call(mode, static_cast<int>(calls.size()));
    };
  }
};

// One constraint c(x), Jacobian row never supplied.
struct Con {
  std::function<double(const std::vector<double>&)> c;
  std::vector<Call> calls;
  Cnlfun fn() {
    return [this](int& mode, int, int n, int, std::span<const int> kneed, std::span<const double> x,
                  std::span<double> cv, std::span<double>, int, std::span<int>, std::span<double>) {
      std::vector<double> xv(x.begin(), x.begin() + n);
      calls.push_back({mode, xv});
      if (kneed[0] == 1) cv[0] = c(xv);
    };
  }
};

// Captures what a routine writes on the print file.
class Capture {
 public:
  Capture() {
    char tmpl[] = "/tmp/qv_npderiv_XXXXXX";
    const int fd = mkstemp(tmpl);
    close(fd);
    path_ = tmpl;
    runtime::OpenSpec spec;
    spec.file = path_;
    runtime::open_unit(kUnit, spec);
  }
  std::string text() {
    runtime::close_unit(kUnit);
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    unlink(path_.c_str());
    return ss.str();
  }

 private:
  std::string path_;
};

Npdsta state(int dif_class, int verify = -1, int iprint = 0) {
  Npdsta st;
  st.dif_class = dif_class;
  st.verify = verify;
  st.iprint = iprint;
  return st;
}

// NPDERV or FDINTV on an objective alone from x0, free of bounds, with the
// arrays they need; the results stay in the members.
struct ObjectiveOnly {
  explicit ObjectiveOnly(std::vector<double> x0)
      : n(static_cast<int>(x0.size())), x(std::move(x0)), bl(n, -kBig), bu(n, kBig), grad(n), gradu(n), hf(n),
        hc(n), dx(n), wk(n) {}
  void npderv(Npdsta& st, Obj& obj, int msglvl) {
    NPDERV(st, inform, msglvl, 1, lvlder, nfun, ngrad, 1, 1, n, 0, con.fn(), obj.fn(), kneed, kBig, 1e-12, 1e-3,
           1e-4, 1e-6, fdnorm, fobj, 1.0, bl, bu, none, none, none, none, none, dx, grad, gradu, hf, hc, x, wk,
           none, w, 1, iusr, rusr);
  }
  // FDINTV with f(x) = 0 and no constraint rows.
  void fdintv(Npdsta& st, Obj& obj, int msglvl) {
    FDINTV(st, inform, msglvl, lvlder, n, 0, 1, 1, kBig, 1e-12, fdnorm, 0.0, obj.fn(), con.fn(), kneed, bl, bu,
           none, none, none, none, none, grad, gradu, hf, hc, x, dx, w, 1, iusr, rusr);
  }
  int n;
  std::vector<double> x, bl, bu, grad, gradu, hf, hc, dx, wk;
  std::vector<double> none = std::vector<double>(1), w = std::vector<double>(1), rusr = std::vector<double>(1);
  std::vector<int> kneed = std::vector<int>(1), iusr = std::vector<int>(1);
  Con con;
  int inform = 9, lvlder = 0, nfun = 0, ngrad = 0;
  double fdnorm = 0, fobj = 0;
};

class Deriv : public testing::Test {
 protected:
  void SetUp() override { set_precision(NPPREC, 2); }
};

// ---------------------------------------------------------------------------
// NPFDGR: f = x1^3 + 2 x2^2 + x1 x2, c = x1^2 x2 at (1, 2), fixed interval
// 1e-3 (steps d1 = 0.002, d2 = 0.003).  Closed forms of the estimates:
//   forward  df/dx1 = 3x1^2 + x2 + 3x1 d + d^2,  df/dx2 = 4x2 + x1 + 2d,
//            dc/dx1 = 2x1x2 + x2 d,              dc/dx2 = x1^2;
//   one-sided central (4f1 - 3f - f2)/(2d) is exact on quadratics and
//   gives 3x1^2 - 2d^2 for x1^3.
struct FdgrCase {
  const char* name;
  bool central;
  double bu1;  // upper bound of x1 (1 puts it at the bound: steps go down)
  double g1, g2, j1, j2;  // expected estimates (closed forms above)
  double x1a, x1b;        // x1 at the first and second evaluation of column 1
};

const FdgrCase kFdgr[] = {
    {"forward", false, kBig, 5.0 + 3 * 0.002 + 0.002 * 0.002, 9.0 + 2 * 0.003, 4.0 + 2 * 0.002, 1.0, 1.002, 1.002},
    {"central", true, kBig, 5.0 - 2 * 0.002 * 0.002, 9.0, 4.0, 1.0, 1.002, 1.004},
    {"forward at upper bound", false, 1.0, 5.0 - 3 * 0.002 + 0.002 * 0.002, 9.0 + 2 * 0.003,
     4.0 - 2 * 0.002, 1.0, 0.998, 0.998},
    {"central at upper bound", true, 1.0, 5.0 - 2 * 0.002 * 0.002, 9.0, 4.0, 1.0, 0.998, 0.996},
};

TEST_F(Deriv, NpfdgrPolynomialEstimates) {
  for (const auto& tc : kFdgr) {
    SCOPED_TRACE(tc.name);
    Obj obj;
    obj.f = [](const std::vector<double>& x) { return x[0] * x[0] * x[0] + 2 * x[1] * x[1] + x[0] * x[1]; };
    Con con;
    con.c = [](const std::vector<double>& x) { return x[0] * x[0] * x[1]; };
    Npdsta st = state(kDifFixed);
    st.nmissj = 2;
    std::vector<double> x = {1.0, 2.0}, bl = {-10.0, -kBig, -kBig}, bu = {tc.bu1, kBig, kBig};
    std::vector<double> c = {2.0}, c1(1), c2(1), cjac(2, 0.0), cjacu(2, kDerivUnset);
    std::vector<double> grad(2, 0.0), gradu(2, kDerivUnset), hf(2), hc(2), w(1);
    std::vector<int> kneed(1), iusr(1);
    std::vector<double> rusr(1);
    int inform = 99;
    double fdnorm = 0.0;
    NPFDGR(st, tc.central, inform, 1, 1, 2, 1, kBig, 1e-3, 1e-3, fdnorm, 11.0, con.fn(), obj.fn(), kneed,
           bl, bu, c, c1, c2, cjac, cjacu, grad, gradu, hf, hc, x, w, 1, iusr, rusr);
    EXPECT_EQ(inform, 0);
    EXPECT_NEAR(grad[0], tc.g1, 1e-9);
    EXPECT_NEAR(grad[1], tc.g2, 1e-9);
    EXPECT_NEAR(cjac[0], tc.j1, 1e-9);
    EXPECT_NEAR(cjac[1], tc.j2, 1e-9);
    EXPECT_DOUBLE_EQ(fdnorm, 0.003);
    EXPECT_EQ(x, (std::vector<double>{1.0, 2.0}));  // restored
    // The markers stay in the caller's arrays.
    EXPECT_EQ(gradu[0], kDerivUnset);
    EXPECT_EQ(cjacu[1], kDerivUnset);
    ASSERT_GE(obj.calls.size(), 2u);
    EXPECT_DOUBLE_EQ(obj.calls[0].x[0], tc.x1a);
    EXPECT_DOUBLE_EQ(obj.calls[tc.central ? 1 : 0].x[0], tc.x1b);
    for (const auto& cl : obj.calls) EXPECT_EQ(cl.mode, 0);
    EXPECT_EQ(obj.calls.size(), tc.central ? 4u : 2u);
    EXPECT_EQ(con.calls.size(), tc.central ? 4u : 2u);
  }
}

// Only missing elements are differenced; set ones are left alone.
TEST_F(Deriv, NpfdgrSkipsSuppliedElements) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) { return x[0] * x[0] + x[1]; };
  Npdsta st = state(kDifUser);
  std::vector<double> x = {3.0, 1.0}, bl = {-kBig, -kBig}, bu = {kBig, kBig};
  std::vector<double> none(1), cjac(1), grad = {0.0, 42.0}, gradu = {kDerivUnset, 1.0};
  std::vector<double> hf = {1e-4, 1e-4}, hc = {1e-3, 1e-3}, w(1);
  std::vector<int> kneed(1), iusr(1);
  std::vector<double> rusr(1);
  Con con;
  int inform = 0;
  double fdnorm = 0.0;
  NPFDGR(st, false, inform, 1, 1, 2, 0, kBig, 0.0, 0.0, fdnorm, 10.0, con.fn(), obj.fn(), kneed, bl, bu, none,
         none, none, cjac, cjac, grad, gradu, hf, hc, x, w, 1, iusr, rusr);
  EXPECT_EQ(obj.calls.size(), 1u);
  EXPECT_NEAR(grad[0], 6.0 + 4e-4, 1e-9);  // 2x + delta, delta = 1e-4 (1 + 3)
  EXPECT_EQ(grad[1], 42.0);
  EXPECT_TRUE(con.calls.empty());
}

// A value a callback leaves in MODE reaches the next call of the group; a
// negative one stops the routine with that value, without further calls.
TEST_F(Deriv, NpfdgrModeFlowsAndStops) {
  struct ModeCase {
    int set_on_first;
    int expect_inform;
    std::size_t expect_calls;
    int second_mode;  // MODE the second call receives (when made)
  };
  const ModeCase cases[] = {{7, 0, 4, 7}, {-3, -3, 1, 0}};
  for (const auto& mc : cases) {
    SCOPED_TRACE(mc.set_on_first);
    Obj obj;
    obj.f = [](const std::vector<double>& x) { return x[0] + x[1]; };
    obj.on_call = [&](int& mode, int k) {
      if (k == 1) mode = mc.set_on_first;
    };
    Npdsta st = state(kDifFixed);
    std::vector<double> x = {0.0, 0.0}, bl = {-kBig, -kBig}, bu = {kBig, kBig};
    std::vector<double> none(1), grad(2), gradu(2, kDerivUnset), w(1);
    std::vector<int> kneed(1), iusr(1);
    std::vector<double> rusr(1);
    Con con;
    int inform = 0;
    double fdnorm = 0.0;
    NPFDGR(st, true, inform, 1, 1, 2, 0, kBig, 1e-3, 1e-3, fdnorm, 0.0, con.fn(), obj.fn(), kneed, bl, bu,
           none, none, none, none, none, grad, gradu, none, none, x, w, 1, iusr, rusr);
    EXPECT_EQ(inform, mc.expect_inform);
    EXPECT_EQ(obj.calls.size(), mc.expect_calls);
    if (obj.calls.size() > 1) { EXPECT_EQ(obj.calls[1].mode, mc.second_mode); }
  }
}

// ---------------------------------------------------------------------------
// FDINTV on f = 2 x1 (+ a variable f ignores): the search gives verdict 2
// for x1 and 1 for x2; the second pass confirms both quotients exactly at
// x + (1/N, 0.97/N) halfway back (the points 0.25 and 0.125 are exact
// binary fractions, so the quotient is exactly 2).
TEST_F(Deriv, FdintvConstantAndLinearConfirmed) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) { return 2.0 * x[0]; };
  Npdsta st = state(kDifComputed, -1, kUnit);
  st.nmissg = 2;
  ObjectiveOnly run({0.0, 5.0});
  run.gradu.assign(2, kDerivUnset);
  Capture cap;
  run.fdintv(st, obj, 1);
  const std::string out = cap.text();
  EXPECT_EQ(run.inform, 0);
  EXPECT_EQ(run.grad[0], 2.0);
  EXPECT_EQ(run.grad[1], 0.0);
  EXPECT_EQ(run.gradu[0], 2.0);  // confirmed: the marker is replaced by the quotient
  EXPECT_EQ(run.gradu[1], 0.0);
  EXPECT_EQ(st.nmissg, 0);
  EXPECT_EQ(run.lvlder, 3);
  EXPECT_EQ(run.x, (std::vector<double>{0.0, 5.0}));
  EXPECT_NE(out.find(" Computation of the finite-difference intervals\n"
                     " ----------------------------------------------\n"),
            std::string::npos);
  EXPECT_NE(out.find("    j      x(j)   Forward dx(j)   Central dx(j)      Error est.\n\n"), std::string::npos);
  EXPECT_NE(out.find("\n    2  constant  objective gradient elements assigned.\n"), std::string::npos);
  EXPECT_NE(out.find(" All missing Jacobian elements are constants.   Derivative level increased to    2\n"),
            std::string::npos);
  EXPECT_NE(out.find(" All missing objective gradients are constants.   Derivative level increased to    3\n"),
            std::string::npos);
}

// A function linear near x but not at the second point: the constant is not
// confirmed, the element is missing again and the level stays.
TEST_F(Deriv, FdintvUnconfirmedConstantIsMissingAgain) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) {
    const double t = x[0] > 0.1 ? x[0] - 0.1 : 0.0;
    return 2.0 * x[0] + t * t;
  };
  Npdsta st = state(kDifComputed);
  st.nmissg = 1;
  ObjectiveOnly run({0.0});
  run.gradu.assign(1, kDerivUnset);
  run.inform = 0;
  run.fdintv(st, obj, 0);
  EXPECT_EQ(run.gradu[0], kDerivUnset);
  EXPECT_EQ(st.nmissg, 1);
  EXPECT_EQ(run.lvlder, 2);  // the (empty) Jacobian part only
}

// User-supplied intervals: unusable ones are replaced by sqrt(eps) and
// eps^0.33 with one message each.
TEST_F(Deriv, FdintvReplacesUnusableUserIntervals) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) { return x[0]; };
  Npdsta st = state(kDifUser, -1, kUnit);
  ObjectiveOnly run({0.0, 0.0});
  run.gradu.assign(2, kDerivUnset);
  run.hf = {1e-6, -1.0};
  run.hc = {0.0, 1e-4};
  run.inform = 0;
  Capture cap;
  run.fdintv(st, obj, 0);
  EXPECT_EQ(cap.text(),
            " XXX     2-th difference interval  -1.00E+00 replaced by   1.05E-08\n"
            " XXX     1-th central-difference interval   0.00E+00 replaced by   5.43E-06\n");
  EXPECT_EQ(run.hf[1], NPPREC.epspt5);
  EXPECT_EQ(run.hc[0], NPPREC.epspt3);
  EXPECT_TRUE(obj.calls.empty());
}

// ---------------------------------------------------------------------------
// CHKOBG on f = sum (x_j - j)^2 at x = 0 (gradient -2j) with one element
// spoiled by an offset.
struct ObgCase {
  const char* name;
  int verify;
  double offset;  // added to g(2)
  int inform;
  const char* must_show;
};

const ObgCase kObg[] = {
    {"all ok", 1, 0.0, 0, "      3  Objective gradients out of the     3  set in cols     1  through     3  seem to be ok."},
    {"one bad", 1, 2.0, 0, " XXX  There seem to be     1  incorrect objective gradients out of the     3  set in cols     1  through     3"},
    // error 4.6/(|-4 + 4.6| + 1) = 2.875 >= 0.9
    {"large error", 1, 4.6, 1, "BAD?"},
    {"directional only", 0, 0.0, 0, " The objective gradients seem to be ok."},
};

TEST_F(Deriv, ChkobgVerdicts) {
  for (const auto& tc : kObg) {
    SCOPED_TRACE(tc.name);
    Obj obj;
    obj.f = [](const std::vector<double>& x) {
      double s = 0;
      for (std::size_t j = 0; j < x.size(); ++j) s += (x[j] - (j + 1.0)) * (x[j] - (j + 1.0));
      return s;
    };
    Npdsta st = state(kDifComputed, tc.verify, kUnit);
    std::vector<double> x = {0.0, 0.0, 0.0}, bl(3, -kBig), bu(3, kBig);
    std::vector<double> grad = {-2.0, -4.0 + tc.offset, -6.0}, gradu = grad, dx(3), y(3), w(1);
    std::vector<int> iusr(1);
    std::vector<double> rusr(1);
    int inform = 9;
    Capture cap;
    CHKOBG(st, inform, 1, 3, kBig, 1e-15, NPPREC.epspt3, NPPREC.epspt5, 14.0, 0.0, obj.fn(), bl, bu, grad,
           gradu, dx, x, y, w, 1, iusr, rusr);
    const std::string out = cap.text();
    EXPECT_EQ(inform, tc.inform);
    EXPECT_NE(out.find(tc.must_show), std::string::npos) << out;
    EXPECT_NE(out.find(" Verification of the objective gradients.\n ----------------------------------------\n"),
              std::string::npos);
    EXPECT_EQ(gradu, grad);  // copied back
    EXPECT_EQ(x, (std::vector<double>{0.0, 0.0, 0.0}));
  }
}

// Directional check alone: an error of 0.9 or more gives inform 1.
TEST_F(Deriv, ChkobgDirectionalLargeError) {
  Obj obj;
  obj.f = [](const std::vector<double>&) { return 0.0; };
  Npdsta st = state(kDifComputed, 0);
  std::vector<double> x = {0.0}, bl(1, -kBig), bu(1, kBig), grad = {100.0}, gradu = grad, dx(1), y(1), w(1);
  std::vector<int> iusr(1);
  std::vector<double> rusr(1);
  int inform = 0;
  CHKOBG(st, inform, 0, 1, kBig, 1e-15, NPPREC.epspt3, 1e-6, 0.0, 0.0, obj.fn(), bl, bu, grad, gradu, dx, x, y,
         w, 1, iusr, rusr);
  EXPECT_EQ(inform, 1);  // |0 - 100| / 101
}

// dirfac: the single-precision 0.9 up to N = 100, 0.99 up to 250, 0.999
// beyond (values of the widened floats, as stated with the check).
TEST_F(Deriv, ChkobgDirectionFactor) {
  const struct {
    int n;
    double dirfac;
  } cases[] = {{100, 0.8999999761581421}, {101, 0.9900000095367432}, {250, 0.9900000095367432},
               {251, 0.9990000128746033}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    Obj obj;
    obj.f = [](const std::vector<double>&) { return 0.0; };
    Npdsta st = state(kDifComputed, 0);
    std::vector<double> x(c.n, 0.0), bl(c.n, -kBig), bu(c.n, kBig), grad(c.n, 0.0), gradu = grad, dx(c.n),
        y(c.n), w(1);
    std::vector<int> iusr(1);
    std::vector<double> rusr(1);
    int inform = 0;
    CHKOBG(st, inform, 0, c.n, kBig, 1e-15, 1e-5, 1e-6, 0.0, 0.0, obj.fn(), bl, bu, grad, gradu, dx, x, y, w,
           1, iusr, rusr);
    EXPECT_DOUBLE_EQ(dx[0], 1.0 / c.n);
    EXPECT_DOUBLE_EQ(dx[1] / dx[0], -c.dirfac);
    EXPECT_DOUBLE_EQ(dx[2] / dx[1], -c.dirfac);
  }
}

// ---------------------------------------------------------------------------
// CHKCNJ on c = (x1^2 + x2, x1 x2) at (1, 2): Jacobian (2, 1; 2, 1).
struct CnjCase {
  const char* name;
  double spoil;  // added to element (2, 1)
  int inform;
  const char* must_show;
};

const CnjCase kCnj[] = {
    {"all ok", 0.0, 0, "      4  constraint Jacobian elements out of the     4  set in cols     1  through     2  seem to be ok."},
    {"one bad", 0.5, 0, " XXX  There seem to be     1  incorrect Jacobian elements out of the     4  set in cols     1  through     2"},
    // 5/(|2 + 5| + 1) = 0.625 in the element check, below 0.9
    {"bad not large", 5.0, 0, "BAD?"},
    // 30/(32 + 1) = 0.91 >= 0.9
    {"large error", 30.0, 1, "BAD?"},
};

TEST_F(Deriv, ChkcnjVerdicts) {
  for (const auto& tc : kCnj) {
    SCOPED_TRACE(tc.name);
    Cnlfun fun = [](int&, int, int, int, std::span<const int> kneed, std::span<const double> x,
                    std::span<double> c, std::span<double>, int, std::span<int>, std::span<double>) {
      if (kneed[0]) c[0] = x[0] * x[0] + x[1];
      if (kneed[1]) c[1] = x[0] * x[1];
    };
    Npdsta st = state(kDifComputed, 3, kUnit);
    std::vector<double> x = {1.0, 2.0}, bl(4, -kBig), bu(4, kBig), c = {3.0, 2.0}, c1(2);
    std::vector<double> cjac = {2.0, 2.0 + tc.spoil, 1.0, 1.0}, cjacu = cjac, cjdx(2), dx(2), err(2), y(2), w(1);
    std::vector<int> kneed(2), iusr(1);
    std::vector<double> rusr(1);
    int inform = 9;
    Capture cap;
    CHKCNJ(st, inform, 2, 1, 4, 2, 2, 2, 2, kBig, 1e-15, NPPREC.epspt3, NPPREC.epspt5, 2.0, fun, kneed, bl, bu,
           c, c1, cjac, cjacu, cjdx, dx, err, x, y, w, 1, iusr, rusr);
    const std::string out = cap.text();
    EXPECT_EQ(inform, tc.inform);
    EXPECT_NE(out.find(tc.must_show), std::string::npos) << out;
    EXPECT_NE(out.find(" Column    x(j)     dx(j)    Row    Jacobian Value      Difference Approxn  Itns\n"),
              std::string::npos);
    EXPECT_EQ(cjacu, cjac);
  }
}

// A negative MODE during a check or the set-up stops with that value.
TEST_F(Deriv, NegativeModeStops) {
  for (int which = 0; which < 3; ++which) {
    SCOPED_TRACE(which);
    Obj obj;
    obj.f = [](const std::vector<double>& x) { return x[0] * x[0]; };
    obj.on_call = [&](int& mode, int k) {
      if (k == (which == 0 ? 1 : 2)) mode = -4;
    };
    Npdsta st = state(kDifComputed, which == 2 ? 1 : -1);
    ObjectiveOnly run({1.0});
    run.inform = 0;
    run.lvlder = which == 2 ? 1 : 0;
    if (which == 2) obj.g = [](const std::vector<double>& x, std::span<double> g) { g[0] = 2 * x[0]; };
    run.npderv(st, obj, 0);
    EXPECT_EQ(run.inform, -4);
    EXPECT_EQ(obj.calls.size(), which == 0 ? 1u : 2u);
  }
}

// Level 0 with callbacks that set nothing: the count message, no check,
// intervals for every variable.
TEST_F(Deriv, NpdervNothingSupplied) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) { return x[0] * x[0] + x[1] * x[1] * x[1]; };
  Npdsta st = state(kDifComputed, 3, kUnit);
  ObjectiveOnly run({1.0, 1.0});
  Capture cap;
  run.npderv(st, obj, 1);
  const std::string out = cap.text();
  EXPECT_EQ(run.inform, 0);
  EXPECT_EQ(run.nfun, 1);
  EXPECT_EQ(run.ngrad, 1);
  EXPECT_EQ(obj.calls[0].mode, 2);
  EXPECT_EQ(st.nmissg, 2);
  EXPECT_EQ(run.lvlder, 0);
  EXPECT_NE(out.find("\n\n The user sets      0   out of     2   objective gradient elements.\n"
                     " Each iteration,      2   gradient elements will be estimated numerically.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Verification"), std::string::npos);
  EXPECT_NEAR(run.grad[0], 2.0, 1e-6);
  EXPECT_NEAR(run.grad[1], 3.0, 1e-6);
  EXPECT_GT(run.hf[0], 0.0);
  EXPECT_GT(run.hc[1], 0.0);
}

// Every gradient element set on the first call: the level is raised.
TEST_F(Deriv, NpdervAllGradientSet) {
  Obj obj;
  obj.f = [](const std::vector<double>& x) { return x[0] * x[0]; };
  obj.g = [](const std::vector<double>& x, std::span<double> g) { g[0] = 2 * x[0]; };
  Npdsta st = state(kDifComputed, -1, kUnit);
  ObjectiveOnly run({1.0});
  Capture cap;
  run.npderv(st, obj, 1);
  EXPECT_EQ(cap.text(), "\n\n All objective gradient elements have been set.   Derivative level increased to    1\n");
  EXPECT_EQ(run.lvlder, 1);
  EXPECT_EQ(obj.calls.size(), 1u);
}

// A callback that stops the run (MODE -1) at a displaced point of a
// difference or a check: the routine returns -1 with x back at the point it
// was given, so that the run's result is a point where the functions were
// computed, not the displaced one.  f = (x1 - 1)^2 + (x2 - 2)^2 and
// c = x1 x2 at (0.7, 0.3); the callback refuses its k-th call, or its first
// call at a point where x1 alone (or x2 alone) has moved.
TEST_F(Deriv, StopAtADisplacedPointLeavesXAtThePointGiven) {
  const std::vector<double> x0 = {0.7, 0.3};
  using Stop = std::function<bool(const std::vector<double>&, int)>;
  const Stop only1 = [x0](const std::vector<double>& x, int) { return x[0] != x0[0] && x[1] == x0[1]; };
  const Stop only2 = [x0](const std::vector<double>& x, int) { return x[0] == x0[0] && x[1] != x0[1]; };
  const Stop second = [](const std::vector<double>&, int k) { return k == 2; };
  struct Case {
    const char* name;
    const char* routine;
    Stop stop;
  };
  const Case cases[] = {
      {"FDINTV, the search's first point along x1", "FDINTV", only1},
      {"FDINTV, the search's second point along x1", "FDINTV", second},
      {"FDINTV, the search along x2", "FDINTV", only2},
      {"NPFDGR forward, along x2", "NPFDGR forward", only2},
      {"NPFDGR central, the second point along x1", "NPFDGR central", second},
      {"CHKOBG, the element search along x1", "CHKOBG", only1},
      {"CHKCNJ, the element search along x2", "CHKCNJ", only2},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    const std::string r = tc.routine;
    int refused = 0, ncalls = 0;
    auto refuse = [&](int& mode, const std::vector<double>& x) {
      if (refused == 0 && tc.stop(x, ++ncalls)) {
        mode = -1;
        ++refused;
      }
    };
    Obj obj;
    obj.f = [](const std::vector<double>& x) { return (x[0] - 1) * (x[0] - 1) + (x[1] - 2) * (x[1] - 2); };
    obj.on_call = [&](int& mode, int) { refuse(mode, obj.calls.back().x); };
    std::vector<double> x = x0, bl(3, -kBig), bu(3, kBig), dx(2), y(2), w(1), rusr(1);
    std::vector<double> grad(2), gradu(2, kDerivUnset), hf = {1e-3, 1e-3}, hc = {1e-3, 1e-3};
    std::vector<double> c = {0.21}, c1(1), c2(1), cjac(2), cjacu(2), cjdx(1), err(1);
    std::vector<int> kneed(1), iusr(1);
    int inform = 0;
    double fdnorm = 0.0;
    if (r == "FDINTV") {
      Npdsta st = state(kDifComputed);
      st.nmissg = 2;
      int lvlder = 0;
      Con con;
      FDINTV(st, inform, 0, lvlder, 2, 0, 1, 1, kBig, 1e-12, fdnorm, obj.f(x0), obj.fn(), con.fn(), kneed, bl,
             bu, c, c1, c2, cjac, cjacu, grad, gradu, hf, hc, x, dx, w, 1, iusr, rusr);
    } else if (r == "NPFDGR forward" || r == "NPFDGR central") {
      Npdsta st = state(kDifFixed);
      Con con;
      NPFDGR(st, r == "NPFDGR central", inform, 1, 1, 2, 0, kBig, 1e-3, 1e-3, fdnorm, obj.f(x0), con.fn(),
             obj.fn(), kneed, bl, bu, c, c1, c2, cjac, cjacu, grad, gradu, hf, hc, x, w, 1, iusr, rusr);
    } else if (r == "CHKOBG") {
      Npdsta st = state(kDifComputed, 1);
      grad = {-0.6, -3.4};
      gradu = grad;
      CHKOBG(st, inform, 0, 2, kBig, 1e-15, NPPREC.epspt3, NPPREC.epspt5, obj.f(x0), 0.0, obj.fn(), bl, bu,
             grad, gradu, dx, x, y, w, 1, iusr, rusr);
    } else {
      // The directional check's point moves both variables, so the first
      // point refused is the element search's along x2.
      Cnlfun con = [&](int& mode, int, int n, int, std::span<const int> need, std::span<const double> xs,
                       std::span<double> cv, std::span<double>, int, std::span<int>, std::span<double>) {
        const std::vector<double> xv(xs.begin(), xs.begin() + n);
        if (need[0] == 1) cv[0] = xv[0] * xv[1];
        refuse(mode, xv);
      };
      Npdsta st = state(kDifComputed, 2);
      cjac = {0.3, 0.7};
      cjacu = cjac;
      CHKCNJ(st, inform, 2, 0, 2, 2, 1, 1, 1, kBig, 1e-15, NPPREC.epspt3, NPPREC.epspt5, 1.0, con, kneed, bl, bu,
             c, c1, cjac, cjacu, cjdx, dx, err, x, y, w, 1, iusr, rusr);
    }
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(inform, -1);
    EXPECT_EQ(x, x0);
  }
}

}  // namespace
}  // namespace qv::optim
