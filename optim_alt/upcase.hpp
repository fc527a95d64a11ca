// Upper-case conversion of a string.
#pragma once

#include <string>

namespace qv::optim_alt {

// Converts the letters a to z of text to A to Z in place; nothing else changes.
void E4UPCS(std::string& text);

}  // namespace qv::optim_alt
