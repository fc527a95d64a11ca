// Difference-interval search for one variable.
//
// One step of the search that chooses a forward-difference interval h for a
// function f of one variable: from fx = f(x), f1 = f(x + h) and f2 = f(x + 2h)
// it forms forward, central and second-difference estimates and their relative
// cancellation errors, and either accepts h or proposes a larger or smaller
// one.  The caller evaluates f at the new h and calls again until done.  The
// same routine serves the optimizer's difference intervals (chcore) and the
// numerical library's finite-difference Hessian (E04XAZ, numlib/hessian.hpp):
// only the layout of the debugging trace differs.
//
// Verdicts (inform, when done): 0 good interval; 1 the first-derivative
// cancellation error stayed too large (f looks constant); 2 the
// second-derivative cancellation error stayed too large (f looks linear or
// odd); 3 no acceptable second-derivative estimate within itmax steps, the
// best saved one is used; 4 forward and central estimates disagree by more
// than half the forward estimate.
#pragma once

namespace qv::optkern {

// State kept between the steps of one search (one search at a time).
struct Chcsta {
  double oldh = 0.0;    // the interval before the last change
  double oldcd = 0.0;   // central estimate of the previous step
  double oldsd = 0.0;   // second-difference estimate of the previous step
  double hsave = 0.0;   // best interval so far and its estimates
  double fdsave = 0.0;
  double cdsave = 0.0;
  double sdsave = 0.0;
  double rho = 0.0;     // factor by which h grows or shrinks
  bool ce1big = false;  // first-derivative cancellation error too big
  bool ce2big = false;  // second-derivative cancellation error too big
  bool te2big = false;  // second-derivative truncation error too big
  void reset() { *this = Chcsta{}; }
};
inline Chcsta CHCSTA;

// Which layout the debugging trace takes: the optimizer's ("//chcore//"
// lines, written as formatted) or the library's ("//E04XAZ//" lines, written
// as the library writes its records, trailing blanks cut).
enum class ChcoreTrace { Optimizer, Library };

// One step of the search.  absacc is the absolute accuracy of f, relacc its
// relative accuracy.  first, iter, cdest, sdest, h and hopt are in/out; the
// other results are set when done.  With debug on, the trace goes to unit
// trace_unit (nothing when it is negative).
void chcore(bool debug, bool& done, bool& first, double absacc, double relacc, double fx,
            int& inform, int& iter, int itmax, double& cdest, double& fdest, double& sdest,
            double& errbnd, double f1, double f2, double& h, double& hopt, double& hcint,
            int trace_unit, ChcoreTrace style = ChcoreTrace::Optimizer);

}  // namespace qv::optkern
