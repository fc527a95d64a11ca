#include "jobctl/mainprog.hpp"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "fit/fit.hpp"
#include "fit/areas.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobctl/datkey.hpp"
#include "jobctl/defvar.hpp"
#include "jobbase/errmsg.hpp"
#include "jobctl/formstmt.hpp"
#include "jobctl/fejob.hpp"
#include "jobctl/femeta.hpp"
#include "jobctl/grpline.hpp"
#include "jobctl/grpstmt.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobctl/matdata.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/matutil.hpp"
#include "jobctl/options.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/savefile.hpp"
#include "jobctl/specstmt.hpp"
#include "jobbase/stmtaux.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "optim/options.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/packidx.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
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

void reset_all_areas() {
  fit::reset_areas();
  optim::NPOPTS.reset();
  optim::NPOSTAT.reset();
  optim::LSOSTAT.reset();
  GRPSTM.reset();
  MATDST.reset();
  DEFSTA.reset();
  DATKST.reset();
  DATFIL.reset();
  BINSAV.reset();
  set_meta_handler(FEMETA);
}

void run_script_file(const std::string& path, int unit, bool html) {
  runtime::close_all_units();
  reset_all_areas();
  read_script_from(unit, path);
  const runtime::StopSeam seam;
  try {
    MAINPROG(html);
  } catch (const runtime::RunStopped&) {
  }
  runtime::close_all_units();
}

void RESTRT() {
  write_list(kStdout, {" ** Qv will restart for new script **"});
  MAINPR.MULFIT = 0;
}

void STARTUP(bool html) {
  auto& m = MAINPR;
  m.reset();
  FESTAT.reset();
  FITOPT.ISNULL = false;
  jobbase::HTMLST.reset();
  // The line reader hands "!@" lines to the front-end commands.
  set_meta_handler(FEMETA);

  m.WSLIM = 1000000;
  m.PI = numlib::PICONST();
  m.SAFMIN = numlib::SAFEMIN();
  m.MLNSAF = -std::log(m.SAFMIN);
  m.LN1E30 = std::log(1.0E30);

  // Unit 7 takes the optimizer's option echo and the library's messages.
  // Until a fit names it OPTDUMP.OUT it is a scratch file, so no "fort.7"
  // is left in the user's directory (an NP options file echoes there while
  // the options line is read).
  runtime::open_unit(runtime::kMsgUnit, {"", "SCRATCH"});

  write_list(kStdout, {});
  m.HTMLON = html;
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
  if (m.HTMLON) jobbase::HTPRE(1);
  write_list(kStdout, {" ** Qv startup successful **"});
  write_list(kStdout, {});
  write_list(kStdout, {"  **QV-Linux version 1.45**"});
  if (m.HTMLON) {
    jobbase::HTPRE(0);
    write_list(kStdout, {" <P> <HR>"});
    jobbase::HTPRE(1);
  }
}

void ENDRUN() {
  auto& m = MAINPR;
  write_list(kStdout, {std::string(78, '_')});
  if (m.HTMLON) {
    jobbase::HTPRE(0);
    write_list(kStdout, {" <A NAME=Index> <H2>Index</H2></A><UL>"});
    for (int i = 1; i <= m.JOBNO; ++i) jobbase::HTJOB(i, 2);
    write_list(kStdout, {"</UL> <HR>"});
    const std::string id = jobbase::HTANCH(m.JOBNO + 1, 0);
    write_list(kStdout, {" <H2> <A NAME=Job", id, "> End of output"});
    write_list(kStdout, {" <A NAME=Fit", id, "> </H2></A>"});
    jobbase::HTFOOT();
  }
  if (FESTAT.FEACTV && FESTAT.MACHOUT) write_fmt(kStdout, "(a10)", {"!@machine;"});
}

