// FORMAT interpreter: compilation of every format text the program uses,
// output editing of each descriptor kind, reversion and termination, input
// editing, record handling and errors.  Expected records are worked out by
// hand from the editing rules listed in runtime/README.md.
#include <gtest/gtest.h>

#include <limits>
#include <span>
#include <string>
#include <vector>

#include "runtime/format.hpp"

using namespace qv::runtime;

namespace {

using Recs = std::vector<std::string>;

Recs write_recs(std::string_view fmt, const std::vector<Out>& items) {
  return format_records(fmt, std::span<const Out>(items.data(), items.size()));
}

// Reads items from the given records; counts the records fetched.
struct ReadResult {
  IoStat st;
  int fetched;
};

ReadResult read_recs(std::string_view fmt, const Recs& recs, const std::vector<In>& items) {
  std::size_t next = 0;
  int fetched = 0;
  IoStat st = Format::cached(fmt).read(std::span<const In>(items.data(), items.size()), [&](std::string& r) {
    if (next >= recs.size()) return false;
    r = recs[next++];
    ++fetched;
    return true;
  });
  return {st, fetched};
}

// Every format text the program writes or reads with, and the ones it builds
// while running (matrix printer record formats and label formats).
const char* const kProgramFormats[] = {
    R"~(( 6X, A ))~",
    R"~(( 6x, a ))~",
    R"~((' //chcore//  ce1big  ce2big  te2big',5x,3l2))~",
    R"~((' //chcore//  inform  hopt    errbnd',i5,1p,2d16.6))~",
    R"~((' All',i6,'   assigned Jacobian elements are constant.'))~",
    R"~((' All',i6,'   assigned Jacobian elements are',' constant.'))~",
    R"~((' XXX  ',i4,'-th central-difference interval ',1p,d10.2,' replaced by ',1p,d10.2))~",
    R"~((' XXX  ',i4,'-th central-difference interval ',1p,e10.2,' replaced by ',e10.2))~",
    R"~((' XXX  ',i4,'-th central-difference interval ',1pe10.2,' replaced by ',1pe10.2))~",
    R"~((' XXX  ',i4,'-th difference interval ',1p,d10.2,' replaced by ',1p,d10.2))~",
    R"~((' XXX  ',i4,'-th difference interval ',1p,e10.2,' replaced by ',e10.2))~",
    R"~((' XXX  ',i4,'-th difference interval ',1pe10.2,' replaced by ',1pe10.2))~",
    R"~((/'    j  js         featol        res             Ap','     jadd1       palfa1     jadd2       palfa2'/))~",
    R"~((/' //chcore//  Itn ',i3,' fx     h      ',5x,1p,2d16.6/' //chcore//  f1      fdest         ',5x,1p,2d16.6/' //chcore//  f2      fdest2        ',5x,1p,2d16.6/' //chcore//  cdest   sdest         ',5x,1p,2d16.6/' //chcore//  fdcerr  sdcerr        ',5x,1p,2d16.6))~",
    R"~((/' //cmalf //  negative step',/' //cmalf //           alfa          palfa'/' //cmalf //',2g15.4))~",
    R"~((/' //cmalf //  unbounded step.'/' //cmalf //  jadd           alfa'/' //cmalf //  ',i4,g15.4))~",
    R"~((/' //cmperm//  Illegal parameter values,'/' //cmperm//    m1    m1'/' //cmperm//',2i6))~",
    R"~((/' Directional derivative of the objective',1p,d18.8,/' Difference approximation               ',1p,d18.8))~",
    R"~((/' Directional derivative of the objective',1p,e18.8/' Difference approximation               ',1p,e18.8))~",
    R"~((/' Every column contains a constant or missing element.'))~",
    R"~((/' Every column contains a constant or',' missing element.'))~",
    R"~((/' No gradient elements assigned.'))~",
    R"~((/' The largest relative error was',1p,d12.2,'   in element',i6,/))~",
    R"~((/' The largest relative error was',1p,d12.2,'  in constraint',i5,/))~",
    R"~((/' The largest relative error was',1p,d12.2,'  in row',i5,',  column',i5,/))~",
    R"~((/' The largest relative error was',1p,e12.2,'   in element',i6/))~",
    R"~((/' The largest relative error was',1p,e12.2,'  in row',i5,',  column',i5/))~",
    R"~((/' The largest relative error was',1p,e12.2,'  in row',i5/))~",
    R"~((/' The objective gradients seem to be ok.'))~",
    R"~((/' Workspace provided is     iw(',i8,'),  w(',i8,').'/' To solve problem we need  iw(',i8,'),  w(',i8,').'))~",
    R"~((/' XXX  Component',i5,'  of  istate  is out of',' range...',i10))~",
    R"~((/' XXX  Not enough workspace to solve problem.'))~",
    R"~((/' XXX  The Jacobian seems to be incorrect.'))~",
    R"~((/' XXX  The bounds on  ',a5,i3,'  are inconsistent.   bl =',g16.7,'   bu =',g16.7))~",
    R"~((/' XXX  The bounds on  ',a8,'  are inconsistent.   bl =',g16.7,'   bu =',g16.7))~",
    R"~((/' XXX  The constraint Jacobian seems to be incorrect.'))~",
    R"~((/' XXX  The equal bounds on  ',a5,i3,'  are infinite.   Bounds =',g16.7,'  bigbnd =',g16.7))~",
    R"~((/' XXX  The equal bounds on  ',a8,'  are infinite.   Bounds =',g16.7,'  bigbnd =',g16.7))~",
    R"~((/' XXX  The objective Jacobian seems to be incorrect.'))~",
    R"~((/' XXX  The objective gradients seem to be incorrect.'))~",
    R"~((/' XXX  There seem to be',i6,'  incorrect Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6))~",
    R"~((/' XXX  There seem to be',i6,'  incorrect Jacobian elements out of the',i6,/8x,'set in cols',i6,'  through',i6))~",
    R"~((/' XXX  There seem to be',i6,'  incorrect objective Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6))~",
    R"~((/' XXX  There seem to be',i6,'  incorrect objective gradients out of the',i6,'  set in cols',i6,'  through',i6))~",
    R"~((/' XXX  There seem to be',i6,'  incorrect objective gradients out of the',i6,/8x,'set in cols',i6,'  through',i6))~",
    R"~((/' XXX  kx contains a duplicate value =',i16))~",
    R"~((/' XXX  kx has not been supplied as a valid','  permutation.'))~",
    R"~((/' XXX  kx(',i6,') contains an out-of-range value =',i16))~",
    R"~((/' cmalf  entered'/'    j  js         featol        res             Ap','     jadd1        alfa1     jadd2        alfa2 '/))~",
    R"~((// 6X, A))~",
    R"~((// A / A /))~",
    R"~((// a / a /))~",
    R"~((//'    J      X(J)   Forward DX(J)   Central DX(J)      Error est.',/))~",
    R"~((//'    j      x(j)   Forward dx(j)   Central dx(j) ','     Error est.'/))~",
    R"~((//' All Jacobian elements have been set.  ',' Derivative level increased to ',i4))~",
    R"~((//' All missing Jacobian elements are constants.  ',' Derivative level increased to ',i4))~",
    R"~((//' All missing Jacobian elements are constants.',/' Derivative level increased to ',i4))~",
    R"~((//' All missing constraint Jacobian elements',' are constants.   Derivative level increased to ',i4))~",
    R"~((//' All missing objective  Jacobian elements',' are constants.   Derivative level increased to ',i4))~",
    R"~((//' All missing objective gradients are constants.  ',' Derivative level increased to ',i4))~",
    R"~((//' All missing objective gradients are constants.',/' Derivative level increased to ',i4))~",
    R"~((//' All objective gradient elements have been set.  ',' Derivative level increased to ',i4))~",
    R"~((//' Column    X(J)     DX(J)    Row    Jacobian Value      Difference Approxn  Itns',/))~",
    R"~((//' Column    x(j)     dx(j)    Row   ',' Jacobian Value      Difference Approxn  Itns'))~",
    R"~((//' Computation of the finite-difference intervals',/' ----------------------------------------------'))~",
    R"~((//' Computation of the finite-difference intervals'/' ----------------------------------------------'))~",
    R"~((//' Linear constr   State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr multiplier','     Residual'/))~",
    R"~((//' Nonlnr constr   State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr multiplier','     Residual'/))~",
    R"~((//' The user sets ',i6,'   out of',i6,'   Jacobian elements.'/' Each iteration, ',i6,'   Jacobian elements will be estimated numerically.'))~",
    R"~((//' The user sets ',i6,'   out of',i6,'   objective gradient elements.'/' Each iteration, ',i6,'   gradient elements will be estimated numerically.'))~",
    R"~((//' Variable        State',5x,' Value',6x,' Lower bound',4x,' Upper bound','  Lagr multiplier','     Residual'/))~",
    R"~((//' Verification of the constraint gradients.',/' -----------------------------------------'))~",
    R"~((//' Verification of the objective gradients.',/' ----------------------------------------'))~",
    R"~((///' Verification of the constraint gradients.'/' -----------------------------------------'))~",
    R"~((///' Verification of the objective gradients.'/' ----------------------------------------'))~",
    R"~((///// (80a1) ))~",
    R"~((//1x,'Varbl',1x,'State',5x,'Value',5x,'Lower Bound',3x,'Upper Bound',4x,'Lagr Mult',3x,'Residual',/))~",
    R"~((//4x,'J',4x,'X(J)',5x,'DX(J)',11x,'G(J)',11x,'Difference approxn  Itns',/))~",
    R"~((//4x,'j',4x,'x(j)',5x,'dx(j)',11x,'g(j)',9x,'  Difference approxn  Itns'/))~",
    R"~((/i5,'  constant  objective gradient elements assigned.'))~",
    R"~((/i5,'  constant constraint gradient elements assigned.'))~",
    R"~((/i5,'  constant objective  gradient elements assigned.'))~",
    R"~((/i7,'  Jacobian elements out of the',i6,/9x,'set in cols',i6,'  through',i6,'  seem to be ok.'))~",
    R"~((/i7,'  Objective Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6,'  seem to be ok.'))~",
    R"~((/i7,'  Objective gradients out of the',i6,'  set in cols',i6,'  through',i6,'  seem to be ok.'))~",
    R"~((/i7,'  Objective gradients out of the',i6,/9x,'set in cols',i6,'  through',i6,'  seem to be ok.'))~",
    R"~((/i7,'  constraint Jacobian elements out of the',i6,'  set in cols',i6,'  through',i6,'  seem to be ok.'))~",
    R"~((/i7,1p,2e10.2,i5,2e18.8,2x,a4,i6))~",
    R"~((/i7,1p,2e10.2,i5,2e18.8,2x,a4,i6,2x,a18))~",
    R"~((10(1x,f8.2)))~",
    R"~((100(1x,e12.6)))~",
    R"~((100(1x,i9)))~",
    R"~((10x,i2))~",
    R"~((17x,1p,d10.2,i5,1p,2d18.8,2x,a4,i6))~",
    R"~((1p,4e24.14,1x,l1))~",
    R"~((1p,5d15.5))~",
    R"~((1p,5d15.6))~",
    R"~((1x,5(1p,d15.6,i5)))~",
    R"~((1x,5(1p,e15.6,i4)))~",
    R"~((1x,a))~",
    R"~((1x,a,a))~",
    R"~((1x,a,i4))~",
    R"~((1x,a,i5,a))~",
    R"~((1x,a14,2x,f4.1,2x,3(f12.4,2x),i1,1x,i1,3x,i1,1x,i1))~",
    R"~((1x,a5,i3,10x,a2,2g16.7,5x,' None',6x,g16.7,g16.4))~",
    R"~((1x,a5,i3,10x,a2,3g16.7,g16.7,g16.4))~",
    R"~((1x,a5,i3,10x,a2,g16.7,5x,' None',11x,' None',6x,g16.7,g16.4))~",
    R"~((1x,a5,i3,10x,a2,g16.7,5x,' None',6x,g16.7,g16.7,g16.4))~",
    R"~((1x,a8,10x,a2,2g16.7,5x,' None',6x,g16.7,g16.4))~",
    R"~((1x,a8,10x,a2,3g16.7,g16.7,g16.4))~",
    R"~((1x,a8,10x,a2,g16.7,5x,' None',11x,' None',6x,g16.7,g16.4))~",
    R"~((1x,a8,10x,a2,g16.7,5x,' None',6x,g16.7,g16.7,g16.4))~",
    R"~((20(1x,f3.0)))~",
    R"~((2A))~",
    R"~((2I5))~",
    R"~((2i5,1p,e8.1,i5,e16.8,2e8.1,4i5,2e8.1,3e8.0,1x,l1,1x,2l1,a5))~",
    R"~((2i5,1p,e8.1,i5,e16.8,2e8.1,i5,e8.1,1x,l1,1x,2l1,a5))~",
    R"~((2i5,1p,e8.1,i5,e16.8,e8.1,3i5,e8.1,3e8.0,1x,l1,1x,2l1,a5))~",
    R"~((2i5,1p,e8.1,i5,e16.8,e8.1,i5,1x,l1,1x,2l1,a5))~",
    R"~((2i8,1x,1p,e24.14))~",
    R"~((2i8,1x,2i2,1x,l1))~",
    R"~((2i8,1x,i2,1p,2e24.14))~",
    R"~((2x,a,f7.3,a,f7.3))~",
    R"~((2x,f3.2,10x,f7.0,a))~",
    R"~((3A))~",
    R"~((3a))~",
    R"~((3x,i2,a))~",
    R"~((4(1x,i4,1x,d13.6)))~",
    R"~((4(5x,1p,d11.2)))~",
    R"~((4(i5,1p,d11.2)))~",
    R"~((5(1x,d15.7)))~",
    R"~((5X,I5))~",
    R"~((5g12.3))~",
    R"~((6(1x,d12.4)))~",
    R"~((6(1x,e12.4)))~",
    R"~((6D13.6))~",
    R"~((6F10.3))~",
    R"~((6X, A ))~",
    R"~((6d13.6))~",
    R"~((7x,10x,1p,e10.2,i5,2e18.8,2x,a4,i6))~",
    R"~((7x,10x,1p,e10.2,i5,2e18.8,2x,a4,i6,2x,a18))~",
    R"~((80a1 //))~",
    R"~((8F10.4))~",
    R"~((999I    ))~",
    R"~((A))~",
    R"~((A,5X,I5))~",
    R"~((A,D16.8))~",
    R"~((A,F10.3))~",
    R"~((A,I3,1X,A))~",
    R"~((A,I5,A))~",
    R"~((BN, E16.0))~",
    R"~((BN, I16))~",
    R"~((I    ))~",
    R"~((I1))~",
    R"~((I10))~",
    R"~((I16))~",
    R"~((I2))~",
    R"~((I3))~",
    R"~((I4))~",
    R"~((I40))~",
    R"~((a))~",
    R"~((a,a15))~",
    R"~((a,f12.0))~",
    R"~((a,f4.0,a,f8.6))~",
    R"~((a,f4.1,a))~",
    R"~((a,f6.4,a))~",
    R"~((a,i3))~",
    R"~((a,i3,a,i3))~",
    R"~((a,i3,a,i3,a))~",
    R"~((a,i4))~",
    R"~((a,i4,a,i4))~",
    R"~((a,i4,a,i4,a))~",
    R"~((a,i6,a))~",
    R"~((a,i8,a,i8,a))~",
    R"~((a10))~",
    R"~((a128))~",
    R"~((a2,a,a1))~",
    R"~((a20,a1,a40))~",
    R"~((a21,a1,a))~",
    R"~((a8))~",
    R"~((a9,i4,a4,i1,a2,a32,a2))~",
    R"~((bn, e16.0))~",
    R"~((bn, i16))~",
    R"~((f50.0))~",
    R"~((i1,a1,i3,a1,i3,a1,d12.4,a1,i1,a1,i4,4(a1,i1),a1))~",
    R"~((i3,a1,i2,a1,i2,a1,f5.2))~",
    R"~((i4,i5,a1,i5,a1,1p,e8.1,i5,e16.8,e8.1,2i5,2i5,e8.1,2e8.0))~",
    R"~((i5,1p,2d10.2,1p,2d18.8,2x,a4,i6))~",
    R"~((i5,1p,2d10.2,1p,2d18.8,2x,a4,i6,2x,a18))~",
    R"~((i5,1p,2e10.2,2e18.8,2x,a4,i6))~",
    R"~((i5,1p,2e10.2,2e18.8,2x,a4,i6,2x,a18))~",
    R"~((i5,1p,d10.2,1p,4d15.6,i9,i8))~",
    R"~((i5,1p,d10.2,1p,5d15.6,i9,i8))~",
    R"~((i5,1p,d10.2,1p,d16.6,1p,2d16.6))~",
    R"~((i5,1p,e10.2,e16.6,2e16.6))~",
    R"~((i5,3g15.5))~",
    R"~((i5,i4,3g15.5,2(i6,g17.7)))~",
    R"~((i5,i5,a1,i5,a1,1p,d9.1,i5,1x,1p,d15.6,2i5,2i6,1p,2d10.2,1p,2d9.1))~",
    R"~((i7,1p,2d10.2,i5,1p,2d18.8,2x,a4,i6))~",
    R"~((i8,1x,1p,2e24.14))~",
    R"~((i8,1x,i2))~",
    R"~((i8,1x,i2,1p,2e24.14))~",
    R"~((999(:,F8.4)))~",
    R"~((999(:,F11.4)))~",
    R"~((999(:,1PE13.4)))~",
    R"~((999(:,1P,E24.16)))~",
    R"~((999(:,F10.4)))~",
    R"~((999(:,F 9.3)))~",
    R"~((999(I5)))~",
    R"~((I   3))~",
    R"~((999I   9))~",
    R"~((999(:,1P,E 24. 16)))~",
    R"~((F 10.4))~",
};

TEST(FormatCompile, EveryProgramFormatCompiles) {
  for (const char* f : kProgramFormats) {
    SCOPED_TRACE(f);
    EXPECT_NO_THROW({ Format compiled(f); });
  }
}

TEST(FormatCompile, MalformedTextsAreFormatErrors) {
  const char* const bad[] = {
      "",           // empty
      "   ",        // blank
      "i5",         // no parenthesis
      "(i5",        // unclosed
      "(2(i5)",     // unclosed group
      "(q5)",       // unknown descriptor
      "(*)",        // list-directed mark is not a format
      "(f)",        // F needs a width
      "(e)",        // E needs a width
      "(l)",        // L needs a width
      "(f10.)",     // digits after the point
      "('abc)",     // unterminated literal
      "(0i5)",      // zero repeat
      "(i0)",       // zero width
      "(a0)",       // zero width
      "(i5,,i3)",   // empty item
      "(,i5)",      // empty item
      "(i5,)",      // empty item
      "(p)",        // scale factor without a number
      "(-2x)",      // sign only before P
      "(5h ab)",    // Hollerith past the end
      "(i5.6)",     // Iw.m with m > w
      "(bq)",       // BN or BZ
      "(t)",        // tab without a column
      "(e10.2e0)",  // zero exponent width
  };
  for (const char* f : bad) {
    SCOPED_TRACE(f);
    EXPECT_THROW({ Format compiled(f); }, FormatError);
  }
}

TEST(FormatCompile, MessageNamesTheProblemAndTheText) {
  try {
    Format f("(i5,q3)");
    FAIL() << "no error";
  } catch (const FormatError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("unknown descriptor 'q'"), std::string::npos) << m;
    EXPECT_NE(m.find("(i5,q3)"), std::string::npos) << m;
  }
}

