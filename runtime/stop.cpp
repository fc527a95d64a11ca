#include "runtime/stop.hpp"

#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/units.hpp"

namespace qv::runtime {

namespace {

// Ends the run with status: through main when a seam is armed, else here.
[[noreturn]] void end_run(int status) {
  if (STOPST.SEAMS > 0) throw RunStopped{status};
  std::exit(status);
}

}  // namespace

void stop() {
  close_all_units();
  end_run(0);
}

void stop(std::string_view code) {
  close_all_units();
  if (code.empty())
    std::fprintf(stderr, "STOP statement executed\n");
  else
    std::fprintf(stderr, "STOP %.*s statement executed\n", static_cast<int>(code.size()), code.data());
  std::fflush(stderr);
  end_run(1);
}

void stop(int code) { stop(std::to_string(code)); }

void abort_run() {
  close_all_units();
  end_run(1);
}

namespace {

// Only async-signal-safe calls here: write the message and leave at once.
// Scratch files are already unlinked, so nothing is left behind.
void on_signal(int sig) {
  const char* msg = "Killed";
  switch (sig) {
    case SIGFPE: msg = "Floating Exception"; break;
    case SIGABRT: msg = "IOT Trap"; break;
    case SIGTRAP: msg = "Trace trap"; break;
    case SIGQUIT: msg = "Quit signal"; break;
    case SIGINT: msg = "Interrupt"; break;
    default: msg = "Killed"; break;
  }
  ssize_t r = ::write(STDERR_FILENO, msg, std::strlen(msg));
  r = ::write(STDERR_FILENO, "\n", 1);
  (void)r;
  _exit(128 + sig);
}

}  // namespace

void install_signal_handlers() {
  for (int sig : {SIGFPE, SIGABRT, SIGTRAP, SIGQUIT, SIGINT, SIGTERM}) {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(sig, &sa, nullptr);
  }
}

double wall_seconds() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1.0E6;
}

}  // namespace qv::runtime