namespace {

using stmt::begins;

// The current line as the reader keeps it, up to its length.
std::string_view current_line() {
  return std::string_view(LINBUF.LINE).substr(0, static_cast<std::size_t>(std::max(CURSOR.LLEN, 0)));
}

// How the reading of a group's material ended.
enum class GroupEnd { End, Restart };

// Quit command: the run ends at once.
[[noreturn]] void quit_run() {
  write_list(kStdout, {" ** Qv quitting **"});
  write_fmt(kStdout, "(a10)", {"!@machine;"});
  runtime::stop();
}

// "!@BYE" / "!@EXIT" where a statement is expected: quit when the model is
// saved or the command ends with "!", otherwise warn and read on.
void bye_command() {
  if (MAINPR.SAVED || begins("!@BYE!") || begins("!@EXIT!")) quit_run();
  jobbase::WARNHD();
  write_list(kStdout, {" Unsaved changes exist.  Use !@BYE! to quit without saving"});
}

// Front-end words where a model statement is expected.  Returns true when
// the line was one of them (the caller then reads on), and sets restart for
// "!@NEW".  Any other "!@" word is an ordinary line there, refused as an
// unknown word.
bool statement_meta(bool& restart) {
  restart = false;
  if (!begins("!@")) return false;
  if (begins("!@NEW")) {
    RESTRT();
    restart = true;
  } else if (begins("!@BYE") || begins("!@EXIT")) {
    bye_command();
  } else if (begins("!@GO")) {
    if (!FESTAT.SCRDONE) write_list(kStdout, {" Cannot !@go yet because last end statement not yet read"});
  } else if (begins("!@SAVE")) {
    FESAVE();
  } else if (begins("!@DUMP")) {
    FEDUMP();
  } else {
    return false;
  }
  return true;
}

// The rest of a group after its group line: data keywords, matrices,
// statements and options, up to the End that closes the group.  Entered
// with the first line of that material read.  The matrix section opens at a
// "MAT" line (or "BE" before the group has its matrix table); after it the
// statement reader takes each statement line; then come this loop's own
// words: the "!@" words, an "EN" line, the options line (OU and EX end the
// group), and error 95 for any other word.  Ahead of the matrix section only
// "#D", and "DE" or "SE" (back to the data statements), are accepted; any
// other word is error 4.
GroupEnd GRPREST() {
  for (;;) {
    if (CURSOR.ICOL == 0) {
      jobbase::WARNHD();
      write_list(kStdout, {" End of input file but End statement missing!"});
      write_list(kStdout, {" End statement automatically added... "});
      return GroupEnd::End;
    }
    const bool no_table = MAINPR.NG >= 1 && MAINPR.IGRP >= 1 &&
                          current_group().col(gcol::kMattab) == 0.0;
    bool restart = false;
    if (statement_meta(restart)) {
      if (restart) return GroupEnd::Restart;
    } else if (no_table && (begins("MAT") || begins("BE"))) {
      MATDCL();
      continue;
    } else if (no_table && (begins("DE") || begins("SE"))) {
      // Back to the data statements, which return at the matrix section.
      DATDSP();
      continue;
    } else if (no_table && begins("#D")) {
      int unused = 0;
      HASHCMD(WORKSP.x(), unused);
    } else if (no_table) {
      // Before its matrix table exists a group accepts nothing else.
      ERRMSG(4);
    } else if (STMTLN()) {
      continue;
    } else if (begins("EN")) {
      return GroupEnd::End;
    } else if (begins("OP") || begins("OU") || begins("EX")) {
      if (OPTLIN()) return GroupEnd::End;
      if (CURSOR.ICOL == 0) continue;
    } else {
      ERRMSG(95);
    }
    RDLINE();
  }
}

}  // namespace

namespace {

// A record group's identification codes (one per row of the model) are the
// numbers of its IC or CS statement when it had one: column 33 is pointed at
// them.  Returns whether the group had such a list.
bool adopt_ic_list(const GroupView& G) {
  if (G.col(gcol::kRecords) == 0.0 || G.B() < 1) return false;
  const double list = MTICCS(G.X, G.B());
  if (list == 0.0) return false;
  G.col(gcol::kIdCodes) = list;
  return true;
}

}  // namespace

