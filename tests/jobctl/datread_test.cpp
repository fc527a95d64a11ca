// Data statements, data files, raw / variable-length / rectangular records,
// labels, selection and definition variables, and the data keyword dispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobctl/datkey.hpp"
#include "jobctl/defvar.hpp"
#include "jobctl/labels.hpp"
#include "jobctl/matdata.hpp"
#include "jobctl/records.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using jobbase::testing_support::ScriptTest;
using jobbase::testing_support::write_file;

class DataTest : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    MAINPR.DATUNT = runtime::kDataUnit;
  }
  void TearDown() override {
    runtime::close_unit(runtime::kDataUnit);
    ScriptTest::TearDown();
  }
  // One data group of ni variables and no observations; the script is text,
  // whose first line is made current.
  void group(int ni, int no, const std::string& text) {
    auto X = WORKSP.x();
    MAINPR.NG = 1;
    MAINPR.IGRP = 1;
    X(1) = 1;
    col(0) = ni;
    col(1) = no;
    col(2) = ni;
    col(3) = ni * (ni + 1) / 2;
    col(11) = 2;
    MAINPR.RDPTR = 46;
    MAINPR.IWSTOP = 14;
    MAINPR.LABSLOT = 5;
    DATFLG.reset();
    feed(text);
    RDLINE();
  }
  static double& col(int k) { return GRPTAB(WORKSP.x(), 1, k, 1); }
  static std::vector<double> words(int first, int n) {
    std::vector<double> v;
    for (int k = 0; k < n; ++k) v.push_back(WORKSP.x()(first + k));
    return v;
  }
  // Runs RDDATA for n values of the given kind at word 100.
  std::vector<double> rddata(int ni, int n, int kind, const std::string& text) {
    group(ni, 10, text);
    int p = 100;
    RDDATA(WORKSP.x(), ni, n, p, kind, 1, 1, DATFIL.MISVAL, 0);
    return words(100, n);
  }
  static std::string file(const std::string& name, const std::string& text) {
    return write_file(name, text);
  }
};

