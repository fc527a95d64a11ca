#include "jobbase/htmlrep.hpp"

#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::write_list;
using runtime::kStdout;

namespace {
// Footer text chosen for Qv.
constexpr const char* kMaintainers = "qv-maintainers@example.org";
constexpr const char* kInstitution = " Qv project</b> </address>";
}  // namespace

std::string HTANCH(int n, int twoform) {
  std::string id = twoform != 0 ? runtime::write_internal("(2I5)", {MAINPR.JOBNO, n})
                                : runtime::write_internal("(5X,I5)", {n});
  id = runtime::fpad(id, 10);
  for (std::size_t i = 0; i < 9; ++i)
    if (id[i] == ' ') id[i] = 'X';
  HTMLST.ANCHID = id;
  return id;
}

void HTPRE(int request) {
  if (request == 1 && !HTMLST.PRESTA) {
    write_list(kStdout, {" <PRE>"});
    HTMLST.PRESTA = true;
  } else if (request == 0 && HTMLST.PRESTA) {
    write_list(kStdout, {" </PRE>"});
    HTMLST.PRESTA = false;
  }
}

void WARNHD() {
  auto& m = MAINPR;
  m.NWARN += 1;
  if (m.HTMLON) {
    const std::string id = HTANCH(m.NWARN, 1);
    write_list(kStdout, {"<A NAME=Warning", id, "> <H3> *** Warning! ***</H3></A>"});
  } else {
    write_list(kStdout, {" *** WARNING! ***"});
  }
}

void HTJOB(int job, int mode) {
  HTPRE(0);
  write_list(kStdout, {" <BR> <HR> "});
  std::string id = HTANCH(job, 0);
  if (mode == 1) {
    write_list(kStdout, {" <H1> <A NAME=Job", id, "> Job number ", job, "</A>"});
    if (job != 1) {
      const std::string prev = HTANCH(job - 1, 0);
      write_list(kStdout, {" <A HREF=\"#Job", prev, "\"> Previous </A>"});
    }
    const std::string next = HTANCH(job + 1, 0);
    write_list(kStdout, {"  <A HREF=\"#Job", next, "\"> Next </H1></A>"});
    id = HTANCH(job, 0);
  } else {
    write_list(kStdout, {" <H4> Job number ", job, "</H4></A>"});
  }
  write_list(kStdout, {" <UL> "});
  write_list(kStdout, {" <LI> <A HREF=\"#Job", id, "\"> Input Stream</A>"});
  write_list(kStdout, {" <LI> <A HREF=\"#Specification", id, "\"> Parameter Specification</A>"});
  write_list(kStdout, {" <LI> <A HREF=\"#Estimates", id, "\"> Parameter Estimates</A>"});
  write_list(kStdout, {" <LI> <A HREF=\"#Fit", id, "\"> Fit Statistics</A>"});
  write_list(kStdout, {" <LI> <A HREF=\"#Warning", id, "\"> Warnings</A>"});
  write_list(kStdout, {" <LI> <A HREF=\"#Index\"> Index of all jobs</A>"});
  write_list(kStdout, {" </UL> "});
  HTPRE(1);
}

void HTGRP(std::span<const double> X, int g, int NG, bool forward, std::string_view prefix) {
  const runtime::Vec1<const double> x(X);
  const int step = forward ? 1 : -1;
  for (int k = g + step; k >= 1 && k <= NG; k += step) {
    // The group's NO column is 1 when its output is suppressed.
    if (GRPTAB(x, NG, gcol::kNoReport, k) != 1.0) {
      const std::string id = HTANCH(k, 1);
      write_list(kStdout, {" <A HREF=\"#", prefix, id, "\"><STRONG>",
                           runtime::fpad(forward ? "Next" : "Previous", 8), " Group </STRONG></A>"});
      return;
    }
  }
  if (forward)
    write_list(kStdout, {" <STRONG> (Remaining groups have output suppressed)</STRONG>"});
  else
    write_list(kStdout, {" <STRONG> (Previous groups have output suppressed)</STRONG>"});
}

void HTFOOT() {
  const std::string mail = std::string(" <A HREF=\"mailto:") + kMaintainers + "\"><I>" + kMaintainers +
                           "</I></A>";
  write_list(kStdout, {" <address> <b> ", " Qv: the Qv maintainers</b>",
                       " Please report bugs, comments, questions etc. to", mail, kInstitution,
                       "<HR></body></HTML>"});
}

namespace {
// Length without trailing blanks and control characters.
std::string_view clean(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
  return s.substr(0, n);
}
}  // namespace

void HTNAV(std::string_view target1, std::string_view text1, std::string_view target2,
           std::string_view text2, std::string_view target3, std::string_view text3) {
  const std::string img(clean(MAINPR.IMGURL));
  const std::string t1(clean(target1));
  write_list(kStdout, {" <A HREF=\"#" + t1 + "\"><IMG ALT=\"next\" SRC=\"" + img + "next.gif\"></A>",
                       " <IMG ALT=\"up\" SRC=\"" + img + "up.gif\">",
                       " <IMG ALT=\"previous\" SRC=\"" + img + "previous.gif\">", " <BR> <B>"});
  const std::string_view targets[3] = {target1, target2, target3};
  const std::string_view texts[3] = {text1, text2, text3};
  for (int i = 0; i < 3; ++i) {
    if (clean(texts[i]).empty()) continue;
    write_list(kStdout, {" Next:</B> <A HREF=\"#", clean(targets[i]), "\">", clean(texts[i]), "</A>"});
  }
}

void DBGDMP(std::span<const double> X, int NG) {
  const runtime::Vec1<const double> x(X);
  for (int g = 1; g <= NG; ++g) {
    const int addr = static_cast<int>(GRPTAB(x, NG, gcol::kIdCodes, g));
    write_list(kStdout, {" Group ", g, " Address is:", addr});
    write_list(kStdout, {" Codes are:"});
    const int n = static_cast<int>(GRPTAB(x, NG, gcol::kNvar, g));
    if (addr >= 1 && n > 0 && addr + n - 1 <= x.extent())
      write_list(kStdout, {std::span<const double>(x.ptr(addr), static_cast<std::size_t>(n))});
  }
}

}  // namespace qv::jobbase
