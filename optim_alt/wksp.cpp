#include "optim_alt/wksp.hpp"

namespace qv::optim_alt {

void E4WKSP(int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl) {
  optim::npwksp_layout(E4WLOC, n, nclin, nnlcon, nctotl, litotl, lwtotl);
}

}  // namespace qv::optim_alt
