// OLD RUN files.
#include "optim/runfile.hpp"

#include <cstddef>
#include <string>
#include <vector>

#include "optim/options.hpp"
#include "optim/wsutil.hpp"
#include "runtime/units.hpp"

namespace qv::optim {

namespace {

using runtime::In;
using runtime::IoStat;
using runtime::OnErr;

// Codes of the difference-interval class in the file: 0 intervals to be
// computed, 1 one fixed interval (the options hold it), 2 one interval per
// variable (stored in the file).  Computed intervals are written as per
// variable once the derivative level is above 0.
int file_class(int dif_class, int lvlder) {
  if (dif_class == kDifFixed) return 1;
  if (dif_class == kDifUser) return 2;
  return lvlder > 0 ? 2 : 0;
}

int run_class(int code) {
  if (code == 1) return kDifFixed;
  if (code == 2) return kDifUser;
  return kDifComputed;
}

std::size_t sz(int k) { return static_cast<std::size_t>(k); }

// Whether a column-major view with leading dimension ld holds an m x m
// matrix.
bool holds(const runtime::Mat1<double>& a, int m) {
  if (m <= 0) return true;
  return a.ld() >= m && a.extent() >= (static_cast<std::ptrdiff_t>(m) - 1) * a.ld() + m;
}

// A run read from a file, kept apart until all of it has been checked.
struct Staged {
  int majits = 0, nfree = 0, fclass = 0, lvlder = 0;
  bool unitq = true;
  std::vector<int> kx, istate;
  std::vector<double> x, cnl, nlmult, zy, r, hforwd, hcntrl;
  Npmert merit;
};

// Reads one record; false unless it was read in full.
bool rec(int unit, std::string_view fmt, std::initializer_list<In> items) {
  return runtime::read_fmt(unit, fmt, items, OnErr::Return) == IoStat::Ok;
}

// Reads the whole file into s, checking every count, index and state
// against the problem and the caller's arrays.
bool read_run(int unit, const OldRun& run, Staged& s) {
  const int n = run.n, nclin = run.nclin, nnlcon = run.nnlcon;
  if (n < 0 || nclin < 0 || nnlcon < 0) return false;
  const int nctotl = n + nclin + nnlcon;
  if (run.kx.size() < sz(n) || run.istate.size() < sz(nctotl) || run.x.size() < sz(n) ||
      run.cnl.size() < sz(nnlcon) || run.nlmult.size() < sz(nnlcon) || !holds(run.r, n))
    return false;

  if (!rec(unit, "(2i8,1x,2i2,1x,l1)", {s.majits, s.nfree, s.fclass, s.lvlder, s.unitq})) return false;
  if (s.majits < 0 || s.nfree < 0 || s.nfree > n || s.fclass < 0 || s.fclass > 2 || s.lvlder < 0 || s.lvlder > 3)
    return false;
  if (!s.unitq && !holds(run.zy, s.nfree)) return false;
  const bool intervals = s.lvlder > 0 && s.fclass != 1;
  if (intervals && (run.hforwd.size() < sz(n) || run.hcntrl.size() < sz(n))) return false;

  auto state_ok = [](int st) { return st >= -2 && st <= 4; };
  s.kx.assign(sz(n), 0);
  s.istate.assign(sz(nctotl), 0);
  s.x.assign(sz(n), 0.0);
  for (int j = 1; j <= n; ++j) {
    int jj = 0, kxj = 0, st = 0;
    double xj = 0.0;
    if (!rec(unit, "(2i8,1x,i2,1p,2e24.14)", {jj, kxj, st, xj}) || jj != j || !state_ok(st)) return false;
    s.kx[sz(j - 1)] = kxj;
    s.istate[sz(j - 1)] = st;
    s.x[sz(j - 1)] = xj;
  }
  if (n > 0) {
    int inform = 0;
    cmperm(s.kx, 1, n, inform);
    if (inform != 0) return false;
  }
  for (int i = 1; i <= nclin; ++i) {
    int jj = 0, st = 0;
    if (!rec(unit, "(i8,1x,i2)", {jj, st}) || jj != n + i || !state_ok(st)) return false;
    s.istate[sz(n + i - 1)] = st;
  }
  if (nnlcon > 0) {
    s.cnl.assign(sz(nnlcon), 0.0);
    s.nlmult.assign(sz(nnlcon), 0.0);
    for (int i = 1; i <= nnlcon; ++i) {
      int jj = 0, st = 0;
      double c = 0.0, lam = 0.0;
      if (!rec(unit, "(i8,1x,i2,1p,2e24.14)", {jj, st, c, lam}) || jj != n + nclin + i || !state_ok(st))
        return false;
      s.istate[sz(n + nclin + i - 1)] = st;
      s.cnl[sz(i - 1)] = c;
      s.nlmult[sz(i - 1)] = lam;
    }
    double penmax = 0.0;  // the largest penalty of the saved run; this run has its own
    if (!rec(unit, "(1p,4e24.14,1x,l1)", {penmax, s.merit.rhonrm, s.merit.rhodmp, s.merit.scale, s.merit.incrun}))
      return false;
  }
  // Elements (i, j) of a matrix in the order the save writes them.
  auto elements = [&](std::vector<double>& a, int order, bool upper) {
    for (int j = 1; j <= order; ++j) {
      for (int i = 1; i <= (upper ? j : order); ++i) {
        int ii = 0, jj = 0;
        double v = 0.0;
        if (!rec(unit, "(2i8,1x,1p,e24.14)", {ii, jj, v}) || ii != i || jj != j) return false;
        a.push_back(v);
      }
    }
    return true;
  };
  if (!s.unitq && !elements(s.zy, s.nfree, false)) return false;
  if (!elements(s.r, n, true)) return false;
  if (intervals) {
    s.hforwd.assign(sz(n), 0.0);
    s.hcntrl.assign(sz(n), 0.0);
    for (int j = 1; j <= n; ++j) {
      int jj = 0;
      if (!rec(unit, "(i8,1x,1p,2e24.14)", {jj, s.hforwd[sz(j - 1)], s.hcntrl[sz(j - 1)]}) || jj != j) return false;
    }
  }
  // Nothing may follow.
  std::string extra;
  return runtime::read_record(unit, extra, OnErr::Return) == IoStat::End;
}

}  // namespace

void NPSAVE(int unit, const OldRun& run, const Npmert& merit, double penmax) {
  if (unit < 1 || unit > 99) return;
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const bool own = unit != nprint;
  // The run replaces what the file held.
  if (own && runtime::unit_is_open(unit)) runtime::rewind_unit(unit, OnErr::Return);

  const int n = run.n, nclin = run.nclin, nnlcon = run.nnlcon;
  const int fclass = file_class(run.dif_class, run.lvlder);
  runtime::write_fmt(unit, "(2i8,1x,2i2,1x,l1)", {run.majits, run.nfree, fclass, run.lvlder, run.unitq});
  for (int j = 1; j <= n; ++j)
    runtime::write_fmt(unit, "(2i8,1x,i2,1p,2e24.14)",
                       {j, run.kx[sz(j - 1)], run.istate[sz(j - 1)], run.x[sz(j - 1)]});
  for (int i = 1; i <= nclin; ++i) runtime::write_fmt(unit, "(i8,1x,i2)", {n + i, run.istate[sz(n + i - 1)]});
  if (nnlcon > 0) {
    for (int i = 1; i <= nnlcon; ++i)
      runtime::write_fmt(unit, "(i8,1x,i2,1p,2e24.14)",
                         {n + nclin + i, run.istate[sz(n + nclin + i - 1)], run.cnl[sz(i - 1)], run.nlmult[sz(i - 1)]});
    runtime::write_fmt(unit, "(1p,4e24.14,1x,l1)", {penmax, merit.rhonrm, merit.rhodmp, merit.scale, merit.incrun});
  }
  if (!run.unitq) {
    for (int j = 1; j <= run.nfree; ++j)
      for (int i = 1; i <= run.nfree; ++i) runtime::write_fmt(unit, "(2i8,1x,1p,e24.14)", {i, j, run.zy(i, j)});
  }
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) runtime::write_fmt(unit, "(2i8,1x,1p,e24.14)", {i, j, run.r(i, j)});
  if (run.lvlder > 0 && fclass != 1) {
    for (int j = 1; j <= n; ++j)
      runtime::write_fmt(unit, "(i8,1x,1p,2e24.14)", {j, run.hforwd[sz(j - 1)], run.hcntrl[sz(j - 1)]});
  }

