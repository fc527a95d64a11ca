// Line search of the major iterations on one-variable problems whose merit
// function along the step is known in closed form.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "optkern/machine.hpp"
#include "optim/nlsqp.hpp"
#include "optim/npmrt.hpp"
#include "optim/npsrch.hpp"
#include "runtime/units.hpp"

namespace qv::optim {

using namespace optkern;

namespace {

// One variable x = x1 + alfa p and at most one nonlinear constraint c(x).
struct Problem {
  std::function<double(double)> f, df;  // objective and its derivative
  std::function<double(double)> c, dc;  // constraint (used when nnlcon = 1)
  int nnlcon = 0;
  bool needfd = false;
  double x1 = 0.0, p = 1.0;
  double lambda1 = 0.0, dlambda = 0.0, s1 = 0.0, ds = 0.0, rho = 0.0, scale = 1.0, qpmul = 0.0;
  double alfa0 = 1.0, alfmax = 10.0, alfbnd = 1e30, alfatiny = 0.0;
  double lstol = 0.9, fprec = 1e-15, qpcurv = 1.0;
  double stepnorm = 0.0;  // 0: |p|
  double xnorm = -1.0;    // negative: |x1|
  double grdalf_override = NAN;  // the merit slope handed in (NaN: the true one)
  // Callback behaviour: MODE -1 for x beyond xdomain; stop_mode at the
  // objective call number stop_at (1-based; 0 never), or at the constraint
  // call number cstop_at.
  double xdomain = INFINITY;
  int stop_mode = 0, stop_at = 0, cstop_at = 0;
  int trace_unit = 0;
};

struct Result {
  int inform = 0;
  double alfa = 0, alfbnd = 0, alfmax = 0, x = 0, objf = 0, meritalf = 0, gdir = 0, dlag1 = 0, grad = 0;
  double c = 0, s = 0, cs = 0, lambda = 0, cjdx = 0, cjac = 0;
  int nfun = 0, ngrad = 0;
  int objcalls = 0, concalls = 0;
  std::vector<double> trials;  // x at each objective call
  std::vector<double> ctrials;  // x at each constraint call
  std::vector<int> modes_in;   // MODE received by the objective
  std::vector<int> kneed_in;   // KNEED(1) received by the constraint
};

// The merit function along the step, written out independently of npsrch:
// f(x) - lambda(c - s) + scale/2 rho (c - s)^2, lambda moving only up to 1.
double merit_at(const Problem& pr, double alfa) {
  const double x = pr.x1 + alfa * pr.p;
  if (pr.nnlcon == 0) return pr.f(x);
  const double lam = pr.lambda1 + std::min(alfa, 1.0) * pr.dlambda;
  const double cs = pr.c(x) - (pr.s1 + alfa * pr.ds);
  return pr.f(x) - lam * cs + 0.5 * pr.scale * pr.rho * cs * cs;
}
double merit_slope0(const Problem& pr) {
  if (pr.nnlcon == 0) return pr.df(pr.x1) * pr.p;
  const double cs0 = pr.c(pr.x1) - pr.s1;
  const double jp = pr.dc(pr.x1) * pr.p;
  return pr.df(pr.x1) * pr.p - pr.lambda1 * (jp - pr.ds) - pr.dlambda * cs0 + pr.scale * pr.rho * (jp - pr.ds) * cs0;
}

Result run(const Problem& pr, int nfun0 = 5, int ngrad0 = 3) {
  set_precision(NPPREC, 1);
  NPMERT.reset();
  NPMERT.scale = pr.scale;
  Result r;
  const int n = 1, m = pr.nnlcon;
  const int mm = std::max(1, m);
  std::vector<int> kneed(mm, 0), iusr(1);
  std::vector<double> rusr(1);
  std::vector<double> c(mm), ctry(mm), cjac(mm), ujac(mm), cjdx(mm), cjdxtry(mm), lambda1(mm), lambda(mm),
      dlambda(mm), s1(mm), s(mm), ds(mm), cs1(mm), cs(mm), qpmul(mm), rho(mm), work(mm);
  std::vector<double> p{pr.p}, grad(1), ugrad(1), x1{pr.x1}, x{pr.x1};
  double objf = pr.f(pr.x1);
  double gdir = pr.df(pr.x1) * pr.p;
  grad[0] = pr.df(pr.x1);
  double dlag0 = gdir;
  if (m > 0) {
    c[0] = pr.c(pr.x1);
    cjac[0] = pr.dc(pr.x1);
    cjdx[0] = cjac[0] * pr.p;
    lambda1[0] = lambda[0] = pr.lambda1;
    dlambda[0] = pr.dlambda;
    s1[0] = s[0] = pr.s1;
    ds[0] = pr.ds;
    cs1[0] = cs[0] = c[0] - pr.s1;
    qpmul[0] = pr.qpmul;
    rho[0] = pr.rho;
    dlag0 = gdir - cjdx[0] * pr.qpmul;
  }
  double meritalf = merit_at(pr, 0.0);
  const double grdalf = std::isnan(pr.grdalf_override) ? merit_slope0(pr) : pr.grdalf_override;
  double dlag1 = 0.0;

  Cnlfun cnlfun = [&](int& mode, int, int, int, std::span<const int> kn, std::span<const double> xx,
                      std::span<double> cval, std::span<double> cj, int, std::span<int>, std::span<double>) {
    ++r.concalls;
    r.ctrials.push_back(xx[0]);
    r.kneed_in.push_back(kn[0]);
    if (pr.cstop_at == r.concalls) {
      mode = pr.stop_mode;
      return;
    }
    if (xx[0] > pr.xdomain) {
      mode = -1;
      return;
    }
    cval[0] = pr.c(xx[0]);
    if (mode != 0) cj[0] = pr.dc(xx[0]);
  };
  Objfun objfun = [&](int& mode, int, std::span<const double> xx, double& fobj, std::span<double> g, int,
                      std::span<int>, std::span<double>) {
    ++r.objcalls;
    r.trials.push_back(xx[0]);
    r.modes_in.push_back(mode);
    if (pr.stop_at == r.objcalls) {
      mode = pr.stop_mode;
      return;
    }
    if (xx[0] > pr.xdomain) {
      mode = -1;
      return;
    }
    fobj = pr.f(xx[0]);
    if (mode != 0) g[0] = pr.df(xx[0]);
  };

  r.alfa = pr.alfa0;
  r.alfbnd = pr.alfbnd;
  r.alfmax = pr.alfmax;
  r.nfun = nfun0;
  r.ngrad = ngrad0;
  const double stepnorm = pr.stepnorm > 0 ? pr.stepnorm : std::abs(pr.p);
  npsrch(pr.needfd, n, m, mm, mm, r.nfun, r.ngrad, kneed, cnlfun, objfun, r.alfa, r.alfbnd, r.alfmax, pr.alfatiny,
         stepnorm, pr.fprec, pr.lstol, gdir, grdalf, dlag0, dlag1, objf, meritalf, pr.qpcurv, pr.xnorm >= 0 ? pr.xnorm : std::abs(pr.x1), c,
         ctry, cjac, ujac, cjdx, cjdxtry, lambda1, lambda, dlambda, s1, s, ds, cs1, cs, p, grad, ugrad, qpmul, rho,
         x1, x, work, 0, iusr, rusr, r.inform, pr.trace_unit);
  r.nfun -= nfun0;
  r.ngrad -= ngrad0;
  r.x = x[0];
  r.objf = objf;
  r.meritalf = meritalf;
  r.gdir = gdir;
  r.dlag1 = dlag1;
  r.grad = grad[0];
  r.c = c[0];
  r.s = s[0];
  r.cs = cs[0];
  r.lambda = lambda[0];
  r.cjdx = cjdx[0];
  r.cjac = cjac[0];
  return r;
}

Problem quadratic(bool needfd) {
  // (x - 2)^2: minimiser 2 (closed form).
  Problem pr;
  pr.f = [](double x) { return (x - 2) * (x - 2); };
  pr.df = [](double x) { return 2 * (x - 2); };
  pr.needfd = needfd;
  return pr;
}

Problem cubic(bool needfd) {
  // x^3 - 3x^2 - 9x: phi' = 3(x - 3)(x + 1), local minimiser 3 (closed form).
  Problem pr;
  pr.f = [](double x) { return x * x * x - 3 * x * x - 9 * x; };
  pr.df = [](double x) { return 3 * x * x - 6 * x - 9; };
  pr.needfd = needfd;
  return pr;
}

// f = (x - a)^2 with one constraint c(x) = x, the slack moving with ds and
// the multiplier with dlambda.
Problem constrained(bool needfd, double a, double lambda1, double dlambda, double ds, double rho, double scale) {
  Problem pr;
  pr.f = [a](double x) { return (x - a) * (x - a); };
  pr.df = [a](double x) { return 2 * (x - a); };
  pr.c = [](double x) { return x; };
  pr.dc = [](double) { return 1.0; };
  pr.nnlcon = 1;
  pr.needfd = needfd;
  pr.lambda1 = lambda1;
  pr.dlambda = dlambda;
  pr.ds = ds;
  pr.rho = rho;
  pr.scale = scale;
  return pr;
}

// A direction that claims descent (slope -1) but every step is worse.
Problem wall(bool needfd) {
  Problem pr;
  pr.f = [](double x) { return x > 0 ? 1.0 : 0.0; };
  pr.df = [](double x) { return x > 0 ? 1.0 : -1.0; };
  pr.needfd = needfd;
  return pr;
}

TEST(Npsrch, SuccessfulSearches) {
  struct Case {
    const char* name;
    Problem pr;
    double lstol;
    int code;
    double minimiser;  // of the merit function along the step, closed form
    double within;
  };
  // Merit functions of the constrained cases (c = x, s = ds alfa):
  //  a=3, lambda 1, dlambda 0, ds 0.5, rho 2, scale 1:
  //    1.25 alfa^2 - 6.5 alfa + 9, minimiser 2.6;
  //  a=0.5, lambda 1, dlambda 0.5, ds 0.5, rho 2, scale 1 (alfa <= 1):
  //    alfa^2 - 1.5 alfa + 0.25, minimiser 0.75;
  //  the same with scale 2: 1.25 alfa^2 - 1.5 alfa + 0.25, minimiser 0.6.
  const Case cases[] = {
      {"quadratic, slopes", quadratic(false), 0.01, 1, 2.0, 0.03},
      {"quadratic, values", quadratic(true), 0.01, 1, 2.0, 0.05},
      {"cubic, slopes", cubic(false), 0.01, 1, 3.0, 0.03},
      {"cubic, values", cubic(true), 0.01, 1, 3.0, 0.05},
      {"quadratic, slopes, unreachable target", quadratic(false), 1e-4, 3, 2.0, 1e-3},
      {"cubic, values, unreachable target", cubic(true), 1e-4, 3, 3.0, 1e-3},
      {"constrained, slopes", constrained(false, 3, 1, 0, 0.5, 2, 1), 0.01, 1, 2.6, 0.03},
      {"constrained, values", constrained(true, 3, 1, 0, 0.5, 2, 1), 0.01, 1, 2.6, 0.05},
      {"constrained, moving multiplier, slopes", constrained(false, 0.5, 1, 0.5, 0.5, 2, 1), 0.01, 1, 0.75, 0.02},
      {"constrained, moving multiplier, values", constrained(true, 0.5, 1, 0.5, 0.5, 2, 1), 0.01, 1, 0.75, 0.03},
      {"constrained, scale 2, slopes", constrained(false, 0.5, 1, 0.5, 0.5, 2, 2), 0.01, 1, 0.6, 0.02},
      {"constrained, scale 2, values", constrained(true, 0.5, 1, 0.5, 0.5, 2, 2), 0.01, 1, 0.6, 0.03},
  };
  for (const Case& cs : cases) {
    Problem pr = cs.pr;
    pr.lstol = cs.lstol;
    pr.alfa0 = pr.nnlcon > 0 && pr.dlambda != 0 ? 0.3 : 1.0;
    const Result r = run(pr);
    EXPECT_EQ(r.inform, cs.code) << cs.name;
    EXPECT_NEAR(r.alfa, cs.minimiser, cs.within) << cs.name;
    // The accepted point and its values.
    EXPECT_DOUBLE_EQ(r.x, pr.x1 + r.alfa * pr.p) << cs.name;
    EXPECT_DOUBLE_EQ(r.objf, pr.f(r.x)) << cs.name;
    EXPECT_NEAR(r.meritalf, merit_at(pr, r.alfa), 1e-14) << cs.name;
    EXPECT_LT(r.meritalf, merit_at(pr, 0.0)) << cs.name;
    // Every evaluation counted, gradients only when supplied.
    EXPECT_EQ(r.nfun, r.objcalls) << cs.name;
    EXPECT_EQ(r.ngrad, pr.needfd ? 0 : r.objcalls) << cs.name;
    EXPECT_LE(r.nfun, pr.needfd ? 15 : 10) << cs.name;
    for (int mode : r.modes_in) EXPECT_EQ(mode, pr.needfd ? 0 : 2) << cs.name;
    if (!pr.needfd) {
      EXPECT_DOUBLE_EQ(r.grad, pr.df(r.x)) << cs.name;
      EXPECT_DOUBLE_EQ(r.gdir, pr.df(r.x) * pr.p) << cs.name;
    }
    if (pr.nnlcon > 0) {
      EXPECT_EQ(r.concalls, r.objcalls) << cs.name;
      for (int k : r.kneed_in) EXPECT_EQ(k, 1) << cs.name;
      EXPECT_DOUBLE_EQ(r.c, pr.c(r.x)) << cs.name;
      EXPECT_DOUBLE_EQ(r.s, pr.s1 + r.alfa * pr.ds) << cs.name;
      EXPECT_DOUBLE_EQ(r.cs, r.c - r.s) << cs.name;
      if (r.alfa <= 1) {
        EXPECT_DOUBLE_EQ(r.lambda, pr.lambda1 + r.alfa * pr.dlambda) << cs.name;
      }
      if (!pr.needfd) {
        EXPECT_DOUBLE_EQ(r.cjac, pr.dc(r.x)) << cs.name;
        EXPECT_DOUBLE_EQ(r.cjdx, pr.dc(r.x) * pr.p) << cs.name;
        EXPECT_DOUBLE_EQ(r.dlag1, r.gdir - r.cjdx * pr.qpmul) << cs.name;
      }
    }
  }
}

// A slope at the start that is not negative: result 8 before any evaluation.
TEST(Npsrch, NonDescentDirectionEndsWithoutEvaluation) {
  for (bool needfd : {false, true}) {
    for (double grdalf : {0.0, 2.0}) {
      Problem pr = quadratic(needfd);
      pr.grdalf_override = grdalf;
      const Result r = run(pr);
      EXPECT_EQ(r.inform, 8);
      EXPECT_EQ(r.objcalls, 0);
      EXPECT_EQ(r.nfun, 0);
      EXPECT_EQ(r.ngrad, 0);
      EXPECT_EQ(r.alfa, 0.0);
      EXPECT_EQ(r.x, pr.x1);
      EXPECT_EQ(r.objf, pr.f(pr.x1));
    }
  }
}

// An initial step at or above alfmax - tolmax becomes alfmax, and the
// minimum counts as bracketed: nothing beyond alfmax is tried.
TEST(Npsrch, InitialStepAtAlfmaxBecomesAlfmax) {
  for (bool needfd : {false, true}) {
    for (double alfa0 : {1.5, 1.5 - 1e-14, 40.0}) {
      Problem pr = quadratic(needfd);
      pr.alfmax = 1.5;
      pr.alfa0 = alfa0;
      pr.lstol = 0.9;
      const Result r = run(pr);
      ASSERT_FALSE(r.trials.empty());
      EXPECT_EQ(r.trials.front(), 1.5) << alfa0;
      for (double t : r.trials) EXPECT_LE(t, 1.5);
      EXPECT_EQ(r.inform, 2) << alfa0;  // the slope test holds at alfmax
      EXPECT_EQ(r.alfa, 1.5);
    }
  }
}

// At most 10 evaluations with slopes, 15 with values only.
TEST(Npsrch, EvaluationLimits) {
  for (bool needfd : {false, true}) {
    Problem pr = wall(needfd);
    // A long step from a point with a large component elsewhere: the
    // smallest step (1/max |p_j|/(eps^0.8 (1 + |x_j|))) lies far below the
    // tolerance on alfa, so only the count ends the search.
    pr.p = 1e3;
    pr.xnorm = 1e9;
    const Result r = run(pr);
    const int limit = needfd ? 15 : 10;
    EXPECT_EQ(r.inform, 7);
    EXPECT_EQ(r.objcalls, limit);
    EXPECT_EQ(r.nfun, limit);
    EXPECT_EQ(r.ngrad, needfd ? 0 : limit);
    EXPECT_EQ(r.alfa, 0.0);
    EXPECT_EQ(r.x, pr.x1);
  }
}

// MODE -1 at every trial: each restart tries a step ten times shorter and
// its count starts afresh, until alfmax falls below the smallest step.
TEST(Npsrch, ModeMinusOneShrinksTheStepTenfold) {
  for (bool needfd : {false, true}) {
    for (int nnlcon : {0, 1}) {
      Problem pr = nnlcon ? constrained(needfd, 3, 1, 0, 0.5, 2, 1) : quadratic(needfd);
      pr.xdomain = -1.0;  // every trial is outside the domain
      pr.alfa0 = 1.0;
      const Result r = run(pr);
      // The constraint is evaluated first; the objective is not called once
      // the constraint refused the point.
      const std::vector<double>& trials = nnlcon ? r.ctrials : r.trials;
      if (nnlcon) {
        EXPECT_EQ(r.objcalls, 0);
      }
      ASSERT_GE(trials.size(), 3u);
      EXPECT_EQ(trials[0], 1.0);
      for (size_t k = 1; k < trials.size(); ++k) EXPECT_DOUBLE_EQ(trials[k], trials[k - 1] / 10.0) << k;
      // Down to the smallest step eps^0.8 (x1 = 0, |p| = 1), then result 8.
      EXPECT_LE(trials.back(), 10 * std::pow(wmach(3), 0.8));
      EXPECT_EQ(r.inform, 8);
      EXPECT_EQ(r.nfun, 0);
      EXPECT_EQ(r.ngrad, 0);
      EXPECT_EQ(r.alfa, 0.0);
      EXPECT_DOUBLE_EQ(r.alfmax, trials.back() / 10.0);
    }
  }
}

TEST(Npsrch, ModeMinusOneThenSuccessCountsOnlyTheLastSearch) {
  // (x - 2)^2 defined only up to x = 1: the trial at 5 is refused, the search
  // restarts with alfmax 0.5 and accepts it (slope -3 passes 0.9 x 4).
  for (bool needfd : {false, true}) {
    Problem pr = quadratic(needfd);
    pr.alfa0 = 5.0;
    pr.xdomain = 1.0;
    const Result r = run(pr);
    ASSERT_EQ(r.objcalls, 2);
    EXPECT_EQ(r.trials[0], 5.0);
    EXPECT_EQ(r.trials[1], 0.5);
    EXPECT_EQ(r.inform, 2);
    EXPECT_EQ(r.alfa, 0.5);
    EXPECT_EQ(r.alfmax, 0.5);
    EXPECT_EQ(r.nfun, 1);
    EXPECT_EQ(r.ngrad, needfd ? 0 : 1);
    EXPECT_EQ(r.objf, 2.25);
  }
}

// Any other negative MODE ends the search at once with that value.
TEST(Npsrch, OtherNegativeModeEndsTheSearch) {
  struct Case {
    int stop_mode, stop_at, cstop_at, nnlcon;
    int objcalls, concalls;
  };
  const Case cases[] = {
      {-3, 1, 0, 0, 1, 0},  // objective, first trial
      {-2, 2, 0, 0, 2, 0},  // objective, second trial
      {-7, 0, 1, 1, 0, 1},  // constraint, first trial: objective not called
      {-5, 2, 0, 1, 2, 2},  // objective after the constraint
  };
  for (bool needfd : {false, true}) {
    for (const Case& c : cases) {
      Problem pr = c.nnlcon ? constrained(needfd, 3, 1, 0, 0.5, 2, 1) : quadratic(needfd);
      pr.lstol = 1e-4;
      pr.stop_mode = c.stop_mode;
      pr.stop_at = c.stop_at;
      pr.cstop_at = c.cstop_at;
      const Result r = run(pr);
      EXPECT_EQ(r.inform, c.stop_mode);
      EXPECT_EQ(r.objcalls, c.objcalls);
      EXPECT_EQ(r.concalls, c.concalls);
      EXPECT_EQ(r.nfun, 0);
      EXPECT_EQ(r.ngrad, 0);
    }
  }
}

// A search that improved, was abandoned after MODE -1 and then found nothing
// better returns the start point with the start point's values, not those of
// the abandoned trial.
TEST(Npsrch, FailedRestartReturnsTheStartValues) {
  for (bool needfd : {false, true}) {
    Problem pr;
    // Worse than the start below 0.7, falling beyond, undefined past 4.
    pr.f = [](double x) { return x <= 0 ? 0.0 : (x < 0.7 ? 1.0 : -x); };
    pr.df = [](double x) { return x <= 0 ? -1.0 : (x < 0.7 ? 1.0 : -1.0); };
    pr.needfd = needfd;
    pr.xdomain = 4.0;
    pr.lstol = 1e-4;
    const Result r = run(pr);
    ASSERT_GE(r.trials.size(), 3u);
    EXPECT_EQ(r.trials[0], 1.0);  // improves
    EXPECT_GT(r.trials[1], 4.0);  // refused
    EXPECT_GE(r.inform, 4);
    EXPECT_EQ(r.alfa, 0.0);
    EXPECT_EQ(r.x, 0.0);
    EXPECT_EQ(r.objf, 0.0);
    EXPECT_EQ(r.meritalf, 0.0);
    if (!needfd) {
      EXPECT_EQ(r.grad, -1.0);
      EXPECT_EQ(r.gdir, -1.0);
    }
    // The start point is evaluated once more and counted (with the
    // evaluations of the last search, not those before the refused trial).
    EXPECT_EQ(r.trials.back(), 0.0);
    EXPECT_EQ(r.nfun, static_cast<int>(r.trials.size()) - 2);
    EXPECT_EQ(r.ngrad, needfd ? 0 : r.nfun);
  }
}

// The curvature guard of the constrained search with slopes: a trial in
// [alfbnd, alfmax) either doubles alfbnd (the constraint term is flat) or
// becomes alfmax.
TEST(Npsrch, CurvatureGuard) {
  // c = x, s = alfa: c - s stays 0, the merit is (x - 0.5)^2 with slope -1.
  {
    Problem pr = constrained(false, 0.5, 0, 0, 1.0, 1, 1);
    pr.alfa0 = 0.4;
    pr.alfbnd = 0.1;
    pr.qpcurv = 100.0;  // 0.1 qpcurv above the change of the Lagrangian slope
    const Result r = run(pr);
    EXPECT_EQ(r.inform, 1);
    EXPECT_EQ(r.alfa, 0.4);
    EXPECT_DOUBLE_EQ(r.alfbnd, 0.8);
    EXPECT_EQ(r.alfmax, 10.0);
  }
  // c - s grows with alfa: the trial becomes the largest step.
  {
    Problem pr = constrained(false, 3, 1, 0, 0.5, 2, 1);
    pr.alfa0 = 0.5;
    pr.alfbnd = 0.1;
    pr.qpcurv = 1.0;
    const Result r = run(pr);
    ASSERT_FALSE(r.trials.empty());
    EXPECT_EQ(r.trials.front(), 0.5);
    EXPECT_EQ(r.alfmax, 0.5);
    for (double t : r.trials) EXPECT_LE(t, 0.5);
    EXPECT_EQ(r.alfa, 0.5);
  }
  // Below alfbnd nothing changes.
  {
    Problem pr = constrained(false, 3, 1, 0, 0.5, 2, 1);
    pr.alfa0 = 2.6;
    pr.alfbnd = 5.0;
    pr.lstol = 0.9;
    const Result r = run(pr);
    EXPECT_EQ(r.objcalls, 1);
    EXPECT_EQ(r.alfbnd, 5.0);
    EXPECT_EQ(r.alfmax, 10.0);
  }
}

// With a trace unit the search writes its steps and its result.
TEST(Npsrch, Traces) {
  char tmpl[] = "/tmp/qv_npsrch_XXXXXX";
  const int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string path = tmpl;
  const int unit = 74;
  for (bool needfd : {false, true}) {
    runtime::OpenSpec spec;
    spec.file = path;
    spec.status = "REPLACE";
    runtime::open_unit(unit, spec);
    Problem pr = cubic(needfd);
    pr.lstol = 0.01;
    pr.trace_unit = unit;
    const Result r = run(pr);
    runtime::close_unit(unit);
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), " //npsrch// inform  =    1");
    EXPECT_EQ(r.inform, 1);
    int trials = 0, fits = 0;
    for (const std::string& l : lines) {
      if (l.rfind(needfd ? " //SRCHNG//  alfa, ftry" : " //SRCHDG//  alfa, ftry, gtry", 0) == 0) ++trials;
      if (l.rfind(needfd ? " Parabolic fit," : " Cubic.   ", 0) == 0 || l.rfind(" Parabola.", 0) == 0) ++fits;
    }
    EXPECT_EQ(trials, r.objcalls);
    EXPECT_GE(fits, 1);
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qv::optim
