// The option cells FITOPT that the options line sets and the fit, the
// optimizer option lines and the report read.
//
// The printed-matrix format and width (ND, WI), the user record format (FO),
// the HTML flag (HT) and the tolerances ER and EP are the main program's
// cells MAINPR.PRTFMT, OUTWID, USRFMT, HTMLON, EPSRF and EPOPT.
#pragma once

namespace qv::jobbase {

// Option cells reset at the start of a job that is not a multiple-fit
// continuation.
struct FitoptJob {
  int OPTFIT = 1;        // options fit code (LS 0, ML 1, DW 2, US/RU 3, RM 4)
  int LSML = 0;          // LSML / ULML given
  bool ISCHI = false;    // chi-squared flag
  bool APPEND = false;   // output files appended (AP)
  double TH = 0.0;       // TH cell (a whole number)
  double FE = 0.0;       // feasibility tolerance (0: optimizer default)
  double OP = 0.0;       // optimality tolerance
  int DB = 0;            // debug level
  bool PE = false;       // PE flag
  int IT = -1;           // major iterations (-1: not set)
  double STE = 0.0;      // infinite step size
  double FU = 0.0;       // function precision
  int DE = 0;            // optimizer defaults, no iteration limit sent
  bool CH = false;       // CH flag
  bool CI = false;       // confidence intervals wanted
  double CIPCT = 0.0;    // their percentage
  bool NU = false;       // null-model figures given
  bool SAT = false;      // saturated-model figures given
  bool PO = false;       // power wanted
  int DF = 0;            // degrees-of-freedom adjustment
  double PS = 1.0;       // PS value
  bool JI = false;       // JI flag
  bool ML = false;       // ML option (the word ML changes nothing)
  bool OPSEEN = false;   // an options line beginning OP was read in this job

  void newjob() { *this = FitoptJob(); }
};

// Option cells that no job resets (run lifetime, cleared only by reset()):
// the figures that go with the flags NU, SAT and PO (read while their flag
// is set, and the null and saturated figures also while NUCALC / SATCALC
// say that an earlier job computed them: those hold for every later job
// until one types its own or is marked ISNULL / ISSAT), and the options that
// hold for the rest of the run once given.
struct FitoptRun {
  double NUCHI = 0.0, NUDF = 0.0;
  double SATFIT = 0.0, SATDF = 0.0;
  double POALF = 0.0;    // 1 - alpha
  double PODF = 0.0;     // degrees of freedom of the power test
  double POCRIT = 0.0;   // its critical chi-squared value
  int ND = -1;           // decimals of matrix printing (-1: never given)
  bool ISSAT = false;    // this job is the saturated model
  bool ISNULL = false;   // this job is the null model
  bool NUCALC = false;   // the null-model figures were computed by an earlier job
  bool SATCALC = false;  // the saturated-model figures were computed by an earlier job
  int NA = 0;            // optimizer print level
  double LI = 0.0;       // line-search tolerance
  double FI = 0.0;       // difference interval
};

// Lifetimes: newjob() (FitoptJob) at the start of each job that is not a
// multiple-fit continuation; reset() (every cell, the run cells included)
// only at the start of a run.
struct Fitopt : FitoptJob, FitoptRun {
  void reset() { *this = Fitopt(); }
};
inline Fitopt FITOPT;

}  // namespace qv::jobbase