bool end_of_group() {
  auto& m = MAINPR;
  m.NOREAD = 0.0;
  const GroupView G = current_group();
  auto X = G.X;
  const int NG = G.NG;
  const int g = G.g;
  if (NG < 1 || g < 1 || g > NG) return true;  // nothing of the group is stored

  const int fit = G.icol(gcol::kFitCode);
  if (fit == kFitLS && m.NPDFLG) {
    write_list(kStdout, {" INPUT COVARIANCE MATRIX"});
    const int a = G.icol(gcol::kObsData);
    const int ni = G.icol(gcol::kNvar);
    for (int i = 1; i <= ni && a >= 1; ++i) {
      const int first = a + runtime::packed_offset(i, 1);
      write_fmt(kStdout, "(8F10.4)",
                {std::span<const double>(X.ptr(first), static_cast<std::size_t>(i))});
    }
    ERRMSG(31);
  }
  const bool data_group = G.col(gcol::kKind) == kKindData;
  if (fit == kFitML && data_group && m.NOGRP == 0 && G.col(gcol::kNobs) == 0.0) ERRMSG(151);
  const bool no_means = G.col(gcol::kMeansFormula) == 0.0;
  const bool no_cov = G.col(gcol::kCovFormula) == 0.0;
  if (fit == kFitUserRows || fit == kFitRaw || fit == kFitVL) {
    if (no_means) ERRMSG(113);
    if (no_cov) ERRMSG(114);
  } else if (fit == kFitTable) {
    if (no_means) ERRMSG(129);
    if (no_cov) ERRMSG(130);
  } else if (fit == kFitML || (fit == kFitLS && FITOPT.ML)) {
    if ((G.col(gcol::kObsMeans) != 0.0) != !no_means) report_ignored_error(138);
  }
  if (G.col(gcol::kRecords) != 0.0) {
    if (!adopt_ic_list(G) && G.col(gcol::kIdCodes) == 0.0 && m.MULFIT != 1) {
      const int ni = G.icol(gcol::kNvar);
      CHKMEM(m.RDPTR + ni);
      G.col(gcol::kIdCodes) = m.RDPTR;
      for (int i = 1; i <= ni; ++i) X(m.RDPTR + i - 1) = i;
      m.RDPTR += ni;
    }
    if (G.icol(gcol::kFitCode) != kFitOrdMix) G.col(gcol::kFitCode) = kFitVL;
  }
  m.RDPTR += 1;
  m.USEDWS = m.RDPTR - (kGrpCols * NG + 3);

  if (m.CONTJOB) return true;
  if (g < NG) return false;
  GRPTAB(X, NG, gcol::kModelEnd, 1) = m.RDPTR;
  if (m.RDPTR >= 1000001) ERRMSG(10);
  // Trailing calculation groups are evaluated, not fitted.
  for (int k = NG; k >= 1 && GRPTAB(X, NG, gcol::kKind, k) == kKindCalc; --k)
    GRPTAB(X, NG, gcol::kFitCode, k) = kFitTrailCalc;
  return true;
}

void prepare_job() {
  auto& m = MAINPR;
  auto X = WORKSP.x();
  const int NG = m.NG;
  m.WSTOP = m.RDPTR;
  CHKMEM(m.WSTOP);
  for (int g = 1; g <= NG; ++g) GRPLST(X, g, NG, m.WSTOP);
  // A continued job may have given any group a new IC list.
  if (m.CONTJOB)
    for (int g = 1; g <= NG; ++g) adopt_ic_list(GroupView{X, NG, g});
  if (NG >= 1) GRPTAB(X, NG, gcol::kModelEnd, 1) = m.WSTOP;
  for (int g = 1; g <= NG; ++g) {
    // The group's computed matrices and covariance formula, evaluated once;
    // the order of the expected matrix is checked against NI.
    FMPREP(g);
    const GroupView G{X, NG, g};
    if (G.icol(gcol::kFitCode) == kFitOrdMix) {
      const int rec = G.icol(gcol::kRecords);
      if (rec >= 2) PATUPD(X.from(rec - 1));
    }
  }
  // The numerical library's messages and printed matrices go to the report.
  int unit = kStdout;
  numlib::ERRUNIT(1, unit);
  numlib::ADVUNIT(1, unit);
  FESTAT.SCRDONE = true;
}

