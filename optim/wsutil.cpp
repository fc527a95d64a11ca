// Working-set utilities and the solution table.
#include "optim/wsutil.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "optkern/machine.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::Mat1;
using runtime::Vec1;

namespace {

bool tracing() { return LSPRNT.trace && LSPRNT.iprint > 0; }

// The trace record of one row of STEPB1 or cmalf, on the print file.
void pass_record(void*, int j, int js, double featol, double res, double arowp, int jadd1, double alfa1, int jadd2,
                 double alfa2) {
  runtime::write_fmt(LSPRNT.iprint, "(i5,i4,3g15.5,2(i6,g17.7))",
                     {j, js, featol, res, arowp, jadd1, alfa1, jadd2, alfa2});
}

// The relative size under which a row is taken as parallel to the direction.
double parallel_tol() { return std::pow(wmach(3), 0.9); }

// Row j's value and rate along p, and its norm measure.
struct RowRate {
  double arowx;
  double arowp;
  double rownrm;
};

RowRate row_rate(int j, int n, const Vec1<const double>& rownorm, const Vec1<const double>& ap,
                 const Vec1<const double>& ax, const Vec1<const double>& p, const Vec1<const double>& x) {
  if (j > n) return {ax(j - n), ap(j - n), rownorm(j - n) + 1.0};
  return {x(j), p(j), 1.0};
}

// Kind and number of row j within its kind, for the unnamed labels.
std::string_view row_kind(int j, int n, int nclin) {
  if (j <= n) return "varbl";
  if (j <= n + nclin) return "lncon";
  return "nlcon";
}
int row_number(int j, int n, int nclin) {
  if (j <= n) return j;
  if (j <= n + nclin) return j - n;
  return j - n - nclin;
}

std::string_view state_code(int is) {
  static constexpr std::array<std::string_view, 7> kCodes = {"--", "++", "fr", "ll", "ul", "eq", "tb"};
  if (is < -2 || is > 4) return "  ";
  return kCodes[static_cast<std::size_t>(is + 2)];
}

}  // namespace

void stepb1_pass(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, double tolpar, int& jadd1,
                 int& jadd2, double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
                 std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
                 std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
                 std::span<const double> p, std::span<const double> x, StepPassTrace row_trace, void* ctx) {
  const Vec1<const int> IS(istate);
  const Vec1<const double> RN(rownorm), AP(ap), AX(ax), BL(bl), BU(bu), FT(featol), P(p), X(x);
  const bool lastpass = !firstv;
  jadd1 = 0;
  jadd2 = 0;
  palfa1 = alfabig;
  palfa2 = firstv ? alfabig : 0.0;
  for (int j = 1; j <= nctotl; ++j) {
    const int js = IS(j);
    if (js > 0) continue;
    const RowRate rr = row_rate(j, n, RN, AP, AX, P, X);
    double arowp = negstp ? -rr.arowp : rr.arowp;
    double res = -1.0;
    if (std::abs(arowp) > tolpar * rr.rownrm * dirnorm) {
      if (arowp <= 0.0 && js != -2) {
        const double absrate = -arowp;
        if (BL(j) > -bigbnd) {
          res = rr.arowx - BL(j) + FT(j);
          if (std::abs(res) < alfabig * absrate && res < palfa1 * absrate) {
            palfa1 = res / absrate;
            jadd1 = j;
          }
        }
        if (js == -1) {
          res = rr.arowx - BU(j) - FT(j);
          if (std::abs(res) < alfabig * absrate &&
              ((firstv && palfa2 * absrate > res) || (lastpass && palfa2 * absrate < res))) {
            palfa2 = res / absrate;
            jadd2 = j;
          }
        }
      } else if (arowp > 0.0 && js != -1) {
        const double absrate = arowp;
        if (BU(j) < bigbnd) {
          res = BU(j) - rr.arowx + FT(j);
          if (std::abs(res) < alfabig * absrate && res < palfa1 * absrate) {
            palfa1 = res / absrate;
            jadd1 = j;
          }
        }
        if (js == -2) {
          res = BL(j) - rr.arowx - FT(j);
          if (std::abs(res) < alfabig * absrate &&
              ((firstv && palfa2 * absrate > res) || (lastpass && palfa2 * absrate < res))) {
            palfa2 = res / absrate;
            jadd2 = j;
          }
        }
      }
    }
    if (row_trace != nullptr) row_trace(ctx, j, js, FT(j), res, arowp, jadd1, palfa1, jadd2, palfa2);
  }
}

