#include "runtime/fullwrite.hpp"

#include <string>

#include "runtime/format.hpp"
#include "runtime/units.hpp"

namespace qv::runtime {

void write_fmt_full(int unit, std::string_view fmt, std::initializer_list<Out> items) {
  write_fmt_full(unit, fmt, std::span<const Out>(items.begin(), items.size()));
}

void write_fmt_full(int unit, std::string_view fmt, std::span<const Out> items) {
  for (const std::string& rec : format_records(fmt, items, Overflow::Widen)) write_record(unit, rec);
}

}  // namespace qv::runtime
