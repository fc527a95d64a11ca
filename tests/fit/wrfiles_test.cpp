// The output-file writers on hand-built groups: the matrix-file header and
// the path-diagram records.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/outreq.hpp"
#include "fit/wrfiles.hpp"
#include "fit_fixture.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "runtime/units.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::Mat;

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

TEST(MatrixHeaderTest, PatchesGroupTypeLetterAndSizesAtTheirPositions) {
  struct Case {
    int g, type;
    char letter;
    int rows, cols;
    const char* want;
  };
  const Case cases[] = {
      {1, jobbase::kTypeFull, 'A', 3, 3, "(6D13.6) GROUP  1  FU MATRIX A    3 ROWS,    3 COLS"},
      {12, jobbase::kTypeSym, '%', 3, 3, "(6D13.6) GROUP 12  SY MATRIX %    3 ROWS,    3 COLS"},
      {1, jobbase::kTypeFull, '&', 1, 4, "(6D13.6) GROUP  1  FU MATRIX &    1 ROW,     4 COLS"},
      {2, jobbase::kTypeFull, 'C', 5, 1, "(6D13.6) GROUP  2  FU MATRIX C    5 ROWS,    1 COL"},
      {1, jobbase::kTypeDiag, 'D', 4, 4, "(6D13.6) GROUP  1  DI MATRIX D    4 ROWS,    4 COLS"},
      {1, jobbase::kTypeViewSym, 'V', 2, 2, "(6D13.6) GROUP  1  SY MATRIX V    2 ROWS,    2 COLS"},
      {1, jobbase::kTypeViewFull, 'W', 2, 3, "(6D13.6) GROUP  1  FU MATRIX W    2 ROWS,    3 COLS"},
      {1, jobbase::kTypeComputed, 'P', 2, 2, "(6D13.6) GROUP  1  FU MATRIX P    2 ROWS,    2 COLS"},
      {1, jobbase::kTypeCompRef, 'Q', 1, 1, "(6D13.6) GROUP  1  FU MATRIX Q    1 ROW,     1 COL"},
  };
  for (const Case& c : cases) {
    const std::string h = matrix_header(c.g, c.type, c.letter, c.rows, c.cols);
    EXPECT_EQ(h.size(), 500u);
    EXPECT_EQ(trimmed(h), c.want) << c.letter;
  }
}

class RamoutTest : public FitJobTest {
 protected:
  // RAMOUT of group 1 into a file of its own; returns the file's lines.
  std::vector<std::string> ramout(std::string& screen) {
    const std::string path = ::testing::TempDir() + "qv_ramout_" + std::to_string(::getpid()) + ".drw";
    runtime::OpenSpec spec;
    spec.file = path;
    spec.status = "REPLACE";
    runtime::open_unit(runtime::kOutFileUnit, spec);
    jobbase::MAINPR.IGRP = 1;
    screen = testing_support::jobctl_capture([&] { RAMOUT(X()); });
    runtime::close_unit(runtime::kOutFileUnit);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::remove(path.c_str());
    return lines;
  }
};

TEST_F(RamoutTest, ListsEveryPathOfASymmetricTriangleAFixedPathAndAFreePathAtZero) {
  job(1);
  // A full 2 x 2: one free path (2 <- 1) at 0.5 and a fixed one (1 <- 2) at
  // 0.25; S symmetric: a free variance at 0 and a fixed one; F a diagonal
  // matrix, expanded to full before it is listed.
  matrices(1, {{'A', jobbase::kTypeFull, 2, 2, {0, 0, 3, 0}, {0, 0.25, 0.5, 0}},
               {'S', jobbase::kTypeSym, 2, 2, {1, 0, 0}, {0, 0, 2}},
               {'F', jobbase::kTypeDiag, 2, 2, {0, 0}, {1, 0}}});
  close();
  std::string screen;
  const std::vector<std::string> lines = ramout(screen);
  EXPECT_EQ(screen, "");
  const std::vector<std::string> want = {
      " input_model =",
      "1,  1,  2,  0.2500D+00,0,   0;",
      "1,  2,  1,  0.5000D+00,0,   3;",
      "2,  1,  1,  0.0000D+00,1,   1;",
      "2,  2,  2,  0.2000D+01,1,   0;",
      "0,  1,  1,  0.1000D+01,0,   0;",
      " set_title=\"",
      std::string(128, ' '),
      " \";",
      " /* Delete the * and / characters from the line below",
      "   to create a *.ps file for a postscript printer */",
      " draw_model /* postscript */;"};
  EXPECT_EQ(lines, want);
}