TEST(FormatCompile, CachedFormatsAreCompiledOnce) {
  const Format& a = Format::cached("(2I5)");
  const Format& b = Format::cached(std::string("(2I5)"));
  EXPECT_EQ(&a, &b);
  EXPECT_NE(&a, &Format::cached("(2I6)"));
  EXPECT_THROW(Format::cached("(2Q5)"), FormatError);
  EXPECT_THROW(Format::cached("(2Q5)"), FormatError);  // a failure is not cached
}

TEST(FormatCompile, MovedFormatStillWorks) {
  Format f("(i3)");
  Format g(std::move(f));
  std::vector<std::string> out;
  std::vector<Out> items{7};
  g.write(items, [&](std::string_view r) { out.emplace_back(r); });
  EXPECT_EQ(out, Recs{"  7"});
}

// ---------------------------------------------------------------------------
// Output

struct WriteCase {
  const char* name;
  const char* fmt;
  std::vector<Out> items;
  Recs expect;
};

const double kOneToSeven[] = {1, 2, 3, 4, 5, 6, 7};
const int kOneTwoThree[] = {1, 2, 3};
const double kZeroReals[] = {0.0, 0.0};

const std::vector<WriteCase>& write_cases() {
  static const std::vector<WriteCase> cases = {
      // The program's own examples.
      {"6D13.6 two records", "(6D13.6)", {std::span<const double>(kOneToSeven)},
       {" 0.100000D+01 0.200000D+01 0.300000D+01 0.400000D+01 0.500000D+01 0.600000D+01", " 0.700000D+01"}},
      {"1P E rounds up the exponent", "(1p,e10.2)", {9.9999e14}, {"  1.00E+15"}},
      {"F without room for the zero", "(2x,f3.2)", {0.25}, {"  .25"}},
      {"timing line", "(i3,a1,i2,a1,i2,a1,f5.2)", {0, ":", 0, ":", 1, ":", 15.27}, {"  0: 0: 1:15.27"}},
      {"workspace share overflow", "(a,f4.1,a)", {" This problem used ", 100.0, "% of my workspace"},
       {" This problem used ****% of my workspace"}},
      {"workspace share", "(a,f4.1,a)", {" This problem used ", 0.2345, "% of my workspace"},
       {" This problem used  0.2% of my workspace"}},
      {"anchor", "(5X,I5)", {1}, {"         1"}},
      {"anchor with job", "(2I5)", {1, 3}, {"    1    3"}},

      // I
      {"I", "(I4)", {42}, {"  42"}},
      {"I negative", "(I4)", {-42}, {" -42"}},
      {"I overflow", "(I2)", {123}, {"**"}},
      {"I negative just fits", "(I2)", {-5}, {"-5"}},
      {"I negative overflow", "(I1)", {-5}, {"*"}},
      {"Iw.m", "(I5.3)", {7}, {"  007"}},
      {"Iw.m negative", "(I5.3)", {-7}, {" -007"}},
      {"Iw.0 of zero is blank", "(I3.0,a)", {0, "|"}, {"   |"}},
      {"Iw.m of zero", "(I4.2)", {0}, {"  00"}},
      {"I without width", "(I)", {42}, {"          42"}},
      {"I without width repeated", "(999I    )", {1, -2}, {"           1          -2"}},
      {"I40 of the smallest int", "(I40)", {-2147483647 - 1},
       {"                             -2147483648"}},
      {"I of a long long", "(I20)", {-9223372036854775807LL - 1}, {"-9223372036854775808"}},
      {"real under I is rounded", "(3I5)", {2.4, 2.5, -2.5}, {"    2    3   -3"}},
      {"real under I too large", "(I5)", {1e30}, {"*****"}},
      {"blanks inside a width", "(999I   5)", {1, 2}, {"    1    2"}},
      {"label format", "(I   3)", {12}, {" 12"}},

      // F
      {"F with leading zero", "(F10.4)", {0.25}, {"    0.2500"}},
      {"F negative", "(f8.2)", {-3.14159}, {"   -3.14"}},
      {"F negative rounding to zero has no sign", "(F5.2)", {-0.001}, {" 0.00"}},
      {"F negative zero has no sign", "(F5.2)", {-0.0}, {" 0.00"}},
      {"F negative drops the zero", "(F4.2)", {-0.5}, {"-.50"}},
      {"F negative keeps the zero", "(F5.2)", {-0.5}, {"-0.50"}},
      {"F.0", "(F3.0)", {7.0}, {" 7."}},
      {"F.0 below one keeps its zero", "(F2.0)", {0.4}, {"0."}},
      {"F.0 zero needs two columns", "(F1.0)", {0.0}, {"*"}},
      {"F.0 exact fit", "(f3.0)", {12.0}, {"12."}},
      {"F.0 overflow", "(f3.0)", {123.0}, {"***"}},
      {"F rounds", "(F6.2)", {2.718281828}, {"  2.72"}},
      {"F exact half-way rounds to even", "(2F5.2)", {0.125, 0.375}, {" 0.12 0.38"}},
      {"F rounds into a new digit", "(F5.1)", {99.96}, {"100.0"}},
      {"F rounds past the width", "(F4.1)", {99.96}, {"****"}},
      {"F large", "(f12.0)", {1234567.0}, {"    1234567."}},
      {"F huge", "(F10.4)", {1e300}, {"**********"}},
      {"F of an integer item", "(F6.2)", {3}, {"  3.00"}},
      {"F with 2P", "(2P,F8.3)", {1.5}, {" 150.000"}},
      {"F with -1P", "(-1P,F8.3)", {1.5}, {"   0.150"}},
      {"F with blanks in it", "(F 9.3)", {1.5}, {"    1.500"}},
      {"F NaN", "(F6.2)", {std::numeric_limits<double>::quiet_NaN()}, {"   NaN"}},
      {"F infinity", "(F10.2,F5.1,F3.0)",
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::infinity()},
       {"  Infinity -InfInf"}},

      // E and D
      {"E", "(E10.3)", {1234.5}, {" 0.123E+04"}},
      {"E negative small", "(E12.4)", {-0.000123456}, {" -0.1235E-03"}},
      {"E negative drops the zero", "(E9.3)", {-1234.5}, {"-.123E+04"}},
      {"E overflow", "(E8.3)", {-1234.5}, {"********"}},
      {"E of zero", "(E10.3)", {0.0}, {" 0.000E+00"}},
      {"E of negative zero", "(E10.3)", {-0.0}, {" 0.000E+00"}},
      {"E with exponent width", "(E12.3E3)", {1234.5}, {"  0.123E+004"}},
      {"E with one exponent digit", "(E10.3E1)", {1234.5}, {"  0.123E+4"}},
      {"E exponent too wide for Ee", "(E10.3E1)", {1e12}, {"**********"}},
      {"E three-digit exponent", "(E11.3)", {1e100}, {"  0.100+101"}},
      {"E exponent -99 keeps the letter", "(E11.3)", {1e-100}, {"  0.100E-99"}},
      {"E three-digit negative exponent", "(E11.3)", {1e-101}, {"  0.100-100"}},
      {"1PE", "(1pe10.2)", {1234.5}, {"  1.23E+03"}},
      {"2PE", "(2P,E12.4)", {1234.5}, {"  12.345E+02"}},
      {"-1PE", "(-1P,E12.4)", {1234.5}, {"  0.0123E+05"}},
      {"1PE.0", "(1p,e8.0)", {5.0}, {"  5.E+00"}},
      {"1PE.0 rounds", "(1p,3e8.0)", {1000.0, 96.0, -0.5}, {"  1.E+03  1.E+02 -5.E-01"}},
      {"1PE.1", "(1p,e8.1)", {3.26e-12}, {" 3.3E-12"}},
      {"1PE of zero", "(1p,e10.2)", {0.0}, {"  0.00E+00"}},
      {"kP outside the valid range", "(4P,E10.2)", {1.0}, {"**********"}},
      {"E of an integer item", "(E10.3)", {12}, {" 0.120E+02"}},
      {"scale factor holds for later descriptors", "(e10.2,1p,e10.2,e10.2)", {1.0, 1.0, 1.0},
       {"  0.10E+01  1.00E+00  1.00E+00"}},
      {"scale factor holds through reversion", "(1p,(e10.2))", {1.0, 2.0}, {"  1.00E+00", "  2.00E+00"}},
      {"0P resets", "(1p,e10.2,0p,e10.2)", {1.0, 1.0}, {"  1.00E+00  0.10E+01"}},
      {"D", "(D13.6)", {-1.5}, {"-0.150000D+01"}},
      {"1PD", "(1p,d10.2)", {1e-5}, {"  1.00D-05"}},
      {"D three-digit exponent", "(1p,d10.2)", {1e-150}, {"  1.00-150"}},
      {"D huge", "(d13.6)", {1e300}, {" 0.100000+301"}},
      {"E NaN", "(E10.3)", {std::numeric_limits<double>::quiet_NaN()}, {"       NaN"}},

      // G
      {"G one", "(G16.7)", {1.0}, {"    1.000000    "}},
      {"G zero", "(g16.7)", {0.0}, {"    0.000000    "}},
      {"G F form", "(g16.7)", {123.456}, {"    123.4560    "}},
      {"G F form with no decimals", "(g16.7)", {1234567.0}, {"    1234567.    "}},
      {"G E form above", "(g16.7)", {12345678.0}, {"   0.1234568E+08"}},
      {"G E form below", "(g16.7)", {0.05}, {"   0.5000000E-01"}},
      {"G at 0.1", "(g16.7)", {0.1}, {"   0.1000000    "}},
      {"G rounding below 0.1 up", "(g16.7)", {0.09999999996}, {"   0.1000000    "}},
      {"G rounding up to 10**d", "(G16.7)", {9999999.6}, {"   0.1000000E+08"}},
      {"G negative", "(g15.4)", {-2.5}, {"     -2.500    "}},
      {"G several", "(5g12.3)", {1.0, 10.0, 100.0, 1000.0, 0.01},
       {"    1.00        10.0        100.       0.100E+04   0.100E-01"}},
      {"G with 1P in E form", "(1p,g12.3)", {1000.0}, {"   1.000E+03"}},
      {"G with 1P in F form", "(1p,g12.3)", {1.0}, {"    1.00    "}},
      {"G with exponent width", "(G12.3E3,a)", {1.0, "|"}, {"   1.00     |"}},
      {"G with exponent width in E form", "(G12.3E3)", {1e-5}, {"  0.100E-004"}},
      {"G F form overflow fills the field", "(G6.3)", {-123.0}, {"******"}},
      // Near the switch points with d = 3: the value rounded to 3 digits decides.
      {"G rounds up into 0.1: F form", "(G10.3)", {0.09996}, {" 0.100    "}},
      {"G stays below 0.1: E form", "(G10.3)", {0.09994}, {" 0.999E-01"}},
      {"G rounds up to a new digit", "(3G10.3)", {0.99951, 9.9951, 99.951}, {"  1.00      10.0      100.    "}},
      {"G just below 10**d", "(G10.3)", {999.4}, {"  999.    "}},
      {"G half-way to 10**d: E form", "(2G10.3)", {999.5, -999.7}, {" 0.100E+04-0.100E+04"}},
      {"G with 2P in E form", "(2P,G10.3)", {0.01}, {" 10.00E-03"}},
      {"G E form with three-digit exponent", "(G10.3)", {1e150}, {" 0.100+151"}},
      {"G of an integer is I", "(g6.2)", {42}, {"    42"}},
      {"G of a logical is L", "(g3.1)", {true}, {"  T"}},
      {"G of a text is A", "(g4.1)", {"ab"}, {"  ab"}},

      // L and A
      {"L", "(L1,l4)", {true, false}, {"T   F"}},
      {"L repeated", "(3l2)", {true, false, true}, {" T F T"}},
      {"A right-justifies a short text", "(a5)", {"ab"}, {"   ab"}},
      {"A takes the leftmost characters", "(a2)", {"abcdef"}, {"ab"}},
      {"A without width", "(a)", {"hello"}, {"hello"}},
      {"A without width, empty text", "(a,i2)", {"", 5}, {" 5"}},
      {"front-end tokens", "(a10/a8)", {"!@machine;", "!@human;"}, {"!@machine;", "!@human;"}},
      {"one character per item", "(///// (80a1) )", {"a", "b", "c"}, {"", "", "", "", "", "abc"}},
      {"text with std::string", "(1x,a,a)", {std::string("ab"), std::string_view("cd")}, {" abcd"}},

      // Positioning and literals
      {"X", "(1x,a)", {"abc"}, {" abc"}},
      {"trailing X writes nothing", "(a,5x)", {"ab"}, {"ab"}},
      {"X between", "(a,5x,a)", {"ab", "c"}, {"ab     c"}},
      {"X alone", "(a,x,a)", {"ab", "c"}, {"ab c"}},
      {"T and tabbing back", "(t5,a,t1,a)", {"xy", "ab"}, {"ab  xy"}},
      {"TL overwrites", "(a,tl2,a)", {"abcd", "XY"}, {"abXY"}},
      {"TR", "(a,tr2,a)", {"ab", "c"}, {"ab  c"}},
      {"quoted literal with doubled quote", "('it''s',a)", {"!"}, {"it's!"}},
      {"double-quoted literal", "(\"say \"\"hi\"\"\",a)", {"!"}, {"say \"hi\"!"}},
      {"mixed quotes", "(\"it's\",' \"q\"')", {}, {"it's \"q\""}},
      {"blanks inside a literal are kept", "('  a  b  ')", {}, {"  a  b  "}},
      {"Hollerith", "(5Hab cd,i2)", {7}, {"ab cd 7"}},
      {"blanks in the format", "( 6X, A )", {"x"}, {"      x"}},
      {"text after the closing parenthesis", "(i5)  junk ) ( q", {3}, {"    3"}},
      {"BN and BZ are accepted on output", "(BN,I3,BZ,I3)", {1, 2}, {"  1  2"}},

      // Records, reversion and termination
      {"slashes", "(// a / a /)", {"X", "Y"}, {"", "", "X", "Y", ""}},
      {"leading slash", "(/' XXX  Not enough workspace to solve problem.')", {},
       {"", " XXX  Not enough workspace to solve problem."}},
      {"trailing slash", "(a/)", {"x"}, {"x", ""}},
      {"repeated slash", "(a,2/,a)", {"x", "y"}, {"x", "", "y"}},
      {"only a slash", "(/)", {}, {"", ""}},
      {"no items gives one record", "(2I5)", {}, {""}},
      {"no items writes leading literals", "(' hello',i5)", {}, {" hello"}},
      {"empty format", "()", {}, {""}},
      {"reversion without a group restarts", "(2I5)", {1, 2, 3}, {"    1    2", "    3"}},
      {"reversion to the last group with its count", "(i2,2(i3,i1))", {1, 2, 3, 4, 5, 6, 7, 8, 9},
       {" 1  23  45", "  67  89"}},
      {"reversion to the last of several groups", "(i1,(i2),i1,(i3))", {1, 2, 3, 4, 5, 6},
       {"1 23  4", "  5", "  6"}},
      {"nested groups", "(2(i1,2(a1)),i1)", {1, "a", "b", 2, "c", "d", 3}, {"1ab2cd3"}},
      {"group with repeat", "(4(a1,i1))", {"a", 1, "b", 2}, {"a1b2"}},
      {"literal after the last item is written", "(i2,' end',i2,' more')", {5}, {" 5 end"}},
      {"colon stops", "(i2,:,' end')", {5}, {" 5"}},
      {"colon with items left does nothing", "(i2,:,' end',i2)", {5, 6}, {" 5 end 6"}},
      {"X before the next descriptor writes nothing", "(100(1x,i9))", {1, 2, 3},
       {"         1         2         3"}},
      {"matrix printer record with colon", "(999(:,F8.4))", {std::span<const double>(kZeroReals)},
       {"  0.0000  0.0000"}},
      {"matrix printer record without colon", "(999(I5,'|'))", {1, 2}, {"    1|    2|"}},
      {"matrix printer full precision", "(999(:,1P,E24.16))", {1.0 / 3.0},
       {"  3.3333333333333331E-01"}},
      {"matrix printer automatic", "(999(:,1PE13.4))", {-12345.678, 0.0}, {"  -1.2346E+04   0.0000E+00"}},
      {"arrays expand", "(3i3)", {std::span<const int>(kOneTwoThree), 4}, {"  1  2  3", "  4"}},
      {"empty array is skipped", "(i3)", {std::span<const int>(), 5}, {"  5"}},
      {"repeated group with scale factor", "(1x,5(1p,e15.6,i4))", {1.5, 3},
       {"    1.500000E+00   3"}},
      {"note with include depth", "(A,I3,1X,A)", {" Note: Opening #include file ", 1, "file.qv"},
       {" Note: Opening #include file   1 file.qv"}},
      {"options line value", "(a,i4,a,i4)", {" a=", 12, " b=", -3}, {" a=  12 b=  -3"}},
      {"estimate row", "(1x,a8,10x,a2,g16.7,5x,' None',11x,' None',6x,g16.7,g16.4)",
       {"   x(1)", "FR", 1.5, 0.0, 2.0},
       {std::string(" ") + "    x(1)" + std::string(10, ' ') + "FR" + "    1.500000    " + std::string(5, ' ') +
        " None" + std::string(11, ' ') + " None" + std::string(6, ' ') + "    0.000000    " +
        "       2.000    "}},
      {"optimizer log line", "(2i5,1p,e8.1,i5,e16.8,e8.1,i5,1x,l1,1x,2l1,a5)",
       {1, 2, 0.5, 3, -1.25, 1e-3, 4, true, false, true, " Opt"},
       {"    1    2 5.0E-01    3 -1.25000000E+00 1.0E-03    4 T FT  Opt"}},
  };
  return cases;
}

