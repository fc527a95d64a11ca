// The specifications and estimates listing on hand-built jobs: headings,
// group navigation, type lines, specification numbers, values, formulas of
// computed matrices, the raw-data matrix, standard errors and output-file
// requests, in text and HTML.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "fit/prparm.hpp"
#include "fit/wrfiles.hpp"
#include "fit_fixture.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/htmlrep.hpp"
#include "runtime/fixedstr.hpp"

namespace qv::fit {
namespace {

using testing_support::FitJobTest;
using testing_support::jobctl_capture;
using testing_support::library_units;
using testing_support::lines;
using testing_support::Mat;
namespace gcol = jobbase::gcol;
using jobbase::kTypeFull;
using jobbase::kTypeSym;

// A group title's line: the 128-character title after one blank.
std::string ttl(const std::string& t) { return " " + runtime::fpad(t, 128); }

class ListingTest : public FitJobTest {
 protected:
  void SetUp() override {
    FitJobTest::SetUp();
    // The listing is written while the library's units are the report's.
    library_units(6);
    jobbase::MAINPR.JOBNO = 1;
    FITARR.FREEP = true;
  }
  // Group g's title in the label table (four slots from slot on).
  void title(int g, int slot, const std::string& text) {
    jobbase::LABTAB.put(slot, text);
    col(gcol::kTitle, g) = slot;
  }
  std::string list(int mode, bool html = false) {
    jobbase::MAINPR.HTMLON = html ? 1 : 0;
    jobbase::HTMLST.PRESTA = false;
    int md = mode;
    std::string out = jobctl_capture([&] { PRPARM(X(), IX(), jobbase::LABTAB, md, 0, 1); });
    EXPECT_EQ(md, mode);
    return out;
  }
  jobbase::GroupView group(int g) const { return {X(), jobbase::MAINPR.NG, g}; }

  // Two groups: A FU with free and fixed elements, B ZE, C SY all fixed,
  // D LO free; E DI in group 2.
  void two_groups() {
    job(2);
    title(1, 1, "First group");
    title(2, 5, "Second group");
    matrices(1, {{'A', kTypeFull, 2, 2, {1, 2, 0, 3}, {0.5, 1.5, 2.5, 3.5}},
                 {'B', jobbase::kTypeZero, 2, 2, {}},
                 {'C', kTypeSym, 2, 2, {0, 0, 0}, {1, 2, 3}},
                 {'D', jobbase::kTypeLower, 2, 2, {4, 5, 6}, {1, 2, 3}}});
    matrices(2, {{'E', jobbase::kTypeDiag, 3, 3, {7, 0, 8}}});
    close();
  }

