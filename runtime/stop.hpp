// Ending the program, signal handlers and the wall-clock timer.
#pragma once

#include <string_view>

namespace qv::runtime {

// Plain STOP: closes the units (scratch files vanish) and exits with status 0.
[[noreturn]] void stop();

// STOP with a code: writes "STOP <code> statement executed" on standard
// error, closes the units and exits with status 1 (every coded stop of the
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
