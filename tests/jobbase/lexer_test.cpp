#include <cmath>
#include <string>
#include <vector>

#include "jobbase/matutil.hpp"
#include "jobbase/workspace.hpp"
#include "script_fixture.hpp"

namespace qv::jobbase {
namespace {

using testing_support::capture;

class LexerTest : public testing_support::ScriptTest {
 protected:
  // Feeds the text and reads its first line.
  void start(const std::string& text) {
    feed(text);
    RDLINE();
  }
  static void define(const std::string& name, double v) {
    NAMVAR.NNAMES += 1;
    NAMVAR.NAMES[NAMVAR.NNAMES] = runtime::fpad(name, 32);
    NAMVAR.VALUES[NAMVAR.NNAMES] = v;
  }
};
using LexerDeathTest = LexerTest;

struct NumCase {
  const char* text;
  std::vector<double> reals;
  std::vector<int> ints;
  std::vector<int> ranges;
};

TEST_F(LexerTest, NumberGrammar) {
  const NumCase cases[] = {
      {"12, 3.5; 7", {12, 3.5, 7}, {12, 3, 7}, {0, 0, 0}},
      {"1.5E+3 1.5E-2 15E3 1.5D2 2e1", {1500, 0.015, 15000, 150, 20}, {1500, 0, 15000, 150, 20}, {0, 0, 0, 0, 0}},
      {"-1234567890123 +4 -.5", {-1234567890123.0, 4, -0.5}, {-1073741824, 4, 0}, {0, 0, 0}},
      {"1234567890123456", {1234567890123456.0}, {1073741824}, {0}},
      {"2.5 TO 7", {2.5, 7}, {2, 7}, {1, 0}},
      {"3 - 5", {3, 5}, {3, 5}, {1, 0}},
      {"3-5", {3, -5}, {3, -5}, {0, 0}},
      {"2TO5", {2, 5}, {2, 5}, {1, 0}},
      {"0.1 123456789.123", {0.1, 123456789.123}, {0, 123456789}, {0, 0}},
      {"\\PI -\\E", {3.141592653589793, -std::exp(1.0)}, {3, -2}, {0, 0}},
      {"IT=200 NG = 3", {200, 3}, {200, 3}, {0, 0}},
      {"1\n\n  ! note\n 2", {1, 2}, {1, 2}, {0, 0}},
  };
  for (const NumCase& c : cases) {
    SCOPED_TRACE(c.text);
    start(c.text);
    for (std::size_t k = 0; k < c.reals.size(); ++k) {
      capture([] { RDNUM(); });
      EXPECT_EQ(CURSOR.RVALUE, c.reals[k]) << "item " << k;
      EXPECT_EQ(CURSOR.IVALUE, c.ints[k]) << "item " << k;
      EXPECT_EQ(CURSOR.RANGFL, c.ranges[k]) << "item " << k;
    }
  }
}

TEST_F(LexerTest, NumberLeavesSlashEqualsAndStarUnderCursor) {
  for (const char* t : {"12/", "12=", "12*"}) {
    start(t);
    RDNUM();
    EXPECT_EQ(CURSOR.IVALUE, 12);
    EXPECT_EQ(CURSOR.ICOL, 3);
  }
}

TEST_F(LexerTest, DefinedNamesStandForNumbers) {
  define("X", 2.7);
  start("X -X 4");
  RDNUM();
  EXPECT_EQ(CURSOR.RVALUE, 2.7);
  EXPECT_EQ(CURSOR.IVALUE, 2);
  RDNUM();
  EXPECT_EQ(CURSOR.RVALUE, -2.7);
  EXPECT_EQ(CURSOR.IVALUE, -2);
  RDNUM();
  EXPECT_EQ(CURSOR.IVALUE, 4);
}

TEST_F(LexerTest, WordsBeforeANumberAreSkippedWithWarningAtLineEnd) {
  start("JUNK\n 5");
  const std::string out = capture([] { RDNUM(); });
  EXPECT_EQ(CURSOR.IVALUE, 5);
  EXPECT_EQ(out, " *** WARNING! ***\n Non-numeric characters found when trying to read a  number\n");
  EXPECT_EQ(MAINPR.NWARN, 1);
}

TEST_F(LexerTest, EndOfInputAcceptedWhenAsked) {
  start("1");
  RDNUM();
  CURSOR.EOFOK = 1;
  RDNUM();
  EXPECT_EQ(CURSOR.EOFOK, -1);
  EXPECT_EQ(CURSOR.ICOL, 0);
}

TEST_F(LexerDeathTest, NumberErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct {
    const char* text;
    int code;
  } cases[] = {{"12X", 44}, {"1.5E", 44}, {"1.5E+ 3", 44}, {"1.2.3", 44}, {"4\\PI", 44},
               {"3 +", 51}, {"- A", 51}, {"\\Q", 86}, {". ", 50}, {"", 50}, {"JUNK", 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    start(c.text);
    switch (c.code) {
      case 44: EXPECT_QV_ERROR(RDNUM(), 44); break;
      case 50: EXPECT_QV_ERROR(RDNUM(); RDNUM(), 50); break;
      case 51: EXPECT_QV_ERROR(RDNUM(); RDNUM(), 51); break;
      case 86: EXPECT_QV_ERROR(RDNUM(), 86); break;
    }
  }
}

TEST_F(LexerTest, WordsAndSkips) {
  start("ABC=DEF  G,H  I");
  std::string w;
  RDWORD(w, 0);
  EXPECT_EQ(w, runtime::fpad("ABC", 32));
  EXPECT_EQ(CURSOR.ICOL, 5);  // the delimiter is stepped over
  RDWORD(w, 0);
  EXPECT_EQ(w, runtime::fpad("DEF", 32));
  EXPECT_EQ(CURSOR.ICOL, 10);  // blanks after the word are passed
  NEXTWD();
  EXPECT_EQ(CURSOR.ICOL, 12);  // past "G," to H
  NEXTWD();
  EXPECT_EQ(CURSOR.ICOL, 15);
  EXPECT_FALSE(CURSOR.NEWLIN);

  start("A=B C");
  RDWORD(w, 1);
  EXPECT_EQ(w, runtime::fpad("A=B", 32));
  EXPECT_EQ(CURSOR.ICOL, 5);

  start(std::string(32, 'Q'));
  RDWORD(w, 0);
  EXPECT_EQ(w, std::string(32, 'Q'));
}

TEST_F(LexerTest, NextWordFetchesALineUnlessOptionsAreRead) {
  start("LAST\nNEXT LINE");
  NEXTWD();
  EXPECT_TRUE(CURSOR.NEWLIN);
  EXPECT_EQ(line(), "NEXT LINE");
  EXPECT_EQ(CURSOR.ICOL, 1);
  MAINPR.NOREAD = 1.0;
  CURSOR.ICOL = 6;
  NEXTWD();
  EXPECT_TRUE(CURSOR.NEWLIN);
  EXPECT_EQ(line(), "NEXT LINE");  // no new line while the options line is parsed
}

TEST_F(LexerTest, DelimiterAndEqualsSkips) {
  start("NG=2 NI = 3");
  SKIPDL();
  EXPECT_EQ(CURSOR.ICOL, 4);
  SKIPEQ();
  EXPECT_EQ(CURSOR.ICOL, 10);
}

TEST_F(LexerDeathTest, SkipErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  start("NG=   ");
  EXPECT_QV_ERROR(SKIPDL(), 167);
  start("NG 2");
  EXPECT_QV_ERROR(SKIPEQ(), 83);
  start(std::string(33, 'Q'));
  std::string w;
  EXPECT_QV_ERROR(RDWORD(w, 0), 165);
}

TEST_F(LexerTest, CharacterAndNumberSearches) {
  start("ABC\nX ; Y\n  +4");
  const std::string out = capture([] { FINDCH(';', 1); });
  EXPECT_EQ(out, " Searching for character;\n Character not found; reading next line\n");
  EXPECT_EQ(line(), "X ; Y");
  EXPECT_EQ(CURSOR.ICOL, 3);
  SKIPNUM();
  EXPECT_EQ(line(), "+4");
  EXPECT_EQ(CURSOR.ICOL, 1);
}

TEST_F(LexerTest, NumberListEndsAtSlashSemicolonOrLineEnd) {
  start("1 2;3 4 / 5 ; 6 7");
  const bool want[] = {false, true, false, true, true, false, true};
  for (bool w : want) {
    RDNUM();
    EXPECT_EQ(number_list_ends(), w) << CURSOR.IVALUE;
  }
}

TEST_F(LexerTest, WarnedSearchReadsOnWithAHeadingPerLine) {
  start("A=1\nB\nC\nD = 2");
  EXPECT_EQ(capture([] { EXPECT_FALSE(seek_char_warned('=')); }), "");
  EXPECT_EQ(CURSOR.ICOL, 2);
  RDLINE();
  const std::string heading = " *** WARNING! ***\n Searching for character=\n Character not found; reading next line\n";
  const std::string out = capture([] { EXPECT_TRUE(seek_char_warned('=')); });
  EXPECT_EQ(out, heading + heading);
  EXPECT_EQ(line(), "D = 2");
  EXPECT_EQ(CURSOR.ICOL, 3);
}

TEST_F(LexerDeathTest, SearchesAtEndOfInput) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  start("ABC");
  EXPECT_QV_ERROR(FINDCH(';', 0), 160);
  start("ABC");
  EXPECT_QV_ERROR(SKIPNUM(), 50);
  start("ABC");
  EXPECT_QV_ERROR(seek_char_warned('='), 160);
}

TEST(LexerSmall, LettersDigitsWordsShift) {
  int flag = -1;
  EXPECT_EQ(LETIDX('A', flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(LETIDX('Z', flag), 26);
  EXPECT_EQ(LETIDX('a', flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(DIGIDX('7', flag), 7);
  EXPECT_EQ(flag, 0);
  DIGIDX('x', flag);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(NWORDS("  one two   three  "), 3);
  EXPECT_EQ(NWORDS("   "), 0);
  std::string s = "abcdef";
  SHIFTL(s, 2, 2, 6);
  EXPECT_EQ(s, "adef  ");
}

TEST(LexerSmall, LongestTrimmedLength) {
  const std::vector<std::string> one = {"A", " ", "B", "\t"};
  EXPECT_EQ(MAXLEN(one, 4), 1);
  EXPECT_EQ(MAXLEN(std::vector<std::string>{" ", "\t"}, 2), 0);
  // Only the first N count; trailing blanks and control characters do not.
  const std::vector<std::string> words = {"AB  ", "  C", "LONGEST \r"};
  EXPECT_EQ(MAXLEN(words, 2), 3);
  EXPECT_EQ(MAXLEN(words, 3), 7);
  EXPECT_EQ(MAXLEN(words, 0), 0);
}

TEST(LexerSmall, LetterCodeLeavesItsCountedList) {
  // X(5) counts the entries X(6..8): the letter codes 4 (D), 7 (G), 4 (D).
  std::vector<double> store = {0, 0, 0, 0, 3, 4, 7, 4, 9};
  const runtime::Vec1<double> X(store.data(), static_cast<std::ptrdiff_t>(store.size()));
  const std::string out = testing_support::capture([&] { LSTDEL(X, 5, 4); });
  // The first D goes, the rest move down, the freed word is cleared.
  EXPECT_EQ(store, (std::vector<double>{0, 0, 0, 0, 2, 7, 4, 0, 9}));
  EXPECT_EQ(out, " A(LIST+I)= 1 7.00000000\n A(LIST+I)= 2 4.00000000\n");
  // A code the list does not hold changes nothing.
  const std::string none = testing_support::capture([&] { LSTDEL(X, 5, 26); });
  EXPECT_EQ(store, (std::vector<double>{0, 0, 0, 0, 2, 7, 4, 0, 9}));
  EXPECT_EQ(none, out);
  // The last entry, then an empty list.
  testing_support::capture([&] { LSTDEL(X, 5, 4); });
  EXPECT_EQ(testing_support::capture([&] { LSTDEL(X, 5, 7); }), "");
  EXPECT_EQ(store, (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 9}));
}

TEST_F(LexerTest, DelimiterClassOfTheNextCharacter) {
  start("A   /\n\n   ; B\nC");
  int pos = -1, kind = -1;
  ++CURSOR.ICOL;
  delimiter_class(pos, kind);
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(kind, 2);
  // Past the line's end: further lines are read.
  ++CURSOR.ICOL;
  delimiter_class(pos, kind);
  EXPECT_EQ(line(), "; B");
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(kind, 2);
  CURSOR.ICOL = 2;
  delimiter_class(pos, kind);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(kind, 1);
  CURSOR.ICOL = 4;
  delimiter_class(pos, kind);
  EXPECT_EQ(line(), "C");
  EXPECT_EQ(kind, 1);
  CURSOR.ICOL = 2;
  delimiter_class(pos, kind);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(kind, 0);
}

// A workspace with one or two groups and matrices of every kind.
class ElementTest : public LexerTest {
 protected:
  static constexpr int kB = 100;  // matrix-table base of group 1
  std::vector<double> store = std::vector<double>(4000, 0.0);
  runtime::Vec1<double> X{store.data(), static_cast<std::ptrdiff_t>(store.size())};

  void SetUp() override {
    LexerTest::SetUp();
    X(1) = 2;
    GRPTAB(X, 2, 7, 1) = kB;
    GRPTAB(X, 2, 7, 2) = kB + 300;
    for (int l = 1; l <= 26; ++l) X(kB + l - 1) = 99;
    declare(1, 8, 3, 3, 500);    // A SY
    declare(2, 9, 2, 3, 600);    // B FU
    declare(3, 5, 3, 3, 700);    // C DI
    declare(4, 6, 4, 4, 720);    // D SD
    declare(5, 7, 4, 4, 740);    // E ST
    declare(6, 10, 3, 3, 760);   // F LO
    declare(7, 1, 3, 3, 780);    // G ZE
    declare(8, -10, 2, 2, 800);  // H computed
    X(801) = 5;                  // its code count
    declare(21, 11, 3, 3, 900);  // U UN
    declare(26, 99, 3, 3, 0);    // Z not declared
    X(kB + 300 + 1 - 1) = 9;     // group 2: A FU 2x2 at 1000
    X(kB + 300 + 26) = 2;
    X(kB + 300 + 52) = 2;
    X(kB + 300 + 78) = 1000;
  }
  void declare(int l, int type, int rows, int cols, int addr) {
    X(kB + l - 1) = type;
    X(kB + 26 + l - 1) = rows;
    X(kB + 52 + l - 1) = cols;
    X(kB + 78 + l - 1) = addr;
  }
  int addr(int l, int i, int j, int spec) {
    int nr = 0, nc = 0, ty = 0;
    return ELADDR(X, 1, l, i, j, spec, nr, nc, ty);
  }
};
using ElementDeathTest = ElementTest;

TEST_F(ElementTest, AddressesByType) {
  struct {
    int l, i, j, spec, want, eloff;
  } cases[] = {
      {1, 1, 3, 1, 503, 4},    {1, 1, 3, 0, 509, 6},   // SY (1,3) is (3,1)
      {2, 2, 3, 1, 605, 6},    {2, 2, 3, 0, 611, 6},   // FU row by row
      {3, 2, 2, 1, 701, 2},    {3, 2, 2, 0, 704, 3},   // DI
      {4, 3, 1, 1, 721, 2},    {4, 4, 3, 0, 731, 6},   // SD
      {5, 1, 3, 1, 741, 2},                            // ST swapped
      {6, 3, 2, 1, 764, 5},                            // LO
      {21, 2, 2, 1, 0, 0},     {21, 2, 2, 0, 0, 0},    // UN: no element position
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.l) + " " + std::to_string(c.i) + "," + std::to_string(c.j));
    EXPECT_EQ(addr(c.l, c.i, c.j, c.spec), c.want);
    EXPECT_EQ(CURSOR.ELOFF, c.eloff);
  }
  int i = 1, j = 3, nr = 0, nc = 0, ty = 0;
  ELADDR(X, 1, 1, i, j, 1, nr, nc, ty);
  EXPECT_EQ(i, 3);
  EXPECT_EQ(j, 1);
  EXPECT_EQ(ty, 8);
  EXPECT_EQ(nr, 3);
  CURSOR.CMPOK = true;
  EXPECT_EQ(addr(8, 2, 1, 1), 800 + 5 + 4 + 3);
  EXPECT_EQ(addr(8, 2, 1, 0), 812);
}

TEST_F(ElementDeathTest, AddressErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_QV_ERROR(addr(1, 4, 1, 1), 99);
  EXPECT_QV_ERROR(addr(1, 0, 1, 1), 99);
  EXPECT_QV_ERROR(addr(1, 1, 0, 1), 99);
  EXPECT_QV_ERROR(addr(2, 1, 4, 1), 100);
  EXPECT_QV_ERROR(addr(26, 1, 1, 1), 15);
  EXPECT_QV_ERROR(addr(7, 1, 1, 1), 16);
  EXPECT_QV_ERROR(addr(8, 1, 1, 1), 16);  // computed without CMPOK
  EXPECT_QV_ERROR(addr(3, 1, 2, 1), 17);
  EXPECT_QV_ERROR(addr(4, 2, 2, 1), 18);
  EXPECT_QV_ERROR(addr(5, 2, 2, 1), 19);
  EXPECT_QV_ERROR(addr(6, 1, 2, 1), 127);
}

TEST_F(ElementTest, ElementReferences) {
  define("N", 2);
  int idx = 0;
  start("A 1 3 B 2 3");
  RDELEM(X, 1, 1, idx, 1);
  EXPECT_EQ(idx, 503);
  EXPECT_EQ(line().substr(CURSOR.ICOL - 1, 1), "B");
  RDELEM(X, 1, 0, idx, 1);
  EXPECT_EQ(idx, 611);
  RDELEM(X, 1, 1, idx, 0);  // the same element again, specification slot
  EXPECT_EQ(idx, 605);
  RDELEM(X, 1, 1, idx, 1);  // past the line
  EXPECT_EQ(idx, 0);

  start("A 2 N 2 ; ALL");
  RDELEM(X, 1, 1, idx, 1);  // group 2, row N = 2, column 2
  EXPECT_EQ(idx, 1000 + 3);
  EXPECT_EQ(CURSOR.ICOL, 11);  // on the next item, past the semicolon
  RDELEM(X, 1, 1, idx, 1);
  EXPECT_EQ(idx, -1);

  start("B 1 1 TO B 1 3");
  RDELEM(X, 1, 1, idx, 1);
  EXPECT_TRUE(CURSOR.RANGFL);
  EXPECT_EQ(idx, 600);
  EXPECT_EQ(CURSOR.ICOL, 10);  // on the second element
  RDELEM(X, 1, 1, idx, 1);
  EXPECT_FALSE(CURSOR.RANGFL);
  EXPECT_EQ(idx, 602);
}

TEST_F(ElementDeathTest, ReferenceErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int idx = 0;
  start("1 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 13);
  start("A 1 1 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 14);
  start("A 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 20);
  start("A 3 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 117);
  start("A 0 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 117);
  GRPTAB(X, 2, 7, 2) = 0;  // group 2 within NG but its matrices not read yet
  start("A 2 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 117);
  start("B 1 0");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 99);
  MAINPR.MULFIT = 1;
  start("A 1 1");
  EXPECT_QV_ERROR(RDELEM(X, 1, 1, idx, 1), 118);
}

}  // namespace
}  // namespace qv::jobbase
