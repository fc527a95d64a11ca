// Bound records (BO statements) and likelihood-based confidence-interval
// requests (IN statements) of a group, stored for the fit.
#pragma once

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::jobctl {

using runtime::Vec1;

// Words of a group's interval block: a count and up to kMaxIntv records of
// four words (value position, critical chi-squared value, percentage,
// label slot).
constexpr int kMaxIntv = 300;
constexpr int kIntvWords = 1 + 4 * kMaxIntv;

// Default interval: alpha 0.05 as the program holds it (single precision,
// widened) and the chi-squared(1) 95% quantile.
constexpr double kIntvAlpha = static_cast<double>(0.05f);
constexpr double kIntvCrit = 3.841458820694124;

// "BO" statement of the current group (cursor on the keyword): lower and
// upper bound, then parameter numbers or element references.  Records go to
// the storage pointer; GRPTAB columns 14 (first record) and 13 (count).
void BOSTMT();
// Reads the bounds and items of one "BO" line into records of three words
// at RDPTR (target, lower, upper); NBOUND counts the group's records.
void RDBOND(Vec1<double> X, int G, int& RDPTR, int& NBOUND);

// "IN" statement of the current group (cursor on the keyword).
void INSTMT();
// Appends the requests of one "IN" line to group g's interval block
// (created at RDPTR on first use; its address in IWORKS integer column 6);
// each request's label takes the next LABTAB slot.
void RDINTV(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LAB, int g, int NG, int& RDPTR, int& LABSLOT);

// The 32-character label of an interval request on element (row, col) of
// matrix letter L (1..26) of group g.
std::string INTLAB(int L, int g, int row, int col);

}  // namespace qv::jobctl