void STEPB1(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, int& jadd1, int& jadd2,
            double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x) {
  const bool trace = tracing();
  if (trace)
    runtime::write_fmt(LSPRNT.iprint,
                       "(/'    j  js         featol        res             Ap','     jadd1       palfa1     "
                       "jadd2       palfa2'/)");
  stepb1_pass(firstv, negstp, alfabig, bigbnd, dirnorm, parallel_tol(), jadd1, jadd2, palfa1, palfa2, istate, n,
              nctotl, rownorm, ap, ax, bl, bu, featol, p, x, trace ? pass_record : nullptr, nullptr);
}

bool cmalf_search(bool firstv, bool& hitslow, std::span<const int> istate, int& jadd, int n, int nctotl, int ninf,
                  double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd, double dirnorm,
                  double tolpar, int jsave1, int jsave2, double palfa1, double palfa2,
                  std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
                  std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
                  std::span<const double> p, std::span<const double> x, StepPassTrace row_trace, void* ctx) {
  const Vec1<const int> IS(istate);
  const Vec1<const double> RN(rownorm), AP(ap), AX(ax), BL(bl), BU(bu), FT(featol), P(p), X(x);
  const bool lastpass = !firstv;
  double alfa1 = alfabig;
  double alfa2 = firstv ? alfabig : 0.0;
  double ratemax1 = 0.0, ratemax2 = 0.0;
  double arowp1 = 0.0, arowp2 = 0.0;
  bool atlow1 = false, atlow2 = false;
  int jadd1 = 0, jadd2 = 0;

  for (int j = 1; j <= nctotl; ++j) {
    const int js = IS(j);
    if (js > 0) continue;
    const RowRate rr = row_rate(j, n, RN, AP, AX, P, X);
    const double arowp = rr.arowp;
    const double scaled = rr.rownrm * dirnorm;
    double res = -1.0;
    if (std::abs(arowp) > tolpar * scaled) {
      const bool down = arowp <= 0.0 && js != -2;
      const bool up = arowp > 0.0 && js != -1;
      if (down || up) {
        const double absrate = down ? -arowp : arowp;
        const bool bound1 = down ? BL(j) > -bigbnd : BU(j) < bigbnd;
        if (bound1) {
          res = down ? rr.arowx - BL(j) : BU(j) - rr.arowx;
          if ((res <= palfa1 * absrate || j == jsave1) && absrate > scaled * ratemax1) {
            jadd1 = j;
            atlow1 = down;
            alfa1 = res / absrate;
            ratemax1 = absrate / scaled;
            arowp1 = arowp;
          }
        }
        if (js == (down ? -1 : -2)) {
          res = down ? rr.arowx - BU(j) : BL(j) - rr.arowx;
          if (((firstv && res <= palfa2 * absrate) || (lastpass && res >= palfa2 * absrate) || j == jsave2) &&
              absrate > scaled * ratemax2) {
            ratemax2 = absrate / scaled;
            alfa2 = (absrate < 1.0 && res >= alfabig * absrate) ? alfabig : res / absrate;
            jadd2 = j;
            arowp2 = arowp;
            atlow2 = !down;
          }
        }
      }
    }
    if (row_trace != nullptr) row_trace(ctx, j, js, FT(j), res, arowp, jadd1, alfa1, jadd2, alfa2);
  }

  if (ninf > 0 && jadd2 > 0 && (alfa2 < alfa1 || (lastpass && alfa2 <= palfa1 && ratemax1 <= ratemax2))) {
    alfa = alfa2;
    palfa = palfa2;
    jadd = jadd2;
    arowphit = arowp2;
    hitslow = atlow2;
    return false;
  }
  alfa = alfa1;
  palfa = palfa1;
  jadd = jadd1;
  arowphit = arowp1;
  hitslow = atlow1;
  return true;
}