TEST_F(DataTest, InlineSymmetricFullAndVector) {
  EXPECT_EQ(rddata(3, 6, 0, "CM\n1\n2 3\n4 5 6\nMA\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(rddata(3, 6, 0, "CM SY 1 2 3\n4 5 6\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  // Full input: the elements with column <= row are stored.
  EXPECT_EQ(rddata(3, 6, 0, "CM FU\n1 9 9\n2 3 9\n4 5 6\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(DATFIL.FULLIN);
  EXPECT_EQ(rddata(3, 3, 9, "ME 7 8 9\n"), (std::vector<double>{7, 8, 9}));
}

TEST_F(DataTest, FileFormsOpenTheNamedFileKeepingItsCase) {
  const std::string path = file("Cov.dat", "*\n1 2 3\n4,5 6\n");
  for (const std::string kw : {"CM FI=", "CM FILE = ", "CM =", "CM SY FI="}) {
    EXPECT_EQ(rddata(3, 6, 0, kw + path + "\n"), (std::vector<double>{1, 2, 3, 4, 5, 6})) << kw;
  }
}

TEST_F(DataTest, RecordFormatAfterLettersAndFullFileForm) {
  const std::string fmt = file("fmt.dat", "FORMAT (3F4.1)\n 1.0 2.0 3.0\n 4.0 5.0 6.0\n");
  EXPECT_EQ(rddata(3, 6, 0, "CM FI=" + fmt + "\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  const std::string full = file("full.dat", "(*)\n1 9 9\n2 3 9\n4 5 6\n");
  EXPECT_EQ(rddata(3, 6, 0, "CM FU FI=" + full + "\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  // A later vector read from a file is not taken as full.
  const std::string vec = file("vec.dat", "*\n7 8 9\n");
  EXPECT_EQ(rddata(3, 3, 9, "ME FI=" + vec + "\n"), (std::vector<double>{7, 8, 9}));
}

TEST_F(DataTest, ProgramMatrixFileIsReadAsFull) {
  const std::string mat = file("A.mat",
                               " (6D13.6) GROUP 1   FU MATRIX A    3 ROWS,    3 COLS\n"
                               " 0.100000D+01 0.900000D+01 0.900000D+01 0.200000D+01 0.300000D+01 0.900000D+01\n"
                               " 0.400000D+01 0.500000D+01 0.600000D+01\n");
  std::vector<double> got;
  const std::string out = capture([&] { got = rddata(3, 6, 0, "CM =" + mat + "\n"); });
  EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(out,
            " *** WARNING! ***\n Qv data file indicates full format, not symmetric\n"
            " Will read 9 elements, and store 6\n");
  // The scratch of the full read lies after the destination.
  EXPECT_EQ(WORKSP.x()(99), 0.0);
}

TEST_F(DataTest, FileErrors) {
  const std::string digit = file("digit.dat", "5 (6F10.3)\n1 2 3\n");
  EXPECT_QV_ERROR(rddata(2, 3, 0, "CM FI=" + digit + "\n"), 60);
  const std::string nofmt = file("nofmt.dat", "values follow\n1 2 3\n");
  EXPECT_QV_ERROR(rddata(2, 3, 0, "CM FI=" + nofmt + "\n"), 46);
  EXPECT_QV_ERROR(rddata(2, 3, 0, "CM FI\n"), 45);
  EXPECT_QV_ERROR(rddata(2, 3, 0, "CM FI=no_such_file.dat\n"), 169);
  EXPECT_QV_ERROR(rddata(2, 3, 0, "CM FI=" + std::string(81, 'x') + "\n"), 169);
  const std::string shortfree = file("short.dat", "*\n1 2\n");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        rddata(2, 3, 0, "CM FI=" + shortfree + "\n");
      },
      ::testing::ExitedWithCode(1),
      "End of file after element # 2\n\n Your file contains 2 lines, including the format\n(.*)error code is +139\n");
  const std::string shortfmt = file("shortf.dat", "(3F4.1)\n 1.0\n");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        rddata(2, 4, 0, "CM FI=" + shortfmt + "\n");
      },
      ::testing::ExitedWithCode(1), "End of file after element # 3\n(.*\n)*.*error code is +140\n");
  EXPECT_QV_ERROR(rddata(2, 2, 9, "ME FU 1 2\n"), 101);
}

TEST_F(DataTest, RawRecordsEndEarlyAndKeepFirstValue) {
  group(2, 10, "RA\n1 2 3 4 5 6 7\n");
  int no = 10;
  const std::string out = capture([&] { RDRAW(WORKSP.x(), 2, no, 100); });
  EXPECT_EQ(no, 3);
  EXPECT_EQ(out, " End of file after reading case 3\n");
  EXPECT_EQ(words(100, 2), (std::vector<double>{1, 2}));
  // A non-numeric word after the keyword is passed over.
  group(2, 1, "RA Free 5 6\n");
  no = 1;
  RDRAW(WORKSP.x(), 2, no, 100);
  EXPECT_EQ(no, 1);
  EXPECT_EQ(words(100, 2), (std::vector<double>{5, 6}));
}

TEST_F(DataTest, VariableLengthBlock) {
  group(3, 0, "VL\n3\n1 2 3 10.5 11.5 12.5\n2\n1 3 9.0 9.5\n2\n1 3\n8 8.5\nEND\nNEXT\n");
  int s = 102;
  const std::string out = capture([&] { RDVL(WORKSP.x(), s, INCSTK.INUNIT, 1, 1); });
  EXPECT_EQ(words(100, 3), (std::vector<double>{0 + words(100, 1)[0], 3, 3}));
  EXPECT_EQ(words(103, 8), (std::vector<double>{3, 1, 1, 2, 3, 10.5, 11.5, 12.5}));
  EXPECT_EQ(words(111, 6), (std::vector<double>{2, 1, 1, 3, 9.0, 9.5}));
  EXPECT_EQ(words(117, 6), (std::vector<double>{2, 0, 1, 3, 8, 8.5}));  // same codes: flag 0
  EXPECT_EQ(WORKSP.x()(100), 123.0);  // the per-case area after the vectors
  EXPECT_EQ(s, 126);
  EXPECT_EQ(col(1), 3.0);
  EXPECT_EQ(out, "\n  NOTE: End of vl data after reading case number    3\n\n");
}

TEST_F(DataTest, VariableLengthNotesAndLimits) {
  group(3, 1, "VL\nID X\n0\n2\n1 2 5 6 7\nEND\n");
  int s = 102;
  const std::string out = capture([&] { RDVL(WORKSP.x(), s, INCSTK.INUNIT, 1, 1); });
  EXPECT_EQ(out,
            " Character data found: I\n\n NOTE: First line of VL data reads:\n ID X\n NOTE: It has been ignored.\n\n"
            " NOTE: Vector of size 0 has been read\n NOTE: It has been ignored.\n"
            " NOTE: Extra numbers found for case number 1\n NOTE: They have been ignored\n"
            " NOTE: Data reading stopped at observation 1 due to NO= on data line\n");
  EXPECT_EQ(col(1), 1.0);
  group(3, 1, "VL\n1\n1 5\n1\n1 6\nEND\n");
  EXPECT_QV_ERROR(RDVL(WORKSP.x(), s, INCSTK.INUNIT, 1, 1), 230);
  group(3, 0, "VL\n1\n1.5 5\nEND\n");
  EXPECT_QV_ERROR(RDVL(WORKSP.x(), s, INCSTK.INUNIT, 1, 1), 103);
  group(3, 0, "VL\n2\n1 2 5 6x\nEND\n");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        RDVL(WORKSP.x(), s, INCSTK.INUNIT, 1, 1);
      },
      ::testing::ExitedWithCode(1), "1 2 5 6x\n Error encountered at line 2 of data\n(.*\n)*.*error code is +231\n");
}

TEST_F(DataTest, RectangularRecords) {
  const std::string data = file("rect.dat", "* heading\n1.5 . 3\n. .\n.5\t2 .\r\nEND\n");
  group(3, 0, "RE FI=" + data + "\n");
  int p = 103;
  std::string out = capture([&] { RDDATA(WORKSP.x(), 3, 0, p, 0, 1, 1, DATFIL.MISVAL, 1); });
  EXPECT_EQ(words(100, 3), (std::vector<double>{116, 0, 2}));
  EXPECT_EQ(words(103, 6), (std::vector<double>{2, 1, 1, 3, 1.5, 3}));
  EXPECT_EQ(words(109, 6), (std::vector<double>{2, 1, 1, 2, 0.5, 2}));
  EXPECT_EQ(p, 118);
  EXPECT_EQ(col(1), 2.0);
  EXPECT_EQ(out,
            " *** WARNING! ***\n A line of this file contains a * or a ( and has been ignored\n"
            "  NOTE: Rectangular file contained     2 records with data\n"
            "        and     1 records where all data were missing\n");

  struct Bad {
    std::string text;
    int code;
  };
  const std::vector<Bad> bad = {
      {"1 E5\n", 176}, {"1 3-2\n", 175}, {"1 NaN\n", 175}, {"1 2\n\n3 4\n", 174},
      {"\n1 2\n", 174}, {"", 177},        {"END\n", 177},   {std::string(2001, '1') + "\n", 175},
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    const std::string f = file("bad" + std::to_string(i) + ".dat", bad[i].text);
    group(3, 0, "RE FI=" + f + "\n");
    int q = 103;
    switch (bad[i].code) {
      case 173: EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 173); break;
      case 174: EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 174); break;
      case 175: EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 175); break;
      case 176: EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 176); break;
      case 177: EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 177); break;
    }
  }
  DATFIL.MISVAL = runtime::fpad("QQ", 16);
  const std::string ok = file("ok.dat", "1 2\n");
  group(3, 0, "RE FI=" + ok + "\n");
  int q = 103;
  EXPECT_QV_ERROR(RDDATA(WORKSP.x(), 3, 0, q, 0, 1, 1, DATFIL.MISVAL, 1), 173);
}

