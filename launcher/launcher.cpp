// qvrun: command building, the shell call and the remote relay.
#include "launcher/launcher.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sys/wait.h>

namespace qv::launcher {

namespace {

bool is_safe_char(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_': case '.': case '/': case '+': case ',': case ':':
    case '=': case '@': case '%': case '-':
      return true;
    default:
      return false;
  }
}

bool begins_with_dash(std::string_view arg) { return !arg.empty() && arg.front() == '-'; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads one line of any length into `line`, its newline kept when there is
// one.  False at the end of the file when nothing was read.
bool read_line(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(f)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

// A marker line, flushed at once so that a front end reading a pipe sees it.
void put_marker(std::FILE* out, const char* marker) {
  std::fputs(marker, out);
  std::fputc('\n', out);
  std::fflush(out);
}

int open_failure(std::FILE* out) {
  put_marker(out, "can't open file in remote");
  put_marker(out, "!QvError!");
  return 1;
}

}  // namespace

std::string shell_quote(std::string_view arg) {
  bool safe = !arg.empty();
  for (char c : arg) safe = safe && is_safe_char(c);
  if (safe) return std::string(arg);
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

Command build_command(std::span<const std::string_view> args) {
  Command cmd{"qvt ", false};
  for (std::string_view arg : args) {
    if (arg == "-h" || arg == "-H") {
      cmd.text = "qvh ";
    } else if (arg == "-r") {
      cmd.remote = true;
    } else if (begins_with_dash(arg)) {
      cmd.text += ' ';
      cmd.text += shell_quote(arg);
    }
  }
  if (cmd.remote) {
    cmd.text += " < ";
    cmd.text += RMTIN;
    cmd.text += " > ";
    cmd.text += RMTOUT;
    return cmd;
  }
  int named = 0;
  for (std::string_view arg : args) {
    if (begins_with_dash(arg)) continue;
    if (named == 0)
      cmd.text += " < ";
    else if (named == 1)
      cmd.text += " > ";
    else
      break;
    cmd.text += shell_quote(arg);
    ++named;
  }
  return cmd;
}

bool is_front_line(std::string_view line) {
  return line == "!@front" || line == "!@Front" || line == "!@FRONT";
}

bool is_bye_line(std::string_view line) {
  return line == "!@bye!" || line == "!@BYE!" || line == "!@Bye!";
}

int run_shell(const std::string& command) {
  // Whatever this process has written goes out before the program's own
  // output.
  std::fflush(nullptr);
  int status = std::system(command.c_str());
  if (status == -1) return 127;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 127;
}

int relay(std::FILE* in, std::FILE* out, const std::string& command) {
  const std::string in_name(RMTIN);
  const std::string out_name(RMTOUT);
  {
    FilePtr script(std::fopen(in_name.c_str(), "wb"));
    if (!script) return open_failure(out);
    bool copying = false;
    std::string line;
    // End of input before a bye line ends the copy as a bye line would.
    while (read_line(in, line)) {
      if (line.back() == '\n') line.pop_back();
      if (!copying && is_front_line(line)) copying = true;
      if (copying) {
        std::fwrite(line.data(), 1, line.size(), script.get());
        std::fputs("\r\n", script.get());
      } else {
        put_marker(out, "!QvStarted!");
      }
      if (is_bye_line(line)) break;
    }
  }
  // The program's status is not looked at: whatever it wrote is echoed.
  run_shell(command);
  FilePtr report(std::fopen(out_name.c_str(), "rb"));
  if (!report) return open_failure(out);
  // Each piece is at most 79 characters, its newline counted, and is
  // followed by a newline of its own: a front end reads every report line
  // followed by an empty one.
  constexpr std::size_t piece = 79;
  std::string line;
  while (read_line(report.get(), line)) {
    for (std::size_t pos = 0; pos < line.size(); pos += piece) {
      std::size_t n = std::min(piece, line.size() - pos);
      std::fwrite(line.data() + pos, 1, n, out);
      std::fputc('\n', out);
    }
  }
  put_marker(out, "!QvEnded!");
  return 0;
}

int qvrun(std::span<const std::string_view> args) {
  Command cmd = build_command(args);
  if (cmd.remote) return relay(stdin, stdout, cmd.text);
  return run_shell(cmd.text);
}

}  // namespace qv::launcher
