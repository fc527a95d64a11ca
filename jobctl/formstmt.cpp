// Stand-in for the formula statements until the formula compiler is built:
// the statement is passed over, so that scripts with formulas read through.
// A formula ends at its ";" or "/"; an algebra section ends at its "End
// Algebra" line.  Nothing is compiled or stored.
#include "jobctl/formstmt.hpp"

#include "jobctl/errmsg.hpp"
#include "jobctl/rdline.hpp"
#include "jobctl/stmtaux.hpp"

namespace qv::jobctl {

using namespace stmt;

void FORMST() {
  auto& c = CURSOR;
  if (begins("BE")) {
    const int k = next_word_col(c.ICOL);
    if (k == 0 || line_from(k).substr(0, 2) != "AL") {
      if (k != 0) c.ICOL = k;
      ERRMSG(159);
    }
    for (;;) {
      RDLINE();
      if (c.ICOL == 0) return;
      if (begins("EN")) {
        const int e = next_word_col(c.ICOL);
        if (e != 0 && line_from(e).substr(0, 2) == "AL") break;
      }
    }
    RDLINE();
    return;
  }
  for (;;) {
    const std::string_view rest = line_from(c.ICOL);
    if (rest.find(';') != std::string_view::npos || rest.find('/') != std::string_view::npos) break;
    RDLINE();
    if (c.ICOL == 0) return;
  }
  RDLINE();
}

}  // namespace qv::jobctl