// The notes' counts stand in I6 (rectangular) and I5 (variable-length)
// fields after text that ends without a blank: a count that fills its field
// is written after one blank ("contained110000" ran the two together).
TEST_F(DataTest, NotesKeepABlankBeforeCountsThatFillTheirField) {
  struct Rect {
    int present, missing;
    std::string notes;
  };
  const std::vector<Rect> rects = {
      {99999, 0, "  NOTE: Rectangular file contained 99999 records with data\n"},
      {100000, 0, "  NOTE: Rectangular file contained 100000 records with data\n"},
      {110000, 0, "  NOTE: Rectangular file contained 110000 records with data\n"},
      {1, 100000,
       "  NOTE: Rectangular file contained     1 records with data\n"
       "        and 100000 records where all data were missing\n"},
  };
  for (const Rect& r : rects) {
    std::string text;
    for (int i = 0; i < r.present; ++i) text += "1\n";
    for (int i = 0; i < r.missing; ++i) text += ".\n";
    const std::string f = file("many.dat", text);
    group(1, 0, "RE FI=" + f + "\n");
    int p = 103;
    const std::string out = capture([&] { RDDATA(WORKSP.x(), 1, 0, p, 0, 1, 1, DATFIL.MISVAL, 1); });
    EXPECT_EQ(out, r.notes) << r.present;
  }
  struct Vl {
    int cases;
    std::string note;
  };
  const std::vector<Vl> vls = {
      {9999, "\n  NOTE: End of vl data after reading case number 9999\n\n"},
      {10000, "\n  NOTE: End of vl data after reading case number 10000\n\n"},
      {12345, "\n  NOTE: End of vl data after reading case number 12345\n\n"},
  };
  for (const Vl& v : vls) {
    std::string text;
    for (int i = 0; i < v.cases; ++i) text += "1\n1 5\n";
    const std::string f = file("many.vl", text);
    group(1, 0, "VL FI=" + f + "\n");
    DATFIL.VLDATA = true;
    int p = 103;
    const std::string out = capture([&] { RDDATA(WORKSP.x(), 1, 0, p, 0, 1, 1, DATFIL.MISVAL, 0); });
    EXPECT_EQ(out, v.note) << v.cases;
  }
}