TEST(FormatWrite, Table) {
  for (const WriteCase& c : write_cases()) {
    SCOPED_TRACE(std::string(c.name) + "  " + c.fmt);
    EXPECT_EQ(write_recs(c.fmt, c.items), c.expect);
  }
}

TEST(FormatWrite, FormatWithoutDataDescriptorForItems) {
  EXPECT_THROW(write_recs("('x')", {1}), FormatError);
  // Reversion into a part with no data descriptor would never end.
  EXPECT_THROW(write_recs("(i5,2('x'))", {1, 2}), FormatError);
}

TEST(FormatWrite, ItemThatDoesNotMatchItsDescriptor) {
  EXPECT_THROW(write_recs("(a)", {3}), FormatError);
  EXPECT_THROW(write_recs("(i5)", {"text"}), FormatError);
  EXPECT_THROW(write_recs("(l2)", {1}), FormatError);
  EXPECT_THROW(write_recs("(f5.1)", {true}), FormatError);
  EXPECT_THROW(write_recs("(e10.3)", {"x"}), FormatError);
}

TEST(FormatWrite, SinkSeesEachRecordAsItIsCompleted) {
  std::vector<std::string> seen;
  std::vector<Out> items{1, 2, 3};
  Format f("(i2)");
  f.write(items, [&](std::string_view r) { seen.emplace_back(r); });
  EXPECT_EQ(seen, (Recs{" 1", " 2", " 3"}));
}

