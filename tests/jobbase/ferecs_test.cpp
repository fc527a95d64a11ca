// The group title in its plain form (a report line, with or without a
// leading blank) and in its front-end form (a TITLE record).
#include <gtest/gtest.h>

#include <string>

#include "jobbase/ferecs.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "support/reset.hpp"

namespace qv::jobbase {
namespace {

template <class F>
std::string captured(F f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

TEST(FetitlTest, PlainAndFrontEndForms) {
  ::qv::testing_support::reset_every_area();
  // A title over two of its four pieces.
  const std::string first(32, 'a');
  LABTAB.put(7, first);
  LABTAB.put(8, "tail");
  const std::string title = runtime::fpad(first + "tail", 128);
  struct Case {
    int mode, lead;
    std::string out;
  } const cases[] = {
      {0, 1, " " + title + "\n"},
      {0, 0, title + "\n"},
      {1, 0, " TITLE\n 3\n\"" + first + "tail\";\n"},
      {2, 1, " TITLE\n 3\n\"" + first + "tail\";\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode * 10 + c.lead);
    EXPECT_EQ(captured([&] { FETITL(7, 3, c.mode, c.lead); }), c.out);
  }
}

}  // namespace
}  // namespace qv::jobbase