TEST_F(DataTest, RectangularMissingStringKeepsNoBlanks) {
  // MI = NA stores " NA"; the comparison ignores the blank.
  DATFIL.MISVAL = runtime::fpad(" NA", 16);
  const std::string f = file("na.dat", "NA 4 .5\n");
  group(3, 0, "RE FI=" + f + "\n");
  int p = 103;
  capture([&] { RDDATA(WORKSP.x(), 3, 0, p, 0, 1, 1, DATFIL.MISVAL, 1); });
  EXPECT_EQ(words(103, 6), (std::vector<double>{2, 1, 2, 3, 4, 0.5}));
}

TEST_F(DataTest, Labels) {
  group(3, 0, "LA AGE sex,IQ " + std::string(40, 'L') + "\n");
  RDLAB(5, 4);
  EXPECT_EQ(LABTAB.get(5), runtime::fpad("AGE", 32));
  EXPECT_EQ(LABTAB.get(6), runtime::fpad("SEX,IQ", 32));
  EXPECT_EQ(LABTAB.get(7), runtime::fpad("IQ", 32));
  EXPECT_EQ(LABTAB.get(8), std::string(32, 'L'));
  group(3, 0, "LA A 1ST\n");
  EXPECT_QV_ERROR(RDLAB(5, 2), 122);

  for (int i = 1; i <= 4; ++i) LABTAB.put(i, "L" + std::to_string(i));
  std::vector<double> sel = {2, 4};
  SELLAB(1, 4, Vec1<double>(sel.data(), 2), 2, 1);
  EXPECT_EQ(runtime::trim_right(LABTAB.get(1)), "L1");
  EXPECT_EQ(runtime::trim_right(LABTAB.get(2)), "L3");
  EXPECT_EQ(runtime::trim_right(LABTAB.get(3)), "L4");
  EXPECT_EQ(runtime::trim_right(LABTAB.get(4)), "L2");
  std::vector<double> sel2 = {3, 1};
  SELLAB(1, 4, Vec1<double>(sel2.data(), 2), 2, 0);
  EXPECT_EQ(runtime::trim_right(LABTAB.get(1)), "L4");
  EXPECT_EQ(runtime::trim_right(LABTAB.get(2)), "L1");
  std::vector<double> sel3 = {1, 2, 3, 4, 1};
  EXPECT_QV_ERROR(SELLAB(1, 4, Vec1<double>(sel3.data(), 5), 5, 0), 8);
}

