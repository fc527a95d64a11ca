#include "jobbase/rdline.hpp"

#include <algorithm>
#include <string>

#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

namespace {

bool is_blank_or_control(char ch) { return static_cast<unsigned char>(ch) <= 32; }

// End of the current file: false at the end of the script itself (end of
// input), true when an include file was closed and reading goes on in its parent.
bool close_level() {
  auto& inc = INCSTK;
  auto& m = MAINPR;
  if (inc.INCDEP <= 1) {
    CURSOR.ICOL = 0;
    return false;
  }
  runtime::close_unit(inc.INUNIT);
  m.LINENO = inc.LINSAV[inc.INCDEP];
  inc.INCDEP -= 1;
  inc.INUNIT = inc.UNITS[inc.INCDEP];
  write_list(kStdout, {});
  write_list(kStdout, {" Note: Closing #include file", inc.INCDEP});
  write_list(kStdout, {});
  return true;
}

}  // namespace

int LENTRM(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && is_blank_or_control(s[n - 1])) --n;
  return static_cast<int>(n);
}

std::string LJUST(std::string& s) {
  std::size_t lead = 0;
  while (lead < s.size() && s[lead] == ' ') ++lead;
  if (lead > 0 && lead < s.size()) {
    s.erase(0, lead);
    s.append(lead, ' ');
  }
  return runtime::fpad(s, LINMAX);
}

int UPCASE(std::string& s, int N) {
  const int n = std::min<int>(N, static_cast<int>(s.size()));
  for (int i = 0; i < n; ++i) {
    const unsigned char ch = static_cast<unsigned char>(s[i]);
    if (ch >= 'a' && ch <= 'z')
      s[i] = static_cast<char>(ch - 'a' + 'A');
    else if (ch < 32)
      s[i] = ' ';
  }
  return 0;
}

void read_script_from(int unit, const std::string& path) {
  runtime::OpenSpec spec;
  spec.file = path;
  spec.status = "OLD";
  runtime::open_unit(unit, spec);
  INCSTK.INUNIT = unit;
  INCSTK.UNITS[1] = unit;
}

void OPENINC(int& INUNIT, std::array<int, MAXINC + 2>& UNITS, int& INCDEP) {
  auto& b = LINBUF;
  auto& inc = INCSTK;
  const int llen = CURSOR.LLEN;

  int k = 0;
  for (int c = 9; c <= llen; ++c) {
    if (b.LINE[c - 1] == ' ') {
      k = c;
      break;
    }
  }
  if (k == 0) ERRMSG(199);

  inc.FILNAM = runtime::fpad(std::string_view(b.RAWLIN).substr(k - 1, llen - k + 1), 80);
  LJUST(inc.FILNAM);
  const std::string name(runtime::trim_right(inc.FILNAM));
  if (!runtime::file_exists(name)) {
    write_list(kStdout, {});
    ERRMSG(169);
  }

  // The script is read at depth 1 on its own unit; each deeper level takes the
  // unit after its parent's.
  int unit = 0;
  if (INCDEP <= 1) {
    UNITS[1] = INUNIT;
    unit = runtime::kFirstIncUnit;
  } else {
    unit = UNITS[INCDEP] + 1;
  }
  if (INCDEP >= MAXINC || unit > runtime::kLastIncUnit) ERRMSG(213);
  UNITS[INCDEP + 1] = unit;
  INUNIT = unit;

  write_list(kStdout, {});
  write_fmt(kStdout, "(A,I3,1X,A)", {" Note: Opening #include file ", INCDEP, inc.FILNAM});
  write_list(kStdout, {});

  INCDEP += 1;
  runtime::OpenSpec spec;
  spec.file = name;
  spec.status = "UNKNOWN";
  runtime::open_unit(INUNIT, spec);
  inc.INCNAM = inc.FILNAM;
}

void set_meta_handler(MetaHandler handler) { RDHOOK.META = handler; }

void RDLINE() {
  auto& b = LINBUF;
  auto& c = CURSOR;
  auto& inc = INCSTK;
  auto& m = MAINPR;

  b.PRVLIN = b.LINE;
  c.NEWLIN = true;
  std::string rec;
  for (;;) {
    if (runtime::read_record(inc.INUNIT, rec, runtime::OnErr::Return) != runtime::IoStat::Ok) {
      if (close_level()) continue;
      return;
    }
    runtime::fassign(b.LINE, rec);  // in place: views of the line stay valid
    b.RAWLIN = b.LINE;
    m.LINENO += 1;
    c.LLEN = LENTRM(b.LINE);
    if (c.LLEN == 0) continue;

    LJUST(b.RAWLIN);
    runtime::fassign(b.WORK, LJUST(b.LINE));
    c.LLEN = LENTRM(b.LINE);

    if (b.WORK[0] == '!') {
      if (!(c.LLEN >= 2 && b.WORK[1] == '@')) {
        // A comment line is shown whatever the echo says, and never passed on.
        write_fmt(kStdout, "(1x,a)", {std::string_view(b.WORK).substr(0, c.LLEN)});
        continue;
      }
      UPCASE(b.WORK, 32);
      b.META = true;
      const MetaAct act = RDHOOK.META != nullptr ? RDHOOK.META() : MetaAct::PassOn;
      if (act == MetaAct::Consumed) continue;
      // A refused line (a "!@DUMP" before a whole script) has been answered
      // and is skipped like a consumed one.
      if (act == MetaAct::Refused) continue;
    } else if (b.WORK.compare(0, 8, "#INCLUDE") == 0 || b.WORK.compare(0, 8, "#include") == 0) {
      OPENINC(inc.INUNIT, inc.UNITS, inc.INCDEP);
      inc.LINSAV[inc.INCDEP] = m.LINENO;
      m.LINENO = 0;
      continue;
    } else {
      b.META = false;
    }

    UPCASE(b.LINE, c.LLEN);
    if (m.ECHOLN) write_fmt(kStdout, "(1x,a)", {std::string_view(b.LINE).substr(0, c.LLEN)});

    if (!b.META) {
      const std::size_t bang = std::string_view(b.LINE).substr(0, c.LLEN).find('!');
      if (bang != std::string_view::npos) {
        const int oldlen = c.LLEN;
        for (int col = static_cast<int>(bang) + 1; col <= oldlen; ++col) {
          b.LINE[col - 1] = ' ';
          b.RAWLIN[col - 1] = ' ';
        }
        c.LLEN = LENTRM(b.LINE);
        if (c.LLEN == 0) {
          if (m.ECHOLN) write_fmt(kStdout, "(1x,a)", {std::string(oldlen, ' ')});
          continue;
        }
      }
    }

    for (int col = 1; col <= c.LLEN; ++col) {
      if (b.LINE[col - 1] != ' ') {
        c.ICOL = col;
        return;
      }
    }
    if (close_level()) continue;
    return;
  }
}

}  // namespace qv::jobbase
