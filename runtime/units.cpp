#include "runtime/units.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "runtime/fixedstr.hpp"
#include "runtime/format.hpp"
#include "runtime/listdir.hpp"
#include "runtime/stop.hpp"

namespace qv::runtime {

namespace {

struct Unit {
  std::FILE* fp = nullptr;
  std::string file;           // name of the connected file ("" for a stream or scratch)
  bool stream = false;        // a standard stream (never closed)
  bool scratch = false;
  bool direct = false;
  int recl = 8;
  bool wrote = false;         // written since the last positioning
  enum class Last { None, Read, Write } last = Last::None;
  std::optional<std::string> pushback;  // record stepped back over by BACKSPACE
  std::string last_record;
  bool have_last = false;
};

// The unit table: runtime state for the life of the process.
struct UnitTable {
  std::array<Unit, 100> u;
  bool ready = false;
};

UnitTable& table() {
  static UnitTable t;
  if (!t.ready) {
    t.ready = true;
    t.u[0].fp = stderr;
    t.u[0].stream = true;
    t.u[5].fp = stdin;
    t.u[5].stream = true;
    t.u[6].fp = stdout;
    t.u[6].stream = true;
  }
  return t;
}

std::string describe(int unit, const std::string& opening = "") {
  if (unit < 0 || unit > 99) return "unit " + std::to_string(unit);
  const Unit& u = table().u[static_cast<std::size_t>(unit)];
  if (!opening.empty()) return "unit " + std::to_string(unit) + ", file \"" + opening + "\"";
  std::string f = u.stream ? (unit == 5 ? "standard input" : unit == 6 ? "standard output" : "standard error")
                           : u.scratch ? "scratch file" : u.file.empty() ? "fort." + std::to_string(unit) : u.file;
  return "unit " + std::to_string(unit) + ", file \"" + f + "\"";
}

// Reports an I/O error that no caller handles and ends the run.
[[noreturn]] void fail(int unit, const std::string& cause, const std::string& opening = "") {
  std::fflush(stdout);
  std::fprintf(stderr, "Qv I/O error on %s: %s\n", describe(unit, opening).c_str(), cause.c_str());
  abort_run();
}

IoStat failed(int unit, OnErr on, IoStat st, const std::string& cause, const std::string& opening = "") {
  if (on == OnErr::Abort) fail(unit, cause, opening);
  return st;
}

bool valid(int unit) { return unit >= 0 && unit <= 99; }

// Ends the file at the current position after writes, as a sequential file
// ends after its last record written.
void settle(Unit& u) {
  if (u.fp && !u.stream && !u.direct && u.wrote) {
    std::fflush(u.fp);
    const long pos = std::ftell(u.fp);
    if (pos >= 0 && ftruncate(fileno(u.fp), pos) != 0) {
      // A file that cannot be cut keeps its tail; nothing else depends on it.
    }
  }
  u.wrote = false;
}

// Mixed reads and writes on one stream need a positioning call between them.
void switch_to(Unit& u, Unit::Last mode) {
  if (u.fp && !u.stream && u.last != Unit::Last::None && u.last != mode) std::fseek(u.fp, 0, SEEK_CUR);
  u.last = mode;
}

std::FILE* open_file(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

// The unit for a transfer: a unit never opened is connected to "fort.<n>".
Unit* connect(int unit, bool for_write, OnErr on) {
  if (!valid(unit)) {
    failed(unit, on, IoStat::Error, "unit number out of range");
    return nullptr;
  }
  Unit& u = table().u[static_cast<std::size_t>(unit)];
  if (u.fp) return &u;
  const std::string name = "fort." + std::to_string(unit);
  std::FILE* fp = for_write ? open_file(name, "w+") : open_file(name, "r+");
  if (!fp && !for_write) fp = open_file(name, "r");
  if (!fp) {
    failed(unit, on, IoStat::Error, std::strerror(errno));
    return nullptr;
  }
  u = Unit{};
  u.fp = fp;
  u.file = name;
  return &u;
}

void put_record(Unit& u, std::string_view rec) {
  switch_to(u, Unit::Last::Write);
  std::fwrite(rec.data(), 1, rec.size(), u.fp);
  std::fputc('\n', u.fp);
  std::fflush(u.fp);
  u.wrote = true;
}

// Reads one record; false at end of file.
bool get_record(Unit& u, std::string& rec) {
  if (u.pushback) {
    rec = *u.pushback;
    u.pushback.reset();
    u.last_record = rec;
    u.have_last = true;
    return true;
  }
  switch_to(u, Unit::Last::Read);
  rec.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(u.fp)) != EOF) {
    any = true;
    if (c == '\n') break;
    rec.push_back(static_cast<char>(c));
  }
  if (!any) return false;
  // Lines written on systems that end them with CR LF read the same.
  if (!rec.empty() && rec.back() == '\r') rec.pop_back();
  u.last_record = rec;
  u.have_last = true;
  return true;
}

std::string upper_trim(std::string_view s) { return upper(trim_right(s)); }

}  // namespace

