// Options files and their units.
#include "optim/optfile.hpp"

#include <array>

#include "optkern/machine.hpp"
#include "optim/options.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::optim {

using namespace optkern;
using runtime::feq;

namespace {

constexpr std::size_t kLineLen = 72;

// Reads the next line (72 characters, blank-padded).  A read that fails is
// taken as the end of the file.
bool next_line(int unit, std::string& buffer) {
  buffer.assign(kLineLen, ' ');
  return runtime::read_fmt(unit, "(a)", {buffer}, runtime::OnErr::Return) == runtime::IoStat::Ok;
}

// The first word of a line, upper-cased and 16 characters long.
std::string first_word(const std::string& line) {
  std::array<std::string, 1> tok;
  int count = 1;
  TOKSPLT(line, count, tok);
  return tok[0];
}

void message(int printunit, std::string_view fmt, int unit) {
  if (printunit > 0) runtime::write_fmt(printunit, fmt, {unit});
}

}  // namespace

void OPTFIL(int unit, int printunit, int& inform, OptionParser parser) {
  bool listing = true;
  if (unit >= 100) {
    inform = 1;
    return;
  }

  // Look for BEGIN.
  std::string buffer;
  bool firstline = true;
  for (;;) {
    if (!next_line(unit, buffer)) {
      message(printunit,
              "(//' XXX  End-of-file encountered while looking for',' an OPTIONS file on unit',i6)", unit);
      inform = 3;
      return;
    }
    const std::string key = first_word(buffer);
    if (feq(key, "ENDRUN")) {
      if (printunit > 0) runtime::write_fmt(printunit, "(// 6X, A)", {buffer});
      inform = 4;
      return;
    }
    if (feq(key, "BEGIN")) break;
    if (firstline && !feq(key, "SKIP") && printunit > 0) {
      runtime::write_fmt(printunit,
                         "(//' XXX  Error while looking for an OPTIONS file on unit',i7/"
                         "' XXX  The file should start with BEGIN, SKIP or ENDRUN'/"
                         "' XXX  but the first record found was the following:'//"
                         "' ---->',a//' XXX  Continuing to look for OPTIONS file...')",
                         {unit, buffer});
    }
    firstline = false;
  }

  // The block: the first line after BEGIN opens the listing.
  const std::string begin = buffer;
  std::string key;
  auto end_in_block = [&] {
    message(printunit, "(//' XXX  End-of-file encountered while processing',' an OPTIONS file on unit',i6)",
            unit);
    inform = 2;
  };
  if (!next_line(unit, buffer)) {
    end_in_block();
    return;
  }
  parser(printunit, buffer, key);
  std::string word = first_word(buffer);
  if (feq(word, "NOLIST")) listing = false;
  if (listing && printunit > 0) {
    runtime::write_fmt(printunit, "(// A / A /)", {" OPTIONS file", " ------------"});
    runtime::write_fmt(printunit, "(6X, A )", {begin, buffer});
  }
  while (!feq(word, "END")) {
    if (!next_line(unit, buffer)) {
      end_in_block();
      return;
    }
    if (listing && printunit > 0) runtime::write_fmt(printunit, "( 6X, A )", {buffer});
    parser(printunit, buffer, key);
    word = first_word(buffer);
    if (feq(word, "LIST")) listing = true;
    if (feq(word, "NOLIST")) listing = false;
  }
  inform = 0;
}

namespace {

template <class State>
void options_file(State& st, bool& routine_first, OptionParser parser, int unit, int& inform) {
  if (routine_first) {
    routine_first = false;
    MCHSET();
    st.nout = static_cast<int>(MCHTAB(11));
  }
  st.newopt = true;
  OPTFIL(unit, st.nout, inform, parser);
}

}  // namespace

void NPOPFL(int unit, int& inform) { options_file(NPOSTAT, NPOSTAT.npopln_first, NPOPTL, unit, inform); }

void LSOPFL(int unit, int& inform) { options_file(LSOSTAT, LSOSTAT.lsopln_first, LSOPTL, unit, inform); }

void UNOPEN(int unit, std::string_view mode) {
  runtime::OpenSpec spec;
  if (mode == "IN ") {
    spec.status = "OLD";
    runtime::open_unit(unit, spec);
    runtime::rewind_unit(unit);
  } else if (mode == "OUT") {
    spec.status = "UNKNOWN";
    runtime::open_unit(unit, spec);
  }
}

void UNCLOS(int unit) { runtime::close_unit(unit); }

}  // namespace qv::optim
