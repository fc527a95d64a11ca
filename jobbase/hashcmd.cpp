#include "jobbase/hashcmd.hpp"

#include <string>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

void NAMLUK(const std::string& name, double& value, int& found) {
  const auto& nv = NAMVAR;
  for (int i = 1; i <= nv.NNAMES; ++i) {
    if (runtime::feq(runtime::fpad(nv.NAMES[i], 32), runtime::fpad(name, 32))) {
      value = nv.VALUES[i];
      found = 1;
      return;
    }
  }
  found = 0;
}

void HASHCMD(runtime::Vec1<double> X, int& RESULT) {
  auto& c = CURSOR;
  auto& m = MAINPR;
  auto& nv = NAMVAR;
  const std::string_view line(LINBUF.LINE);
  const std::string_view word = line.substr(c.ICOL - 1);

  if (word.substr(0, 2) == "#G") {
    // Choice of the group whose matrices the following statements change.
    if (m.MULFIT != 1) ERRMSG(163);
    m.GRPSEL = true;
    NEXTWD();
    RDNUM();
    const int n = c.IVALUE;
    if (n < 1 || n > m.NG) ERRMSG(117);
    m.IGRP = n;
    RESULT = GroupView{X, m.NG, n}.B();
    return;
  }

  if (word.substr(0, 5) == "#PATH") {
    // Accepted and ignored; the cursor only moves within the line, so a
    // bare "#PATH" does not swallow the next line.
    while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ') ++c.ICOL;
    while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
    return;
  }

  // "#define name value": a repeated name keeps its slot and takes the new value.
  NEXTWD();
  std::string name;
  RDWORD(name, 0);
  RDNUM();
  const double value = c.RVALUE;
  for (int i = 1; i <= nv.NNAMES; ++i) {
    if (runtime::feq(nv.NAMES[i], name)) {
      WARNHD();
      runtime::write_list(runtime::kStdout, {" Global variable previously defined.  Updated"});
      nv.VALUES[i] = value;
      return;
    }
  }
  if (nv.NNAMES >= MAXNAM) ERRMSG(164);
  nv.NNAMES += 1;
  nv.NAMES[nv.NNAMES] = runtime::fpad(name, 32);
  nv.VALUES[nv.NNAMES] = value;
}

}  // namespace qv::jobbase
