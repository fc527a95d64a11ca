#include "jobctl/grpstmt.hpp"

#include <string>

#include "jobbase/htmlrep.hpp"
#include "jobbase/errmsg.hpp"
#include "jobctl/labels.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;
using namespace jobbase::stmt;

void LASTMT() {
  auto& m = MAINPR;
  const GroupView G = current_group();
  auto X = G.X;
  NEXTWD();
  const char rc = cur();
  if (rc != 'R' && rc != 'C') ERRMSG(120);
  NEXTWD();
  int flag = 0;
  const int L = LETIDX(cur(), flag);
  if (flag != 0) ERRMSG(5);
  const int type = icell(G.type(L));
  if (type == kTypeUndeclared) ERRMSG(121);
  const int rows = icell(G.rows(L));
  const int cols = icell(G.cols(L));
  bool made = false;
  int blk = icell(G.label(L));
  if (blk == 0) {
    CHKMEM(m.RDPTR + 2);
    blk = m.RDPTR;
    X(blk) = 0.0;
    X(blk + 1) = 0.0;
    X(blk + 2) = m.LABSLOT;
    G.label(L) = blk;
    m.RDPTR += 3;
    made = true;
  }
  if (type >= kTypeZero && type <= kTypeZeroId) {
    jobbase::WARNHD();
    write_list(kStdout, {" I won't use labels for a matrix without free elements"});
  }
  const int first = static_cast<int>(X(blk + 2));
  // The labels follow the letter on the line (or on the lines after it).
  if (rc == 'R') {
    X(blk) = 1.0;
    RDLAB(first, rows);
  } else {
    X(blk + 1) = 1.0;
    RDLAB(first + rows, cols);
  }
  if (made) m.LABSLOT += rows + cols;
}

void POSTMT() {
  auto& m = MAINPR;
  const GroupView G = current_group();
  auto X = G.X;
  CHKMEM(m.RDPTR);
  const int word = m.RDPTR;
  IGRPTB(IWORKS.ix(), G.NG, igcol::kPower, G.g) = word;
  m.RDPTR += 1;
  NEXTWD();
  int flag = 0;
  const char ch = cur();
  const int L = LETIDX(ch, flag);
  if (flag != 0) ERRMSG(145);
  int type = icell(G.type(L));
  const int rows = icell(G.rows(L));
  const int cols = icell(G.cols(L));
  const std::string letter(1, ch);
  if (type == kTypeUndeclared) {
    write_list(kStdout, {" Matrix ", letter, " not defined"});
    ERRMSG(145);
  }
  if (rows != 1 || cols != 2) {
    write_list(kStdout, {" Matrix ", letter, " has ", rows, " rows and ", cols, " columns"});
    ERRMSG(145);
  }
  // The values follow the matrix's specification numbers.
  X(word) = G.addr(L) + NELEM(type, rows, cols);
}

void DISTMT() {
  double& flags = current_group().col(gcol::kCaseDepend);
  int k = next_word_col(CURSOR.ICOL);
  while (k != 0) {
    const std::string_view w = line_from(k).substr(0, 2);
    if (w == "ME") flags += 1.0;
    if (w == "CO") flags += 2.0;
    k = next_word_col(k);
  }
  CURSOR.ICOL = CURSOR.LLEN + 1;
}

void ICSTMT() {
  auto& m = MAINPR;
  auto& c = CURSOR;
  const GroupView G = current_group();
  auto X = G.X;
  NEXTWD();
  const int n = G.icol(gcol::kNvar);
  CHKMEM(m.RDPTR + n);
  MTICCS(X, G.B()) = m.RDPTR;
  for (int i = 0; i < n; ++i) {
    RDNUM();
    X(m.RDPTR + i) = c.RVALUE;
  }
  m.RDPTR += n;
  GRPSTM.ICREAD = true;
}

}  // namespace qv::jobctl
