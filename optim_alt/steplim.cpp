#include "optim_alt/steplim.hpp"

#include <algorithm>
#include <cmath>

#include "optim/npwset.hpp"
#include "optim/wsutil.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"

namespace qv::optim_alt {

namespace {

// The relative size under which a component counts as parallel: eps^0.9.
double epspt9() { return std::pow(kEps, 0.9); }

// The trace record of one row of E4STB1 or E04UCG; ctx is the advisory unit.
void pass_record(void* ctx, int j, int js, double featol, double res, double arowp, int jadd1, double alfa1, int jadd2,
                 double alfa2) {
  put_records(*static_cast<const int*>(ctx), "(i5,i4,3g15.5,2(i6,g17.7))",
              {j, js, featol, res, arowp, jadd1, alfa1, jadd2, alfa2});
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
  int nout = debug ? advisory_unit() : 0;
  if (debug)
    put_records(nout,
                "(/'    J  JS         FEATOL        RES             AP     JADD1       PALFA1     JADD2       "
                "PALFA2 '/)");

  optim::stepb1_pass(firstv, negstp, alfabig, bigbnd, dirnorm, epspt9(), jadd1, jadd2, palfa1, palfa2, istate, n,
                     nctotl, rownorm, ap, ax, bl, bu, featol, p, x, debug ? pass_record : nullptr, &nout);
}

void E04UCG(bool firstv, bool& hitslow, std::span<const int> istate, int& inform, int& jadd, int n, int nctotl,
            int ninf, double& alfa, double& palfa, double& arowphit, double alfabig, double bigbnd, double dirnorm,
            std::span<const double> rownorm, std::span<const double> ap, std::span<const double> ax,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> featol,
            std::span<const double> p, std::span<const double> x, bool debug) {
  const double tolpar = epspt9();
  int nout = debug ? advisory_unit() : 0;
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
  const bool first = optim::cmalf_search(firstv, hitslow, istate, jadd, n, nctotl, ninf, alfa, palfa, arowphit,
                                         alfabig, bigbnd, dirnorm, tolpar, jsave1, jsave2, palfa1, palfa2, rownorm,
                                         ap, ax, bl, bu, featol, p, x, debug ? pass_record : nullptr, &nout);
  if (first && alfa < 0.0) {
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
