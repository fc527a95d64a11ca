// Precision constants of a run and the workspace partition.
#include <cmath>

#include "optkern/machine.hpp"
#include "optim/nlsqp.hpp"

namespace qv::optim {

using namespace optkern;

void set_precision(Npprec& p, int n) {
  const double eps = wmach(3);
  p.epspt3 = std::pow(eps, 0.33);
  p.epspt5 = wmach(4);
  p.epspt8 = std::pow(eps, 0.8);
  p.epspt9 = std::pow(eps, 0.9);
  p.epsinv = 1.0 / eps;
  p.sqrtn = std::sqrt(static_cast<double>(n));
  p.nout = static_cast<int>(std::lround(wmach(11)));
}

void NPWKSP(int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl) {
  npwksp_layout(NPWLOC, n, nclin, nnlcon, nctotl, litotl, lwtotl);
}

void npwksp_layout(Npwloc& loc, int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl) {
  const int m = nnlcon;
  const int ncon = nclin + nnlcon;

  // Hands out consecutive blocks: next(len) is the first word of a block of
  // len words.
  int top = litotl + 1;
  auto inext = [&top](int len) {
    const int at = top;
    top += len;
    return at;
  };
  loc.kactiv = inext(n);
  loc.kx = inext(n);
  loc.kneed = inext(m);
  loc.iperm = inext(nctotl);
  litotl = top - 1;

  // Q and T only exist with general constraints; without them the variables
  // are only permuted.
  const int ldf = ncon > 0 ? n : 1;
  const int lenf = ncon > 0 ? n * n : 0;
  loc.ldt = ldf;
  loc.ldzy = ldf;

  top = lwtotl + 1;
  loc.hforwd = inext(n);
  loc.hcntrl = inext(n);
  loc.anorm = inext(ncon);
  for (int& v : loc.vn1) v = inext(n);
  loc.t = inext(lenf);
  loc.zy = inext(lenf);
  loc.vc1 = inext(ncon);
  for (int& v : loc.vn2) v = inext(n);
  for (int& v : loc.vt1) v = inext(nctotl);
  // With no nonlinear constraints the linear constraints are used in place.
  loc.qpmat = inext(m > 0 ? ncon * n : 0);
  loc.vc2 = inext(ncon);
  for (int& v : loc.vt2) v = inext(nctotl);
  for (int& v : loc.vn3) v = inext(n);
  loc.vt3 = inext(nctotl);
  loc.vn4 = inext(n);
  loc.vt4 = inext(nctotl);
  loc.nlmult = inext(m);
  loc.dmult = inext(m);
  loc.slack = inext(m);
  loc.dslack = inext(m);
  loc.rho = inext(m);
  for (int& v : loc.vm) v = inext(m);
  loc.cjac = inext(m * n);
  loc.grad = inext(n);
  loc.ax = inext(nclin);
  lwtotl = top - 1;
}

}  // namespace qv::optim
