#include "fit/fitcb.hpp"

#include <algorithm>

#include "fit/objcel.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"

namespace qv::fit {

using jobbase::gcol::kCovResult;
using jobbase::gcol::kKind;
using jobbase::gcol::kNstat;

void FITCON(const Fitobj& fitfun, int& mode, int ncnln, int n, int ldcj, std::span<const int> needc,
            std::span<const double> x, std::span<double> c, std::span<double> cjac, int nstate,
            std::span<int> iusr, std::span<double> rusr) {
  auto& m = jobbase::MAINPR;
  OBJCEL.CONMOD = true;
  int pmode = 0;
  if (FITCB.FCFIRST) {
    FITCB.FCFIRST = false;
    FITCB.GRDSLT = m.WSTOP;
    jobbase::check_room(static_cast<long long>(m.WSTOP) + n - 1);
    m.WSTOP += n;
  }
  double fpriv = 0.0;
  const std::span<double> grad = rusr.subspan(static_cast<std::size_t>(FITCB.GRDSLT - 1),
                                              static_cast<std::size_t>(std::max(n, 0)));
  fitfun(pmode, n, x, fpriv, grad, nstate, iusr, rusr);

  const Vec1<double> X(rusr);
  const int NG = jobbase::icell(X(1));
  const long long room = static_cast<long long>(c.size());
  long long k = 0;
  for (m.IGRP = 1; m.IGRP <= NG; ++m.IGRP) {
    const jobbase::GroupView G{X, NG, m.IGRP};
    if (G.icol(kKind) != jobbase::kKindConstraint) continue;
    const int nc = G.icol(kNstat);
    const int r = G.icol(kCovResult);
    // Never past the values array: its length is the count the set-up took
    // from these same columns.
    for (int i = 0; i < nc && k < room; ++i) c[static_cast<std::size_t>(k++)] = X(r + i);
  }
  OBJCEL.CONMOD = false;
}

void HESFUN(const Fitobj& fitfun, int& mode, int n, std::span<double> x, double& objf,
            std::span<double> objgrd, int nstate, std::span<int> iuser, std::span<double> user) {
  fitfun(mode, n, x, objf, objgrd, nstate, iuser, user);
}

void CPYPAR(Vec1<double> X, Vec1<int> IX, std::span<const double> x) {
  const int p = IX(1);
  if (p < 1) return;
  const int n = IX(p);
  const Vec1<const double> xv(x);
  for (int k = 1; k <= n; ++k) X(IX(p + 2 * k)) = xv(IX(p + 2 * k - 1));
}

}  // namespace qv::fit