void cmalf(bool firstv, bool& hitslow, std::span<const int> istate, int& inform, int& jadd, int n, int nctotl,
           int ninf, double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd,
           double dirnorm, std::span<const double> rownorm, std::span<const double> ap,
           std::span<const double> ax, std::span<const double> bl, std::span<const double> bu,
           std::span<const double> featol, std::span<const double> p, std::span<const double> x) {
  const double tolpar = parallel_tol();
  const bool trace = tracing();

  inform = 0;
  int jsave1 = 0, jsave2 = 0;
  double palfa1 = 0.0, palfa2 = 0.0;
  STEPB1(firstv, false, alfabig, bigbnd, dirnorm, jsave1, jsave2, palfa1, palfa2, istate, n, nctotl, rownorm, ap,
         ax, bl, bu, featol, p, x);
  if (trace)
    runtime::write_fmt(LSPRNT.iprint,
                       "(/' cmalf  entered'/'    j  js         featol        res             Ap','     jadd1 "
                       "       alfa1     jadd2        alfa2 '/)");

  const bool first = cmalf_search(firstv, hitslow, istate, jadd, n, nctotl, ninf, alfa, palfa, arowphit, alfabig,
                                  bigbnd, dirnorm, tolpar, jsave1, jsave2, palfa1, palfa2, rownorm, ap, ax, bl, bu,
                                  featol, p, x, trace ? pass_record : nullptr, nullptr);
  if (first && alfa < 0.0) {
    // A negative step: bound it by the first pass along -p.
    int j1 = 0, j2 = 0;
    double neg1 = 0.0, neg2 = 0.0;
    STEPB1(firstv, true, alfabig, bigbnd, dirnorm, j1, j2, neg1, neg2, istate, n, nctotl, rownorm, ap, ax, bl,
           bu, featol, p, x);
    if (trace)
      runtime::write_fmt(LSPRNT.iprint,
                         "(/' //cmalf //  negative step',/' //cmalf //           alfa          palfa'/' "
                         "//cmalf //',2g15.4)",
                         {alfa, neg1});
    alfa = -std::min(std::abs(alfa), neg1);
  }

  if (jadd == 0) {
    alfa = alfabig;
    palfa = alfabig;
  }
  if (alfa >= alfabig) {
    inform = 3;
    if (trace)
      runtime::write_fmt(LSPRNT.iprint,
                         "(/' //cmalf //  unbounded step.'/' //cmalf //  jadd           alfa'/' //cmalf //  ',i4,"
                         "g15.4)",
                         {jadd, alfa});
  }
}

