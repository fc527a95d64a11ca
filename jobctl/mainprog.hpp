// The main program: start-up, the job loop and the end of the run.
#pragma once

#include <string>

#include "jobctl/areas.hpp"
#include "jobctl/fitopt.hpp"

namespace qv::jobctl {

// Runs the program: start-up, jobs until the input ends, end of the run.
// html is the build's start-up HTML default (qvh 1, qvt 0).  Returns only at
// a normal end of input; the caller then stops with status 0.
void MAINPROG(bool html);

// The job loop after start-up: jobs until the input ends (then the end of
// the run) or a quit command stops the program.
void JOBLOOP();

// Resets every area of the program (all libraries) to the state of a fresh
// run, with the line reader's "!@" lines handed to the front-end commands as
// at start-up.  Used between whole runs in one process and by the tests.
void reset_all_areas();

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
