#include "jobctl/mainprog.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "fit/htmlrep.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using runtime::kStdout;
using runtime::write_fmt;
using runtime::write_list;

double WALLSEC() { return runtime::wall_seconds(); }

std::string FMTTIM(double t) {
  const int days = static_cast<int>(t / 86400.0);
  const int hours = static_cast<int>(t / 3600.0) - 24 * days;
  const int minutes = static_cast<int>(t / 60.0) - 60 * static_cast<int>(t / 3600.0);
  const double seconds = t - 60.0 * static_cast<int>(t / 60.0);
  return runtime::fpad(runtime::write_internal("(i3,a1,i2,a1,i2,a1,f5.2)",
                                               {days, ":", hours, ":", minutes, ":", seconds}),
                       15);
}

void RESTRT() {
  write_list(kStdout, {" ** Qv will restart for new script **"});
  MAINPR.MULFIT = 0;
}

void STARTUP(bool html) {
  auto& m = MAINPR;
  m.reset();
  FESTAT.reset();
  fit::HTMLST.reset();

  m.WSLIM = 1000000;
  m.PI = 4.0 * std::atan(1.0);
  m.SAFMIN = std::numeric_limits<double>::min();
  m.MLNSAF = -std::log(m.SAFMIN);
  m.LN1E30 = std::log(1.0E30);

  write_list(kStdout, {});
  m.HTMLON = html ? 1 : 0;
  m.LINENO = 0;
  m.IMGURL = "";

  if (html) {
    write_list(kStdout, {" <!DOCTYPE HTML PUBLIC \"-//W3O//DTD W3 HTML 2.0//EN\">"});
    write_list(kStdout, {"<!-- Qv output: plain HTML 2.0 report -->"});
    write_list(kStdout, {" <HEAD>"});
    write_list(kStdout, {" <TITLE>Qv output file</TITLE>"});
    write_list(kStdout, {" </HEAD> <BODY>"});
    write_list(kStdout, {" <meta name=\"description\" value=\"Qv output\">"});
    write_list(kStdout, {" <meta name=\"keywords\" value=\"Qv\">"});
    write_list(kStdout, {" <meta name=\"resource-type\" value=\"document\">"});
    write_list(kStdout, {" <meta name=\"distribution\" value=\"global\">"});
    write_list(kStdout, {" <H1>Qv output file</H1>"});
    write_list(kStdout, {" <P> <HR>"});
  }

  // The preformatted-block switch writes HTML, so qvt never calls it.
  if (m.HTMLON == 1) fit::HTPRE(1);
  write_list(kStdout, {" ** Qv startup successful **"});
  write_list(kStdout, {});
  write_list(kStdout, {"  **QV-Linux version 1.45**"});
  if (m.HTMLON == 1) {
    fit::HTPRE(0);
    write_list(kStdout, {" <P> <HR>"});
    fit::HTPRE(1);
  }
}

void ENDRUN() {
  auto& m = MAINPR;
  write_list(kStdout, {std::string(78, '_')});
  if (m.HTMLON == 1) {
    fit::HTPRE(0);
    write_list(kStdout, {" <A NAME=Index> <H2>Index</H2></A><UL>"});
    for (int i = 1; i <= m.JOBNO; ++i) fit::HTJOB(i, 2);
    write_list(kStdout, {"</UL> <HR>"});
    const std::string id = fit::HTANCH(m.JOBNO + 1, 0);
    write_list(kStdout, {" <H2> <A NAME=Job", id, "> End of output"});
    write_list(kStdout, {" <A NAME=Fit", id, "> </H2></A>"});
    fit::HTFOOT();
  }
  if (FESTAT.FEACTV != 0 && FESTAT.MACHOUT != 0) write_fmt(kStdout, "(a10)", {"!@machine;"});
}

void MAINPROG(bool html) {
  STARTUP(html);
  // Job loop: until the script reader exists every line is skipped, so an
  // input ends the run as an empty script does.
  std::string line;
  while (runtime::read_record(runtime::kStdin, line, runtime::OnErr::Return) == runtime::IoStat::Ok) {
  }
  ENDRUN();
}

}  // namespace qv::jobctl