// A block of case vectors: the count, then each vector.
std::vector<double> block(std::vector<std::vector<double>> vecs) {
  std::vector<double> v = {static_cast<double>(vecs.size())};
  for (auto& x : vecs) v.insert(v.end(), x.begin(), x.end());
  v.resize(v.size() + 40, 0.0);
  return v;
}

TEST(Defsel, SelectionDefinitionAndSelectIf) {
  std::vector<double> w(64), d(8);
  auto V1 = [](std::vector<double>& v) { return Vec1<double>(v.data(), static_cast<std::ptrdiff_t>(v.size())); };
  std::vector<double> v = block({{3, 1, 1, 2, 3, 10, 20, 30}, {1, 1, 2, 5}});
  std::vector<double> sel = {3, 1};
  std::string out = capture([&] { DEFSEL(V1(v), V1(sel), 2, V1(d), V1(w), 0); });
  EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + 7), (std::vector<double>{1, 2, 1, 2, 1, 10, 30}));
  EXPECT_EQ(out,
            "\n  NOTE: Selection yields    1 data vectors for analysis\n"
            "  NOTE: Vectors contain a total of     2 observations\n\n");

  // Definition variable 2: slots first, remaining codes renumbered.
  v = block({{3, 1, 1, 2, 3, 10, 20, 30}, {3, 0, 1, 2, 3, 11, 20, 31}, {2, 1, 1, 3, 1, 2}, {3, 0, 1, 2, 3, 12, 21, 32}});
  std::vector<double> def = {2};
  out = capture([&] { DEFSEL(V1(v), V1(def), 1, V1(d), V1(w), 1); });
  EXPECT_EQ(v[0], 3);
  EXPECT_EQ(std::vector<double>(v.begin() + 1, v.begin() + 9), (std::vector<double>{3, 3, -1, 1, 2, 20, 10, 30}));
  EXPECT_EQ(std::vector<double>(v.begin() + 9, v.begin() + 17), (std::vector<double>{3, 0, -1, 1, 2, 20, 11, 31}));
  EXPECT_EQ(std::vector<double>(v.begin() + 17, v.begin() + 25), (std::vector<double>{3, 2, -1, 1, 2, 21, 12, 32}));
  EXPECT_NE(out.find("  NOTE: Definition yields    3 data vectors"), std::string::npos);

  // Select if code 2 = 20; a vector without the variable is dropped.
  v = block({{2, 1, 1, 2, 5, 20}, {1, 1, 1, 7}, {2, 1, 1, 2, 6, 21}, {2, 1, 1, 2, 8, 20}});
  out = capture([&] { SELCNT(V1(v), 2, Rel::EQ, 20, 0, V1(w)); });
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(std::vector<double>(v.begin() + 1, v.begin() + 13),
            (std::vector<double>{2, 1, 1, 2, 5, 20, 2, 0, 1, 2, 8, 20}));
  EXPECT_EQ(out,
            "\n  NOTE: Select if yields    2 data vectors for analysis\n"
            "  NOTE: Vectors contain a total of     4 observations\n\n");
  // MISS with EQ keeps the vectors that lack the variable; NE the others.
  v = block({{2, 1, 1, 2, 5, 20}, {1, 1, 1, 7}});
  capture([&] { SELCNT(V1(v), 2, Rel::EQ, kSelMiss, 1, V1(w)); });
  EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + 5), (std::vector<double>{1, 1, 1, 1, 7}));
  v = block({{2, 1, 1, 2, 5, 20}, {1, 1, 1, 7}});
  capture([&] { SELCNT(V1(v), 2, Rel::NE, kSelMiss, 1, V1(w)); });
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  // The ten-digit form of the notes.
  v = block({{1, 1, 1, 7}});
  std::vector<double> big(20010 * 4 + 50, 0.0);
  big[0] = 10000;
  for (int k = 0; k < 10000; ++k) {
    big[static_cast<std::size_t>(1 + 4 * k)] = 1;
    big[static_cast<std::size_t>(2 + 4 * k)] = 1;
    big[static_cast<std::size_t>(3 + 4 * k)] = 1;
    big[static_cast<std::size_t>(4 + 4 * k)] = 7;
  }
  out = capture([&] { SELCNT(V1(big), 1, Rel::EQ, 7, 0, V1(w)); });
  EXPECT_NE(out.find("  NOTE: Select if yields     10000 data vectors"), std::string::npos);
}

