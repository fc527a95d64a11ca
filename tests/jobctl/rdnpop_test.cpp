// The options word NP: the optimizer options file read line by line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "jobctl/rdnpop.hpp"
#include "optim/options.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl {
namespace {

using jobbase::testing_support::capture;
using jobbase::testing_support::write_file;

class RdnpopTest : public jobbase::testing_support::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    optim::NPOPTS.reset();
    optim::NPOSTAT.reset();
    // The optimizer's print unit, on a file of its own.
    print_path_ = jobbase::testing_support::temp_path("optprint.txt");
    runtime::OpenSpec spec;
    spec.file = print_path_;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kMsgUnit, spec);
  }
  void TearDown() override {
    runtime::close_unit(runtime::kMsgUnit, "DELETE");
    optim::NPOPTS.reset();
    optim::NPOSTAT.reset();
    ScriptTest::TearDown();
  }
  std::vector<std::string> print_unit() {
    runtime::close_unit(runtime::kMsgUnit);
    std::vector<std::string> lines;
    std::ifstream in(print_path_);
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    return lines;
  }
  std::string print_path_;
};

std::string pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

TEST_F(RdnpopTest, EmptyFileWritesOnlyTheHeader) {
  const std::string path = write_file("empty.opt", "");
  const std::string out = capture([&] { RDNPOP(pad(path, 80)); });
  EXPECT_EQ(out, " NLSQP options read:\n");
  EXPECT_EQ(optim::NPOPTS.iprmnp, optim::Npopts{}.iprmnp);
  EXPECT_TRUE(print_unit().empty());
  EXPECT_FALSE(runtime::unit_is_open(9));
}

TEST_F(RdnpopTest, LinesAreListedAndHandedToTheOptionRoutine) {
  // The third line is longer than 72 characters: listed whole, but the
  // optimizer sees its first 72 only (the Bogus word is never parsed).
  const std::string long_line = pad("Verify level 5", 75) + "Bogus";
  const std::string path =
      write_file("Mixed_Case.opt", "Major iterations 250\n  Print level 3 * comment\n" + long_line + "\nbogus 1\n");
  const std::string out = capture([&] { RDNPOP(pad(path, 80)); });
  const std::string expected = " NLSQP options read:\n"
                               " " + pad("Major iterations 250", 120) + "\n" +
                               " " + pad("  Print level 3 * comment", 120) + "\n" +
                               " " + pad(long_line, 120) + "\n" +
                               " " + pad("bogus 1", 120) + "\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(optim::NPOPTS.inp(optim::slot::kMajorIterations), 250);
  EXPECT_EQ(optim::NPOPTS.inp(optim::slot::kMajorPrintLevel), 3);
  EXPECT_EQ(optim::NPOPTS.inp(optim::slot::kVerifyLevel), 5);
  const std::vector<std::string> printed = {
      "",
      "",
      " Calls to Option Routine",
      " -----------------------",
      "",
      "      " + pad("Major iterations 250", 72),
      "      " + pad("  Print level 3 * comment", 72),
      "      " + pad(long_line, 72),
      "      " + pad("bogus 1", 72),
      " XXX  Keyword not recognized:         BOGUS           ",
  };
  EXPECT_EQ(print_unit(), printed);
  EXPECT_FALSE(runtime::unit_is_open(9));
}

TEST_F(RdnpopTest, MissingFileIsFatalAndNamesTheFile) {
  const std::string name = jobbase::testing_support::temp_path("No_Such_Options.opt");
  EXPECT_EXIT(
      {
        dup2(2, 1);
        RDNPOP(pad(name, 80));
      },
      ::testing::ExitedWithCode(1), "Error: file not found:(.|\n)*No_Such_Options\\.opt");
}

}  // namespace
}  // namespace qv::jobctl
