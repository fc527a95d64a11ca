// HTML report elements: anchors, preformatted blocks, the warning heading,
// job headers, group navigation links and the page footer.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qv::jobbase {

// State of the HTML report.
struct Htmlst {
  bool PRESTA = false;                      // a PRE block is open
  std::string ANCHID = std::string(10, ' ');  // the last anchor id made
  void reset() { *this = Htmlst(); }
};
inline Htmlst HTMLST;

// Makes the anchor id of (job, n) with twoform != 0, of n alone otherwise;
// stores it in HTMLST.ANCHID and returns it.
std::string HTANCH(int n, int twoform);
// 1 opens a PRE block, 0 closes one; other calls change nothing.
void HTPRE(int request);
// Counts a warning and writes its heading (HTML anchor or text line).
void WARNHD();
// Job header (mode 1) or the job's entry in the index (any other mode).
void HTJOB(int job, int mode);
// Link from group g to the nearest group whose output is not suppressed.
// X is the workspace (its group table); prefix is "spe" or "est".
void HTGRP(std::span<const double> X, int g, int NG, bool forward, std::string_view prefix);
// The page footer.
void HTFOOT();
// Navigation-image bar (no caller in the program).
void HTNAV(std::string_view target1, std::string_view text1, std::string_view target2,
           std::string_view text2, std::string_view target3, std::string_view text3);
// Workspace debug dump (no caller in the program).
void DBGDMP(std::span<const double> X, int NG);

}  // namespace qv::jobbase