TEST_F(DataTest, DispatchSelectionMissingValueAndErrors) {
  // SE 3 1 / on NI = 3 reduces the observed matrix to variables 3 and 1.
  group(3, 50, "CM\n4\n1 3\n2 1 5\nSE 3 1 /\nMA\n");
  capture([] { DATDSP(); });
  EXPECT_EQ(col(2), 2.0);
  EXPECT_EQ(col(3), 3.0);
  EXPECT_EQ(words(static_cast<int>(col(4)), 3), (std::vector<double>{5, 2, 4}));
  EXPECT_NEAR(col(10), 16.0, 1e-12);  // the determinant of the reduced matrix
}

TEST_F(DataTest, DispatchMissingValueString) {
  group(2, 10, "MI=NA\nMISSING = .\nMA\n");
  std::string out = capture([] { DATDSP(); });
  EXPECT_EQ(DATFIL.MISVAL, runtime::fpad(" .", 16));
  EXPECT_NE(out.find(" NOTE: Missing value *string* set to 'NA              '"), std::string::npos);
  group(2, 10, "MI\nNO EQUALS HERE\n");
  EXPECT_QV_ERROR(DATDSP(), 160);
}

TEST_F(DataTest, DispatchErrors) {
  struct Case {
    int ni, no;
    std::string text;
    int code;
  };
  const std::vector<Case> cases = {
      {2, 10, "XX\n", 85},
      {2, 0, "CM 1 0 1\n", 168},
      {3, 10, "CT 2 2 1 2 3 4\n", 128},
      {2, 10, "CT 1 2 1 2\n", 133},
      {3, 10, "SE 4 /\n", 125},
      {3, 10, "SE 0 /\n", 125},
      {3, 10, "SE 1 1 /\n", 125},
      {3, 10, "SE A B /\n", 123},
      {3, 10, "LA A B C\nSE A D /\n", 124},
      {3, 10, "PM 1 .5 1 .2 .3 1\nAV 1 1 1\nSE 1 2 /\n", 102},
      {2, 10, "CM 1 0 1\nAI 1 0 1 0 0 1\nSE 1 /\n", 192},
      {2, 10, "DE 1\n", 222},
      {2, 10, "CM 1 1 1\nMA\n", 155},
      {2, 10, "CM 1 0 1\nAC 1 0 1 0 0 -1\nMA\n", 24},
      {3, 10, "LA A B C\nSE IF A = 1\n", 203},
      {3, 10, "VL\n1\n1 2\nEND\nSE IF A = 1\n", 202},
  };
  for (const Case& c : cases) {
    group(c.ni, c.no, c.text);
    switch (c.code) {
      case 85: EXPECT_QV_ERROR(DATDSP(), 85); break;
      case 168: EXPECT_QV_ERROR(DATDSP(), 168); break;
      case 128: EXPECT_QV_ERROR(DATDSP(), 128); break;
      case 133: EXPECT_QV_ERROR(DATDSP(), 133); break;
      case 125: EXPECT_QV_ERROR(DATDSP(), 125); break;
      case 123: EXPECT_QV_ERROR(DATDSP(), 123); break;
      case 124: EXPECT_QV_ERROR(DATDSP(), 124); break;
      case 102: EXPECT_QV_ERROR(DATDSP(), 102); break;
      case 192: EXPECT_QV_ERROR(DATDSP(), 192); break;
      case 222: EXPECT_QV_ERROR(DATDSP(), 222); break;
      case 155: EXPECT_QV_ERROR(DATDSP(), 155); break;
      case 24: EXPECT_QV_ERROR(DATDSP(), 24); break;
      case 203: EXPECT_QV_ERROR(DATDSP(), 203); break;
      case 202: EXPECT_QV_ERROR(DATDSP(), 202); break;
    }
  }
}

