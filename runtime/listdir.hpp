// List-directed transfers: the one rule set for unformatted-layout writes
// and free-form reads (documented in runtime/README.md).
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "runtime/items.hpp"

namespace qv::runtime {

constexpr std::size_t kListWidth = 80;

// The list-directed form of one real (9 significant digits).
std::string list_real(double x);
// The list-directed form of one integer.
std::string list_int(long long v);

// Lays the items out in records of at most 80 columns (a longer text item
// stays whole on a record of its own).
std::vector<std::string> list_records(std::span<const Out> items);

// Reads the items from records fetched by next_record (false at end of
// input).  Values are separated by blanks, commas or line ends; r*c repeats
// c r times; r* and an empty field between commas leave items unchanged; a
// slash ends the read leaving the remaining items unchanged.  Returns End
// when input ends before the items are satisfied, Error on a value that
// cannot be read into its item.
IoStat list_read(std::span<const In> items, const std::function<bool(std::string&)>& next_record);

}  // namespace qv::runtime
