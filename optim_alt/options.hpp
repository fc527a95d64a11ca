// The edition's working option values: the cells its internal routines read.
// The defaults routine fills them from the edition's option blocks; tests set
// them directly.  Nothing here is shared with the optimizer's own options.
#pragma once

namespace qv::optim_alt {

struct E4work {
  // Run cells.
  int verify = -1;         // verify level (below 0: no derivative check)
  int jobj1 = 1, jobj2 = 0;  // variables of the element check of the objective
  int jcon1 = 1, jcon2 = 0;  // variables of the element check of the constraints
  bool search_trace = false;  // trace of the interval search (debug switch)
  int dif_class = 0;          // difference intervals: 0 computed, 1 the user's, 2 one fixed interval

  // Derivative counts of the run: missing elements, set by the derivative
  // set-up and corrected by the interval search.
  int nmissj = 0;  // missing Jacobian elements
  int nmissg = 0;  // missing gradient elements

  void reset() { *this = E4work{}; }
};
inline E4work E4WORK;

}  // namespace qv::optim_alt
