#include "fit/prparm.hpp"

namespace qv::fit {

// Stand-in until the listing is built: prints nothing.
void PRPARM(runtime::Vec1<double> /*X*/, runtime::Vec1<int> /*IX*/, jobctl::Labtab& /*LABTAB*/, int& /*mode*/,
            int /*feactv*/, int /*machout*/) {}

}  // namespace qv::fit
