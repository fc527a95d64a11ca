#include "jobctl/femeta.hpp"

namespace qv::jobctl {

// The front-end commands are not served yet: every "!@" line reaches the
// caller as it stands.
MetaAct FEMETA() { return MetaAct::PassOn; }

}  // namespace qv::jobctl