void CHKINP(int& nerror, int lprint, int start, bool checkkx, int liwork, int lwork, int litotl, int lwtotl,
            int n, int nclin, int nnlcon, std::span<const int> istate, std::span<int> kx, bool named,
            std::span<const std::string> names, double bigbnd, std::span<const double> bl,
            std::span<const double> bu) {
  const int iprint = LSPRNT.iprint;
  const bool print = iprint > 0;
  nerror = 0;

  if (liwork < litotl || lwork < lwtotl) {
    ++nerror;
    if (print) {
      runtime::write_fmt(iprint,
                         "(/' Workspace provided is     iw(',i8,'),  w(',i8,').'/' To solve problem we need  "
                         "iw(',i8,'),  w(',i8,').')",
                         {liwork, lwork, litotl, lwtotl});
      runtime::write_fmt(iprint, "(/' XXX  Not enough workspace to solve problem.')");
    }
  } else if (print && lprint > 0) {
    runtime::write_fmt(iprint,
                       "(/' Workspace provided is     iw(',i8,'),  w(',i8,').'/' To solve problem we need  "
                       "iw(',i8,'),  w(',i8,').')",
                       {liwork, lwork, litotl, lwtotl});
  }

  if (checkkx) {
    // cmperm marks entries while it looks and restores them.
    int inform = 0;
    cmperm(kx, 1, n, inform);
    if (inform != 0) {
      ++nerror;
      if (print) runtime::write_fmt(iprint, "(/' XXX  kx has not been supplied as a valid','  permutation.')");
    }
  }

  const Vec1<const double> BL(bl), BU(bu);
  const Vec1<const std::string> NM(names);
  const int nrows = n + nclin + nnlcon;
  for (int j = 1; j <= nrows; ++j) {
    const double b1 = BL(j);
    const double b2 = BU(j);
    const bool ok = b2 > b1 || (b2 == b1 && std::abs(b1) < bigbnd);
    if (ok) continue;
    ++nerror;
    if (!print) continue;
    const bool equal = b1 == b2;
    if (named) {
      if (equal)
        runtime::write_fmt(iprint,
                           "(/' XXX  The equal bounds on  ',a8,'  are infinite.   Bounds =',g16.7,'  bigbnd "
                           "=',g16.7)",
                           {NM(j), b1, bigbnd});
      else
        runtime::write_fmt(iprint,
                           "(/' XXX  The bounds on  ',a8,'  are inconsistent.   bl =',g16.7,'   bu =',g16.7)",
                           {NM(j), b1, b2});
    } else {
      const std::string_view kind = row_kind(j, n, nclin);
      const int num = row_number(j, n, nclin);
      if (equal)
        runtime::write_fmt(iprint,
                           "(/' XXX  The equal bounds on  ',a5,i3,'  are infinite.   Bounds =',g16.7,'  bigbnd "
                           "=',g16.7)",
                           {kind, num, b1, bigbnd});
      else
        runtime::write_fmt(iprint,
                           "(/' XXX  The bounds on  ',a5,i3,'  are inconsistent.   bl =',g16.7,'   bu =',g16.7)",
                           {kind, num, b1, b2});
    }
  }

  if (start == 1) {
    const Vec1<const int> IS(istate);
    for (int j = 1; j <= nrows; ++j) {
      const int is = IS(j);
      if (is >= -2 && is <= 4) continue;
      ++nerror;
      if (print)
        runtime::write_fmt(iprint, "(/' XXX  Component',i5,'  of  istate  is out of',' range...',i10)", {j, is});
    }
  }
}

void cmperm(std::span<int> kx, int m1, int m2, int& inform) {
  const int iprint = LSPRNT.iprint;
  if (m1 <= 0 || m2 <= 0 || m1 > m2) {
    inform = 1;
    if (tracing())
      runtime::write_fmt(iprint,
                         "(/' //cmperm//  Illegal parameter values,'/' //cmperm//    m1    m1'/' //cmperm//',2i6)",
                         {m1, m2});
    return;
  }
  const Vec1<int> KX(kx);
  inform = 0;
  for (int i = m1; i <= m2; ++i) {
    const int j = KX(i);
    if (j < m1 || j > m2) {
      inform = 2;
      if (iprint > 0)
        runtime::write_fmt(iprint, "(/' XXX  kx(',i6,') contains an out-of-range value =',i16)", {i, j});
      break;
    }
    if (j != i) KX(i) = -j;
  }
  if (inform == 0) {
    for (int i = m1; i <= m2; ++i) {
      if (KX(i) >= 0) continue;
      int k = i;
      while (KX(k) < 0) {
        const int t = -KX(k);
        KX(k) = t;
        k = t;
      }
      if (k != i) {
        inform = 3;
        if (iprint > 0) runtime::write_fmt(iprint, "(/' XXX  kx contains a duplicate value =',i16)", {k});
        break;
      }
    }
  }
  for (int i = m1; i <= m2; ++i) KX(i) = std::abs(KX(i));
}

