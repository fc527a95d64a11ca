// qvrun: starts qvt or qvh through /bin/sh with redirected standard input
// and output, and in remote mode relays a front end's script through a pair
// of files in the current directory.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace qv::launcher {

// Fixed names of the remote-mode files, in the current directory.
inline constexpr std::string_view RMTIN = "_qv#Input#.qv";
inline constexpr std::string_view RMTOUT = "_qv#Output#.qvl";

// The command that qvrun hands to /bin/sh, and whether it relays.
struct Command {
  std::string text;
  bool remote = false;
};

// An argument as /bin/sh reads it back unchanged: as it stands when every
// character is a letter, a digit or one of _ . / + , : = @ % -, otherwise in
// single quotes with each quote written as '\''.  The empty argument is ''.
std::string shell_quote(std::string_view arg);

// Builds the command from the arguments after the program name.  Options
// pass: "-h"/"-H" restarts the command as "qvh ", "-r" selects remote mode,
// any other argument beginning with "-" is appended after a blank.  Then,
// not in remote mode, the first other argument is appended as " < " and it,
// the second as " > " and it; in remote mode the fixed files are appended in
// their place.  Pure: reads nothing but its arguments.
Command build_command(std::span<const std::string_view> args);

// True for the front end's opening line "!@front" (also "!@Front", "!@FRONT").
bool is_front_line(std::string_view line);
// True for its closing line "!@bye!" (also "!@BYE!", "!@Bye!").
bool is_bye_line(std::string_view line);

// Runs a command through /bin/sh and returns its exit status: the shell's
// status, 128 + the signal number when the shell was killed, 127 when no
// shell could be started.
int run_shell(const std::string& command);

// The remote relay: copies the script from `in` into RMTIN (answering each
// line before the front line with "!QvStarted!"), runs `command`, echoes
// RMTOUT to `out` in pieces of at most 79 characters, each followed by a
// newline, and ends with "!QvEnded!".  Returns 0, or 1 after "!QvError!"
// when a file cannot be opened.
int relay(std::FILE* in, std::FILE* out, const std::string& command);

// The whole program: arguments after the program name in, exit status out.
int qvrun(std::span<const std::string_view> args);

}  // namespace qv::launcher
