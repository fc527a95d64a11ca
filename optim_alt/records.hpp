// The edition's output: formatted records on the numerical library's
// advisory unit.
#pragma once

#include <initializer_list>
#include <string_view>

#include "runtime/items.hpp"

namespace qv::optim_alt {

// The advisory unit as the machine-constant block holds it.
int advisory_unit();

// Writes the records of one formatted write on unit (trailing blanks dropped).
void put_records(int unit, std::string_view fmt, std::initializer_list<runtime::Out> items = {});

}  // namespace qv::optim_alt
