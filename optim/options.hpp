// Optimizer option lines, defaults and the Parameters table.
//
// NLSQP is configured only through free-form option lines such as
// "Major iterations=1000".  NPOPLN takes one line; NPOPTL splits it into
// tokens, looks the keywords up in two dictionaries and stores the value in an
// option slot; NPPRMS, called at the start of every NLSQP run, replaces unset
// slots by defaults and prints the "Parameters" table.
//
// The option slots are static.  NPPRMS keeps a copy of the four arrays
// before it writes the defaults into the slots, and NLSQP puts the copy back
// when its run ends: a value set by a line stays in force for later runs
// until a line sets the slot again or "Defaults" clears them all, while a
// default derived from one run's problem (the major iterations limit from
// its n, say) does not outlive that run.  The job loop starts every new job
// (not a multiple-fit continuation) from fresh slots (NPOPTS.reset), so that
// a line sent for one job never holds for the next.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "runtime/unitnames.hpp"

namespace qv::optim {

// Unset marker of the option slots.
constexpr int kUnsetInt = -11111;
constexpr double kUnsetReal = -11111.0;

// Classes of the difference interval, decided by NPPRMS.
constexpr int kDifComputed = 0;  // intervals to be computed
constexpr int kDifUser = 1;      // user-supplied intervals
constexpr int kDifFixed = 2;     // one fixed interval

// Slot numbers (1-based) of the named options.  NLSQP keeps part of its
// options in the QP solver's slots, which the QP solver reads too; IPRMLS and
// RPRMLS lines index the QP solver's arrays by these numbers.
namespace slot {
// NLSQP integer slots.
constexpr int kMajorIterations = 1;
constexpr int kDerivativeLevel = 2;
constexpr int kVerifyLevel = 3;
constexpr int kMajorPrintLevel = 4;
constexpr int kDebugIteration = 5;
constexpr int kMajorDebugLevel = 6;
constexpr int kHessian = 7;
constexpr int kLoadFile = 8;
constexpr int kSaveRun = 9;
constexpr int kSaveFrequency = 10;
constexpr int kStartObjCheck = 11;
constexpr int kStopObjCheck = 12;
constexpr int kStartConCheck = 13;
constexpr int kStopConCheck = 14;
constexpr int kNonlinObjVars = 15;
constexpr int kNonlinJacVars = 16;
constexpr int kNonlinVars = 17;
constexpr int kNonlinConstraints = 18;
constexpr int kProblemNumber = 19;
constexpr int kVariables = 20;
constexpr int kLinearConstraints = 21;
// NLSQP real slots.
constexpr int kFunctionPrecision = 1;
constexpr int kOptimalityTol = 2;
constexpr int kLinesearchTol = 3;
constexpr int kNonlinFeasTol = 4;
constexpr int kStepLimit = 5;
constexpr int kDifferenceInterval = 6;
constexpr int kCentralInterval = 7;
constexpr int kConditionBound = 8;
constexpr int kLowerBound = 9;
constexpr int kUpperBound = 10;
// QP solver integer slots.
constexpr int kQpStartSlot = 1;  // the QP solver's own START line
constexpr int kPrintFile = 2;
constexpr int kSummaryFile = 3;
constexpr int kStart = 4;  // 0 cold, 1 warm, 2 hot
constexpr int kMinorIterations = 5;
constexpr int kMinorPrintLevel = 6;
constexpr int kMinorDebugLevel = 7;
constexpr int kFeasPhaseIterations = 8;
constexpr int kProblemType = 9;
// QP solver real slots.
constexpr int kInfiniteBound = 1;
constexpr int kInfiniteStep = 2;
constexpr int kCrashTol = 3;
constexpr int kLinearFeasTol = 4;
constexpr int kRankTol = 5;
}  // namespace slot

// The option table: NLSQP's integer and real slots and the QP solver's
// integer and real slots, 30 each, plus what NPPRMS derives from them.
struct Npopts {
  std::array<int, 30> iprmnp;
  std::array<double, 30> rprmnp;
  std::array<int, 30> iprmls;
  std::array<double, 30> rprmls;

  // The four arrays as they were before NPPRMS filled in the defaults of the
  // current run (restore_saved puts them back at the end of the run).
  struct Saved {
    std::array<int, 30> iprmnp;
    std::array<double, 30> rprmnp;
    std::array<int, 30> iprmls;
    std::array<double, 30> rprmls;
  };
  Saved saved{};

  // Derived by NPPRMS at the start of a run.
  int dif_class = kDifComputed;
  std::array<int, 5> npdbg{};  // digits of the major debug level, least significant first
  std::array<int, 5> lsdbg{};  // digits of the minor debug level

  Npopts() { unset_all(); }

