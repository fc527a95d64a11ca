// Formatted writes in which a number too wide for its field is printed in
// full rather than as asterisks: the report's count and value lines, whose
// fields suit the usual sizes but must still show a large figure.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "runtime/items.hpp"

namespace qv::runtime {

// Sequential formatted output of the items under the FORMAT fmt, as
// write_fmt; a number that does not fit its field is written in the
// narrowest field that holds it, with one blank before it.  Numbers that fit
// give the same record as write_fmt.
void write_fmt_full(int unit, std::string_view fmt, std::initializer_list<Out> items);
// The same with the items in a span.
void write_fmt_full(int unit, std::string_view fmt, std::span<const Out> items);

}  // namespace qv::runtime
