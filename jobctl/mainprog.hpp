// The main program: start-up, the job loop and the end of the run.
#pragma once

#include <string>

#include "jobctl/options.hpp"

namespace qv::jobctl {

// Cells owned by the main program (one instance for the process).
struct Mainpr {
  int WSLIM = 1000000;   // workspace limit in words
  int WSTOP = 0;         // first free word of the workspace
  int IWSTOP = 14;       // first free word of the integer workspace
  int WSMAXD = 0;        // high-water marks
  int WSMAXI = 2;
  int RDPTR = 0;         // allocation pointer while a job's script is read
  int USEDWS = 0;        // words used after the group table by the groups read so far
  int MULFIT = 0;        // multiple-fit mode in force
  int MUREQ = 0;         // options word MU given
  int CONTJOB = 0;       // this job continues a multiple fit
  int SAVED = 0;         // model written with !@SAVE since it last changed
  int JOBNO = 0;         // jobs started in the run
  int NG = 0;            // groups of the job
  int IGRP = 0;          // current group
  int NGSET = 0;         // NG given in this job
  int NIGRP = 0;         // NI= of the current group line
  int NOGRP = 0;         // NO= of the current group line
  int NMGRP = 1;         // NM= of the current group
  int GRPKIND = 0;       // kind of the current group while its group line is read
  int MAGRP = -1;        // MA= of the current group line (-1: not given)
  int NASTAT = 0;        // count of asymptotic statistics of the current group
  int NPDFLG = 0;        // an input matrix of the job was not positive definite
  int PAFLAG = 0;        // a PA statement was read in this job
  int SPFLAG = 0;        // an SP statement was read in this job
  int VAFLAG = 0;        // a value statement was read in this job
  int NBOUND = 0;        // bound records of the current group
  std::string GRPTTL = std::string(128, ' ');  // title of the current group
  double TSTART = 0.0;   // wall-clock seconds at the start of the job
  double TREAD = 0.0;    // seconds spent reading
  std::string USRFMT = "QQQQQ";  // record format of output files (options word FO)
  int ECHOLN = 1;        // the line reader echoes accepted lines
  int NWARN = 0;         // warnings in the run
  int NWARN0 = 0;        // NWARN when this job's warning list was last printed
  int HTMLON = 0;        // HTML output
  std::string IMGURL;    // base address of the navigation images
  int LINENO = 0;        // line counter of the line reader
  int DATUNT = 11;       // unit of data files
  int NUNCNT = 10000;    // next number for elements of UN matrices
  int NFREE = 0;         // free parameters numbered so far
  double NOREAD = 0.0;   // options line being parsed
  int LABSLOT = 1;       // next free 32-character slot of the label table
  int GRPSEL = 0;        // a group was chosen with a "#G" line
  double EPSRF = 1.0E-10f;  // options word ER (single-precision constant widened)
  double EPOPT = 1.0E-6f;   // options word EP
  std::string PRTFMT = std::string(80, ' ');  // printed-matrix format (blank: automatic)
  int OUTWID = 80;       // printed-matrix output width
  int INDENT = 0;        // printed-matrix indentation
  double PI = 0.0;       // numerical constants computed at start-up
  double SAFMIN = 0.0;
  double MLNSAF = 0.0;   // -ln(safe minimum)
  double LN1E30 = 0.0;   // ln(1.0E30)

  void reset() { *this = Mainpr(); }
};
inline Mainpr MAINPR;

// Front-end state.
struct Festat {
  int FEACTV = 0;   // front end active
  int JOBRUN = 0;   // a job has run
  int SCRDONE = 0;  // script of the job complete and prepared
  int AUTODMP = 1;  // automatic dump after each fit
  int MACHOUT = 1;  // machine-readable output wanted
  void reset() { *this = Festat(); }
};
inline Festat FESTAT;

// Per-group flags of the data keywords (which kinds of data were given).
struct Datflg {
  int CM = 0, PMKM = 0, ME = 0, RA = 0, SK = 0, KU = 0, REC = 0, AV = 0, ASY = 0, AI = 0, LAB = 0;
  void reset() { *this = Datflg(); }
};
inline Datflg DATFLG;


// Runs the program: start-up, jobs until the input ends, end of the run.
// html is the build's start-up HTML default (qvh 1, qvt 0).  Returns only at
// a normal end of input; the caller then stops with status 0.
void MAINPROG(bool html);

// The job loop after start-up: jobs until the input ends (then the end of
// the run) or a quit command stops the program.
void JOBLOOP();

// Start-up lines and the HTML head; the end of the run at end of input.
void STARTUP(bool html);
void ENDRUN();

// Wall-clock seconds as one double.
double WALLSEC();

// A duration in seconds as "DDD:HH:MM:SS.ss" in 15 characters.
std::string FMTTIM(double t);

// The end of a job: the share of the workspace used, the timing table,
// the warnings count (and in HTML the job's warning links) and the rule.
void JOBSUM();

// " ** Qv will restart for new script **" and leave multiple-fit mode.
void RESTRT();

}  // namespace qv::jobctl
