// NLSQP: calling contract, precision constants of a run and the workspace
// partition.
//
// NLSQP minimises a smooth function of N variables under bounds, linear
// constraints and smooth nonlinear constraints.  This header holds what every
// routine of a run shares: the two callback types, the precision constants a
// run derives from the machine-constant table (optkern/machine.hpp), and the
// layout of the integer and real workspaces (NPWKSP).
#pragma once

#include <array>
#include <functional>
#include <span>

namespace qv::optim {

// Markers in the callers' gradient and Jacobian arrays: an element that still
// holds kDerivUnset after a callback is missing (estimated by differences);
// kDerivConstant marks, during the interval search only, an element found
// constant or linear along its variable.
constexpr double kDerivUnset = -11111.0;
constexpr double kDerivConstant = 11111.0;

// The objective: OBJFUN(MODE, N, X, FOBJ, GOBJ, KFIRST, IUSR, RUSR).
// On MODE 0 it sets FOBJ, on 1 the gradient elements it can compute in GOBJ,
// on 2 both.  KFIRST is 1 on the first call of a run and 0 afterwards.  A
// negative MODE on return stops the run (except -1 at a line-search trial
// point, which shortens the step).  MODE is one variable per group of calls:
// a non-negative value the callback leaves is what the next call receives.
using Objfun = std::function<void(int& mode, int n, std::span<const double> x, double& fobj,
                                  std::span<double> gobj, int kfirst, std::span<int> iusr,
                                  std::span<double> rusr)>;

// The nonlinear constraints: CNLFUN(MODE, NNLCON, N, LDJAC, KNEED, X, CNLVAL,
// CNLJAC, KFIRST, IUSR, RUSR).  KNEED(i) = 1 marks each constraint whose value
// or gradient is wanted.  On MODE 0 it sets those values in CNLVAL, on 1 the
// Jacobian elements it can compute in CNLJAC (column-major, leading dimension
// LDJAC), on 2 both.  MODE as for the objective.
using Cnlfun = std::function<void(int& mode, int nnlcon, int n, int ldjac, std::span<const int> kneed,
                                  std::span<const double> x, std::span<double> cnlval,
                                  std::span<double> cnljac, int kfirst, std::span<int> iusr,
                                  std::span<double> rusr)>;

// Precision constants of a run, derived at its start from the machine
// constants (eps the relative precision).
struct Npprec {
  double epspt3 = 0.0;  // eps^0.33 (the exponent is 0.33, not one third)
  double epspt5 = 0.0;  // the table's sqrt(eps)
  double epspt8 = 0.0;  // eps^0.8
  double epspt9 = 0.0;  // eps^0.9
  double epsinv = 0.0;  // 1/eps, the largest penalty
  double sqrtn = 0.0;   // sqrt(N)
  int nout = 0;         // the table's output unit, rounded (7)

  void reset() { *this = Npprec{}; }
};
inline Npprec NPPREC;

// Fills p for a run with n variables.
void set_precision(Npprec& p, int n);

// Start words (1-based) of the arrays of one run in the integer workspace iw
// and the real workspace w, as NPWKSP lays them out.  Arrays of length 0
// start where the next one does.
struct Npwloc {
  // Integer workspace.
  int kactiv = 0;  // working-set list (N)
  int kx = 0;      // variable permutation (N)
  int kneed = 0;   // constraint-needed flags KNEED (NNLCON)
  int iperm = 0;   // column permutation for refactorizing R (nctotl)

