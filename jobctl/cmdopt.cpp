#include "jobctl/cmdopt.hpp"

#include <algorithm>

#include "jobbase/errmsg.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::write_list;

namespace {

// Removes columns first..last (1-based) of s: the rest moves left and the
// freed end becomes blanks.
void cut(std::string& s, int first, int last) {
  s.erase(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
  s.append(static_cast<std::size_t>(last - first + 1), ' ');
}

}  // namespace

int OPTNUM(const std::string& S, int& I) {
  const int n = static_cast<int>(S.size());
  long long v = 0;
  int digits = 0;
  while (I <= n && S[I - 1] != ' ') {
    const char ch = S[I - 1];
    if (ch < '0' || ch > '9') ERRMSG(197);
    // A count past any workspace is kept at the largest integer.
    v = std::min<long long>(v * 10 + (ch - '0'), 2147483647LL);
    ++digits;
    ++I;
  }
  if (digits == 0) ERRMSG(197);
  return static_cast<int>(v);
}

void CMDOPT(std::string& ARGS, int& HTML, int& FRONT, int& WORDS) {
  ARGS = runtime::fpad(ARGS, ARGLEN);
  WORDS = 100000;
  int c = 1;
  while (c < ARGLEN) {
    // An option is a word of its own: "-x" at the start or after a blank.
    const bool word_start = c == 1 || ARGS[c - 2] == ' ';
    const char opt = ARGS[c];
    const bool ends = c + 1 == ARGLEN || ARGS[c + 1] == ' ';
    if (!(word_start && ARGS[c - 1] == '-')) {
      ++c;
      continue;
    }
    if ((opt == 'h' || opt == 'H') && ends) {
      HTML = 1;
      write_list(kStdout, {" HTML option in effect"});
      cut(ARGS, c, c + 1);
    } else if ((opt == 'f' || opt == 'F') && ends) {
      FRONT = 1;
      write_list(kStdout, {" Frontend QVGUI option in effect"});
      cut(ARGS, c, c + 1);
    } else if (opt == 'k' || opt == 'K') {
      int i = c + 2;
      while (i <= ARGLEN && ARGS[i - 1] == ' ') ++i;
      const int n = OPTNUM(ARGS, i);
      WORDS = static_cast<int>(std::min<long long>(std::max(n, 50) * 1000LL, 2147483647LL));
      write_list(kStdout, {" Workspace available :", WORDS});
      cut(ARGS, c, i - 1);
    } else {
      ++c;
    }
  }
}

}  // namespace qv::jobctl