  // One group: A FU 2 x 3 with row and column labels, C computed (A*B, its
  // formula text in two pieces), K a constrained symmetric view, R the
  // raw-data matrix (two rows of three values).
  void one_group() {
    job(1);
    title(1, 1, "Only");
    matrices(1, {{'A', kTypeFull, 2, 3, {1, 2, 0, 3, 0, 0}, {0.5, 1.5, 2.5, 3.5, 4, 5}},
                 {'K', jobbase::kTypeViewSym, 2, 2, {0, 0, 0}, {1, 0.5, 1}},
                 {'R', kTypeFull, 1, 3, {}}});
    const auto G = group(1);
    const int lab = take(3);
    X()(lab) = 1;
    X()(lab + 1) = 1;
    X()(lab + 2) = 20;
    jobbase::LABTAB.put(20, "first");
    jobbase::LABTAB.put(21, "second");
    jobbase::LABTAB.put(22, "a");
    jobbase::LABTAB.put(23, "b");
    jobbase::LABTAB.put(24, "c");
    G.label(1) = lab;
    raw_ = take(6);
    for (int k = 0; k < 6; ++k) X()(raw_ + k) = 10 + k;
    col(gcol::kRawLetter, 1) = 18;
    col(gcol::kRawData, 1) = raw_;
    col(gcol::kNi, 1) = 3;
    // The computed matrix's storage: its order word, the code count and
    // codes, the result's head (type, rows, columns) and values.
    const int c = take(2 + 3 + 3 + 4);
    const double words[] = {1, 3, 1, 2, 112, 9, 2, 2, 100, 101, 102, 103};
    for (int k = 0; k < 12; ++k) X()(c + k) = words[k];
    G.type(3) = jobbase::kTypeComputed;
    G.rows(3) = 2;
    G.cols(3) = 2;
    G.addr(3) = c;
    // Its formula text: a whole first piece, a last piece with a control
    // character after its text.
    const int w = take(2);
    X()(w) = 2;
    X()(w + 1) = 30;
    jobbase::LABTAB.put(30, "A*B");
    jobbase::LABTAB.put(31, "+C\r");
    G.fslot(3) = w;
    close();
  }
  int raw_ = 0;
};

// Two groups in text: specification numbers of the matrices with free
// elements, the type line alone for ZE, " It has no free parameters
// specified" for an all-fixed matrix; then every matrix's values.
TEST_F(ListingTest, TwoGroupsInText) {
  two_groups();
  EXPECT_EQ(list(prmode::kSpecification), lines({"",
 "",
 " PARAMETER SPECIFICATIONS",
 "",
 " GROUP NUMBER: 1",
 "",
 ttl("First group"),
 "",
 " MATRIX A",
 " This is a FULL matrix of order    2 by    2",
 "    1 2",
 " 1  1 2",
 " 2  0 3",
 "",
 " MATRIX B",
 " This is a NULL matrix of order    2 by    2",
 "",
 " MATRIX C",
 " This is a SYMMETRIC matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " MATRIX D",
 " This is a LOWER TRIANGULAR matrix of order    2 by    2",
 "    1 2",
 " 1  4",
 " 2  5 6",
 "",
 " GROUP NUMBER: 2",
 "",
 ttl("Second group"),
 "",
 " MATRIX E",
 " This is a DIAGONAL matrix of order    3 by    3",
 "    1 2 3",
 " 1  7",
 " 2  0 0",
 " 3  0 0 8"}));
  EXPECT_EQ(list(prmode::kEstimates), lines({"",
 "",
 " QV PARAMETER ESTIMATES",
 "",
 " GROUP NUMBER: 1",
 "",
 ttl("First group"),
 "",
 " MATRIX A",
 " This is a FULL matrix of order    2 by    2",
 "             1          2",
 " 1      0.5000     1.5000",
 " 2      2.5000     3.5000",
 "",
 " MATRIX B",
 " This is a NULL matrix of order    2 by    2",
 "",
 " MATRIX C",
 " This is a SYMMETRIC matrix of order    2 by    2",
 "             1          2",
 " 1      1.0000",
 " 2      2.0000     3.0000",
 "",
 " MATRIX D",
 " This is a LOWER TRIANGULAR matrix of order    2 by    2",
 "             1          2",
 " 1      1.0000",
 " 2      2.0000     3.0000",
 "",
 " GROUP NUMBER: 2",
 "",
 ttl("Second group"),
 "",
 " MATRIX E",
 " This is a DIAGONAL matrix of order    3 by    3",
 "             1          2          3",
 " 1      0.5000",
 " 2      0.0000     1.5000",
 " 3      0.0000     0.0000     2.5000"}));
}

// The same job in HTML: the heading with its link, the list of groups, the
// group anchors with First/Previous/Next/Last navigation, the matrix links,
// the matrix anchors (" (No free parameters)" where no element is free).
TEST_F(ListingTest, TwoGroupsInHtml) {
  two_groups();
  EXPECT_EQ(list(prmode::kSpecification, true), lines({"",
 "",
 " <H2><A NAME=SpecificationXXXXXXXXX1> Parameter Specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> View estimates </A></H2>",
 " <OL>",
 " <LI><A HREF=\"#speXXXX1XXXX1\">",
 ttl("First group"),
 " </A>",
 " <LI><A HREF=\"#speXXXX1XXXX2\">",
 ttl("Second group"),
 " </A>",
 " </OL>",
 " <PRE>",
 "",
 " </PRE>",
 " <A  NAME=speXXXX1XXXX1><H3> Group Number: 1</H3></A>",
 " <STRONG> (First group)</STRONG>",
 " <A HREF=\"#speXXXX1XXXX2\"><STRONG>Next     Group </STRONG></A>",
 " <STRONG><A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixA\">A</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixB\">B</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixC\">C</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixD\">D</A>",
 "",
 " <H3>",
 ttl("First group"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixA> Matrix A Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixA\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a FULL matrix of order    2 by    2",
 "    1 2",
 " 1  1 2",
 " 2  0 3",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixB> Matrix B Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixB\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a NULL matrix of order    2 by    2",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixC> Matrix C Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixC\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a SYMMETRIC matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixD> Matrix D Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixD\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a LOWER TRIANGULAR matrix of order    2 by    2",
 "    1 2",
 " 1  4",
 " 2  5 6",
 "",
 " </PRE>",
 " <A  NAME=speXXXX1XXXX2><H3> Group Number: 2</H3></A>",
 " <A HREF=\"#speXXXX1XXXX1\"><STRONG>Previous Group </STRONG></A>",
 " <STRONG> (Last group) </STRONG>",
 " <STRONG><A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX2spematrixE\">E</A>",
 "",
 " <H3>",
 ttl("Second group"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX2spematrixE> Matrix E Specification </A><A HREF=\"#grpXXXX1XXXX2estmatrixE\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a DIAGONAL matrix of order    3 by    3",
 "    1 2 3",
 " 1  7",
 " 2  0 0",
 " 3  0 0 8"}));
  EXPECT_EQ(list(prmode::kEstimates, true), lines({"",
 "",
 " <H2><A NAME=EstimatesXXXXXXXXX1> Qv Parameter Estimates</A><A HREF=\"#SpecificationXXXXXXXXX1\">View specifications</A></H2>",
 " <OL>",
 " <LI><A HREF=\"#estXXXX1XXXX1\">",
 ttl("First group"),
 " </A>",
 " <LI><A HREF=\"#estXXXX1XXXX2\">",
 ttl("Second group"),
 " </A>",
 " </OL>",
 " <PRE>",
 "",
 " </PRE>",
 " <A NAME=estXXXX1XXXX1><H3> Group Number: 1</H3></A>",
 " <STRONG> (First group)</STRONG>",
 " <A HREF=\"#estXXXX1XXXX2\"><STRONG>Next     Group </STRONG></A>",
 " <STRONG><A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixA\">A</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixB\">B</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixC\">C</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixD\">D</A>",
 "",
 " <H3>",
 ttl("First group"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixA> Matrix A Estimates</A><A HREF=\"#grpXXXX1XXXX1spematrixA\"> View specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a FULL matrix of order    2 by    2",
 "             1          2",
 " 1      0.5000     1.5000",
 " 2      2.5000     3.5000",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixB> Matrix B Estimates</A> (No free parameters) <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a NULL matrix of order    2 by    2",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixC> Matrix C Estimates</A> (No free parameters) <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a SYMMETRIC matrix of order    2 by    2",
 "             1          2",
 " 1      1.0000",
 " 2      2.0000     3.0000",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixD> Matrix D Estimates</A><A HREF=\"#grpXXXX1XXXX1spematrixD\"> View specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a LOWER TRIANGULAR matrix of order    2 by    2",
 "             1          2",
 " 1      1.0000",
 " 2      2.0000     3.0000",
 "",
 " </PRE>",
 " <A NAME=estXXXX1XXXX2><H3> Group Number: 2</H3></A>",
 " <A HREF=\"#estXXXX1XXXX1\"><STRONG>Previous Group </STRONG></A>",
 " <STRONG> (Last group)</STRONG>",
 " <STRONG><A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX2estmatrixE\">E</A>",
 "",
 " <H3>",
 ttl("Second group"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX2estmatrixE> Matrix E Estimates</A><A HREF=\"#grpXXXX1XXXX2spematrixE\"> View specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a DIAGONAL matrix of order    3 by    3",
 "             1          2          3",
 " 1      0.5000",
 " 2      0.0000     1.5000",
 " 3      0.0000     0.0000     2.5000"}));
}

// One group: labelled matrix (specification numbers as I7,1X under text row
// labels), a computed matrix with its formula in the estimates, the
// constrained symmetric view, the raw-data matrix and its first vector.
TEST_F(ListingTest, OneGroupInText) {
  one_group();
  EXPECT_EQ(list(prmode::kSpecification), lines({"",
 "",
 " PARAMETER SPECIFICATIONS",
 "",
 " GROUP NUMBER: 1",
 "",
 ttl("Only"),
 "",
 " MATRIX A",
 " This is a FULL matrix of order    2 by    3",
 "               a       b       c",
 "  first       1       2       0",
 " second       3       0       0",
 "",
 " MATRIX C",
 " This is a computed FULL matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " MATRIX K",
 " This is a constrained SYMMETRIC matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " MATRIX R",
 " This matrix corresponds to the RAW data vectors",
 " It has no free parameters specified"}));
  EXPECT_EQ(list(prmode::kEstimates), lines({"",
 "",
 " QV PARAMETER ESTIMATES",
 "",
 " GROUP NUMBER: 1",
 "",
 ttl("Only"),
 "",
 " MATRIX A",
 " This is a FULL matrix of order    2 by    3",
 "                  a          b          c",
 "  first      0.5000     1.5000     2.5000",
 " second      3.5000     4.0000     5.0000",
 "",
 " MATRIX C",
 " This is a computed FULL matrix of order    2 by    2",
 " [=A*B                             +C]",
 "             1          2",
 " 1    100.0000   101.0000",
 " 2    102.0000   103.0000",
 "",
 " MATRIX K",
 " This is a constrained SYMMETRIC matrix of order    2 by    2",
 "          1       2",
 " 1   1.0000",
 " 2   0.5000  1.0000",
 "",
 " MATRIX R",
 " This matrix corresponds to the RAW data vectors",
 " the first such vector is:",
 "             1          2          3",
 " 1     10.0000    11.0000    12.0000"}));
  // The raw-data matrix is shown from the address before its first vector.
  EXPECT_EQ(group(1).addr(18), raw_ - 3);
}

// A single group notes "(The only group)", with a blank before </STRONG>
// in the specifications only.
TEST_F(ListingTest, OneGroupInHtml) {
  one_group();
  EXPECT_EQ(list(prmode::kSpecification, true), lines({"",
 "",
 " <H2><A NAME=SpecificationXXXXXXXXX1> Parameter Specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> View estimates </A></H2>",
 " <OL>",
 " <LI><A HREF=\"#speXXXX1XXXX1\">",
 ttl("Only"),
 " </A>",
 " </OL>",
 " <PRE>",
 "",
 " </PRE>",
 " <A  NAME=speXXXX1XXXX1><H3> Group Number: 1</H3></A>",
 " <STRONG> (The only group) </STRONG>",
 " <STRONG><A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixA\">A</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixC\">C</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixK\">K</A>",
 " <A HREF=\"#grpXXXX1XXXX1spematrixR\">R</A>",
 "",
 " <H3>",
 ttl("Only"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixA> Matrix A Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixA\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a FULL matrix of order    2 by    3",
 "               a       b       c",
 "  first       1       2       0",
 " second       3       0       0",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixC> Matrix C Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixC\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a computed FULL matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixK> Matrix K Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixK\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This is a constrained SYMMETRIC matrix of order    2 by    2",
 " It has no free parameters specified",
 "",
 " <A NAME=grpXXXX1XXXX1spematrixR> Matrix R Specification </A><A HREF=\"#grpXXXX1XXXX1estmatrixR\"> View estimates</A> <A HREF=\"#SpecificationXXXXXXXXX1\"> Index</A>",
 " This matrix corresponds to the RAW data vectors",
 " It has no free parameters specified"}));
  EXPECT_EQ(list(prmode::kEstimates, true), lines({"",
 "",
 " <H2><A NAME=EstimatesXXXXXXXXX1> Qv Parameter Estimates</A><A HREF=\"#SpecificationXXXXXXXXX1\">View specifications</A></H2>",
 " <OL>",
 " <LI><A HREF=\"#estXXXX1XXXX1\">",
 ttl("Only"),
 " </A>",
 " </OL>",
 " <PRE>",
 "",
 " </PRE>",
 " <A NAME=estXXXX1XXXX1><H3> Group Number: 1</H3></A>",
 " <STRONG> (The only group)</STRONG>",
 " <STRONG><A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A></STRONG>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixA\">A</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixC\">C</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixK\">K</A>",
 " <A HREF=\"#grpXXXX1XXXX1estmatrixR\">R</A>",
 "",
 " <H3>",
 ttl("Only"),
 " </H3>",
 " <PRE>",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixA> Matrix A Estimates</A><A HREF=\"#grpXXXX1XXXX1spematrixA\"> View specifications</A> <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a FULL matrix of order    2 by    3",
 "                  a          b          c",
 "  first      0.5000     1.5000     2.5000",
 " second      3.5000     4.0000     5.0000",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixC> Matrix C Estimates</A> (No free parameters) <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a computed FULL matrix of order    2 by    2",
 " [=A*B                             +C]",
 "             1          2",
 " 1    100.0000   101.0000",
 " 2    102.0000   103.0000",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixK> Matrix K Estimates</A> (No free parameters) <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This is a constrained SYMMETRIC matrix of order    2 by    2",
 "          1       2",
 " 1   1.0000",
 " 2   0.5000  1.0000",
 "",
 " <A NAME=grpXXXX1XXXX1estmatrixR> Matrix R Estimates</A> (No free parameters) <A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
 " This matrix corresponds to the RAW data vectors",
 " the first such vector is:",
 "             1          2          3",
 " 1     10.0000    11.0000    12.0000"}));
}

// Without free parameters the specifications end after their note; the
// estimates still list every matrix.
TEST_F(ListingTest, NoFreeParameters) {
  job(1);
  title(1, 1, "Fixed");
  matrices(1, {{'A', kTypeFull, 1, 2, {0, 0}, {1, 2}}});
  close();
  FITARR.FREEP = false;
  const std::string note = lines({"", " No free parameters specified", ""});
  EXPECT_EQ(list(prmode::kSpecification), lines({"", "", " PARAMETER SPECIFICATIONS"}) + note);
  EXPECT_EQ(list(prmode::kSpecification, true),
            lines({"", "",
                   " <H2><A NAME=SpecificationXXXXXXXXX1> Parameter Specifications</A> <A "
                   "HREF=\"#EstimatesXXXXXXXXX1\"> View estimates </A></H2>"}) +
                note);
  EXPECT_EQ(list(prmode::kEstimates),
            lines({"", "", " QV PARAMETER ESTIMATES", "", " GROUP NUMBER: 1", "", ttl("Fixed"), "", " MATRIX A",
                   " This is a FULL matrix of order    1 by    2", "             1          2",
                   " 1      1.0000     2.0000"}));
}

// A group with its output suppressed is left out of the listing and of the
// HTML list's links; the last group suppressed turns the forward link of the
// group before it into a note.
TEST_F(ListingTest, SuppressedLastGroup) {
  job(2);
  title(1, 1, "Shown");
  title(2, 5, "Hidden");
  matrices(1, {{'A', kTypeFull, 1, 1, {1}, {2}}});
  matrices(2, {{'B', kTypeFull, 1, 1, {2}, {3}}});
  close();
  col(gcol::kNoReport, 2) = 1;
  EXPECT_EQ(list(prmode::kSpecification),
            lines({"", "", " PARAMETER SPECIFICATIONS", "", " GROUP NUMBER: 1", "", ttl("Shown"), "", " MATRIX A",
                   " This is a FULL matrix of order    1 by    1", "    1", " 1  1"}));
  EXPECT_EQ(list(prmode::kEstimates, true),
            lines({"", "",
                   " <H2><A NAME=EstimatesXXXXXXXXX1> Qv Parameter Estimates</A><A "
                   "HREF=\"#SpecificationXXXXXXXXX1\">View specifications</A></H2>",
                   " <OL>", " <LI><A HREF=\"#estXXXX1XXXX1\">", ttl("Shown"), " </A>", " <LI>", ttl("Hidden"),
                   " </OL>", " <PRE>", "", " </PRE>", " <A NAME=estXXXX1XXXX1><H3> Group Number: 1</H3></A>",
                   " <STRONG> (First group)</STRONG>",
                   " <STRONG> (Remaining groups have output suppressed)</STRONG>",
                   " <STRONG><A HREF=\"#EstimatesXXXXXXXXX1\"> Index</A></STRONG>",
                   " <A HREF=\"#grpXXXX1XXXX1estmatrixA\">A</A>", "", " <H3>", ttl("Shown"), " </H3>", " <PRE>", "",
                   " <A NAME=grpXXXX1XXXX1estmatrixA> Matrix A Estimates</A><A "
                   "HREF=\"#grpXXXX1XXXX1spematrixA\"> View specifications</A> <A "
                   "HREF=\"#EstimatesXXXXXXXXX1\"> Index</A>",
                   " This is a FULL matrix of order    1 by    1", "             1", " 1      2.0000"}));
}

// The fixed patterns print their type line alone, in every mode, standard
// errors included.
TEST_F(ListingTest, FixedPatternsPrintOnlyTheirTypeLine) {
  struct Case {
    int type;
    const char* line;
  } const cases[] = {
      {jobbase::kTypeZero, " This is a NULL matrix of order    2 by    3"},
      {jobbase::kTypeIdent, " This is an IDENTITY matrix of order    2 by    3"},
      {jobbase::kTypeIdZero, " This is an IDENTITY:NULL matrix of order    2 by    3"},
      {jobbase::kTypeZeroId, " This is a NULL:IDENTITY matrix of order    2 by    3"},
      {jobbase::kTypeUnit, " This is a UNIT matrix of order    2 by    3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SetUp();
    job(1);
    title(1, 1, "Patterns");
    matrices(1, {{'A', c.type, 2, 3, {}}});
    close();
    col(gcol::kStdErrors, 1) = 1;
    SECOV.NOSE = false;
    const std::string head = lines({"", " GROUP NUMBER: 1", "", ttl("Patterns"), "", " MATRIX A", c.line});
    EXPECT_EQ(list(prmode::kSpecification), lines({"", "", " PARAMETER SPECIFICATIONS"}) + head);
    EXPECT_EQ(list(prmode::kEstimates),
              lines({"", "", " QV PARAMETER ESTIMATES"}) + head +
                  lines({"", " MATRIX A (Rough) STANDARD ERRORS", c.line}));
    TearDown();
  }
}

// Standard errors follow the estimates of each matrix of a declared type in
// a group that asks for them; an all-fixed matrix shows its note instead.
TEST_F(ListingTest, StandardErrors) {
  job(1);
  title(1, 1, "Errors");
  matrices(1, {{'A', kTypeFull, 1, 2, {1, 0}, {0.25, 1}}, {'C', kTypeSym, 1, 1, {0}, {4}}});
  // One parameter with variance 4 (standard error 2).
  const int parlst = take(1);
  X()(parlst) = 1;
  const int cov = take(1);
  X()(cov) = 4;
  close();
  jobbase::FITSTA.PARLST = parlst;
  SECOV.ADDR = cov;
  SECOV.NORD = 1;
  col(gcol::kStdErrors, 1) = 1;
  const int wstop = jobbase::MAINPR.WSTOP;
  EXPECT_EQ(list(prmode::kEstimates),
            lines({"", "", " QV PARAMETER ESTIMATES", "", " GROUP NUMBER: 1", "", ttl("Errors"), "", " MATRIX A",
                   " This is a FULL matrix of order    1 by    2", "          1       2",
                   " 1   0.2500  1.0000", "", " MATRIX A (Rough) STANDARD ERRORS",
                   " This is a FULL matrix of order    1 by    2", "             1          2",
                   " 1      2.0000     0.0000", "", " MATRIX C", " This is a SYMMETRIC matrix of order    1 by    1",
                   "             1", " 1      4.0000", "", " MATRIX C (Rough) STANDARD ERRORS",
                   " This is a SYMMETRIC matrix of order    1 by    1", " It has no free parameters specified"}));
  EXPECT_EQ(jobbase::MAINPR.WSTOP, wstop);
}

// Output-file requests are served in the estimates only, in list order,
// each with its request number and name pieces.
TEST_F(ListingTest, OutputRequestsGoToTheFileWriter) {
  job(1);
  title(1, 1, "Files");
  matrices(1, {{'A', kTypeFull, 1, 1, {1}, {2}}});
  // Two requests: matrix A to a one-piece name, the expected means (29).
  const int list_at = take(1 + 6);
  const double words[] = {2, 1, 40, 1, 29, 41, 2};
  for (int k = 0; k < 7; ++k) X()(list_at + k) = words[k];
  col(gcol::kOutRequests, 1) = list_at;
  close();
  jobbase::LABTAB.put(40, "LISTING_A.MAT");
  // The matrix file is written in a directory of the test's own.
  const std::filesystem::path here = std::filesystem::current_path();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_prparm_requests";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  std::filesystem::remove(dir / "LISTING_A.MAT");
  WRFCEL.REQNUM = 0;
  list(prmode::kSpecification);
  EXPECT_EQ(WRFCEL.REQNUM, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "LISTING_A.MAT"));
  const std::string est = list(prmode::kEstimates);
  EXPECT_EQ(WRFCEL.REQNUM, 29);
  EXPECT_TRUE(std::filesystem::exists(dir / "LISTING_A.MAT"));
  EXPECT_NE(est.find(" Estimates of matrix A will be written to file:"), std::string::npos);
  EXPECT_NE(est.find(" I can't write the mean vector to a file"), std::string::npos);
  std::filesystem::current_path(here);
  std::filesystem::remove_all(dir);
}

// A group with a results report ends with it in the estimates only.
TEST_F(ListingTest, ResultsReportEndsTheGroupInTheEstimates) {
  job(1);
  title(1, 1, "Results");
  matrices(1, {{'A', kTypeFull, 1, 1, {1}, {2}}});
  close();
  col(gcol::kResiduals, 1) = 1;
  col(gcol::kFitCode, 1) = jobbase::kFitNone;
  col(gcol::kFitValue, 1) = 1.5;
  const std::string spec = list(prmode::kSpecification);
  EXPECT_EQ(spec.find("fit function"), std::string::npos);
  const std::string est = list(prmode::kEstimates);
  const std::string tail = lines({" Where the fit function is No fit function" + std::string(20, ' ')});
  ASSERT_GE(est.size(), tail.size());
  EXPECT_EQ(est.substr(est.size() - tail.size()), tail);
  EXPECT_LT(est.find(" MATRIX A"), est.find(" Function value of this group:"));
}

// A group without a matrix table lists its heading and title only.
TEST_F(ListingTest, GroupWithoutMatrices) {
  job(1);
  title(1, 1, "Empty");
  close();
  EXPECT_EQ(list(prmode::kEstimates),
            lines({"", "", " QV PARAMETER ESTIMATES", "", " GROUP NUMBER: 1", "", ttl("Empty")}));
}

}  // namespace
}  // namespace qv::fit
