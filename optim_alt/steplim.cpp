#include "optim_alt/steplim.hpp"

#include <algorithm>
#include <cmath>

#include "optim/npwset.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

namespace {

using runtime::Vec1;

// The relative size under which a component counts as parallel: eps^0.9.
double epspt9() { return std::pow(kEps, 0.9); }

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

// E04UDT's trace record of one row; ctx is the advisory unit.
void e04udt_row_record(void* ctx, int j, double res, double comp, double alfa) {
  put_records(*static_cast<const int*>(ctx), "(i5,3g15.5)", {j, res, comp, alfa});
}

}  // namespace

void E04UDT(int& info, int n, int nclin, int nnlcon, double& alfa, double alfalow, double alfmax, double bigbnd,
            double stepnorm, std::span<const double> anorms, std::span<const double> adxs,
            std::span<const double> axs, std::span<const double> bls, std::span<const double> bus,
            std::span<const double> dslacks, std::span<const double> dxs, std::span<const double> slacks,
            std::span<const double> xs, bool debug) {
  int nout = debug ? advisory_unit() : 0;

  if (debug) put_records(nout, "(/a/a)", {" E04UDT entered", "    J            RES             AP           ALFA "});

  optim::npalf_search(info, n, nclin, nnlcon, alfa, alfalow, alfmax, bigbnd, stepnorm, epspt9(), anorms, adxs, axs,
                      bls, bus, dslacks, dxs, slacks, xs, debug ? e04udt_row_record : nullptr, &nout);

  if (debug && info == 1) put_records(nout, "(/a/a,1p,d15.5)", {" //E04UDT//  No finite step.", "  ALFA", alfa});
}

void E4STB1(bool firstv, bool negstp, double alfabig, double bigbnd, double dirnorm, int& jadd1, int& jadd2,
            double& palfa1, double& palfa2, std::span<const int> istate, int n, int nctotl,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x, bool debug) {
  const Vec1<const int> IS(istate);
  const Vec1<const double> RN(rownorm), AP(ap), AX(ax), BL(bl), BU(bu), FT(featol), P(p), X(x);
  const bool lastpass = !firstv;
  const double tolpar = epspt9();
  const int nout = debug ? advisory_unit() : 0;
  jadd1 = 0;
  jadd2 = 0;
  palfa1 = alfabig;
  palfa2 = firstv ? alfabig : 0.0;
  if (debug)
    put_records(nout,
                "(/'    J  JS         FEATOL        RES             AP     JADD1       PALFA1     JADD2       "
                "PALFA2 '/)");

  for (int j = 1; j <= nctotl; ++j) {
    const int js = IS(j);
    if (js > 0) continue;
    const RowRate rr = row_rate(j, n, RN, AP, AX, P, X);
    const double arowp = negstp ? -rr.arowp : rr.arowp;
    double res = -1.0;
    if (std::abs(arowp) > tolpar * rr.rownrm * dirnorm) {
      const bool down = arowp <= 0.0 && js != -2;
      const bool up = arowp > 0.0 && js != -1;
      if (down || up) {
        const double absrate = down ? -arowp : arowp;
        if (down ? BL(j) > -bigbnd : BU(j) < bigbnd) {
          res = (down ? rr.arowx - BL(j) : BU(j) - rr.arowx) + FT(j);
          if (std::abs(res) < alfabig * absrate && res < palfa1 * absrate) {
            palfa1 = res / absrate;
            jadd1 = j;
          }
        }
        if (js == (down ? -1 : -2)) {
          res = (down ? rr.arowx - BU(j) : BL(j) - rr.arowx) - FT(j);
          if (std::abs(res) < alfabig * absrate &&
              ((firstv && palfa2 * absrate > res) || (lastpass && palfa2 * absrate < res))) {
            palfa2 = res / absrate;
            jadd2 = j;
          }
        }
      }
    }
    if (debug) put_records(nout, "(i5,i4,3g15.5,2(i6,g17.7))", {j, js, FT(j), res, arowp, jadd1, palfa1, jadd2, palfa2});
  }
}

void E04UCG(bool firstv, bool& hitslow, std::span<const int> istate, int& inform, int& jadd, int n, int nctotl,
            int ninf, double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd, double dirnorm,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x, bool debug) {
  const Vec1<const int> IS(istate);
  const Vec1<const double> RN(rownorm), AP(ap), AX(ax), BL(bl), BU(bu), FT(featol), P(p), X(x);
  const bool lastpass = !firstv;
  const double tolpar = epspt9();
  const int nout = debug ? advisory_unit() : 0;
  inform = 0;

  // First pass: the steps to the widened bounds.
  int jsave1 = 0, jsave2 = 0;
  double palfa1 = 0.0, palfa2 = 0.0;
  E4STB1(firstv, false, alfabig, bigbnd, dirnorm, jsave1, jsave2, palfa1, palfa2, istate, n, nctotl, rownorm, ap, ax,
         bl, bu, featol, p, x, debug);
  if (debug)
    put_records(nout,
                "(/' E04UCG  entered'/'    J  JS         FEATOL        RES             AP     JADD1        ALFA1     "
                "JADD2        ALFA2 '/)");

  // Second pass: among the rows reached within the widened step, the one with
  // the largest scaled pivot.
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
        if (down ? BL(j) > -bigbnd : BU(j) < bigbnd) {
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
    if (debug) put_records(nout, "(i5,i4,3g15.5,2(i6,g17.7))", {j, js, FT(j), res, arowp, jadd1, alfa1, jadd2, alfa2});
  }

  if (ninf > 0 && jadd2 > 0 && (alfa2 < alfa1 || (lastpass && alfa2 <= palfa1 && ratemax1 <= ratemax2))) {
    alfa = alfa2;
    palfa = palfa2;
    jadd = jadd2;
    arowphit = arowp2;
    hitslow = atlow2;
  } else {
    alfa = alfa1;
    palfa = palfa1;
    jadd = jadd1;
    arowphit = arowp1;
    hitslow = atlow1;
    if (alfa < 0.0) {
      // A negative step: bound it by the first pass along -p.
      int j1 = 0, j2 = 0;
      double neg1 = 0.0, neg2 = 0.0;
      E4STB1(firstv, true, alfabig, bigbnd, dirnorm, j1, j2, neg1, neg2, istate, n, nctotl, rownorm, ap, ax, bl, bu,
             featol, p, x, debug);
      if (debug)
        put_records(nout,
                    "(/' //E04UCG //  Negative step',/' //E04UCG //           ALFA          PALFA'/' //E04UCG //',"
                    "2g15.4)",
                    {alfa, neg1});
      alfa = -std::min(std::abs(alfa), neg1);
    }
  }

  if (jadd == 0) {
    alfa = alfabig;
    palfa = alfabig;
  }
  if (alfa >= alfabig) {
    inform = 3;
    if (debug)
      put_records(nout,
                  "(/' //E04UCG //  Unbounded step.'/' //E04UCG //  JADD           ALFA'/' //E04UCG //  ',i4,g15.4)",
                  {jadd, alfa});
  }
}

}  // namespace qv::optim_alt
