// Optimizer options file reader (options word NP).
#pragma once

#include <string_view>

namespace qv::jobctl {

// Reads the options file NAME (80 characters, trailing blanks ignored) on
// unit 9, lists it on standard output under " NLSQP options read:" and hands
// each line (a 120-character buffer) to the optimizer's option routine.  A
// missing file is fatal error 169, reported with its name.
void RDNPOP(std::string_view NAME);

}  // namespace qv::jobctl
