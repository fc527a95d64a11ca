// Repeated solves of one test problem by E04UCF, for the benchmark and the
// comparison program: the arrays are set up once, the option lines are sent
// once (print levels off), and each solve starts cold from the published
// start and counts the objective's evaluations (a call asking for a value,
// or for gradients the callback supplies).
#pragma once

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "optim/hsproblems.hpp"
#include "optim_alt/e04ucf.hpp"
#include "optim_alt/options.hpp"

namespace qv::optim_alt::testing {

// Sends the option lines of a quiet run at derivative level 0 or 3 (with the
// checks off at level 3).  The options persist from run to run.
inline void quiet_options(int level, int major_limit) {
  E04UEF("Nolist");
  E04UEF("Defaults");
  E04UEF("Major print level -1");
  E04UEF("Derivative level " + std::to_string(level));
  if (level == 3) E04UEF("Verify No");
  if (major_limit > 0) E04UEF("Major iterations " + std::to_string(major_limit));
}

class AltSolver {
 public:
  AltSolver(const optim::hs::Problem& p, int level) : p_(p), level_(level), n_(p.n), m_(p.m) {
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

  // One cold solve from the published start (IFAIL 1 on entry: silent).
  void solve() {
    std::copy(p_.x0.begin(), p_.x0.end(), x_.begin());
    std::fill(istate_.begin(), istate_.end(), 0);
    std::fill(xmult_.begin(), xmult_.end(), 0.0);
    nevals_ = 0;
    ifail_ = 1;
    E04UCF(n_, 0, m_, 1, std::max(1, m_), n_, alin_, bl_, bu_, cnlfun_, objfun_, majits_, istate_, c_, cjac_, xmult_,
           f_, g_, rfac_, x_, iw_, niw_, w_, nw_, iusr_, rusr_, ifail_);
  }

  int ifail() const { return ifail_; }
  int majits() const { return majits_; }
  int evaluations() const { return nevals_; }
  double f() const { return f_; }
  const std::vector<double>& x() const { return x_; }

  // Largest violation of the bounds and constraints at the final point.
  double violation() const {
    double v = 0.0;
    for (int j = 0; j < n_; ++j) {
      if (bl_[j] > -optim::hs::kInf) v = std::max(v, bl_[j] - x_[j]);
      if (bu_[j] < optim::hs::kInf) v = std::max(v, x_[j] - bu_[j]);
    }
    if (m_ > 0) {
      std::vector<double> c(static_cast<std::size_t>(m_)), J(static_cast<std::size_t>(m_ * n_));
      p_.con(x_.data(), c.data(), J.data(), m_);
      for (int i = 0; i < m_; ++i) {
        const double lo = bl_[static_cast<std::size_t>(n_ + i)], hi = bu_[static_cast<std::size_t>(n_ + i)];
        if (lo > -optim::hs::kInf) v = std::max(v, lo - c[static_cast<std::size_t>(i)]);
        if (hi < optim::hs::kInf) v = std::max(v, c[static_cast<std::size_t>(i)] - hi);
      }
    }
    return v;
  }

 private:
  const optim::hs::Problem& p_;
  int level_, n_, m_, niw_ = 0, nw_ = 0;
  int ifail_ = 0, majits_ = 0, nevals_ = 0;
  double f_ = 0.0, fval_ = 0.0;
  std::vector<double> bl_, bu_, alin_, xmult_, c_, cjac_, g_, rfac_, x_, w_, rusr_, gwork_, cwork_, jwork_;
  std::vector<int> istate_, iw_, iusr_;
  optim::Objfun objfun_;
  optim::Cnlfun cnlfun_;
};

}  // namespace qv::optim_alt::testing
