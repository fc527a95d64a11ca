// Intervals on the fit statistics and the power of the chi-squared test,
// both resting on the non-central chi-squared distribution: FITCI (the
// interval on the non-centrality, reported on chi-squared, AIC and RMSEA),
// the power lines with the sample sizes of PWRSIZ, their objectives NCXOBJ
// and PWROBJ, and NCXLIM, the searches without output.
#pragma once

#include <array>

#include "runtime/view1.hpp"

namespace qv::fit {

// Cells of NCXOBJ: the observed chi-squared value, its df and the target
// probability.
struct Ncxcel {
  double X = 0.0, DF = 0.0, TARGET = 0.0;
  void reset() { *this = Ncxcel(); }
};
inline Ncxcel NCXCEL;

// Cells of PWROBJ: the critical value, the df of the test and the target
// power.
struct Pwrcel {
  double CRIT = 0.0, DF = 0.0, TARGET = 0.0;
  void reset() { *this = Pwrcel(); }
};
inline Pwrcel PWRCEL;

// The power table of the last job that computed one: the seven pairs
// (level, total N), kept for the front end's POWER record.
inline constexpr int kPowerLevels = 7;
struct Pwrtab {
  std::array<double, 2 * kPowerLevels> PAIRS{};
  void reset() { *this = Pwrtab(); }
};
inline Pwrtab PWRTAB;

// The power levels of the table, in order; the last four are the
// single-precision constants.
inline constexpr std::array<double, kPowerLevels> kPowerLevel = {
    0.25, 0.5, 0.75, 0.800000011920929, 0.8999999761581421, 0.949999988079071, 0.9900000095367432};

// (target - P(x; df, lambda))^2 with the NCXCEL cells, or 2.0 when the
// probability cannot be computed.
void NCXOBJ(double lambda, double& f);

// (target - power(lambda))^2 with the PWRCEL cells, where power(lambda) is
// 1 - P(critical value; df, lambda) summed over at most 50 terms.
void PWROBJ(double lambda, double& f);

// The intervals of the CI option: writes their lines and returns the six
// bounds.  p is the percentage, F the fit, DF its degrees of freedom (a
// whole number, held as a real: with a DF adjustment it may lie beyond the
// int range); Ntot is not used.
void FITCI(runtime::Vec1<double> X, int NG, double p, double F, double DF, double Ntot, int NPAR, double& chiLo,
           double& chiHi, double& aicLo, double& aicHi, double& rmseaLo, double& rmseaHi);

// The sample size for one level of power: searches the non-centrality that
// gives it with critical value c and df degrees of freedom, scales it by
// Npow / F and prints the line; n is left alone when the search fails.
void PWRSIZ(double power, double df, double c, double F, double Npow, double& n);

// The power lines of the PO option for the fit F (its probability cell
// receives the power), with the sample-size table and the front end's
// POWER record.
void POWER(runtime::Vec1<double> X, double F);

// The searches without output.  mode 0: the sample-size search with the
// PWRCEL cells as they stand, the non-centrality in lo.  Any other mode:
// the NCXCEL cells from x, df and the percentage p, and the interval's two
// searches into lo and hi.  IFAIL: 0, or 1 when the last search could not
// reach its target.
void NCXLIM(double& lo, double& hi, int mode, double p, double x, double df, int& IFAIL);

}  // namespace qv::fit
