#include "jobbase/ferecs.hpp"

#include <string>

#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

namespace {
// Pieces of a group title.
constexpr int kTitlePieces = 4;
}  // namespace

void FETITL(int SLOT, int G, int MODE, int LEAD) {
  std::string title;
  for (int k = 0; k < kTitlePieces; ++k) title += LABTAB.get(SLOT + k);
  if (MODE != 0) {
    runtime::write_list(runtime::kStdout, {" TITLE"});
    runtime::write_list(runtime::kStdout, {G});
    const std::string text = title.substr(0, runtime::len_trim(title));
    runtime::write_fmt(runtime::kStdout, "(3a)", {"\"", text, "\";"});
  } else {
    runtime::write_fmt(runtime::kStdout, "(3a)", {LEAD != 0 ? " " : "", title});
  }
}

}  // namespace qv::jobbase
