// The main program: start-up, the job loop and the end of the run.
#pragma once

#include <string>

#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"

namespace qv::jobctl {

// Runs the program: start-up, jobs until the input ends, end of the run.
// html is the build's start-up HTML default (qvh 1, qvt 0).  Returns only at
// a normal end of input; the caller then stops with status 0.
void MAINPROG(bool html);

// The job loop after start-up: jobs until the input ends (then the end of
// the run) or a quit command stops the program.
void JOBLOOP();
// The reading at the start of a job as one routine (the job loop does the
// same itself and does not call it): the front end's ready line when a job
// has run, then the next script line.  At the end of the input the rule of
// 78 "_" is written and done := true; otherwise done := false and the job's
// first line is current.
void wait_for_job(bool& done);

// Resets every area of the program (all libraries) to the state of a fresh
// run, with the line reader's "!@" lines handed to the front-end commands as
// at start-up.  Used between whole runs in one process and by the tests.
void reset_all_areas();

// Runs the script in the file at path as one whole run in this process, read
// on unit in place of standard input: every unit closed and every area reset
// first, the units closed again after.  A stop of the run (a script error,
// STOP) ends the run here rather than the process.  For in-process harnesses:
// the fuzzing entry and the benchmarks.
void run_script_file(const std::string& path, int unit, bool html);

// The steps of one job, in the order the job loop takes them (a test may
// call them on a script of its own):
// read_job reads a job from its first line, which RDLINE has fetched: the
// groups with their data, matrices, statements and options, each closed by
// end_of_group.  Returns false when "!@NEW" restarts (nothing to prepare).
bool read_job();
// Checks and bookkeeping when a group has ended (its End, an OU or EX
// options line, or the end of input).  Returns true when it was the last
// group of the job to read.
bool end_of_group();
// Prepares the model after the last group (or a continuation): the free
// workspace starts past the job, the group lists are made, and each group's
// computed matrices and covariance formula are evaluated once.
void prepare_job();
// Runs the prepared job: the fit and the job's summary.
void run_job();

// Writes the start-up lines, and the HTML head when html is set.
void STARTUP(bool html);
// Ends the run at the end of the input (the closing lines and units).
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
