// The definition-variable statement (DE) of a group's data section: the
// variables named are set aside as per-case values that formulas can use.
#pragma once

#include <vector>

namespace qv::jobctl {

// Names made global by DE statements of the current job (their NAMVAR
// slots), so that a clash with a #define name can be told from a label
// that an earlier group already made a definition variable.
struct Defsta {
  int JOBNO = -1;          // job the slots belong to
  std::vector<int> SLOTS;  // NAMVAR slots created by DE
  void reset() { *this = Defsta(); }
};
inline Defsta DEFSTA;

// Reads the DE statement at the cursor for the current group, NI being the
// group's number of variables as the data section stands.  Stores the list
// at MAINPR.RDPTR (GRPTAB column 10 := its address D: X(D) = m, X(D+1..D+m)
// the variable numbers), rewrites the case vectors and the labels, and
// reads the next line.
void RDDEFV(int NI);

}  // namespace qv::jobctl
