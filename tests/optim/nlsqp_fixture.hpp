// Runs of NLSQP on the shared test problems: option lines as the fit sends
// them, callbacks at derivative level 0 (values only) or 3 (values and
// derivatives), and the print file captured.
#pragma once

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "hsproblems.hpp"
#include "optim/nlsqp.hpp"
#include "optim/nplog.hpp"
#include "optim/npmrt.hpp"
#include "optim/options.hpp"
#include "runtime/units.hpp"

namespace qv::optim::testing {

// Workspace lengths a run needs.
inline int niw_for(int n, int nclin, int m) { return 2 * n + m + (n + nclin + m); }
inline int nw_for(int n, int nclin, int m) {
  int len = 20 * n + 11 * nclin + 21 * m + m * n;
  if (nclin + m > 0) len += 2 * n * n;
  if (m > 0) len += (nclin + m) * n;
  return len;
}

// The state of a process before its first run (tests only).
inline void fresh_process() {
  NPOPTS.reset();
  NPOSTAT.reset();
  LSOSTAT.reset();
  NPLOGS.reset();
  NPMERT.reset();
  NPRUN.reset();
}

// Unit 7 (the optimizer's print file) on a temporary file.
class PrintFile {
 public:
  PrintFile() {
    path_ = (std::filesystem::temp_directory_path() /
             ("qv_nlsqp_u7_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++) + ".txt"))
                .string();
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  ~PrintFile() {
    runtime::close_unit(runtime::kMsgUnit);
    std::filesystem::remove(path_);
  }
  PrintFile(const PrintFile&) = delete;
  PrintFile& operator=(const PrintFile&) = delete;
  // Everything written so far; the file is kept open for more.
  std::string text() {
    runtime::close_unit(runtime::kMsgUnit);
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    runtime::OpenSpec spec;
    spec.file = path_;
    spec.position = "APPEND";
    runtime::open_unit(runtime::kMsgUnit, spec);
    return ss.str();
  }

 private:
  static int& counter() {
    static int k = 0;
    return k;
  }
  std::string path_;
};

// One problem as NLSQP sees it: the nonlinear form of the table, or the
// linear form (constraints as rows of ALIN).
struct RunSetup {
  const hs::Problem* p = nullptr;
  bool linear = false;
  int level = 0;  // derivative level sent: 0 or 3
  int supply = -1;  // derivatives the callbacks set: 0 none, 3 all (-1: as the level)

  // Hooks of the tests: the objective and the constraints may be replaced,
  // and on_obj/on_con see (and may change) MODE after each call.
  std::function<void(const double*, double&, double*)> obj;
  std::function<void(const double*, double*, double*, int)> con;
  std::function<void(int&, const double*)> on_obj;
  std::function<void(int&, const double*)> on_con;
  int nobj = 0;      // objective calls
  int nobjval = 0;   // objective calls asking for a value
  int ncon = 0;      // constraint calls
};

struct Result {
  int inform = 0;
  int majits = 0;
  double f = 0.0;
  std::vector<double> x, xmult, c, g, cjac, rfac;
  std::vector<int> istate;
  int n = 0, nclin = 0, m = 0;
};

// Runs NLSQP once with the start x0 (the table's start when empty) and the
// given istate/xmult/rfac (warm and hot starts), after the option lines.
inline Result run(RunSetup& s, const std::vector<std::string>& lines, std::vector<double> x0 = {},
                  std::vector<int> istate = {}, std::vector<double> xmult = {}, std::vector<double> rfac = {},
                  int nw_delta = 0, std::vector<int>* keep_iw = nullptr, std::vector<double>* keep_w = nullptr) {
  const hs::Problem& p = *s.p;
  const int n = p.n;
  const int nclin = s.linear ? p.nlin : 0;
  const int m = s.linear ? 0 : p.m;
  const int nctotl = n + nclin + m;
  if (!s.obj) s.obj = [&p](const double* x, double& f, double* g) { p.obj(x, f, g); };
  if (!s.con && p.con) s.con = [&p](const double* x, double* c, double* J, int ldj) { p.con(x, c, J, ldj); };

  std::vector<double> bl(p.bl.begin(), p.bl.begin() + n), bu(p.bu.begin(), p.bu.begin() + n);
  std::vector<double> alin(static_cast<std::size_t>(std::max(1, nclin) * n), 0.0);
  if (s.linear) {
    for (int i = 0; i < nclin; ++i) {
      for (int j = 0; j < n; ++j) alin[static_cast<std::size_t>(i + j * nclin)] = p.A[static_cast<std::size_t>(i * n + j)];
      bl.push_back(p.linbl[static_cast<std::size_t>(i)]);
      bu.push_back(p.linbu[static_cast<std::size_t>(i)]);
    }
  } else {
    for (int i = 0; i < m; ++i) {
      bl.push_back(p.bl[static_cast<std::size_t>(n + i)]);
      bu.push_back(p.bu[static_cast<std::size_t>(n + i)]);
    }
  }

  for (const std::string& line : lines) NPOPLN(line);

  const int level = s.supply >= 0 ? s.supply : s.level;
  Objfun objfun = [&s, level](int& mode, int nn, std::span<const double> x, double& fobj, std::span<double> gobj, int,
                              std::span<int>, std::span<double>) {
    ++s.nobj;
    std::vector<double> g(static_cast<std::size_t>(nn));
    double f = 0.0;
    s.obj(x.data(), f, g.data());
    if (mode == 0 || mode == 2) {
      ++s.nobjval;
      fobj = f;
    }
    if (level == 3 && (mode == 1 || mode == 2))
      for (int j = 0; j < nn; ++j) gobj[static_cast<std::size_t>(j)] = g[static_cast<std::size_t>(j)];
    if (s.on_obj) s.on_obj(mode, x.data());
  };
  Cnlfun cnlfun = [&s, level](int& mode, int mm, int nn, int ldj, std::span<const int> kneed, std::span<const double> x,
                              std::span<double> c, std::span<double> jac, int, std::span<int>, std::span<double>) {
    ++s.ncon;
    std::vector<double> cv(static_cast<std::size_t>(mm)), J(static_cast<std::size_t>(mm * nn));
    s.con(x.data(), cv.data(), J.data(), mm);
    for (int i = 0; i < mm; ++i) {
      if (kneed[static_cast<std::size_t>(i)] != 1) continue;
      if (mode == 0 || mode == 2) c[static_cast<std::size_t>(i)] = cv[static_cast<std::size_t>(i)];
      if (level == 3 && (mode == 1 || mode == 2))
        for (int j = 0; j < nn; ++j)
          jac[static_cast<std::size_t>(i + j * ldj)] = J[static_cast<std::size_t>(i + j * mm)];
    }
    if (s.on_con) s.on_con(mode, x.data());
  };

  Result r;
  r.n = n;
  r.nclin = nclin;
  r.m = m;
  r.x = x0.empty() ? p.x0 : x0;
  r.istate = istate.empty() ? std::vector<int>(static_cast<std::size_t>(nctotl), 0) : istate;
  r.xmult = xmult.empty() ? std::vector<double>(static_cast<std::size_t>(nctotl), 0.0) : xmult;
  r.c.assign(static_cast<std::size_t>(std::max(m, 1)), 0.0);
  r.cjac.assign(static_cast<std::size_t>(std::max(m, 1) * n), 0.0);
  r.g.assign(static_cast<std::size_t>(n), 0.0);
  r.rfac = rfac.empty() ? std::vector<double>(static_cast<std::size_t>(n * n), 0.0) : rfac;
  if (rfac.empty())
    for (int j = 0; j < n; ++j) r.rfac[static_cast<std::size_t>(j + j * n)] = 1.0;
  const int niw = niw_for(n, nclin, m);
  const int nw = nw_for(n, nclin, m) + nw_delta;
  std::vector<int> own_iw;
  std::vector<double> own_w;
  std::vector<int>& iw = keep_iw ? *keep_iw : own_iw;
  std::vector<double>& w = keep_w ? *keep_w : own_w;
  if (iw.size() < static_cast<std::size_t>(niw)) iw.resize(static_cast<std::size_t>(niw));
  if (w.size() < static_cast<std::size_t>(std::max(nw, 1))) w.resize(static_cast<std::size_t>(std::max(nw, 1)));
  std::vector<int> iusr(1);
  std::vector<double> rusr(1);
  NLSQP(n, nclin, m, std::max(1, nclin), std::max(1, m), n, alin, bl, bu, cnlfun, objfun, r.inform, r.majits,
        r.istate, r.c, r.cjac, r.xmult, r.f, r.g, r.rfac, r.x, iw, niw, w, nw, iusr, rusr);
  return r;
}

// The option lines of the fixture.
inline std::vector<std::string> lines_for(int level, int major_limit = 0) {
  std::vector<std::string> v{"Defaults", "Derivative level=" + std::to_string(level), "Major print level=1"};
  if (major_limit > 0) v.push_back("Major iterations " + std::to_string(major_limit));
  return v;
}

}  // namespace qv::optim::testing
