// Options files: blocks between BEGIN and END, the messages for files that
// do not start as they should or end early, ENDRUN, the listing switches and
// the entries for NLSQP and the QP solver.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/optfile.hpp"
#include "optim/options.hpp"
#include "runtime/fixedstr.hpp"

namespace qv::optim {
namespace {

using Lines = std::vector<std::string>;

class OptfilTest : public testing::LogUnits {
 protected:
  void TearDown() override {
    runtime::close_unit(kFile, "DELETE");
    LogUnits::TearDown();
  }
  // Writes text to a temporary file connected to unit kFile.
  static void options_file(const std::string& text) {
    runtime::close_unit(kFile);
    const std::string p = path(kFile);
    std::ofstream(p) << text;
    runtime::OpenSpec spec;
    spec.file = p;
    spec.status = "OLD";
    runtime::open_unit(kFile, spec);
  }
  // The print records without trailing blanks (echoed lines are 72
  // characters wide).
  static Lines printed() {
    Lines p = records(kPrint);
    for (std::string& s : p) s = std::string(runtime::trim_right(s));
    return p;
  }
  static constexpr int kFile = 11;
};

const Lines kHeading{"", "", " OPTIONS file", " ------------", ""};

Lines cat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(OptfilTest, BlocksMessagesAndInformCodes) {
  const Lines wrong_first{"",
                          "",
                          " XXX  Error while looking for an OPTIONS file on unit     11",
                          " XXX  The file should start with BEGIN, SKIP or ENDRUN",
                          " XXX  but the first record found was the following:",
                          "",
                          " ---->Major iterations 9",
                          "",
                          " XXX  Continuing to look for OPTIONS file..."};
  struct Case {
    const char* name;
    const char* text;
    int inform;
    Lines print;
    int major_iterations;  // the slot afterwards
  };
  const Case cases[] = {
      {"block", "BEGIN\nMajor iterations 77\n  Print level 5\nEND\n", 0,
       cat({kHeading, {"      BEGIN", "      Major iterations 77", "        Print level 5", "      END"}}), 77},
      {"lines before BEGIN after SKIP", "SKIP\nanything\nBEGIN  options\nIterations 5\nEnd\n", 0,
       cat({kHeading, {"      BEGIN  options", "      Iterations 5", "      End"}}), 5},
      {"option line first: one message", "Major iterations 9\nmore text\nbegin\nIterations 6\nend\n", 0,
       cat({wrong_first, kHeading, {"      begin", "      Iterations 6", "      end"}}), 6},
      {"no END", "BEGIN\nIterations 3\nPrint level 2\n", 2,
       cat({kHeading,
            {"      BEGIN", "      Iterations 3", "      Print level 2", "", "",
             " XXX  End-of-file encountered while processing an OPTIONS file on unit    11"}}),
       3},
      {"BEGIN at the end", "BEGIN\n", 2,
       {"", "", " XXX  End-of-file encountered while processing an OPTIONS file on unit    11"}, kUnsetInt},
      {"empty file", "", 3,
       {"", "", " XXX  End-of-file encountered while looking for an OPTIONS file on unit    11"}, kUnsetInt},
      {"no BEGIN", "SKIP\nIterations 8\n", 3,
       {"", "", " XXX  End-of-file encountered while looking for an OPTIONS file on unit    11"}, kUnsetInt},
      {"ENDRUN", "ENDRUN now\nBEGIN\nIterations 8\nEND\n", 4, {"", "", "      ENDRUN now"}, kUnsetInt},
      {"NOLIST first, LIST later", "BEGIN\nNOLIST\nIterations 4\nLIST\nPrint level 3\nEND\n", 0,
       {"      Print level 3", "      END"}, 4},
      {"NOLIST inside", "BEGIN\nIterations 4\nNOLIST\nIterations 12\nEND\n", 0,
       cat({kHeading, {"      BEGIN", "      Iterations 4", "      NOLIST"}}), 12},
      {"empty block", "BEGIN\nEND\nBEGIN\nIterations 2\nEND\n", 0, cat({kHeading, {"      BEGIN", "      END"}}),
       kUnsetInt},
      // The first line is parsed before the heading is written.
      {"unknown keywords", "BEGIN\nBogus 1\nIterations 3\nNonsense 2\nEND\n", 0,
       cat({{" XXX  Keyword not recognized:         BOGUS"},
            kHeading,
            {"      BEGIN", "      Bogus 1", "      Iterations 3", "      Nonsense 2",
             " XXX  Keyword not recognized:         NONSENSE", "      END"}}),
       3},
  };
  for (const Case& c : cases) {
    NPOPTS.reset();
    NPOSTAT.reset();
    options_file(c.text);
    int inform = -99;
    OPTFIL(kFile, kPrint, inform, NPOPTL);
    EXPECT_EQ(inform, c.inform) << c.name;
    EXPECT_EQ(printed(), c.print) << c.name;
    EXPECT_EQ(NPOPTS.inp(slot::kMajorIterations), c.major_iterations) << c.name;
  }
}

TEST_F(OptfilTest, UnitsFrom100AreNotRead) {
  int inform = -99;
  OPTFIL(100, kPrint, inform, NPOPTL);
  EXPECT_EQ(inform, 1);
  EXPECT_TRUE(printed().empty());
}

TEST_F(OptfilTest, SeveralBlocksAreReadOneByOne) {
  options_file("BEGIN\nIterations 21\nEND\nSKIP\nBEGIN\nIterations 22\nEND\nENDRUN\n");
  int inform = -1;
  OPTFIL(kFile, kPrint, inform, NPOPTL);
  EXPECT_EQ(inform, 0);
  EXPECT_EQ(NPOPTS.inp(slot::kMajorIterations), 21);
  OPTFIL(kFile, 0, inform, NPOPTL);  // no print unit: nothing written
  EXPECT_EQ(inform, 0);
  EXPECT_EQ(NPOPTS.inp(slot::kMajorIterations), 22);
  OPTFIL(kFile, kPrint, inform, NPOPTL);
  EXPECT_EQ(inform, 4);
  OPTFIL(kFile, kPrint, inform, NPOPTL);
  EXPECT_EQ(inform, 3);
  EXPECT_EQ(printed().size(), 5u + 3u + 3u + 3u);
}

TEST_F(OptfilTest, EntriesForNlsqpAndTheQpSolver) {
  // NPOPFL sets the option slots through NPOPTL and starts a new list of
  // option lines; LSOPFL uses the QP solver's parser.
  options_file("BEGIN\nMajor print level 20\nEND\nBEGIN\nProblem type LP\nEND\n");
  NPOSTAT.newopt = false;
  int inform = -1;
  NPOPFL(kFile, inform);
  EXPECT_EQ(inform, 0);
  EXPECT_EQ(NPOPTS.inp(slot::kMajorPrintLevel), 20);
  EXPECT_TRUE(NPOSTAT.newopt);
  EXPECT_EQ(NPOSTAT.nout, 7);
  LSOPFL(kFile, inform);
  EXPECT_EQ(inform, 0);
  EXPECT_EQ(NPOPTS.ils(slot::kProblemType), 2);
  EXPECT_TRUE(LSOSTAT.newopt);
  const Lines p = printed();
  ASSERT_EQ(p.size(), 2u * 8u);
  EXPECT_EQ(p[6], "      Major print level 20");
  EXPECT_EQ(p[14], "      Problem type LP");
}

TEST(Unopen, OpensUnderTheDefaultNameAndCloses) {
  const int unit = 61;
  const std::string name = "fort.61";
  std::remove(name.c_str());
  UNOPEN(unit, "xx");  // any other mode does nothing
  EXPECT_FALSE(runtime::unit_is_open(unit));
  UNOPEN(unit, "OUT");
  EXPECT_TRUE(runtime::unit_is_open(unit));
  runtime::write_fmt(unit, "(a)", {"BEGIN"});
  runtime::write_fmt(unit, "(a)", {"END"});
  UNCLOS(unit);
  EXPECT_FALSE(runtime::unit_is_open(unit));
  UNOPEN(unit, "IN ");
  std::string rec;
  EXPECT_EQ(runtime::read_record(unit, rec), runtime::IoStat::Ok);
  EXPECT_EQ(rec, "BEGIN");
  UNCLOS(unit);
  std::remove(name.c_str());
}

}  // namespace
}  // namespace qv::optim
