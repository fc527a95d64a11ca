// A child process for the launcher's process tests: started in a directory
// of its own with a chosen environment, fed through a pipe, its standard
// output and error collected, every wait bounded by a deadline.  The child
// leads a process group of its own so that a run past its deadline is ended
// together with the shell and programs it started.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qv::launcher::testing {

class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(-pid_, SIGKILL);
      int st;
      ::waitpid(pid_, &st, 0);
    }
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
  }

  // Starts `argv[0]` (a path) with `argv` and `env` in directory `cwd`.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& cwd) {
    // Writes into a pipe whose reader has gone must fail, not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<char*> av, ev;
    for (const std::string& a : argv) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    for (const std::string& e : env) ev.push_back(const_cast<char*>(e.c_str()));
    ev.push_back(nullptr);
    int pin[2], pout[2], perr[2];
    if (::pipe(pin) != 0) return false;
    if (::pipe(pout) != 0) return false;
    if (::pipe(perr) != 0) return false;
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      ::setpgid(0, 0);
      std::signal(SIGPIPE, SIG_DFL);
      ::dup2(pin[0], 0);
      ::dup2(pout[1], 1);
      ::dup2(perr[1], 2);
      for (int fd : {pin[0], pin[1], pout[0], pout[1], perr[0], perr[1]}) ::close(fd);
      if (::chdir(cwd.c_str()) != 0) ::_exit(126);
      ::execve(av[0], av.data(), ev.data());
      ::_exit(127);
    }
    ::setpgid(pid_, pid_);
    ::close(pin[0]);
    ::close(pout[1]);
    ::close(perr[1]);
    in_ = pin[1];
    out_ = pout[0];
    err_ = perr[0];
    ::fcntl(in_, F_SETFL, ::fcntl(in_, F_GETFL) | O_NONBLOCK);
    deadline_ = Clock::now() + std::chrono::seconds(kTimeoutSeconds);
    return true;
  }

  // Writes `data` into the child's standard input, collecting its output
  // meanwhile.  False when the deadline passes first or the pipe broke.
  bool send(std::string_view data) {
    while (!data.empty()) {
      if (in_ < 0) return false;
      ssize_t n = ::write(in_, data.data(), data.size());
      if (n > 0) {
        data.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (!pump(true)) return false;
    }
    return true;
  }

  void close_input() { close_fd(in_); }

  // Waits, with standard input still open, until the output holds `text`.
  bool wait_for_output(std::string_view text) {
    while (out.find(text) == std::string::npos) {
      if (out_ < 0 && err_ < 0) return false;
      if (!pump(false)) return false;
    }
    return true;
  }

  // Closes standard input, reads both outputs to their end and collects the
  // exit status (128 + the signal number after a signal).  False on timeout.
  bool finish() {
    close_input();
    while (out_ >= 0 || err_ >= 0)
      if (!pump(false)) return false;
    int st = 0;
    for (;;) {
      pid_t r = ::waitpid(pid_, &st, WNOHANG);
      if (r == pid_) break;
      if (r < 0 && errno != EINTR) return false;
      if (Clock::now() > deadline_) return false;
      ::usleep(2000);
    }
    pid_ = -1;
    status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
  }

  std::string out;
  std::string err;
  int status = -1;

  // Generous for a loaded two-core machine and the sanitizer build.
  static constexpr int kTimeoutSeconds = 60;

 private:
  static void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  // One poll over the output pipes (and the input pipe when writing); false
  // when the deadline has passed.
  bool pump(bool writing) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[3];
    int n = 0;
    if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
    if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
    if (writing && in_ >= 0) fds[n++] = {in_, POLLOUT, 0};
    if (n == 0) return true;
    int r = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(left.count()));
    if (r < 0 && errno != EINTR) return false;
    for (int i = 0; i < n; ++i) {
      if (fds[i].fd == in_ || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      bool is_out = fds[i].fd == out_;
      char buf[4096];
      ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
      if (got > 0)
        (is_out ? out : err).append(buf, static_cast<std::size_t>(got));
      else if (got == 0 || errno != EINTR)
        close_fd(is_out ? out_ : err_);
    }
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  Clock::time_point deadline_{};
};

}  // namespace qv::launcher::testing
