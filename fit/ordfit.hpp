// The ordinal record likelihood (fit codes 12 to 14): minus twice the log of
// each record's multivariate normal probability of the box its observed
// categories give, summed over the records; code 14 mixes component models.
#pragma once

#include <span>

#include "runtime/view1.hpp"

namespace qv::fit {

// Settings of the box integrals (MVNADP's arguments).  The error tolerances
// the ordinal records were first given, one rule evaluation in effect:
// absolute 1e-6 held in single precision, relative 1.0.
constexpr double kOrdAbsSingle = 9.999999974752427e-07;
constexpr double kOrdRelLoose = 1.0;
// The tolerances in use (see fit/README.md, "Ordinal records"): relative
// 3e-6 of the probability, absolute 1e-12, with the box's last pair
// integrated exactly, so that -2 ln L of a few thousand distinct records is
// right to well under 1e-3.
constexpr double kOrdAbsTight = 1e-12;
constexpr double kOrdRelTight = 3e-6;
// A pattern of c records is integrated at relative min(RELERR, kOrdPatternRel
// / c), so that its share of the error of -2 ln L (c times twice its
// relative error) stays under 2 kOrdPatternRel however many records repeat
// it (see fit/README.md, "Ordinal records").
constexpr double kOrdPatternRel = 1e-5;

// The integrator's settings, for the tests and the accuracy study (run
// lifetime): points allowed per member, absolute and relative error, and
// the numerator of a repeated pattern's relative error.
struct Ordcel {
  int PTSPER = 5000;
  double ABSERR = kOrdAbsTight;
  double RELERR = kOrdRelTight;
  double PATREL = kOrdPatternRel;
  void reset() { *this = Ordcel(); }
};
inline Ordcel ORDCEL;

// The relative error of a pattern of count records: min(RELERR, PATREL /
// count).
double ordinal_pattern_relerr(const Ordcel& settings, double count);

// The box of a record of J members: member j's observed category c (a whole
// number), K_j thresholds for its variable and its thresholds
// thr[j + (t - 1) J], t = 1..K_j.  c <= 0: below threshold 1 (kind 0);
// c >= K_j: above threshold K_j (kind 1); otherwise from threshold c to
// threshold c + 1 (kind 2).  The limits a kind leaves infinite are set to 0.
void ordinal_box(int J, std::span<const double> cats, std::span<const int> counts, std::span<const double> thr,
                 std::span<double> lower, std::span<double> upper, std::span<int> kinds);

// One box integral (mvn_conditional_box, MVNADP's arguments and codes): the
// probability, its error estimate and status, with points = PTSPER x J and
// the tolerances of ORDCEL.  rho: the strict
// lower triangle of the record's correlations by rows.
struct OrdinalIntegral {
  double value = 0.0;
  double error = 0.0;
  int status = 0;
  int points = 0;
};
OrdinalIntegral ordinal_integral(int J, std::span<const double> lower, std::span<const double> upper,
                                 std::span<const int> kinds, std::span<const double> rho,
                                 const Ordcel& settings = ORDCEL);

// The error estimate above which an integral the integrator left short of
// the tolerances in use counts as a shortfall: the absolute error the fit
// function was specified with.  A shortfall only against the tighter
// tolerances in use is accepted silently (see fit/README.md, "Ordinal
// records").
constexpr double kOrdShortfall = kOrdAbsSingle;

// The status the evaluation acts on: the integrator's, except that status 1
// (the budget ran out first) with an error estimate of at most
// kOrdShortfall is 0.
int ordinal_shortfall_status(const OrdinalIntegral& r);

// What a status means for the evaluation: 0 accepted; 1 accepted and
// counted in ACCMVN, with one line on unit 7 when note is set (the fit sets
// it at a pattern's first record of the evaluation); 4 accepted, counted in
// NPDMVN and FMODE -1 (the report's line is ordinal_npd_note's, once for
// the evaluation); any other the report's lines and error 150.
void ordinal_status(int status, int points, bool note = true);

// The report's line for the records of one evaluation whose correlation
// matrix was not positive definite (nothing for none): " Correlation matrix
// not positive definite for" the count " records" (" record" for one).
void ordinal_npd_note(int records);

// Adds group g's value to FOBJ and stores it in the group's column 15.
void ordinal_fit(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, double& FOBJ);

}  // namespace qv::fit