void JOBSUM() {
  auto& m = MAINPR;
  write_list(kStdout, {});
  // A share of 99.95% or more does not fit F4.1: it is printed in full.
  runtime::write_fmt_full(kStdout, "(a,f4.1,a)",
            {" This problem used ", static_cast<double>(m.WSMAXD) * 100.0 / 1000000.0, "% of my workspace"});
  const double exec = WALLSEC() - m.TSTART - m.TREAD;
  write_list(kStdout, {});
  write_fmt(kStdout, "(a,a15)", {" Task                     Time elapsed (DD:HH:MM:SS)"});
  write_fmt(kStdout, "(a,a15)", {" Reading script & data    ", FMTTIM(m.TREAD)});
  write_fmt(kStdout, "(a,a15)", {" Execution                ", FMTTIM(exec)});
  write_fmt(kStdout, "(a,a15)", {" TOTAL                    ", FMTTIM(m.TREAD + exec)});
  write_list(kStdout, {});
  if (m.HTMLON) write_list(kStdout, {" <A NAME=Warning", jobbase::HTANCH(m.JOBNO, 0), "><H4>"});
  write_list(kStdout, {"Total number of warnings issued:", m.NWARN});
  if (m.HTMLON) {
    write_list(kStdout, {" </H4></A> Warnings issued this job:"});
    for (int k = m.NWARN0 + 1; k <= m.NWARN; ++k)
      write_list(kStdout, {"<A HREF=", "\"", "#Warning", jobbase::HTANCH(k, 1), "\"", ">", k, "</A>"});
  }
  m.NWARN0 = m.NWARN;
  write_list(kStdout, {std::string(78, '_')});
}

void run_job() {
  auto& m = MAINPR;
  m.TREAD = WALLSEC() - m.TSTART;
  if (m.MUREQ) m.MULFIT = 1;
  {
    // The fit walks the groups through the current-group cell; a multiple
    // fit's next job goes on with the group that was current before it.
    const RestoreCell group(m.IGRP);
    fit::FIT(WORKSP.x(), 1000000, IWORKS.ix(), LABTAB, m.LABSLOT);
    FESTAT.JOBRUN = true;
    // With a front end and automatic dump the job description is sent here.
    const auto& fe = FESTAT;
    if (fe.FEACTV && fe.AUTODMP && fe.MACHOUT) FEJOB(WORKSP.x(), IWORKS.ix(), LABTAB, m.NG, 1, 1);
  }
  JOBSUM();
}

namespace {

// Waits for "!@GO" (front end without automatic dump).  Returns false when
// a new job is to start instead.
bool wait_for_go() {
  auto& m = MAINPR;
  RDLINE();
  m.SAVED = false;
  for (;;) {
    if (CURSOR.ICOL == 0) {
      // The input ended before "!@GO": the run ends as at the end of input.
      ENDRUN();
      runtime::stop();
    }
    if (begins("!@GO")) return true;
    if (begins("!@SAVE")) {
      FESAVE();
    } else if (begins("!@DUMP")) {
      FEDUMP();
    } else if (begins("!@BYE") || begins("!@EXIT")) {
      bye_command();
    } else if (begins("!@NEW")) {
      RESTRT();
      return false;
    }
    // Statements that edit the prepared model are served by their readers
    // here.
    RDLINE();
  }
}

// Per-job reset of a new job (not a continuation).
void new_job_reset() {
  auto& m = MAINPR;
  auto& fe = FESTAT;
  // The workspaces are cleared as far as the last job used them, so that no
  // group column (real or integer) carries over from one job to the next.
  auto X = WORKSP.x();
  for (int k = 1; k <= m.WSMAXD; ++k) X(k) = 0.0;
  auto IX = IWORKS.ix();
  for (int k = 1; k <= m.WSMAXI; ++k) IX(k) = 0;
  m.reset_job();
  FITOPT.newjob();
  // The optimizer's option slots: a job that sends no line for an option
  // runs with its default, whatever an earlier job sent (the options line,
  // which may read an options file, comes after this reset).
  optim::NPOPTS.reset();
  optim::NPOSTAT.newjob();
  NAMVAR.reset();
  // The counters of multivariate-normal problems and the first-call flag of
  // the constraint routine are reset here by their owners.
  fe.SCRDONE = false;
  if (fe.FEACTV && fe.JOBRUN && fe.MACHOUT) {
    write_fmt(kStdout, "(a10)", {"!@machine;"});
    write_list(kStdout, {" !@NEWJOB"});
    write_fmt(kStdout, "(a8)", {"!@human;"});
  }
  fe.MACHOUT = true;
}

// Reads the lines ahead of a group's title and the title.  Returns false
// when "!@NEW" restarts.
bool read_title(bool first) {
  auto& m = MAINPR;
  if (first) {
    write_fmt(kStdout, "(1x,a)", {current_line()});
  } else {
    RDLINE();
  }
  for (;;) {
    if (CURSOR.ICOL == 0) ERRMSG(m.IGRP == 0 ? 3 : 75);
    if (begins("#D")) {
      int unused = 0;
      HASHCMD(WORKSP.x(), unused);
      RDLINE();
      continue;
    }
    if (begins("#NG") && WORKSP.x()(1) == 0.0) {
      int n = 0;
      if (!NUMONL(n)) ERRMSG(210);
      SETNG(n);
      write_list(kStdout, {" Note: #NGroup set number of groups to", m.NG});
      write_list(kStdout, {});
      RDLINE();
      continue;
    }
    if (begins("!@NEW")) {
      if (m.SAVED || begins("!@NEW!")) {
        RESTRT();
        return false;
      }
      jobbase::WARNHD();
      write_list(kStdout, {" Unsaved changes exist.  Use !@NEW! to restart without", " saving"});
    }
    break;
  }
  runtime::fassign(m.GRPTTL, std::string_view(LINBUF.RAWLIN).substr(0, static_cast<std::size_t>(CURSOR.LLEN)));
  if (m.GRPTTL.find("!@") != std::string::npos) ERRMSG(166);
  m.IGRP += 1;
  DATFLG.reset();
  m.SAVED = false;
  m.reset_group();
  return true;
}

}  // namespace

