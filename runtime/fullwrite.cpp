#include "runtime/fullwrite.hpp"

#include <string>
#include <vector>

#include "runtime/format.hpp"
#include "runtime/units.hpp"

namespace qv::runtime {

void write_fmt_full(int unit, std::string_view fmt, std::initializer_list<Out> items) {
  write_fmt_full(unit, fmt, std::span<const Out>(items.begin(), items.size()));
}

void write_fmt_full(int unit, std::string_view fmt, std::span<const Out> items) {
  std::vector<std::string> records;
  try {
    records = format_records(fmt, items, Overflow::Widen);
  } catch (const FormatError&) {
    // A bad format, or an item its descriptor cannot write: reported on the
    // unit, and the program ended, as by write_fmt.
    write_fmt(unit, fmt, items);
    return;
  }
  for (const std::string& rec : records) write_record(unit, rec);
}

}  // namespace qv::runtime