  if (nprint > 0) runtime::write_fmt(nprint, "(' Current run saved on file',i4,'    Itn = ',i7)", {unit, run.majits});
  if (own) runtime::rewind_unit(unit, OnErr::Return);
}

void NPLOAD(int unit, OldRun& run, Npmert& merit, int& nerror) {
  nerror = 0;
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const int msg = NPOPTS.inp(slot::kMajorPrintLevel);
  if (nprint > 0) runtime::write_fmt(nprint, "(/' OLD RUN to be loaded from file',i4)", {unit});

  Staged s;
  const bool ok = read_run(unit, run, s);
  runtime::close_unit(unit);
  if (!ok) {
    if (nprint > 0)
      runtime::write_fmt(nprint, "(/' Exit NLSQP - The OLD RUN file dimensions do not',' match this problem.')");
    nerror = 1;
    return;
  }

  const int n = run.n, nclin = run.nclin, nnlcon = run.nnlcon;
  run.majits = s.majits;
  run.nfree = s.nfree;
  run.dif_class = run_class(s.fclass);
  run.lvlder = s.lvlder;
  run.unitq = s.unitq;
  for (int j = 0; j < n; ++j) {
    run.kx[sz(j)] = s.kx[sz(j)];
    run.x[sz(j)] = s.x[sz(j)];
  }
  for (int j = 0; j < n + nclin + nnlcon; ++j) run.istate[sz(j)] = s.istate[sz(j)];
  if (nnlcon > 0) {
    for (int i = 0; i < nnlcon; ++i) {
      run.cnl[sz(i)] = s.cnl[sz(i)];
      run.nlmult[sz(i)] = s.nlmult[sz(i)];
    }
    merit = s.merit;
  }
  std::size_t k = 0;
  if (!s.unitq)
    for (int j = 1; j <= s.nfree; ++j)
      for (int i = 1; i <= s.nfree; ++i) run.zy(i, j) = s.zy[k++];
  k = 0;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) run.r(i, j) = s.r[k++];
  if (!s.hforwd.empty()) {
    for (int j = 0; j < n; ++j) {
      run.hforwd[sz(j)] = s.hforwd[sz(j)];
      run.hcntrl[sz(j)] = s.hcntrl[sz(j)];
    }
  }

  if (nprint > 0 && msg > 0) {
    runtime::write_fmt(nprint, "(/' Number of variables loaded = ',i5,'    Itn = ',i8)", {n, s.majits});
    write_parameters_table(n, nclin, nnlcon, true);
  }
}

}  // namespace qv::optim
