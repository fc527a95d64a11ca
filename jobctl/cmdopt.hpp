// Command-line options of the engine (-h HTML, -f front end, -k workspace in
// thousands of words).  The program takes no arguments, so start-up does not
// call this parser.
#pragma once

#include <string>

namespace qv::jobctl {

// Length of the argument string.
constexpr int ARGLEN = 127;

// Scans ARGS (made ARGLEN characters) for the options "-h"/"-H" (HTML := 1),
// "-f"/"-F" (FRONT := 1) and "-k"/"-K" followed by a number n (WORDS := n*1000,
// n at least 50), each written as a word of its own; every option found is
// noted on the report and removed from ARGS.  WORDS is 100000 without "-k".
void CMDOPT(std::string& ARGS, int& HTML, int& FRONT, int& WORDS);

// Reads the unsigned number that begins at column I (1-based) of S, ending at
// a blank or the end of S, and leaves I on the column after it.  A character
// that is not a digit, or no digit at all, is error 197.
int OPTNUM(const std::string& S, int& I);

}  // namespace qv::jobctl