  // Real workspace, in this order.
  int hforwd = 0;  // forward difference intervals (N)
  int hcntrl = 0;  // central difference intervals (N)
  int anorm = 0;   // row norms of the linear and nonlinear constraints (mL + m)
  std::array<int, 3> vn1{};  // three work vectors (N)
  int t = 0;       // triangular factor T of the working set (ldt x N)
  int zy = 0;      // orthogonal factor Q of the working set (ldzy x N)
  int vc1 = 0;     // work vector (mL + m)
  std::array<int, 4> vn2{};  // four work vectors (N)
  std::array<int, 3> vt1{};  // three work vectors (nctotl)
  int qpmat = 0;   // QP constraint matrix ((mL + m) x N when m > 0, else none)
  int vc2 = 0;     // work vector (mL + m)
  std::array<int, 2> vt2{};  // two work vectors (nctotl)
  std::array<int, 2> vn3{};  // two work vectors (N)
  int vt3 = 0;     // work vector (nctotl)
  int vn4 = 0;     // work vector (N)
  int vt4 = 0;     // work vector (nctotl)
  // Eleven vectors of m: the named ones first, then six work vectors.
  int nlmult = 0;  // multipliers of the nonlinear constraints
  int dmult = 0;   // multiplier steps
  int slack = 0;   // slacks
  int dslack = 0;  // slack steps
  int rho = 0;     // penalty parameters
  std::array<int, 6> vm{};  // work vectors (m)
  int cjac = 0;    // internal Jacobian (m x N, leading dimension max(1, m))
  int grad = 0;    // internal gradient (N)
  int ax = 0;      // linear constraint values (mL)

  int ldt = 1;     // leading dimensions of T and Q: N when mL + m > 0, else 1
  int ldzy = 1;

  void reset() { *this = Npwloc{}; }
};
inline Npwloc NPWLOC;

// Lays out the workspaces of a run with n variables, nclin linear and nnlcon
// nonlinear constraints (nctotl = n + nclin + nnlcon) into NPWLOC.  litotl and
// lwtotl come in as the number of words already used (0) and go out as the
// last word used: 2N + m + nctotl integers and 20N + 11mL + 21m + mN reals,
// plus 2N^2 when mL + m > 0 and (mL + m)N when m > 0.
void NPWKSP(int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl);
// The same layout into loc: the alternative edition lays out its own
// workspaces with it, into its own locations.
void npwksp_layout(Npwloc& loc, int n, int nclin, int nnlcon, int nctotl, int& litotl, int& lwtotl);

// State of NLSQP's runs: the Frobenius norm estimate of R, kept from one run
// to the next (a warm or hot start measures it again), and the debug switch
// of the major iterations with the print file it writes on.  The traces of a
// family of routines are on while the switch is on and the matching digit of
// the major debug level is positive: digit 1 the major iterations and their
// working set, merit function and update, digit 2 the line search, digit 5
// the interval search of the derivative set-up; the first digit of the minor
// debug level switches the traces of the QP machinery.  itmax is the major
// iterations limit that the last run ran under (its defaults applied), for
// the caller's advice when a run ends on it.
struct Nprun {
  double rfrobn = 0.0;
  bool debug = false;
  int iprint = 0;
  int itmax = 0;

  void reset() { *this = Nprun{}; }
};
inline Nprun NPRUN;

// One run of the optimizer (built with the major iterations).  ALIN is
// (LDA, N), CNLJAC (LDJAC, N), RFAC (LDRFAC, N), all column-major; BLOW,
// BUPP, ISTATE and XMULT hold the variables, then the linear, then the
// nonlinear constraints.  Results: INFORM (0, 1, 2, 3, 4, 6, 7, 9 or the
// negative MODE of a callback), MAJITS and the out arrays.
void NLSQP(int n, int nclin, int nnlcon, int lda, int ldjac, int ldrfac, std::span<const double> alin,
           std::span<const double> blow, std::span<const double> bupp, const Cnlfun& cnlfun,
           const Objfun& objfun, int& inform, int& majits, std::span<int> istate,
           std::span<double> cnlval, std::span<double> cnljac, std::span<double> xmult, double& fobj,
           std::span<double> gobj, std::span<double> rfac, std::span<double> x, std::span<int> iw,
           int niw, std::span<double> w, int nw, std::span<int> iusr, std::span<double> rusr);

}  // namespace qv::optim
