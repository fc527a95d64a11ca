// The partition of the edition's integer and real workspaces.
#pragma once

#include "optim/nlsqp.hpp"

namespace qv::optim_alt {

// Start words (1-based) of the arrays of an E04UCF run in iw and w.  The
// layout is the optimizer's (optim::Npwloc); the cells are the edition's.
inline optim::Npwloc E4WLOC;

// Lays out the workspaces of a run with n variables, nclin linear and nnlcon
// nonlinear constraints (nctotl = n + nclin + nnlcon) into E4WLOC, exactly as
// the optimizer's NPWKSP does.  litotl and lwtotl come in as the words
// already used and go out as the last word used.
void E4WKSP(int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl);

}  // namespace qv::optim_alt
