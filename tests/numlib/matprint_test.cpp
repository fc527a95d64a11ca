#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.hpp"
#include "numlib/matprint.hpp"

namespace qv::numlib {
namespace {

using test::soft_report;
using test::UnitCapture;
using Lines = std::vector<std::string>;

const std::vector<std::string> kNone;

// Runs X04CBF with the message units on a file and returns the records.
Lines print_real(char matrix, char diag, int m, int n, const std::vector<double>& a, int lda, const std::string& fmt,
                 const std::string& title, char labrow, const std::vector<std::string>& rl, char labcol,
                 const std::vector<std::string>& cl, int ncols, int indent, int& ifail) {
  UnitCapture cap;
  X04CBF(matrix, diag, m, n, a, lda, fmt, title, labrow, rl, labcol, cl, ncols, indent, ifail);
  return cap.lines();
}

TEST(MatrixPrint, GeneralWithNumbers) {
  // rows (0.5, -0.25, 1) and (0, 0.125, -1): largest 1, smallest 0.125 -> F8.4
  const std::vector<double> a = {0.5, 0.0, -0.25, 0.125, 1.0, -1.0};
  int f = 0;
  EXPECT_EQ(print_real('G', 'X', 2, 3, a, 2, "", "Matrix A", 'I', kNone, 'I', kNone, 80, 0, f),
            (Lines{" Matrix A",
                   "          1       2       3",
                   " 1   0.5000 -0.2500  1.0000",
                   " 2   0.0000  0.1250 -1.0000"}));
  EXPECT_EQ(f, 0);
  // Indented by 3, lower-case arguments.
  EXPECT_EQ(print_real('g', 'x', 2, 3, a, 2, "  ", "", 'i', kNone, 'n', kNone, 80, 3, f),
            (Lines{"    1   0.5000 -0.2500  1.0000",
                   "    2   0.0000  0.1250 -1.0000"}));
}

TEST(MatrixPrint, LowerWithTextLabels) {
  // Lower triangle of (1; 2 3; 4 5 6) with a blank diagonal, F6.2 (P = 6),
  // row labels trimmed (R = 4), column labels cut to P characters.
  const std::vector<double> a = {1, 2, 4, 0, 3, 5, 0, 0, 6};
  const std::vector<std::string> rl = {"a   ", " bb ", "ccc "};
  const std::vector<std::string> cl = {"X        ", "Y        ", "LONGLABEL"};
  int f = 0;
  EXPECT_EQ(print_real('L', 'B', 3, 3, a, 3, " F6.2 ", "", 'C', rl, 'C', cl, 80, 0, f),
            (Lines{"          X     YLONGLA",
                   "   a",
                   "  bb   2.00",
                   " ccc   4.00  5.00"}));
  EXPECT_EQ(f, 0);
  // With the diagonal from the array.
  EXPECT_EQ(print_real('L', 'N', 3, 3, a, 3, "F6.2", "", 'C', rl, 'N', kNone, 80, 0, f),
            (Lines{"   a   1.00",
                   "  bb   2.00  3.00",
                   " ccc   4.00  5.00  6.00"}));
}

TEST(MatrixPrint, UpperWithUnitDiagonal) {
  // Every element 7; the diagonal shows 1.0 whatever the array holds.
  const std::vector<double> a(9, 7.0);
  int f = 0;
  EXPECT_EQ(print_real('U', 'U', 3, 3, a, 3, "", "", 'N', kNone, 'N', kNone, 80, 0, f),
            (Lines{"       1.0000     7.0000     7.0000",
                   std::string(18, ' ') + "1.0000     7.0000",
                   std::string(29, ' ') + "1.0000"}));
}

TEST(MatrixPrint, AutomaticFormats) {
  struct C {
    std::vector<double> a;
    std::string line;
  };
  const std::vector<C> cases = {
      {{0.5, -0.25}, "    0.5000 -0.2500"},        // F8.4
      {{12.5, 0.0}, "      12.5000     0.0000"},  // F11.4
      {{0.0005, 1.0}, "     5.0000E-04   1.0000E+00"},  // 1PE13.4: a value below 0.001
      {{10000, 1.0}, "     1.0000E+04   1.0000E+00"},   // and one of 10000
      {{0.0, 0.0}, "    0.0000  0.0000"},        // all zero: F8.4
  };
  for (const auto& c : cases) {
    int f = 0;
    EXPECT_EQ(print_real('G', ' ', 1, 2, c.a, 1, "", "", 'N', kNone, 'N', kNone, 80, 0, f), Lines{c.line});
  }
  // Full precision: 1P,E24.16.
  int f = 0;
  EXPECT_EQ(print_real('G', ' ', 1, 1, {1.0 / 3.0}, 1, "*", "", 'N', kNone, 'N', kNone, 80, 0, f),
            Lines{"    3.3333333333333331E-01"});
}

TEST(MatrixPrint, ColumnBlocks) {
  // 12 rows (R = 3), 20 columns of F8.4: K = (80 - 3 - 1) div 8 = 9, three blocks.
  const std::vector<double> a(12 * 20, 0.0);
  for (int ncols : {80, 0, 200}) {  // 0 and 200 mean 80
    int f = 0;
    const Lines out = print_real('G', ' ', 12, 20, a, 12, "", "", 'I', kNone, 'I', kNone, ncols, 80, f);
    ASSERT_EQ(out.size(), 41u);
    std::string head1 = "    ", head2 = "    ";
    for (int j = 1; j <= 9; ++j) head1 += std::string(7, ' ') + std::to_string(j);
    for (int j = 10; j <= 18; ++j) head2 += std::string(6, ' ') + std::to_string(j);
    EXPECT_EQ(out[0], head1);
    std::string row = "  1 ";
    for (int j = 0; j < 9; ++j) row += "  0.0000";
    EXPECT_EQ(out[1], row);
    EXPECT_EQ(out[12].substr(0, 4), " 12 ");
    EXPECT_EQ(out[13], " ");
    EXPECT_EQ(out[14], head2);
    EXPECT_EQ(out[27], " ");
    EXPECT_EQ(out[28], "          19      20");
    EXPECT_EQ(out[40], " 12   0.0000  0.0000");
  }
}

TEST(MatrixPrint, TitlesAndEmptyMatrices) {
  // W = 20, I = 5: V = 15, titles cut every 14 characters; M = 0 prints the title only.
  int f = 0;
  EXPECT_EQ(print_real('G', ' ', 0, 3, {}, 1, "", "abcdefghijklmnopqrstuvwxyz1234", 'I', kNone, 'I', kNone, 20, 5, f),
            (Lines{"      abcdefghijklmn", "      opqrstuvwxyz12", "      34"}));
  EXPECT_EQ(f, 0);
  EXPECT_EQ(print_real('G', ' ', 2, 0, {0, 0}, 2, "", "  T", 'N', kNone, 'N', kNone, 80, 0, f), (Lines{"   T"}));
  EXPECT_EQ(f, 0);
  // Nothing at all on a negative advisory unit.
  LIBUNITS.advunit = -1;
  f = 0;
  X04CBF('G', ' ', 1, 1, std::vector<double>{1.0}, 1, "", "T", 'N', kNone, 'N', kNone, 80, 0, f);
  EXPECT_EQ(f, 0);
  LIBUNITS.reset();
}

TEST(MatrixPrint, IntegerMatrices) {
  // (1 -20; 300 4): widest printed value 3 characters -> I4.
  const std::vector<int> a = {1, 300, -20, 4};
  UnitCapture cap;
  int f = 0;
  X04EBF('G', ' ', 2, 2, a, 2, "", "Counts", 'I', kNone, 'I', kNone, 80, 0, f);
  EXPECT_EQ(f, 0);
  // Lower with unit diagonal; an explicit format with literal text after
  // each element, written also after the last one.
  X04EBF('L', 'U', 2, 2, a, 2, "I3,'|'", "", 'N', kNone, 'N', kNone, 80, 0, f);
  EXPECT_EQ(cap.lines(), (Lines{" Counts",
                                "      1   2",
                                " 1    1 -20",
                                " 2  300   4",
                                "    1|",
                                "  300|  1|"}));
}

TEST(MatrixPrint, TrianglesOverSeveralBlocks) {
  // Integer upper triangle with its diagonal, 3 x 4: the automatic format
  // scans only the printed elements (99 below the diagonal is not one), so
  // 100000 and -12345 give I7 (P = 7).  Width 30, indentation 2: V = 28,
  // text row labels trimmed (R = 6), K = (28 - 6 - 1) div 7 = 3 columns.
  const std::vector<int> a = {5, 99, 1, -12345, 3, 2, 7, 100000, -8, 0, -1, 42};
  const std::vector<std::string> rl = {"alpha", " b ", ""};
  UnitCapture cap;
  int f = 0;
  X04EBF('U', 'N', 3, 4, a, 3, "", "", 'C', rl, 'I', kNone, 30, 2, f);
  EXPECT_EQ(f, 0);
  // Lower triangle with a blank diagonal: the widest printed value is
  // -2147483647 (the diagonal is not scanned), so I12; width 15 leaves one
  // column per block, and a row whose part of a block is empty keeps its label.
  const std::vector<int> b = {2147483647, -2147483647, 3, 4};
  X04EBF('L', 'B', 2, 2, b, 2, "", "T", 'I', kNone, 'N', kNone, 15, 0, f);
  // The same with the diagonal from the array: the diagonal of row 2 stands
  // alone in the second block's column.
  X04EBF('L', 'N', 2, 2, b, 2, "", "", 'I', kNone, 'I', kNone, 15, 0, f);
  EXPECT_EQ(cap.lines(), (Lines{"               1      2      3",
                                "   alpha       5 -12345      7",
                                "       b              3 100000",
                                "                            -8",
                                " ",
                                "               4",
                                "   alpha       0",
                                "       b      -1",
                                "              42",
                                " T",
                                " 1",
                                " 2  -2147483647",
                                " ",
                                " 1",
                                " 2",
                                "              1",
                                " 1   2147483647",
                                " 2  -2147483647",
                                " ",
                                "              2",
                                " 1",
                                " 2            4"}));
}

TEST(MatrixPrint, RealTrianglesLabelsAndFormatBounds) {
  // Upper triangle, blank diagonal, lower-case arguments, F5.1 (P = 5);
  // width 15 and indentation 1 give K = (14 - 1 - 1) div 5 = 2 columns.
  std::vector<double> h(16);
  for (int k = 0; k < 16; ++k) h[static_cast<std::size_t>(k)] = k + 1;
  int f = 0;
  EXPECT_EQ(print_real('u', 'b', 4, 4, h, 4, "F5.1", "", 'n', kNone, 'i', kNone, 15, 1, f),
            (Lines{"       1    2", "          5.0", " ", " ", " ", " ", "       3    4", "     9.0 13.0",
                   "    10.0 14.0", "         15.0", " "}));
  // Lower triangle, unit diagonal, 1PE10.2, leading dimension 5; indentation
  // 45 is not below the width 40, so none; the title is cut every 39
  // characters; column labels are read in their first P = 10 characters.
  std::vector<double> b(15, 9.0);
  auto B = [&](int i, int j) -> double& { return b[static_cast<std::size_t>((j - 1) * 5 + i - 1)]; };
  B(2, 1) = -1234.5;
  B(3, 1) = 0.000123;
  B(3, 2) = 1;
  B(4, 1) = 2.5;
  B(4, 2) = -0.5;
  B(4, 3) = 1e10;
  const std::vector<std::string> cl = {"First", "  Sec  ", "ThirdLongLabel"};
  EXPECT_EQ(print_real('L', 'U', 4, 3, b, 5, "1PE10.2", "Lower triangle with unit diagonal and a long title", 'I',
                       kNone, 'C', cl, 40, 45, f),
            (Lines{" Lower triangle with unit diagonal and a", "  long title", "        First       SecThirdLongL",
                   " 1   1.00E+00", " 2  -1.23E+03  1.00E+00", " 3   1.23E-04  1.00E+00  1.00E+00",
                   " 4   2.50E+00 -5.00E-01  1.00E+10"}));
  EXPECT_EQ(f, 0);
  // The bounds of the automatic real format: largest below 9999.99991 and
  // smallest from 0.001 keep F11.4; either past its bound gives 1PE13.4.
  EXPECT_EQ(print_real('G', ' ', 1, 2, {9999.9999, 0.001}, 1, "", "", 'N', kNone, 'N', kNone, 80, 0, f),
            Lines{"    9999.9999     0.0010"});
  EXPECT_EQ(print_real('G', ' ', 1, 2, {9999.99991, 0.001}, 1, "", "", 'N', kNone, 'N', kNone, 80, 0, f),
            Lines{"     1.0000E+04   1.0000E-03"});
  EXPECT_EQ(print_real('G', ' ', 1, 2, {1.0, 0.00099999}, 1, "", "", 'N', kNone, 'N', kNone, 80, 0, f),
            Lines{"     1.0000E+00   9.9999E-04"});
  // Full precision with three-digit exponents: the letter E gives way to the sign.
  EXPECT_EQ(print_real('G', ' ', 2, 2, {-2.5e-300, 1e300, 0.0, -1.0 / 3.0}, 2, "*", "Full", 'I', kNone, 'I', kNone,
                       0, 0, f),
            (Lines{" Full", "                          1                       2",
                   " 1  -2.5000000000000000-300  0.0000000000000000E+00",
                   " 2   1.0000000000000001+300 -3.3333333333333331E-01"}));
}

TEST(MatrixPrint, Errors) {
  struct E {
    const char* name;
    bool integer;
    char matrix, diag;
    int m, lda;
    std::string fmt;
    char labrow, labcol;
    int ncols, indent, err;
    Lines recs;
  };
  const std::string longfmt = "  " + std::string(85, 'F');
  const std::vector<E> cases = {
      {"X04CBF", false, 'Q', 'N', 1, 1, "", 'Z', 'N', 80, 0, 1, {" ** On entry, MATRIX is not valid : MATRIX = 'Q'"}},
      {"X04CBF", false, 'U', 'Q', 1, 1, "", 'N', 'N', 80, 0, 2,
       {" ** On entry, MATRIX = 'U', but DIAG is not valid : DIAG = 'Q'"}},
      {"X04CBF", false, 'L', 'Q', 3, 2, "", 'N', 'N', 80, 0, 3,
       {" ** On entry, M.gt.LDA: M =                3, LDA =                2"}},
      {"X04CBF", false, 'G', ' ', 1, 1, longfmt, 'N', 'N', 80, 0, 4,
       {" ** On entry, FORMAT has more than 80 characters: the first 75 are", "    " + std::string(75, 'F')}},
      {"X04CBF", false, 'G', ' ', 1, 1, "Q7", 'N', 'N', 80, 0, 5,
       {" ** The format specifier in FORMAT cannot be used to print a number: FORMAT =", "    Q7"}},
      {"X04CBF", false, 'G', ' ', 1, 1, "", 'N', 'x', 80, 0, 6,
       {" ** On entry, either LABROW or LABCOL is not valid :", "    LABROW = 'N', LABCOL = 'x'."}},
      {"X04EBF", true, 'G', ' ', 1, 1, "", 'y', 'N', 80, 0, 6,
       {" ** On entry, either LABROW or LABCOL is not valid", "    LABROW = 'y', LABCOL = 'N'."}},
      {"X04CBF", false, 'G', ' ', 1, 1, "F79.2", 'N', 'N', 200, 200, 7,
       {" ** On entry, NCOLS-INDENT is not wide enough to hold at least one matrix",
        "    column: NCOLS =               80, INDENT =                0"}},
      {"X04EBF", true, 'G', ' ', 1, 1, "Q7", 'N', 'N', 80, 0, 5,
       {" ** The format specifier in FORMAT cannot be used to print a number: FORMAT =", "    Q7"}},
  };
  for (const auto& e : cases) {
    UnitCapture cap;
    int f = -1;
    if (e.integer) {
      X04EBF(e.matrix, e.diag, e.m, 1, std::vector<int>(9, 1), e.lda, e.fmt, "Title", e.labrow, kNone, e.labcol,
             kNone, e.ncols, e.indent, f);
    } else {
      X04CBF(e.matrix, e.diag, e.m, 1, std::vector<double>(9, 1.0), e.lda, e.fmt, "Title", e.labrow, kNone,
             e.labcol, kNone, e.ncols, e.indent, f);
    }
    EXPECT_EQ(f, e.err) << e.name << " " << e.err;
    // Nothing of the matrix (not even the title) after an error.
    EXPECT_EQ(cap.lines(), soft_report(e.recs, e.name, e.err)) << e.name << " " << e.err;
  }
}

TEST(MatrixPrint, DigitValues) {
  EXPECT_EQ(DIGVAL("123", 3), 123);
  EXPECT_EQ(DIGVAL(" 12", 3), 12);
  EXPECT_EQ(DIGVAL("1 2", 3), 102);
  EXPECT_EQ(DIGVAL("12a", 3), 0);
  EXPECT_EQ(DIGVAL("2147483647", 10), 2147483647);
  EXPECT_EQ(DIGVAL("2147483648", 10), 0);
  EXPECT_EQ(DIGVAL("", 0), 0);
}

}  // namespace
}  // namespace qv::numlib
