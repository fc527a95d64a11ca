// FORMAT interpreter.
//
// A format text such as "(1x,a8,10x,a2,3g16.7)" is compiled once into a list
// of descriptors and then executed against a list of items, producing output
// records or consuming input records.  The rules (reversion, termination,
// scale factor, field overflow and the rest) are listed in runtime/README.md.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/items.hpp"

namespace qv::runtime {

// A format text that cannot be compiled.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by a formatted read when a field cannot be converted; the caller
// turns it into IoStat::Error.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a number too wide for its field becomes on output: asterisks filling
// the field (the FORMAT rule), or the number in full in a field one character
// wider than it needs, so that a blank still parts it from what precedes it.
enum class Overflow { Stars, Widen };

class Format {
 public:
  // Compiles the text; blanks outside quoted literals are ignored, and text
  // after the closing parenthesis is ignored.  Throws FormatError.
  explicit Format(std::string_view text);
  ~Format();
  Format(Format&&) noexcept;
  Format& operator=(Format&&) noexcept;

  // Compiled once per distinct text and kept for the life of the process.
  static const Format& cached(std::string_view text);

  // Writes the items; each completed record is passed to sink (without a
  // line end).
  void write(std::span<const Out> items, const std::function<void(std::string_view)>& sink,
             Overflow overflow = Overflow::Stars) const;

  // Reads the items; next_record fetches the next input record and returns
  // false at end of input.  Returns IoStat::End when input ends before the
  // items are satisfied, IoStat::Error when a field cannot be converted.
  IoStat read(std::span<const In> items, const std::function<bool(std::string&)>& next_record) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Convenience: the records of a write as strings.
std::vector<std::string> format_records(std::string_view fmt, std::span<const Out> items,
                                        Overflow overflow = Overflow::Stars);

}  // namespace qv::runtime
