#include "jobctl/femeta.hpp"

#include <string>
#include <string_view>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/fejob.hpp"
#include "jobctl/savefile.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kPutUnit;
using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {

// Longest file name of PUT, GET and EXIST.
constexpr int kPutNameLen = 120;

// The word of the meta line that begins at column 3 matches word on its
// leading word.size() characters (the line is blank-padded).
bool meta_word(std::string_view word) { return std::string_view(LINBUF.WORK).substr(2, word.size()) == word; }

// The reply of a "!@DUMP" that has no job description to send.
void dump_refused() {
  FEMODE('H');
  write_list(kStdout, {" Error: Qv has not yet read a full script"});
  FEMODE('H');
}

// Column of the file name on the current line: the first column after the
// command word and the blanks and commas that follow it, or 0 when the line
// ends first.  The cursor is left there (past the line when there is none).
int name_column() {
  auto& c = CURSOR;
  const std::string_view line = LINBUF.LINE;
  int col = 1;
  while (col <= c.LLEN && line[col - 1] != ' ' && line[col - 1] != ',') ++col;
  while (col <= c.LLEN && (line[col - 1] == ' ' || line[col - 1] == ',')) ++col;
  c.ICOL = col;
  return col <= c.LLEN ? col : 0;
}

// Makes name the scratch file name that the error report quotes.
void set_filnam(std::string_view name) { INCSTK.FILNAM = runtime::fpad(name, 80); }

// Opens name on kPutUnit with the given status; a failing open is error 223
// with the name in the report.
void open_put_unit(const std::string& name, const char* status) {
  runtime::OpenSpec spec;
  spec.file = name;
  spec.status = status;
  if (runtime::open_unit(kPutUnit, spec, runtime::OnErr::Return) != runtime::IoStat::Ok) {
    set_filnam(name);
    ERRMSG(223);
  }
}

// PUT: the lines after the command, up to one beginning "!@END", into the
// file.  They are read from the file that holds the command.
void put_lines(const std::string& name, bool overwrite) {
  auto& m = MAINPR;
  if (runtime::file_exists(name) && !overwrite) {
    set_filnam(name);
    ERRMSG(200);
  }
  // An existing file is replaced, so that it holds exactly the lines put
  // (also when there are none).
  open_put_unit(name, "REPLACE");
  write_list(kStdout, {" Note: Put is saving lines to file ", name});

  int n = 0;
  std::string rec;
  for (;;) {
    if (runtime::read_record(INCSTK.INUNIT, rec, runtime::OnErr::Return) != runtime::IoStat::Ok) {
      // The input ended before the end line: keep what was collected.
      runtime::close_unit(kPutUnit);
      jobbase::WARNHD();
      write_list(kStdout, {" End of input before !@END: Put closed the file"});
      write_list(kStdout, {" Note: Put saved", n, " lines to file ", name});
      return;
    }
    m.LINENO += 1;
    std::string line = runtime::fpad(rec, LINMAX);
    LJUST(line);
    std::string head = line.substr(0, 5);
    UPCASE(head, 5);
    if (head == "!@END") {
      write_list(kStdout, {" Note: Put saved", n, " lines to file ", name});
      runtime::close_unit(kPutUnit);
      return;
    }
    const std::string_view kept = runtime::trim_right(line);
    write_fmt(kPutUnit, "(A)", {kept});
    write_fmt(kStdout, "(A)", {kept});
    ++n;
  }
}

// GET: the file's lines to standard output.
void get_lines(const std::string& name) {
  if (!runtime::file_exists(name)) {
    set_filnam(name);
    ERRMSG(169);
  }
  open_put_unit(name, "OLD");
  int n = 0;
  std::string rec;
  while (runtime::read_record(kPutUnit, rec, runtime::OnErr::Return) == runtime::IoStat::Ok) {
    write_fmt(kStdout, "(A)", {runtime::trim_right(rec)});
    ++n;
  }
  write_list(kStdout, {" !@END;"});
  FEMODE('H');
  write_list(kStdout, {" Note: Get retrieved", n, " lines from file"});
  runtime::close_unit(kPutUnit);
}

// EXIST: 1 or 0 in machine-readable form, then a sentence.
void exist_answer(const std::string& name) {
  const bool there = runtime::file_exists(name);
  FEMODE('M');
  write_fmt(kStdout, "(I1)", {there ? 1 : 0});
  FEMODE('H');
  write_fmt(kStdout, "(3A)", {" File ", name, there ? " exists." : " doesn't exist."});
}

}  // namespace

void FEMODE(char L) {
  if (L == 'M')
    write_fmt(kStdout, "(a10)", {TOKMAC});
  else if (L == 'H')
    write_fmt(kStdout, "(a8)", {TOKHUM});
  else if (L == 'D')
    write_list(kStdout, {TOKDBG});
}

void GETPUT(std::string_view WORD) {
  auto& b = LINBUF;
  auto& c = CURSOR;
  // Errors show the line as every other line is shown: upper case.
  UPCASE(b.LINE, c.LLEN);
  const int col = name_column();
  if (col == 0) ERRMSG(198);
  std::string name = runtime::fpad(std::string_view(b.RAWLIN).substr(col - 1, c.LLEN - col + 1), kPutNameLen);
  LJUST(name);
  name = std::string(runtime::trim_right(name));

  const std::string word = runtime::fpad(WORD, 5);
  if (word.compare(0, 3, "PUT") == 0)
    put_lines(name, word[3] == '!');
  else if (word.compare(0, 3, "GET") == 0)
    get_lines(name);
  else
    exist_answer(name);
}

MetaAct FEMETA() {
  auto& fe = FESTAT;
  const std::string_view work = LINBUF.WORK;
  if (meta_word("PING")) {
    FEMODE('M');
    write_list(kStdout, {TOKPNG});
    FEMODE('H');
    return MetaAct::Consumed;
  }
  if (meta_word("FRONT")) {
    fe.FEACTV = true;
    write_list(kStdout, {TOKRDY});
    write_list(kStdout, {TOKHUM});
    return MetaAct::Consumed;
  }
  if (meta_word("NOAUTODUMP")) {
    fe.AUTODMP = false;
    return MetaAct::Consumed;
  }
  if (meta_word("DUMP")) {
    if (fe.SCRDONE) return MetaAct::PassOn;
    dump_refused();
    return MetaAct::Refused;
  }
  if (meta_word("PUT") || meta_word("GET") || meta_word("EXIST")) {
    GETPUT(work.substr(2, 5));
    return MetaAct::Consumed;
  }
  if (meta_word("BYE! ")) {
    FEMODE('M');
    runtime::stop();
  }
  write_list(kStdout, {" Note: Meta command not recognized"});
  return MetaAct::PassOn;
}

void FESAVE() {
  auto& m = MAINPR;
  if (!FESTAT.SCRDONE) {
    report_ignored_error(179);
    return;
  }
  BINOPN(WORKSP.x(), m.WSTOP, IWORKS.ix(), m.IWSTOP, 1, m.MULFIT, m.IGRP, m.NG, m.LABSLOT, m.RDPTR);
  m.SAVED = true;
}

void FEDUMP() {
  const auto& fe = FESTAT;
  if (!fe.MACHOUT) return;
  // The description walks the groups through the current-group cell; the
  // statement reader goes on with the group it was reading.
  const RestoreCell group(MAINPR.IGRP);
  FEJOB(WORKSP.x(), IWORKS.ix(), LABTAB, MAINPR.NG, fe.FEACTV ? 1 : 0, fe.MACHOUT ? 1 : 0);
}

}  // namespace qv::jobctl
