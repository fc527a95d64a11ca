// Numbered units: the program's files and standard streams.
//
// Units 0..99 live in one table.  Unit 5 is standard input, 6 standard output
// and 0 standard error, connected at start; unitnames.hpp names every unit
// the program uses.  A unit used without OPEN is the
// file "fort.<n>" in the working directory.  Every record written is flushed at
// once, so that a front end reading the streams sees each line as it is made.
//
// Errors: a call made with OnErr::Abort (the default) that meets an I/O error
// or end of file writes one line on standard error naming the unit, the file
// and the cause, and ends the program with status 1.  With OnErr::Return the
// status is returned to the caller instead.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "runtime/items.hpp"
#include "runtime/unitnames.hpp"

namespace qv::runtime {

enum class OnErr { Abort, Return };

struct OpenSpec {
  std::string file;                 // empty: "fort.<n>" (or nameless for SCRATCH)
  std::string status = "UNKNOWN";   // OLD, NEW, UNKNOWN, SCRATCH, REPLACE
  std::string position = "ASIS";    // ASIS, REWIND, APPEND
  bool direct = false;              // direct-access unformatted records
  int recl = 8;                     // record length in bytes for direct access
};

// Connects a unit to a file as spec says.
IoStat open_unit(int unit, const OpenSpec& spec, OnErr on = OnErr::Abort);
// status "KEEP" or "DELETE"; closing an unopened unit does nothing.
void close_unit(int unit, std::string_view status = "KEEP");
// True while the unit is connected.
bool unit_is_open(int unit);
// Name of the file connected to the unit ("" for a scratch file or stream).
std::string unit_file(int unit);
// True when the named file exists.
bool file_exists(std::string_view file);
// Positions the unit before its first record.
IoStat rewind_unit(int unit, OnErr on = OnErr::Abort);
// Steps back one record: the record last read is read again by the next read.
IoStat backspace_unit(int unit, OnErr on = OnErr::Abort);

// Sequential formatted output of the items under the FORMAT fmt.
void write_fmt(int unit, std::string_view fmt, std::initializer_list<Out> items = {});
// The same with the items in a span.
void write_fmt(int unit, std::string_view fmt, std::span<const Out> items);
// List-directed output (rules in runtime/README.md).
void write_list(int unit, std::initializer_list<Out> items);
// The same with the items in a span.
void write_list(int unit, std::span<const Out> items);
// One record written exactly as given.
void write_record(int unit, std::string_view record);

// Sequential input of one whole record (line end removed).
IoStat read_record(int unit, std::string& record, OnErr on = OnErr::Abort);
// Sequential formatted input into the items under the FORMAT fmt.
IoStat read_fmt(int unit, std::string_view fmt, std::initializer_list<In> items, OnErr on = OnErr::Abort);
// The same with the items in a span.
IoStat read_fmt(int unit, std::string_view fmt, std::span<const In> items, OnErr on = OnErr::Abort);
// List-directed input into the items.
IoStat read_list(int unit, std::initializer_list<In> items, OnErr on = OnErr::Abort);
// The same with the items in a span.
IoStat read_list(int unit, std::span<const In> items, OnErr on = OnErr::Abort);

// Internal files: formatting into and reading from a text.
// write_internal returns the records joined without separators when there is
// one record; several records are joined with '\n'.
std::string write_internal(std::string_view fmt, std::initializer_list<Out> items);
// The same with the items in a span.
std::string write_internal(std::string_view fmt, std::span<const Out> items);
// Formatted input from a text into the items.
IoStat read_internal(std::string_view text, std::string_view fmt, std::initializer_list<In> items,
                     OnErr on = OnErr::Return);
// The same with the items in a span.
IoStat read_internal(std::string_view text, std::string_view fmt, std::span<const In> items,
                     OnErr on = OnErr::Return);
// List-directed input from a text into the items.
IoStat read_internal_list(std::string_view text, std::initializer_list<In> items, OnErr on = OnErr::Return);
// The same with the items in a span.
IoStat read_internal_list(std::string_view text, std::span<const In> items, OnErr on = OnErr::Return);

// Direct-access unformatted records (record numbers from 1): writes record rec.
IoStat write_direct(int unit, int rec, std::span<const std::uint8_t> bytes, OnErr on = OnErr::Abort);
// Reads record rec into bytes.
IoStat read_direct(int unit, int rec, std::span<std::uint8_t> bytes, OnErr on = OnErr::Abort);

// Flushes and closes every unit; scratch files are removed.  Called by the
// run-time stop and at normal exit.
void close_all_units();

}  // namespace qv::runtime
