// The edition's option lines, option blocks, defaults and working option
// values.
//
// E04UEF takes one option line; E4OPTL parses it into the edition's four
// option blocks (E4OPTS: 30 integer and 30 real slots of the driver, the same
// of its QP solver).  E4PRMS, called at the start of every E04UCF run, saves
// the blocks, fills in the defaults for the run's problem, copies the values
// into the working cells E4WORK that the internal routines read and prints
// the Parameters table; the run puts the saved blocks back at its end.
// Nothing here is shared with the optimizer's own option cells: the blocks
// have the optimizer's table type and slot numbers, but are cells of their
// own.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "optim/options.hpp"

namespace qv::optim_alt {

// The edition's option blocks (slot numbers those of optim::slot; IPRMLS and
// RPRMLS lines index the QP-solver blocks iprmls and rprmls).  dif_class,
// npdbg and lsdbg are derived by E4PRMS.
inline optim::Npopts E4OPTS;

// State of the option routine and its parser.
struct E4ostat {
  bool parser_first = true;  // E4OPTL has not run yet
  bool newopt = true;        // the next E04UEF line begins a listing
  bool listop = true;        // lines and messages are listed
  bool had_run = false;      // an E04UCF run has passed its input checks (a hot start may follow)

  void reset() { *this = E4ostat{}; }
};
inline E4ostat E4OSTAT;

// The edition's working option values: the cells its internal routines read.
// E4PRMS fills them from the option blocks; tests may set them directly.
struct E4work {
  // Run cells.
  int verify = -1;           // verify level (below 0: no derivative check)
  int jobj1 = 1, jobj2 = 0;  // variables of the element check of the objective
  int jcon1 = 1, jcon2 = 0;  // variables of the element check of the constraints
  bool search_trace = false;  // trace of the interval search (debug switch)
  int dif_class = 0;          // difference intervals: 0 computed, 1 the user's, 2 one fixed interval

  // Derivative counts of the run: missing elements, set by the derivative
  // set-up and corrected by the interval search.
  int nmissj = 0;  // missing Jacobian elements
  int nmissg = 0;  // missing gradient elements

  // Options of the run, defaults applied by E4PRMS.
  int nout = 0;     // output unit: the advisory unit
  int start = 0;    // 0 cold, 1 warm, 2 hot
  int lvlder = 3;   // derivative level
  int hess = 0;     // Hessian option: 1 returns RFAC in the problem's own variables
  int itmax1 = 0;   // major iterations limit
  int itmax2 = 0;   // minor iterations limit
  int msglvl = 0;   // major print level
  int msgqp = 0;    // minor print level
  int ldbg = 0;     // debug start iteration
  int npdbg = 0;    // major debug level
  int lsdbg = 0;    // minor debug level
  std::array<int, 5> inpdbg{};  // digits of the major debug level, least significant first
  std::array<int, 5> ilsdbg{};  // digits of the minor debug level
  int nlnf = 0, nlnj = 0, nlnx = 0;  // nonlinear objective, Jacobian and variable counts (N)
  double bigbnd = 0.0;   // infinite bound size
  double bigdx = 0.0;    // infinite step size
  double tolact = 0.0;   // crash tolerance
  double tolfea = 0.0;   // linear feasibility tolerance
  double tolnlf = 0.0;   // nonlinear feasibility tolerance
  double epsrf = 0.0;    // function precision
  double ftol = 0.0;     // optimality tolerance
  double eta = 0.0;      // line search tolerance
  double dxlim = 0.0;    // step limit
  double fdint = 0.0;    // difference interval
  double cdint = 0.0;    // central difference interval
  double hcndbd = 0.0;   // condition limit
  double tolrank = 0.0;  // rank tolerance of the factorizations, 1/condition limit (set by E04UCF)
  double rcndbd = 0.0;   // bound on the condition of R, sqrt(condition limit) (set by E04UCF)
  bool debug = false;    // debug switch of the traces (raised at the debug start iteration)

  void reset() { *this = E4work{}; }
};
inline E4work E4WORK;

// Takes one option line (its first 72 characters, blank-padded), lists it on
// the advisory unit and sets the option it names.  The first call ever and
// the first after each E04UCF run begin a listing with the heading
// " Calls to E04UEF", unless the line is NOLIST.  Never fails: lines that
// cannot be used are reported (while listing is on) and otherwise ignored.
void E04UEF(std::string_view line);

// Parses one line into E4OPTS; messages go to unit (0: none).  key returns
// the first token, expanded to its table entry when found.
void E4OPTL(int unit, std::string_view line, std::string& key);

// Splits line into at most max tokens of at most 16 characters (longer ones
// are cut), upper-cased and blank-padded; the other slots of tokens become
// blank; max returns the count found.  Separators: blank ( ) , : =.
void E4TOKS(std::string_view line, int& max, std::span<std::string> tokens);

// The numeric-token test: up to its first blank, only digits, D, E, +, -
// and .; at least one digit, at most one D or E, two -, two + and one '.'.
bool E4ISNM(std::string_view token);

// Looks key up in the first n entries of the sorted table dict (16-character
// entries, "SHORT:LONG" a synonym).  index returns the entry number, 0 when
// none matched, -1 when the key is ambiguous (matches leading to different
// entries, none exact).  On success key becomes the full entry.
void E4KEYL(int n, std::span<const std::string_view> dict, std::string& key, int& index);

// The keyword tables of E4OPTL.
extern const std::array<std::string_view, 40> kE4MainKeys;
extern const std::array<std::string_view, 19> kE4SecondKeys;

// Saves the four blocks, marks the next E04UEF call as the start of a
// listing, applies the defaults for a run with n variables, nclin linear and
// nnlcon nonlinear constraints, fills E4WORK and, when the major print level
// is positive, writes the title and the Parameters table.  The run puts the
// blocks back at its end (E4OPTS.restore_saved).
void E4PRMS(int n, int nclin, int nnlcon, std::string_view title);

// The five records of the implementation banner on the advisory unit.
void E4BANR();

}  // namespace qv::optim_alt