IoStat open_unit(int unit, const OpenSpec& spec, OnErr on) {
  if (!valid(unit)) return failed(unit, on, IoStat::Error, "unit number out of range");
  Unit& u = table().u[static_cast<std::size_t>(unit)];
  if (u.stream) return failed(unit, on, IoStat::Error, "a standard stream cannot be reopened");
  if (u.fp) close_unit(unit);
  const std::string status = upper_trim(spec.status);
  const std::string position = upper_trim(spec.position);
  const std::string name = spec.file.empty() ? "fort." + std::to_string(unit) : std::string(trim_right(spec.file));
  const bool exists = file_exists(name);
  std::FILE* fp = nullptr;
  bool scratch = false;
  if (status == "SCRATCH") {
    fp = std::tmpfile();  // removed by the system as soon as it is closed, whatever ends the run
    scratch = true;
  } else if (status == "OLD") {
    if (!exists) return failed(unit, on, IoStat::Error, "the file does not exist", name);
    fp = open_file(name, "r+");
    if (!fp) fp = open_file(name, "r");
  } else if (status == "NEW") {
    if (exists) return failed(unit, on, IoStat::Error, "the file already exists", name);
    fp = open_file(name, "w+");
  } else if (status == "REPLACE") {
    fp = open_file(name, "w+");
  } else if (status == "UNKNOWN" || status == "APPEND" || status.empty()) {
    fp = exists ? open_file(name, "r+") : open_file(name, "w+");
    if (!fp && exists) fp = open_file(name, "r");
  } else {
    return failed(unit, on, IoStat::Error, "unknown OPEN status \"" + status + "\"", name);
  }
  if (!fp) return failed(unit, on, IoStat::Error, std::strerror(errno), status == "SCRATCH" ? "scratch file" : name);
  u = Unit{};
  u.fp = fp;
  u.file = scratch ? "" : name;
  u.scratch = scratch;
  u.direct = spec.direct;
  u.recl = spec.recl > 0 ? spec.recl : 8;
  if (status == "APPEND" || position == "APPEND") {
    std::fseek(fp, 0, SEEK_END);
    u.last = Unit::Last::Write;
  }
  return IoStat::Ok;
}

void close_unit(int unit, std::string_view status) {
  if (!valid(unit)) return;
  Unit& u = table().u[static_cast<std::size_t>(unit)];
  if (!u.fp) return;
  if (u.stream) {
    std::fflush(u.fp);
    return;
  }
  settle(u);
  std::fclose(u.fp);
  if (!u.scratch && upper_trim(status) == "DELETE") std::remove(u.file.c_str());
  u = Unit{};
}

bool unit_is_open(int unit) { return valid(unit) && table().u[static_cast<std::size_t>(unit)].fp != nullptr; }

std::string unit_file(int unit) {
  if (!valid(unit)) return "";
  return table().u[static_cast<std::size_t>(unit)].file;
}

bool file_exists(std::string_view file) {
  struct stat st{};
  const std::string name(trim_right(file));
  return !name.empty() && ::stat(name.c_str(), &st) == 0;
}

IoStat rewind_unit(int unit, OnErr on) {
  Unit* u = connect(unit, false, on);
  if (!u) return IoStat::Error;
  if (u->stream) return IoStat::Ok;
  settle(*u);
  std::rewind(u->fp);
  u->last = Unit::Last::None;
  u->pushback.reset();
  u->have_last = false;
  return IoStat::Ok;
}