TEST_F(RamoutTest, AFixedPatternFIsListedWithParameterNumberZero) {
  job(1);
  matrices(1, {{'A', jobbase::kTypeFull, 2, 2, {0, 0, 1, 0}, {0, 0, 0.5, 0}},
               {'S', jobbase::kTypeFull, 2, 2, {0, 0, 0, 0}, {1, 0, 0, 1}},
               {'F', jobbase::kTypeIdent, 2, 2, {}}});
  close();
  std::string screen;
  const std::vector<std::string> lines = ramout(screen);
  const std::vector<std::string> want = {" input_model =",
                                         "1,  2,  1,  0.5000D+00,0,   1;",
                                         "2,  1,  1,  0.1000D+01,0,   0;",
                                         "2,  2,  2,  0.1000D+01,0,   0;",
                                         "0,  1,  1,  0.1000D+01,0,   0;",
                                         "0,  2,  2,  0.1000D+01,0,   0;"};
  ASSERT_GE(lines.size(), want.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(want.size())), want);
}

TEST_F(RamoutTest, AGroupWithoutSGetsTheWarningAndAnEmptyFile) {
  job(1);
  matrices(1, {{'A', jobbase::kTypeFull, 2, 2, {0, 0, 1, 0}}, {'F', jobbase::kTypeFull, 1, 2, {0, 0}}});
  close();
  std::string screen;
  EXPECT_TRUE(ramout(screen).empty());
  EXPECT_NE(screen.find(" Matrices F, A and S *must* be specified to create\n"), std::string::npos);
  EXPECT_NE(screen.find(" same as the number of rows & columns in both A and S\n"), std::string::npos);
}

class WrfilesTest : public RamoutTest {
 protected:
  // WRFILES of request req for group 1 into a file in the test's directory;
  // returns the file's lines (none when no file was written).
  std::vector<std::string> write(int req, std::string& screen) {
    const std::string name = "qv_wrfiles_" + std::to_string(::getpid()) + ".out";
    const std::string path = ::testing::TempDir() + name;
    std::remove(path.c_str());
    const std::vector<std::string> names = {path};
    jobbase::MAINPR.IGRP = 1;
    WRFCEL.REQNUM = req;
    screen = testing_support::jobctl_capture([&] { WRFILES(X(), IX(), names, 1, 80); });
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::remove(path.c_str());
    return lines;
  }
};

TEST_F(WrfilesTest, VariableLengthDataGoOutAsLengthCodesAndValues) {
  job(1);
  matrices(1, {});
  // Two vectors: codes 1 2 with values 1.5 -2, and code 3 with 0.25.
  const std::vector<double> block = {2, 2, 0, 1, 2, 1.5, -2, 1, 0, 3, 0.25};
  const int a = take(static_cast<int>(block.size()));
  for (std::size_t k = 0; k < block.size(); ++k) X()(a + static_cast<int>(k)) = block[k];
  col(jobbase::gcol::kRecords, 1) = a + 1;
  close();
  std::string screen;
  const std::vector<std::string> want = {" 2", "         1         2", " 0.150000E+01 -.200000E+01", " 1",
                                         "         3", " 0.250000E+00"};
  EXPECT_EQ(write(kReqVl, screen), want);
  EXPECT_EQ(screen.rfind(" VL File will be saved to ", 0), 0u);
}

TEST_F(WrfilesTest, MissingDataGiveAWarningAndNoFile) {
  job(1);
  matrices(1, {{'A', jobbase::kTypeFull, 1, 1, {0}}});
  close();
  struct Case {
    int req;
    const char* text;
  };
  const Case cases[] = {{kReqVl, " I can't write the VL data to a file\n"},
                        {kReqExpMean, " I can't write the mean vector to a file\n"},
                        {2, "         The matrix B    does not exist - not written to file\n"}};
  for (const Case& c : cases) {
    std::string screen;
    EXPECT_TRUE(write(c.req, screen).empty()) << c.req;
    EXPECT_NE(screen.find(c.text), std::string::npos) << screen;
  }
}

TEST_F(WrfilesTest, AFileThatCannotBeOpenedStopsTheJobWithError223) {
  job(1);
  matrices(1, {{'A', jobbase::kTypeFull, 1, 1, {0}}});
  close();
  const std::vector<std::string> names = {"/nonexistent-directory-of-qv/a.mat"};
  jobbase::MAINPR.IGRP = 1;
  WRFCEL.REQNUM = 1;
  EXPECT_EXIT(WRFILES(X(), IX(), names, 1, 80), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace qv::fit