bool read_job() {
  auto& m = MAINPR;
  auto& fe = FESTAT;
  m.ECHOLN = true;
  m.JOBNO += 1;
  if (m.HTMLON) jobbase::HTJOB(m.JOBNO, 1);

  if (m.MULFIT == 1) {
    write_list(kStdout, {});
    if (fe.FEACTV && fe.MACHOUT) {
      write_fmt(kStdout, "(a10)", {"!@machine;"});
      write_list(kStdout, {" !@SUBJOB"});
      write_fmt(kStdout, "(a8)", {"!@human;"});
    }
    write_list(kStdout, {" Multiple fit option in effect."});
    write_list(kStdout, {});
    write_list(kStdout, {" The following QV script lines have been read:"});
    write_list(kStdout, {});
    write_fmt(kStdout, "(1x,a)", {current_line()});
    m.CONTJOB = true;
    if (m.NG >= 1) m.WSTOP = m.RDPTR = icell(GRPTAB(WORKSP.x(), m.NG, gcol::kModelEnd, 1));
    if (GRPREST() == GroupEnd::Restart) return false;
    end_of_group();
  } else {
    new_job_reset();
    bool first = true;
    for (;;) {
      write_list(kStdout, {});
      write_list(kStdout, {});
      write_fmt(kStdout, "(a,i3)", {" The following QV script lines were read for group", m.IGRP + 1});
      write_list(kStdout, {});
      if (!read_title(first)) return false;
      first = false;
      const GrpNext next = GRPLIN();
      if (next == GrpNext::Data) DATDSP();
      if (next == GrpNext::Get) {
        // The restored model is edited as in a continuation.
        RDLINE();
        m.SAVED = false;
        m.CONTJOB = true;
      }
      if (GRPREST() == GroupEnd::Restart) return false;
      if (end_of_group()) break;
    }
  }
  return true;
}

namespace {

// One job from its first line.  Returns when the job has been summarised or
// a new job is to start.
void job() {
  if (!read_job()) return;
  prepare_job();
  const auto& fe = FESTAT;
  if (fe.FEACTV && !fe.AUTODMP && !wait_for_go()) return;
  run_job();
}

}  // namespace

void MAINPROG(bool html) {
  STARTUP(html);
  JOBLOOP();
}

void wait_for_job(bool& done) {
  const auto& fe = FESTAT;
  if (fe.FEACTV && fe.JOBRUN && fe.MACHOUT) write_list(kStdout, {" !@ready; !@human;"});
  // The reader passes over blank lines itself.
  RDLINE();
  done = CURSOR.ICOL == 0;
  if (done) write_list(kStdout, {std::string(78, '_')});
}

void JOBLOOP() {
  auto& m = MAINPR;
  auto& fe = FESTAT;
  for (;;) {
    m.TSTART = WALLSEC();
    m.ECHOLN = false;
    if (fe.FEACTV && fe.JOBRUN && fe.MACHOUT) write_list(kStdout, {" !@ready; !@human;"});
    RDLINE();
    if (CURSOR.ICOL == 0) {
      ENDRUN();
      return;
    }
    job();
  }
}

}  // namespace qv::jobctl