void PRSOLN(int lprint, int nfree, int ldA, int n, int nclin, int nctotl, double bigbnd, bool named,
            std::span<const std::string> names, int nactiv, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, std::span<const double> a,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> mult, std::span<const double> rlamda, std::span<const double> x) {
  const Vec1<double> MU(mult);
  const Vec1<const int> IS(istate), WS(wslist), KX(kx);
  const Vec1<const double> RL(rlamda), BL(bl), BU(bu), C(c), X(x);
  const Vec1<const std::string> NM(names);

  for (int j = 1; j <= nctotl; ++j) MU(j) = 0.0;
  const int nfixed = n - nfree;
  const int nZ = nfree - nactiv;
  for (int k = 1; k <= nactiv + nfixed; ++k) {
    const int row = k <= nactiv ? n + WS(k) : KX(nZ + k);
    MU(row) = RL(k);
  }

  const int iprint = LSPRNT.iprint;
  if (iprint <= 0 || !(lprint == 1 || lprint >= 10)) return;

  runtime::write_fmt(iprint,
                     "(//' Variable        State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr "
                     "multiplier','     Residual'/)");
  const Mat1<const double> A(a, ldA);
  for (int j = 1; j <= nctotl; ++j) {
    double value = 0.0;
    if (j <= n) {
      value = X(j);
    } else if (j <= n + nclin) {
      if (j == n + 1)
        runtime::write_fmt(iprint,
                           "(//' Linear constr   State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr "
                           "multiplier','     Residual'/)");
      const int i = j - n;
      for (int k = 1; k <= n; ++k) value += A(i, k) * X(k);
    } else {
      if (j == n + nclin + 1)
        runtime::write_fmt(iprint,
                           "(//' Nonlnr constr   State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr "
                           "multiplier','     Residual'/)");
      value = C(j - n - nclin);
    }
    const double b1 = BL(j);
    const double b2 = BU(j);
    double res = value - b1;
    if (std::abs(b2 - value) < std::abs(res)) res = b2 - value;
    const bool haslo = b1 > -bigbnd;
    const bool hasup = b2 < bigbnd;
    const std::string_view ls = state_code(IS(j));
    const double lm = MU(j);

    if (named) {
      const std::string& nm = NM(j);
      if (haslo && hasup)
        runtime::write_fmt(iprint, "(1x,a8,10x,a2,3g16.7,g16.7,g16.4)", {nm, ls, value, b1, b2, lm, res});
      else if (hasup)
        runtime::write_fmt(iprint, "(1x,a8,10x,a2,g16.7,5x,' None',6x,g16.7,g16.7,g16.4)",
                           {nm, ls, value, b2, lm, res});
      else if (haslo)
        runtime::write_fmt(iprint, "(1x,a8,10x,a2,2g16.7,5x,' None',6x,g16.7,g16.4)", {nm, ls, value, b1, lm, res});
      else
        runtime::write_fmt(iprint, "(1x,a8,10x,a2,g16.7,5x,' None',11x,' None',6x,g16.7,g16.4)",
                           {nm, ls, value, lm, res});
    } else {
      const std::string_view kind = row_kind(j, n, nclin);
      const int num = row_number(j, n, nclin);
      if (haslo && hasup)
        runtime::write_fmt(iprint, "(1x,a5,i3,10x,a2,3g16.7,g16.7,g16.4)", {kind, num, ls, value, b1, b2, lm, res});
      else if (hasup)
        runtime::write_fmt(iprint, "(1x,a5,i3,10x,a2,g16.7,5x,' None',6x,g16.7,g16.7,g16.4)",
                           {kind, num, ls, value, b2, lm, res});
      else if (haslo)
        runtime::write_fmt(iprint, "(1x,a5,i3,10x,a2,2g16.7,5x,' None',6x,g16.7,g16.4)",
                           {kind, num, ls, value, b1, lm, res});
      else
        runtime::write_fmt(iprint, "(1x,a5,i3,10x,a2,g16.7,5x,' None',11x,' None',6x,g16.7,g16.4)",
                           {kind, num, ls, value, lm, res});
    }
  }
}

}  // namespace qv::optim
