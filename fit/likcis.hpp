// Pieces of the likelihood-based confidence intervals that the fit driver
// (LIKCIS in fitdrv.cpp) runs after the last restart: the element test
// CIELEM, the job's table of finished intervals CILIST (which spares a
// repeated request its searches), OFFZER, which moves start values away from
// zero before a search, and the report row of one interval.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Finished intervals of the job: specification number, percentage,
// estimate, lower and upper limit, and the lower and upper failure codes and
// restart counts.  Cleared at the start of each job's fit.
struct Cilist {
  static constexpr int kMax = 200;
  struct Entry {
    int spec = 0;
    double pct = 0.0, est = 0.0, lower = 0.0, upper = 0.0;
    int lfail = 0, lcount = 0, ufail = 0, ucount = 0;
  };
  std::array<Entry, kMax> E{};
  int NCI = 0;
  void reset_job() { NCI = 0; }
  void reset() { *this = Cilist(); }
};
inline Cilist CITAB;

// One interval request's label decoded: the matrix letter's number (1..26),
// the group, row and column.
struct Cilabel {
  int L = 0, g = 0, i = 0, j = 0;
};
Cilabel cilabel(std::string_view label);

// 1 when the labelled element can be moved by a search: an element of a
// computed matrix, or a free parameter of a matrix type with elements.
int CIELEM(Vec1<double> X, int IGRP, int NG, std::string_view label);

// mode 0: looks the labelled element up by its specification number and the
// percentage p; when found prints the stored row (and its front-end record
// when FEACTV and MACHOUT are set) and returns 1, else 0.  mode 1: stores
// the given results (when the element is eligible and the table has room;
// a full table prints a warning) and returns 1.  Elements of computed
// matrices are never looked up or stored.
int CILIST(Vec1<double> X, int IGRP, int NG, std::string_view label, double p, double estimate, double lower,
           double upper, int Lfail, int Lcount, int Ufail, int Ucount, bool FEACTV, bool MACHOUT, int mode);

// Each x(i) strictly between -0.01 and +0.01 becomes 0.01 with its sign
// (+0.01 for zero); unit 7 gets a record for each one moved.
void OFFZER(Vec1<double> x, int N);

// The report row of one interval: the first 14 characters of the label, the
// percentage, estimate, lower and upper limit and the four codes (a 99 shows
// as "*").
void cirow(std::string_view label, double p, double estimate, double lower, double upper, int Lfail,
           int Lcount, int Ufail, int Ucount);

}  // namespace qv::fit