IoStat backspace_unit(int unit, OnErr on) {
  if (!valid(unit)) return failed(unit, on, IoStat::Error, "unit number out of range");
  Unit& u = table().u[static_cast<std::size_t>(unit)];
  if (!u.fp) return IoStat::Ok;
  if (u.have_last && !u.pushback) {
    u.pushback = u.last_record;
    u.have_last = false;
  }
  return IoStat::Ok;
}

void write_record(int unit, std::string_view record) {
  Unit* u = connect(unit, true, OnErr::Abort);
  put_record(*u, record);
}

void write_fmt(int unit, std::string_view fmt, std::initializer_list<Out> items) {
  write_fmt(unit, fmt, std::span<const Out>(items.begin(), items.size()));
}

void write_fmt(int unit, std::string_view fmt, std::span<const Out> items) {
  Unit* u = connect(unit, true, OnErr::Abort);
  try {
    Format::cached(fmt).write(items, [u](std::string_view rec) { put_record(*u, rec); });
  } catch (const FormatError& e) {
    fail(unit, std::string("bad format ") + std::string(fmt) + ": " + e.what());
  }
}

void write_list(int unit, std::initializer_list<Out> items) {
  write_list(unit, std::span<const Out>(items.begin(), items.size()));
}

void write_list(int unit, std::span<const Out> items) {
  Unit* u = connect(unit, true, OnErr::Abort);
  for (const std::string& rec : list_records(items)) put_record(*u, rec);
}

IoStat read_record(int unit, std::string& record, OnErr on) {
  Unit* u = connect(unit, false, on);
  if (!u) return IoStat::Error;
  if (!get_record(*u, record)) {
    if (std::ferror(u->fp)) return failed(unit, on, IoStat::Error, std::strerror(errno));
    return failed(unit, on, IoStat::End, "end of file");
  }
  return IoStat::Ok;
}

IoStat read_fmt(int unit, std::string_view fmt, std::initializer_list<In> items, OnErr on) {
  return read_fmt(unit, fmt, std::span<const In>(items.begin(), items.size()), on);
}

IoStat read_fmt(int unit, std::string_view fmt, std::span<const In> items, OnErr on) {
  Unit* u = connect(unit, false, on);
  if (!u) return IoStat::Error;
  IoStat st;
  try {
    st = Format::cached(fmt).read(items, [u](std::string& rec) { return get_record(*u, rec); });
  } catch (const FormatError& e) {
    return failed(unit, on, IoStat::Error, std::string("bad format ") + std::string(fmt) + ": " + e.what());
  }
  if (st == IoStat::End) return failed(unit, on, st, "end of file");
  if (st == IoStat::Error) return failed(unit, on, st, "bad data in formatted read");
  return st;
}

IoStat read_list(int unit, std::initializer_list<In> items, OnErr on) {
  return read_list(unit, std::span<const In>(items.begin(), items.size()), on);
}

IoStat read_list(int unit, std::span<const In> items, OnErr on) {
  Unit* u = connect(unit, false, on);
  if (!u) return IoStat::Error;
  const IoStat st = list_read(items, [u](std::string& rec) { return get_record(*u, rec); });
  if (st == IoStat::End) return failed(unit, on, st, "end of file");
  if (st == IoStat::Error) return failed(unit, on, st, "bad data in list-directed read");
  return st;
}

std::string write_internal(std::string_view fmt, std::initializer_list<Out> items) {
  return write_internal(fmt, std::span<const Out>(items.begin(), items.size()));
}

std::string write_internal(std::string_view fmt, std::span<const Out> items) {
  std::string out;
  bool first = true;
  Format::cached(fmt).write(items, [&](std::string_view rec) {
    if (!first) out.push_back('\n');
    out.append(rec);
    first = false;
  });
  return out;
}

namespace {
// Record source over an internal file: its lines in turn.
struct InternalSource {
  std::string_view text;
  std::size_t pos = 0;
  bool done = false;
  bool operator()(std::string& rec) {
    if (done) return false;
    const auto nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      rec.assign(text.substr(pos));
      done = true;
    } else {
      rec.assign(text.substr(pos, nl - pos));
      pos = nl + 1;
    }
    return true;
  }
};

