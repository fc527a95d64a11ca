// Ending the program, signal handlers and the wall-clock timer.
#pragma once

#include <string_view>

namespace qv::runtime {

// A stop of the run unwinding to main.  While a StopSeam is alive, stop()
// and abort_run() write what they write today, close the units and then
// throw this instead of ending the process; main catches it and exits with
// status.  It does not derive from std::exception, so no handler of library
// errors can catch it on the way.
struct RunStopped {
  int status = 0;  // exit status of the run (0 plain STOP, 1 a stop on an error)
};

// Whether stops unwind (a StopSeam is alive) or end the process at once.
struct Stopst {
  int SEAMS = 0;  // StopSeam objects alive
  void reset() { *this = Stopst(); }
};
inline Stopst STOPST;

// While alive, every stop throws RunStopped (main, and the in-process
// fuzzing entry, hold one around the whole run).  Without one a stop exits
// the process, as the death tests expect.
class StopSeam {
 public:
  StopSeam() { STOPST.SEAMS += 1; }
  ~StopSeam() { STOPST.SEAMS -= 1; }
  StopSeam(const StopSeam&) = delete;
  StopSeam& operator=(const StopSeam&) = delete;
};

// Plain STOP: closes the units (scratch files vanish) and exits with status 0
// (throws RunStopped{0} under a StopSeam).
[[noreturn]] void stop();

// STOP with a code: writes "STOP <code> statement executed" on standard
// error, closes the units and exits with status 1 (throws RunStopped{1}
// under a StopSeam) (every coded stop of the
// program is a stop on an error).  An empty code writes
// "STOP statement executed".
[[noreturn]] void stop(std::string_view code);
[[noreturn]] void stop(int code);

// Ends the program after an error that the run-time reports itself (an
// unhandled I/O error): the message has been written already.
[[noreturn]] void abort_run();

// Installs the handlers for the floating-point, IOT, trap, quit, interrupt
// and terminate signals.  Each writes its message ("Floating Exception",
// "IOT Trap", "Trace trap", "Quit signal", "Interrupt", "Killed") on standard
// error and ends the program with status 128 + the signal number.
// Floating-point traps stay disabled.
void install_signal_handlers();

// Wall-clock time of day in seconds (seconds + microseconds / 1.0E6).
double wall_seconds();

}  // namespace qv::runtime