// ---------------------------------------------------------------------------
// Input

TEST(FormatRead, Integers) {
  int a = -1, b = -1, c = -1;
  EXPECT_EQ(read_recs("(I5)", {"   42"}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 42);
  EXPECT_EQ(read_recs("(I5)", {"  4 2"}, {a}).st, IoStat::Ok);  // blanks ignored
  EXPECT_EQ(a, 42);
  EXPECT_EQ(read_recs("(BZ,I5)", {"  4 2"}, {a}).st, IoStat::Ok);  // blanks are zeros
  EXPECT_EQ(a, 402);
  EXPECT_EQ(read_recs("(BZ,I5)", {"  42"}, {a}).st, IoStat::Ok);  // short record: trailing blank
  EXPECT_EQ(a, 420);
  EXPECT_EQ(read_recs("(BZ,BN,I5)", {"  42"}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 42);
  EXPECT_EQ(read_recs("(I5)", {""}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(read_recs("(I5)", {"   -7"}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, -7);
  EXPECT_EQ(read_recs("(I5)", {"  +7 "}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(read_recs("(2I3)", {"  1  2"}, {a, b}).st, IoStat::Ok);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(read_recs("(2I3)", {"  1"}, {a, b}).st, IoStat::Ok);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(read_recs("(bn, i16)", {"12"}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(read_recs("(3I)", {"  12 -5,7"}, {a, b, c}).st, IoStat::Ok);  // blank-delimited
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, -5);
  EXPECT_EQ(c, 7);
  EXPECT_EQ(read_recs("(2I)", {" 3"}, {a, b}).st, IoStat::Ok);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 0);
}

TEST(FormatRead, BadIntegers) {
  int a = 5;
  const char* const bad[] = {"  1x3", "   -", "  1.5", " 99999999999", "  1 -2"};
  for (const char* r : bad) {
    SCOPED_TRACE(r);
    EXPECT_EQ(read_recs("(I12)", {r}, {a}).st, IoStat::Error);
  }
}

struct RealCase {
  const char* fmt;
  const char* rec;
  double expect;
};

TEST(FormatRead, Reals) {
  const RealCase cases[] = {
      {"(F10.3)", "12345", 12.345},           // implied decimals
      {"(F10.3)", "1.5", 1.5},                // a point overrides them
      {"(F10.3)", "   -1.5E2", -150.0},
      {"(F10.3)", "-.5", -0.5},
      {"(F10.3)", "1 2 3 4 5", 12.345},       // blanks ignored
      {"(F10.0)", "          ", 0.0},         // blank field
      {"(F10.0)", "", 0.0},                   // beyond the record
      {"(E16.0)", "1.5+3", 1500.0},           // exponent without a letter
      {"(E16.0)", "1.5-3", 0.0015},
      {"(e10.0)", "2.5d-1", 0.25},            // D exponent, lower case
      {"(e10.0)", "2.5D+1", 25.0},
      {"(e10.0)", "1.5 E 2", 150.0},
      {"(e10.0)", "3e2", 300.0},
      {"(bn, e16.0)", "123", 123.0},
      {"(BN, E16.0)", "  -0.25", -0.25},
      {"(E10.3)", "12345", 12.345},
      {"(E10.3)", "12345E1", 123.45},         // implied decimals and exponent
      {"(D13.6)", " 0.100000D+01", 1.0},
      {"(f50.0)", "  3.25", 3.25},
      {"(2P,F10.2)", "12345", 1.2345},        // the scale factor divides
      {"(2P,F10.2)", "1.5E2", 150.0},         // but not with an exponent
      {"(-2P,F10.3)", "1.5", 150.0},          // a negative one multiplies
      {"(BZ,F5.2)", "1 2  ", 102.0},          // BZ: inner and trailing blanks are zeros
      {"(BN,F5.2)", "1 2  ", 0.12},
      {"(F10.3)", "-5", -0.005},              // fewer digits than decimals
      {"(F10.3)", "1+3", 1.0},                // implied decimals, then the exponent
      {"(G12.4)", "  1.5", 1.5},
      {"(F10.2)", "0.1", 0.1},
      {"(F30.0)", "1.7976931348623157E308", 1.7976931348623157e308},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(std::string(c.fmt) + " \"" + c.rec + "\"");
    double x = -99.0;
    EXPECT_EQ(read_recs(c.fmt, {c.rec}, {x}).st, IoStat::Ok);
    EXPECT_EQ(x, c.expect);
  }
}

TEST(FormatRead, BadReals) {
  const char* const bad[] = {"abc", "1.2.3", "-", ".", "1.5E", "1.5E+", "1e5x", "1,5", "1.0e400", "E5", "nan"};
  for (const char* r : bad) {
    SCOPED_TRACE(r);
    double x = 0.0;
    EXPECT_EQ(read_recs("(F10.2)", {r}, {x}).st, IoStat::Error);
  }
}

TEST(FormatRead, WrittenMatrixReadsBack) {
  const double v[] = {1.0, -2.5, 0.125, 1e-7, 123456.0, 3.0, 7.0};
  Recs recs = write_recs("(6D13.6)", {std::span<const double>(v)});
  ASSERT_EQ(recs.size(), 2u);
  double back[7] = {};
  auto r = read_recs("(6D13.6)", recs, {std::span<double>(back)});
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(r.fetched, 2);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(back[i], v[i]) << i;
}

TEST(FormatRead, Logicals) {
  bool t = false;
  EXPECT_EQ(read_recs("(L3)", {" .T"}, {t}).st, IoStat::Ok);
  EXPECT_TRUE(t);
  EXPECT_EQ(read_recs("(l7)", {".FALSE."}, {t}).st, IoStat::Ok);
  EXPECT_FALSE(t);
  EXPECT_EQ(read_recs("(L6)", {"  true"}, {t}).st, IoStat::Ok);
  EXPECT_TRUE(t);
  EXPECT_EQ(read_recs("(L2)", {" x"}, {t}).st, IoStat::Error);
  EXPECT_EQ(read_recs("(L2)", {"  "}, {t}).st, IoStat::Error);
}

TEST(FormatRead, Texts) {
  std::string s(4, '?');
  EXPECT_EQ(read_recs("(A)", {"abcdef"}, {s}).st, IoStat::Ok);
  EXPECT_EQ(s, "abcd");
  EXPECT_EQ(read_recs("(A)", {"ab"}, {s}).st, IoStat::Ok);  // short record pads
  EXPECT_EQ(s, "ab  ");
  EXPECT_EQ(read_recs("(A6)", {"abcdef"}, {s}).st, IoStat::Ok);  // rightmost characters
  EXPECT_EQ(s, "cdef");
  EXPECT_EQ(read_recs("(A2)", {"abcdef"}, {s}).st, IoStat::Ok);  // padded on the right
  EXPECT_EQ(s, "ab  ");
  EXPECT_EQ(read_recs("(A4)", {"wxyz"}, {s}).st, IoStat::Ok);
  EXPECT_EQ(s, "wxyz");
  std::string a(1, ' '), b(3, ' ');
  EXPECT_EQ(read_recs("(a1,a)", {"12345"}, {a, b}).st, IoStat::Ok);
  EXPECT_EQ(a, "1");
  EXPECT_EQ(b, "234");
  std::string empty;
  EXPECT_EQ(read_recs("(a,i2)", {"12"}, {empty, a}).st, IoStat::Error);  // text under I
}

TEST(FormatRead, RecordsSlashesAndReversion) {
  int a = 0, b = 0, c = 0;
  auto r = read_recs("(I3/I3)", {"  1", "  2"}, {a, b});
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(r.fetched, 2);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);

  r = read_recs("(I3//I3)", {"  1", "junk", "  2"}, {a, b});
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(b, 2);

  r = read_recs("(2I3)", {"  1  2  9", "  3  4"}, {a, b, c});  // reversion takes a new record
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(r.fetched, 2);
  EXPECT_EQ(c, 3);

  r = read_recs("(A)", {"a", "b"}, {});  // a read with no items still takes a record
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(r.fetched, 1);

  r = read_recs("(I3/)", {"  1", "x"}, {a});  // a trailing slash takes the next record
  EXPECT_EQ(r.st, IoStat::Ok);
  EXPECT_EQ(r.fetched, 2);
}

TEST(FormatRead, EndOfRecords) {
  int a = 0, b = 0, c = 0;
  auto r = read_recs("(2I3)", {"  1  2"}, {a, b, c});
  EXPECT_EQ(r.st, IoStat::End);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(read_recs("(I3)", {}, {a}).st, IoStat::End);
  EXPECT_EQ(read_recs("(I3/I3)", {"  5"}, {a, b}).st, IoStat::End);
  EXPECT_EQ(read_recs("(I3/)", {"  5"}, {a}).st, IoStat::End);
}

TEST(FormatRead, ArraysAndConversions) {
  double v[3] = {};
  EXPECT_EQ(read_recs("(3F5.1)", {"  1.0  2.0  3.0"}, {std::span<double>(v)}).st, IoStat::Ok);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[2], 3.0);
  int iv[4] = {};
  EXPECT_EQ(read_recs("(4(i1,1x))", {"1 2 3 4"}, {std::span<int>(iv)}).st, IoStat::Ok);
  EXPECT_EQ(iv[3], 4);
  double x = 0.0;
  EXPECT_EQ(read_recs("(I5)", {"   12"}, {x}).st, IoStat::Ok);  // real item under I
  EXPECT_EQ(x, 12.0);
  int n = 0;
  EXPECT_EQ(read_recs("(F5.1)", {"  3.0"}, {n}).st, IoStat::Ok);  // whole number into an integer
  EXPECT_EQ(n, 3);
  EXPECT_EQ(read_recs("(F5.1)", {"  3.5"}, {n}).st, IoStat::Error);
  EXPECT_EQ(read_recs("(G5.2)", {"   12"}, {n}).st, IoStat::Ok);  // G reads an integer as I
  EXPECT_EQ(n, 12);
  bool flag = false;
  EXPECT_EQ(read_recs("(G5.2)", {"    T"}, {flag}).st, IoStat::Ok);  // and a logical as L
  EXPECT_TRUE(flag);
  std::string text(2, ' ');
  EXPECT_EQ(read_recs("(G5.2)", {"abcde"}, {text}).st, IoStat::Ok);  // and a text as A
  EXPECT_EQ(text, "de");
  EXPECT_EQ(read_recs("(I5)", {"    1"}, {flag}).st, IoStat::Error);
}

TEST(FormatRead, PositioningAndLiterals) {
  int a = 0, b = 0;
  EXPECT_EQ(read_recs("(2X,I2,T1,I2)", {"1234"}, {a, b}).st, IoStat::Ok);
  EXPECT_EQ(a, 34);
  EXPECT_EQ(b, 12);
  EXPECT_EQ(read_recs("(I1,TR2,I1,TL2,I1)", {"12345"}, {a, b, b}).st, IoStat::Ok);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(read_recs("('ab',I2)", {"xx12"}, {a}).st, IoStat::Ok);  // a literal is passed over
  EXPECT_EQ(a, 12);
  EXPECT_EQ(read_recs("(10x,i2)", {"Threshold  7"}, {a}).st, IoStat::Ok);
  EXPECT_EQ(a, 7);
}

TEST(FormatRead, FormatWithoutDataDescriptorForItems) {
  int a = 0;
  EXPECT_THROW(read_recs("('x')", {"1"}, {a}), FormatError);
}

}  // namespace