// The status of an internal read; unhandled, a failure ends the run with its report.
IoStat internal_status(std::string_view text, IoStat st, OnErr on, const char* kind) {
  if (st != IoStat::Ok && on == OnErr::Abort) {
    std::fflush(stdout);
    std::fprintf(stderr, "Qv I/O error on internal file \"%.*s\": %s\n", static_cast<int>(text.size()),
                 text.data(), st == IoStat::End ? "end of record" : (std::string("bad data in ") + kind + " read").c_str());
    abort_run();
  }
  return st;
}
}  // namespace

IoStat read_internal(std::string_view text, std::string_view fmt, std::initializer_list<In> items, OnErr on) {
  return read_internal(text, fmt, std::span<const In>(items.begin(), items.size()), on);
}

IoStat read_internal(std::string_view text, std::string_view fmt, std::span<const In> items, OnErr on) {
  InternalSource src{text};
  IoStat st;
  try {
    st = Format::cached(fmt).read(items, [&src](std::string& rec) { return src(rec); });
  } catch (const FormatError& e) {
    st = IoStat::Error;
  }
  return internal_status(text, st, on, "formatted");
}

IoStat read_internal_list(std::string_view text, std::initializer_list<In> items, OnErr on) {
  return read_internal_list(text, std::span<const In>(items.begin(), items.size()), on);
}

IoStat read_internal_list(std::string_view text, std::span<const In> items, OnErr on) {
  InternalSource src{text};
  const IoStat st = list_read(items, [&src](std::string& rec) { return src(rec); });
  return internal_status(text, st, on, "list-directed");
}

namespace {
// The unit of a direct-access transfer of n bytes to or from record rec,
// positioned at that record; nullptr after a failure (reported or returned
// in st).
Unit* direct_record(int unit, int rec, std::size_t n, Unit::Last mode, OnErr on, IoStat& st) {
  st = IoStat::Error;
  Unit* u = valid(unit) ? &table().u[static_cast<std::size_t>(unit)] : nullptr;
  if (!u || !u->fp || !u->direct) {
    failed(unit, on, st, "unit is not open for direct access");
    return nullptr;
  }
  if (rec < 1) {
    failed(unit, on, st, "record number below 1");
    return nullptr;
  }
  if (n > static_cast<std::size_t>(u->recl)) {
    failed(unit, on, st, "record longer than the record length");
    return nullptr;
  }
  switch_to(*u, mode);
  if (std::fseek(u->fp, static_cast<long>(rec - 1) * u->recl, SEEK_SET) != 0) {
    failed(unit, on, st, std::strerror(errno));
    return nullptr;
  }
  st = IoStat::Ok;
  return u;
}
}  // namespace

IoStat write_direct(int unit, int rec, std::span<const std::uint8_t> bytes, OnErr on) {
  IoStat st;
  Unit* u = direct_record(unit, rec, bytes.size(), Unit::Last::Write, on, st);
  if (!u) return st;
  // A shorter record is padded with zero bytes to the record length.
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(u->recl), 0);
  std::memcpy(buf.data(), bytes.data(), bytes.size());
  if (std::fwrite(buf.data(), 1, buf.size(), u->fp) != buf.size() || std::fflush(u->fp) != 0)
    return failed(unit, on, IoStat::Error, std::strerror(errno));
  return IoStat::Ok;
}

IoStat read_direct(int unit, int rec, std::span<std::uint8_t> bytes, OnErr on) {
  IoStat st;
  Unit* u = direct_record(unit, rec, bytes.size(), Unit::Last::Read, on, st);
  if (!u) return st;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(u->recl), 0);
  if (std::fread(buf.data(), 1, buf.size(), u->fp) != buf.size())
    return failed(unit, on, IoStat::End, "record " + std::to_string(rec) + " lies beyond the end of the file");
  std::memcpy(bytes.data(), buf.data(), bytes.size());
  return IoStat::Ok;
}

void close_all_units() {
  for (int i = 0; i < 100; ++i) close_unit(i);
}

}  // namespace qv::runtime
