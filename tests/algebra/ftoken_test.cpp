// The formula tokenizer and the postfix translator: codes, priorities, the
// unary minus and plus rules, text filing, lines and errors.
#include <gtest/gtest.h>

#include "algebra/formcomp.hpp"
#include "formula_fixture.hpp"

namespace qv::algebra {
namespace {

using testing_support::FormulaTest;

class PostfixTest : public FormulaTest {};

TEST_F(PostfixTest, CodeLists) {
  struct Case {
    const char* formula;
    std::vector<int> codes;
  };
  // Expected lists worked out by hand from the priority table.
  const std::vector<Case> cases = {
      {"A-B/", {1, 2, 116}},
      {"-A/", {1, 111}},
      {"A*-B/", {1, 2, 111, 113}},
      {"A--B/", {1, 2, 111, 116}},
      {"+A/", {1}},
      {"A++B/", {1, 2, 115}},
      {"A'*B/", {1, 32, 2, 113}},
      {"\\TR(A*B)/", {1, 2, 113, 34}},
      {"\\PART(A,B)/", {1, 2, 124, 74}},
      {"\\VECH(A)/", {1, 48}},
      {"\\VEC(A)/", {1, 49}},
      {"\\COSH(A)/", {1, 53}},
      {"\\COS(A)/", {1, 52}},
      {"\\SINH(A);", {1, 55}},
      {"\\TANH(A);", {1, 57}},
      {"A+B*D-E/", {1, 2, 4, 113, 115, 5, 116}},
      {"A*/", {1, 113}},
      {"-A^D/", {1, 111, 4, 122}},          // unary minus binds tighter than ^
      {"A^B^D/", {1, 2, 4, 122, 122}},      // ^ associates to the right
      {"A.B.D/", {1, 2, 4, 112, 112}},      // and so does .
      {"A|B_D/", {1, 2, 118, 4, 119}},      // | binds tighter than _
      {"A_B|D/", {1, 2, 4, 118, 119}},
      {"A+B|D/", {1, 2, 115, 4, 118}},
      {"(A+B)*D/", {1, 2, 115, 4, 113}},
      {"A~'/", {1, 31, 32}},
      {"A*B~/", {1, 2, 31, 113}},
      {"A&B+D/", {1, 2, 125, 4, 115}},
      {"A=B+D/", {1, 2, 4, 115, 126}},
      {"A>B;", {1, 2, 127}},
      {"A<B;", {1, 2, 128}},
      {"A%B@D/", {1, 2, 123, 4, 120}},
      {"A, B, D /", {1, 2, 124, 4, 124}},
      {"\\EXP-A/", {35, 1, 116}},            // minus after a function keyword is dyadic
      {"A & -B/", {1, 125, 2, 116}},         // ... and after &
      {"  A  *  B  /", {1, 2, 113}},
  };
  for (const auto& c : cases) EXPECT_EQ(postfix(c.formula), c.codes) << c.formula;
}

TEST_F(PostfixTest, EveryFunctionKeyword) {
  for (const auto& k : FNKEYS) {
    const std::string f = "\\" + std::string(k.key) + "(A)/";
    EXPECT_EQ(postfix(f), (std::vector<int>{1, k.code})) << f;
  }
}

TEST_F(PostfixTest, TextFiledWithoutBlanksAcrossSlots) {
  int status = 0, slot = 5;
  // \TR matches TR; the rest of the word is the letters A, C, E...
  set_line("A * B' + \\SQRT(C) + D*E*F*G*H*I*J*K*L*M*N*O*P /");
  POSTFIX(status, jobbase::LABTAB, slot);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(slot, 6);
  EXPECT_EQ(jobbase::LABTAB.get(5), "A*B'+\\SQRT(C)+D*E*F*G*H*I*J*K*L*");
  EXPECT_EQ(jobbase::LABTAB.get(6), "M*N*O*P                         ");
}

TEST_F(PostfixTest, WatchedLetter) {
  FTKSTA.WATLET = 3;
  FTKSTA.WATFLG = false;
  postfix("A*B/");
  EXPECT_FALSE(FTKSTA.WATFLG);
  postfix("A*C/");
  EXPECT_TRUE(FTKSTA.WATFLG);
}

TEST_F(PostfixTest, FormulaOverSeveralLines) {
  feed("  + B *\n\n   D ; rest\nNEXT\n");
  set_line("A");
  int status = 0, slot = 1;
  POSTFIX(status, jobbase::LABTAB, slot);
  std::vector<int> out;
  for (int k = 1; k < FMSTAK.NOUT; ++k) out.push_back(FMSTAK.val(k));
  EXPECT_EQ(out, (std::vector<int>{1, 2, 4, 113, 115}));
  EXPECT_EQ(jobbase::LINBUF.LINE[static_cast<std::size_t>(jobbase::CURSOR.ICOL - 1)], ';');
  EXPECT_EQ(jobbase::LABTAB.get(1).substr(0, 6), "A+B*D ");
}

TEST_F(PostfixTest, FormulaCodesStoredAsDoublesAfterTheirCount) {
  std::vector<double> store(10, -1.0);
  const runtime::Vec1<double> X(store.data(), static_cast<std::ptrdiff_t>(store.size()));
  set_line("A*B' + C /");
  int slot = 3;
  formula_codes(X, jobbase::LABTAB, slot);
  EXPECT_EQ(store, (std::vector<double>{6, 1, 2, 32, 113, 3, 115, -1, -1, -1}));
  EXPECT_EQ(jobbase::LABTAB.get(3).substr(0, 8), "A*B'+C  ");
  // A formula without matrices stores a count of 0 and nothing else.
  set_line("/");
  formula_codes(X.from(8), jobbase::LABTAB, slot);
  EXPECT_EQ(store[7], 0.0);
  EXPECT_EQ(store[8], -1.0);
}

TEST_F(PostfixTest, Errors) {
  EXPECT_QV_ERROR(postfix("A*2/"), 58);
  EXPECT_QV_ERROR(postfix("A#B/"), 58);
  EXPECT_QV_ERROR(postfix("AB/"), 67);
  EXPECT_QV_ERROR(postfix("\\FOO(A)/"), 77);
  EXPECT_QV_ERROR(postfix("A**B/"), 161);
  EXPECT_QV_ERROR(postfix("A+.B/"), 161);
  EXPECT_QV_ERROR(postfix("(A+B))/"), 183);
  EXPECT_QV_ERROR(postfix("((A+B)/"), 183);
  std::string longf = "A";
  for (int k = 0; k < 500; ++k) longf += "+A";
  EXPECT_QV_ERROR(postfix(longf + "/"), 64);
  EXPECT_QV_ERROR(postfix(std::string(1001, '(') + "A/"), 65);
}

TEST_F(PostfixTest, ParenthesesMessage) {
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        postfix("(A+B))/");
      },
      ::testing::ExitedWithCode(1),
      " Parentheses don't match.  Your formula contains\n 1 left \\(, and 2 right \\)'s.\n");
}

TEST_F(PostfixTest, EndOfInputInsideFormulaIsNamed) {
  feed("  + B *\n");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        postfix("A");
      },
      ::testing::ExitedWithCode(1), "could not find its / or ;\n(.*)error code is +160");
}

}  // namespace
}  // namespace qv::algebra