// A group holds one family of observed data: an observed matrix with its
// weights, means and raw data; case records; or a contingency table.  Their
// group columns overlap (column 10 is a matrix's determinant but the
// records' definition-variable address: the determinant 9E6 of CM 3000 0
// 3000 was read as an address), so the first keyword of another family
// stops with a line naming both keywords and error 85, in either order.
TEST_F(DataTest, DataOfAnotherFamilyStopAtItsKeyword) {
  const std::string rect = "RE\n1 2\n2 1\n3 5\n4 3\nEND\n";
  const std::string vl = "VL\n1\n1 2\nEND\n";
  const std::string raw = "RA 1 2 3 4 5 6 7 8\n";
  const std::string table = "CT 2 2 1 2 3 4\n";
  struct Case {
    std::string text, first, second;
  };
  const std::vector<Case> cases = {
      {"CM 3000 0 3000\n" + rect, "CMatrix", "Rectangular"},
      {rect + "CM 3000 0 3000\n", "Rectangular", "CMatrix"},
      {"PM 1 .5 1\n" + vl, "PMatrix", "VLength"},
      {"OR\n0 1\nEND\nKM 1 .5 1\n", "ORdinal", "KMatrix"},
      {"CM 1 0 1\n" + table, "CMatrix", "CTable"},
      {table + "CM 1 0 1\n", "CTable", "CMatrix"},
      {raw + rect, "RAw", "Rectangular"},
      {rect + raw, "Rectangular", "RAw"},
      {"ME 1 2\n" + rect, "MEans", "Rectangular"},
      {rect + "ME 1 2\n", "Rectangular", "MEans"},
      {rect + "AV 1\n", "Rectangular", "AVar"},
      {vl + "AI 1\n", "VLength", "AInverse"},
      {vl + "AC 1\n", "VLength", "ACov"},
      {raw + table, "RAw", "CTable"},
      {table + vl, "CTable", "VLength"},
      {"ME 1 2\n" + table, "MEans", "CTable"},
  };
  for (const Case& c : cases) {
    DATKST.reset();
    group(2, 4, c.text + "MA\n");
    EXPECT_QV_STOP(DATDSP(), "\n " + c.first + " and " + c.second +
                                 " data cannot share a group: a group holds one kind of data\n(.|\n)*" +
                                 qv::testing_support::error_stop_regex(85))
        << c.text;
  }
}

// Keywords of one family go together, later ones over earlier ones; new
// records drop the definition variables of earlier ones (column 10 := 0),
// so that a DE of the first records is not applied to the second.
TEST_F(DataTest, DataOfOneFamilyShareTheGroup) {
  struct Case {
    std::string text;
    double fitcod, col10;
  };
  const std::vector<Case> cases = {
      {"CM 2 1 2\nRA 1 2 3 4 5 6 7 8\nME 0 0\n", kFitRaw, 3.0},  // determinant 2 x 2 - 1
      {"RA 1 2 3 4 5 6 7 8\nKM 1 .5 1\n", kFitRaw, 0.75},
      {"CM 1 0 1\nPM 1 .5 1\n", kFitML, 0.75},
      {"LA A B\nRE\n1 2\n2 1\nEND\nDE B\nRE\n1 2\n2 1\nEND\n", kFitVL, 0.0},
      {"LA A B\nVL\n1\n1 2\nEND\nDE B\nOR\n1 0\nEND\n", kFitOrdMix, 0.0},
      {"CT 2 2 1 2 3 4\nCT 2 2 4 3 2 1\n", kFitTable, 0.0},
  };
  for (const Case& c : cases) {
    DATKST.reset();
    group(2, 4, c.text + "MA\n");
    capture([] { DATDSP(); });
    EXPECT_EQ(col(11), c.fitcod) << c.text;
    EXPECT_NEAR(col(10), c.col10, 1e-12) << c.text;
  }
}