  // All 120 slots := the unset marker (the first parse, and "Defaults").
  void unset_all() {
    iprmnp.fill(kUnsetInt);
    rprmnp.fill(kUnsetReal);
    unset_qp();
  }
  // The QP solver's 60 slots := the unset marker (its own parser's reset).
  void unset_qp() {
    iprmls.fill(kUnsetInt);
    rprmls.fill(kUnsetReal);
  }
  // Fresh state: every slot unset.  Start-up, and each new job.
  void reset() { *this = Npopts{}; }

  // The copy taken by NPPRMS, and its return into the slots.
  void save() { saved = Saved{iprmnp, rprmnp, iprmls, rprmls}; }
  void restore_saved() {
    iprmnp = saved.iprmnp;
    rprmnp = saved.rprmnp;
    iprmls = saved.iprmls;
    rprmls = saved.rprmls;
  }

  int& inp(int k) { return iprmnp[static_cast<std::size_t>(k - 1)]; }
  double& rnp(int k) { return rprmnp[static_cast<std::size_t>(k - 1)]; }
  int& ils(int k) { return iprmls[static_cast<std::size_t>(k - 1)]; }
  double& rls(int k) { return rprmls[static_cast<std::size_t>(k - 1)]; }
};
inline Npopts NPOPTS;

// State of the option routine and its parser.
struct Npostat {
  bool parser_first = true;  // NPOPTL has not run yet
  bool npopln_first = true;  // NPOPLN has not run yet
  bool newopt = true;        // the next line starts a new " Calls to Option Routine" list
  bool listop = true;        // lines and messages are listed
  int nout = runtime::kMsgUnit;  // the optimizer's print unit

  void reset() { *this = Npostat{}; }
  // A new job's first line opens a new list, listed.
  void newjob() {
    newopt = true;
    listop = true;
  }
};
inline Npostat NPOSTAT;

// State of the QP solver's option routine and parser.
struct Lsostat {
  bool parser_first = true;
  bool lsopln_first = true;
  bool newopt = true;
  bool listop = true;
  int nout = runtime::kMsgUnit;

  void reset() { *this = Lsostat{}; }
};
inline Lsostat LSOSTAT;

// Takes one option line (its first 72 characters, blank-padded), echoes it on
// the print unit and sets the option it names.  Never fails: lines that
// cannot be used are reported on the print unit (while listing is on) and
// otherwise ignored.
void NPOPLN(std::string_view line);

// Parses one line; messages go to unit (0: none).  key returns the first
// keyword (16 characters), expanded to its dictionary word when found.
void NPOPTL(int unit, std::string_view line, std::string& key);

// The QP solver's option routine and parser: the same scheme as NPOPLN and
// NPOPTL with the QP solver's dictionaries; LSOPTL resets only the QP
// solver's 60 slots (first call and "Defaults").  No routine of the system
// calls them.
void LSOPLN(std::string_view line);
void LSOPTL(int unit, std::string_view line, std::string& key);

// Copies the four slot arrays (NPOPTS.saved), applies the defaults for a run
// with n variables, nclin linear and nnlcon nonlinear constraints, marks the
// next option line as the start of a new list, and prints the title (40
// characters) and the Parameters table.  The run restores the copy at its
// end (NPOPTS.restore_saved).
void NPPRMS(int n, int nclin, int nnlcon, std::string_view title);

// The Parameters table as NPPRMS prints it, on the print file.  The start
// word is "cold"/"warm"/"hot " or, with upper, "COLD"/"WARM"/"HOT " (the form
// used after a run is loaded from a file).
void write_parameters_table(int n, int nclin, int nnlcon, bool upper);

// Token routines, shared with the options-file readers.
//
// Splits line into at most max tokens of 16 characters, upper-cased; the other
// slots of tokens become blank; max returns the count found.
void TOKSPLT(std::string_view line, int& max, std::span<std::string> tokens);
// Finds the first token of text starting in [first, last] (1-based).  first
// returns its first position, tokend its last (0 when there is none); last
// returns the last position of the range that is not a separator.
void TOKSCAN(std::string_view text, int& first, int& last, int& tokend);
// Upper-cases a-z in place.
void UPCASE(std::string& text);
// The numeric-token test.
bool NUMTOK(std::string_view token);
// Looks key up in the first n entries of dict.  index returns the entry
// number, 0 when none matched, minus the second match's number when an
// unsorted lookup was ambiguous.  On success key becomes the full entry.
void DICTLK(int n, std::span<const std::string_view> dict, bool sorted, std::string& key, int& index);

// The keyword dictionaries of NPOPTL.
extern const std::array<std::string_view, 43> kNpMainDict;
extern const std::array<std::string_view, 22> kNpSecondDict;
// The keyword dictionaries of LSOPTL.
extern const std::array<std::string_view, 28> kLsMainDict;
extern const std::array<std::string_view, 12> kLsSecondDict;
extern const std::array<std::string_view, 16> kLsTypeDict;

}  // namespace qv::optim
