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

  void reset() { *this = E4work{}; }
};
inline E4work E4WORK;

}  // namespace qv::optim_alt