TEST_F(DataTest, DispatchWeightsAndContingencyTable) {
  // AC after CM: the inverse times NO - 1; AV weights divided by NO.
  group(1, 11, "CM 4\nAC 0.5\nMA\n");
  capture([] { DATDSP(); });
  EXPECT_EQ(col(11), 3.0);
  EXPECT_EQ(col(16), 2.0);
  EXPECT_DOUBLE_EQ(WORKSP.x()(static_cast<int>(col(20))), 2.0 * 10);
  group(2, 10, "CM 1 0 1\nAV 2 4 6\nMA\n");
  std::string out = capture([] { DATDSP(); });
  EXPECT_EQ(words(static_cast<int>(col(20)), 3), (std::vector<double>{0.2, 0.4, 0.6}));
  EXPECT_NE(out.find(" Attempting to read 3 values."), std::string::npos);
  group(2, 0, "CT 2 3 1 2 0\n-1 4 5\nMA\n");
  capture([] { DATDSP(); });
  EXPECT_EQ(col(1), 12.0);
  EXPECT_EQ(col(2), 2.0);
  EXPECT_EQ(col(3), 3.0);
  EXPECT_EQ(col(11), 11.0);
}

// VL, RE and OR data: the summary area at column 42 takes 2n + 3 words (the
// integer part's position, the largest category, the threshold formula's
// element count, then n minima and n maxima), and HI fills the category
// counts and the largest category.
TEST_F(DataTest, RecordDataSummaryArea) {
  struct Case {
    std::string keyword, records;
    double fitcod;
  };
  const std::vector<Case> cases = {
      {"VL", "2\n1 2 0.5 1.5\n", 10},
      {"RE", "0.5 1.5\n", 10},
      {"OR", "1 0\n", 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keyword);
    group(2, 0, c.keyword + "\n" + c.records + "END\nHI 3 2\nMA\n");
    capture([] { DATDSP(); });
    EXPECT_EQ(col(11), c.fitcod);
    const int a = static_cast<int>(col(42));
    ASSERT_GT(a, 0);
    EXPECT_EQ(MAINPR.RDPTR, a + 2 * 2 + 3);
    EXPECT_EQ(WORKSP.x()(a), 14.0);
    EXPECT_EQ(MAINPR.IWSTOP, 14 + 2);
    EXPECT_EQ(IWORKS.ix()(14), 3);
    EXPECT_EQ(IWORKS.ix()(15), 2);
    EXPECT_EQ(WORKSP.x()(a + 1), 3.0);
  }
}

TEST_F(DataTest, DefinitionVariables) {
  group(4, 0, "LA W X Y Z\nVL\n4\n1 2 3 4 1 2 3 4\nEND\nDE X Z\nMA\n");
  capture([] { DATDSP(); });
  const int d = static_cast<int>(col(10));
  EXPECT_EQ(words(d, 3), (std::vector<double>{2, 2, 4}));
  double v = 0;
  int found = 0;
  NAMLUK(runtime::fpad("X", 32), v, found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(v, -1.0);
  NAMLUK(runtime::fpad("Z", 32), v, found);
  EXPECT_EQ(v, -2.0);
  EXPECT_EQ(runtime::trim_right(LABTAB.get(static_cast<int>(col(25)) + 3)), "X");
  group(4, 0, "VL\n1\n1 2\nEND\nDE 5\n");
  EXPECT_QV_ERROR(DATDSP(), 125);
  // A label that is a #define'd name.
  group(2, 0, "LA A B\nVL\n1\n1 2\nEND\nDE B\n");
  DEFSTA.reset();
  NAMVAR.NNAMES = 1;
  NAMVAR.NAMES[1] = runtime::fpad("B", 32);
  EXPECT_QV_ERROR(DATDSP(), 215);
}

}  // namespace
}  // namespace qv::jobctl
