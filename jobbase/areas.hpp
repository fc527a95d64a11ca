// The main program's areas: the run's cells (MAINPR), the front-end state
// (FESTAT) and the data-keyword flags of the current group (DATFLG).
//
// MAINPR's cells are grouped by how long they live.  Each group is a struct
// of its own with the reset beside its fields, and MAINPR holds all of them,
// so that a cell is still named MAINPR.NG wherever it is used:
//   - MainprRun: set at start-up and kept for the whole run;
//   - MainprWork: the workspace tops, the read pointer and the job's clocks,
//     which the job loop sets itself where a job's reading, preparation or
//     run begins (only start-up resets them);
//   - MainprJob: reset when a new job starts (not a multiple-fit
//     continuation);
//   - MainprGroup: reset when a group's title is read.
#pragma once

#include <string>
#include <string_view>

#include "runtime/unitnames.hpp"

namespace qv::jobbase {

// Cells of the whole run.
struct MainprRun {
  int WSLIM = 1000000;   // workspace limit in words
  int MULFIT = 0;        // multiple-fit mode in force
  bool SAVED = false;    // model written with !@SAVE since it last changed
  int JOBNO = 0;         // jobs started in the run
  std::string USRFMT = "QQQQQ";  // record format of output files (options word FO)
  bool ECHOLN = true;    // the line reader echoes accepted lines
  int NWARN = 0;         // warnings in the run
  int NWARN0 = 0;        // NWARN when this job's warning list was last printed
  bool HTMLON = false;   // HTML output
  std::string IMGURL;    // base address of the navigation images
  int LINENO = 0;        // line counter of the line reader
  std::string PRTFMT = std::string(80, ' ');  // printed-matrix format (blank: automatic)
  int OUTWID = 80;       // printed-matrix output width
  int INDENT = 0;        // printed-matrix indentation
  double PI = 0.0;       // numerical constants computed at start-up
  double SAFMIN = 0.0;
  double MLNSAF = 0.0;   // -ln(safe minimum)
  double LN1E30 = 0.0;   // ln(1.0E30)

  void reset_run() { *this = MainprRun(); }
};

// Workspace tops, the read pointer, the current group's title and statistics
// count, and the job's clocks: each is set where the job loop or the group
// reader reaches the point it describes.
struct MainprWork {
  int WSTOP = 0;         // first free word of the workspace
  int IWSTOP = 14;       // first free word of the integer workspace
  int RDPTR = 0;         // allocation pointer while a job's script is read
  int NASTAT = 0;        // count of asymptotic statistics of the current group
  std::string GRPTTL = std::string(128, ' ');  // title of the current group
  double TSTART = 0.0;   // wall-clock seconds at the start of the job
  double TREAD = 0.0;    // seconds spent reading

  void reset_work() { *this = MainprWork(); }
};

// Cells of one job.  The high-water marks WSMAXD and WSMAXI also say how far
// the previous job used the workspaces, which the new job clears first.
struct MainprJob {
  int WSMAXD = 0;        // high-water marks
  int WSMAXI = 2;
  int USEDWS = 0;        // words used after the group table by the groups read so far
  bool MUREQ = false;    // options word MU given
  bool CONTJOB = false;  // this job continues a multiple fit
  int NG = 0;            // groups of the job
  int IGRP = 0;          // current group
  bool NGSET = false;    // NG given in this job
  int NIGRP = 0;         // NI= of the current group line
  bool NPDFLG = false;   // an input matrix of the job was not positive definite
  bool PAFLAG = false;   // a PA statement was read in this job
  bool SPFLAG = false;   // an SP statement was read in this job
  bool VAFLAG = false;   // a value statement was read in this job
  int DATUNT = runtime::kDataUnit;  // unit of data files
  int NUNCNT = 10000;    // next number for elements of UN matrices
  int NFREE = 0;         // free parameters numbered so far
  double NOREAD = 0.0;   // options line being parsed
  int LABSLOT = 1;       // next free 32-character slot of the label table
  bool GRPSEL = false;   // a group was chosen with a "#G" line
  double EPSRF = 1.0E-10f;  // options word ER (single-precision constant widened)
  double EPOPT = 1.0E-6f;   // options word EP

  void reset_job() { *this = MainprJob(); }
};

// Cells of the group being read.
struct MainprGroup {
  int NOGRP = 0;         // NO= of the current group line
  int NMGRP = 1;         // NM= of the current group
  int GRPKIND = 0;       // kind of the current group while its group line is read
  int MAGRP = -1;        // MA= of the current group line (-1: not given)
  int NBOUND = 0;        // bound records of the current group

  void reset_group() { *this = MainprGroup(); }
};

// Cells owned by the main program (one instance for the process).
struct Mainpr : MainprRun, MainprWork, MainprJob, MainprGroup {
  void reset() { *this = Mainpr(); }
};
inline Mainpr MAINPR;

// Front-end state.  All of it lives for the run; the job loop clears SCRDONE
// at a new job and sets JOBRUN and MACHOUT where their events happen.
struct Festat {
  bool FEACTV = false;   // front end active
  bool JOBRUN = false;   // a job has run
  bool SCRDONE = false;  // script of the job complete and prepared
  bool AUTODMP = true;   // automatic dump after each fit
  bool MACHOUT = true;   // machine-readable output wanted
  void reset() { *this = Festat(); }
};
inline Festat FESTAT;

// Per-group flags of the data keywords (which kinds of data were given) and
// the keyword that first gave the group observed data (its two letters,
// empty while none has); reset when a group's title is read.
struct Datflg {
  bool CM = false, PMKM = false, ME = false, RA = false, SK = false, KU = false, REC = false, AV = false,
      ASY = false, AI = false, LAB = false;
  std::string_view FIRST;
  void reset() { *this = Datflg(); }
};
inline Datflg DATFLG;

// Keeps a cell's value while a routine changes it for a while (the formula
// machine's current group and workspace top) and puts it back on every way
// out of the scope: the normal end, and a stop unwinding to main.
class RestoreCell {
 public:
  explicit RestoreCell(int& cell) : cell_(cell), saved_(cell) {}
  ~RestoreCell() { cell_ = saved_; }
  RestoreCell(const RestoreCell&) = delete;
  RestoreCell& operator=(const RestoreCell&) = delete;
  int saved() const { return saved_; }

 private:
  int& cell_;
  int saved_;
};

// Resets every area of the job-control base (these areas, the workspaces and
// label table, the reader, lexer and name table, the option cells, the
// moment integrand's store) and of the libraries below it (the HTML report
// state, the numerical library, the optimizer's kernels): the state of a
// fresh run.  The job layer's reset of every area calls it.
void reset_base_areas();

}  // namespace qv::jobbase
