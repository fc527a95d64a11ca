// What the fit needs from a job before its first evaluation: the count of
// observed statistics, the summary table of each group's case-vector data
// (variable-length or rectangular records) with the size check of an ordinal
// group's threshold formula, the list of distinct free parameters with the
// map from parameters to matrix elements, and each group's map from
// definition-variable numbers to matrix elements.
//
// Parameter list PARLST: NPAR words of WORKSP, the distinct positive
// specification numbers in order of first occurrence (groups 1..NG, letters
// A..Z, elements in storage order).
//
// Parameter map in IWORKS, at the position p held in IX(1): IX(p) the number
// of pairs c, then c pairs (IX(p+2k-1), IX(p+2k)) = (index of the parameter
// in PARLST, WORKSP word of the element's value).  Each element occurs once.
//
// Definition map of group g in IWORKS, at the position held in IX(g+1): a
// count, then pairs (definition number k, WORKSP word of the value of an
// element whose specification number is -k).
#pragma once

#include <span>
#include <vector>

#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::Vec1;

// Fit-state cells that the summary fills when a fit starts (the fit keeps
// its own cells beside them).
struct Fitsta {
  int PARLST = 0;  // WORKSP position of the parameter list
  long long NSTTOT = 0;  // observed statistics of the job as counted here,
                         // plus the DF adjustment (beyond the int range
                         // with one of +-2^30)
  int DEFSW = 0;   // pairs in all definition maps: 0 when no matrix element
                   // takes a definition value
  void reset() { *this = Fitsta(); }
};
inline Fitsta FITSTA;

// Column labels of the summary table (8 characters each).
inline constexpr const char* kVlColLabels[6] = {"Code    ", "Number  ", "Mean    ",
                                                "Variance", "Minimum ", "Maximum "};

// Prepares a job for its fit: counts the observed statistics into NSTAT
// (and FITSTA.NSTTOT), prints the summary table of every data or constraint
// group with case-vector data and stores the means of its codes, checks the
// threshold formula of raw ordinal data (error 61), builds the parameter
// list (NPAR words at WSTOP, FITSTA.PARLST) and the parameter and
// definition maps (IWORKS from IWSTOP).  LABNXT is the first free label
// slot: the table's row labels are copied to the slots from there on for
// printing (the slot counter itself is not advanced).  Sets IGRP as it goes
// and raises WSTOP and IWSTOP; every work area is checked first (error 119).
void VLSUMM(Vec1<double> X, Vec1<int> IX, Labtab& LABTAB, int LABNXT, int& NPAR, int& NSTAT);

// Number of observed values in the record block at P (X(P-1) records, each
// its count m, a word, m codes and m values): the sum of the records' m.
// The summary above and the fit statistics both count a group's values by it.
long long VLNVAL(Vec1<double> X, int P);

// Figures of the observed values of one variable: count, sum, sum of
// squares, least and greatest value.  The summary table and the start
// values from observed data both take their figures through it.
struct ValueFigures {
  double count = 0.0, sum = 0.0, sumsq = 0.0, min = 0.0, max = 0.0;
  void add(double y);
  // Mean and variance (divisor: the count), as the summary table prints
  // them; only for a count above 0.
  double mean() const { return sum / count; }
  double variance() const { return (sumsq - sum * sum / count) / count; }
};

// Figures of the values in the record block at P (as VLNVAL reads it) that
// carry code codes[k], one entry per code; a code listed twice gets the same
// figures twice, a code no record carries a count of 0.
std::vector<ValueFigures> code_figures(Vec1<double> X, int P, std::span<const double> codes);

// Figures of the p variables of raw data: n cases from X(a) on, case i's
// values at X(a + i*stride) .. X(a + i*stride + p - 1).
std::vector<ValueFigures> raw_figures(Vec1<double> X, int a, int stride, int n, int p);

// Number of used cells (those not negative) of the contingency table of a
// table group: the table takes one statistic fewer.  The summary above and
// the fit statistics both count a table by it.
long long used_table_cells(const GroupView& G);

}  // namespace qv::jobbase
