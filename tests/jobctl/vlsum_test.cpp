// The fit's preparation of a job: the statistics count, the summary table of
// case-vector data with its summary area and threshold check, the parameter
// list with its map, and the definition maps, on jobs laid out by hand.
#include "jobbase/vlsum.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/jobctl_fixture.hpp"
#include "numlib/errexit.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using ::testing::ExitedWithCode;

// A case vector: codes and values of one case.
struct Case {
  std::vector<double> codes, values;
};

// A matrix of a hand-built matrix table.
struct Mat {
  char letter;
  int type, rows, cols;
  std::vector<double> specs;  // specification numbers in storage order
  int share = 0;              // non-zero: use the storage of this earlier letter of the group
  int offset = 0;             // with share: so many words past that storage (a partial overlap)
};

class VlsummTest : public jobbase::testing_support::FreshStateTest {
 protected:
  void SetUp() override {
    FreshStateTest::SetUp();
  }

  static Vec1<double> X() { return WORKSP.x(); }
  static Vec1<int> IX() { return IWORKS.ix(); }
  static double& col(int k, int g) { return GRPTAB(X(), MAINPR.NG, k, g); }

  // A job of ng data groups; storage starts after the group table.
  void job(int ng) {
    MAINPR.NG = ng;
    X()(1) = ng;
    INITGP(IX(), ng);
    next_ = 43 * ng + 3;
    for (int g = 1; g <= ng; ++g) {
      col(11, g) = 2;
      col(18, g) = 0;
    }
  }

  // Takes n words of storage and returns the first.
  int take(int n) {
    const int a = next_;
    next_ += n;
    return a;
  }
  // Closes the job: WSTOP after everything stored.
  void close() { MAINPR.WSTOP = next_; }

  // Group g gets case-vector data (fit code fitcod) of ni variables: the block
  // with its three leading words, the per-case area, and the summary area of
  // 2*ni + 3 words with its integer part.
  void vl_group(int g, int ni, const std::vector<Case>& cases, int fitcod = 10) {
    col(11, g) = fitcod;
    col(2, g) = ni;
    col(0, g) = ni;
    col(3, g) = ni * (ni + 1) / 2;
    const int P = take(3) + 3;
    col(34, g) = P;
    int pos = P;
    double longest = 0;
    for (std::size_t c = 0; c < cases.size(); ++c) {
      const Case& v = cases[c];
      const int m = static_cast<int>(v.codes.size());
      X()(pos) = m;
      X()(pos + 1) = c == 0 || cases[c - 1].codes != v.codes ? 1 : 0;
      for (int e = 0; e < m; ++e) {
        X()(pos + 2 + e) = v.codes[static_cast<std::size_t>(e)];
        X()(pos + 2 + m + e) = v.values[static_cast<std::size_t>(e)];
      }
      pos += 2 * m + 2;
      longest = std::max<double>(longest, m);
    }
    X()(P - 3) = pos;
    X()(P - 2) = longest;
    X()(P - 1) = static_cast<double>(cases.size());
    next_ = pos + static_cast<int>(cases.size());
    const int A = take(2 * ni + 3);
    col(42, g) = A;
    X()(A) = MAINPR.IWSTOP;
    MAINPR.IWSTOP += ni;
  }

  // Variable labels of group g from the next label slot on.
  void labels(int g, std::initializer_list<const char*> names) {
    col(25, g) = MAINPR.LABSLOT;
    for (const char* n : names) LABTAB.put(MAINPR.LABSLOT++, n);
  }

  // Group g's matrix table and the storage of its matrices; returns the
  // storage address of each matrix in the order given.
  std::vector<int> matrices(int g, const std::vector<Mat>& mats) {
    const int B = take(kMattabWords);
    col(7, g) = B;
    for (int L = 1; L <= 26; ++L) X()(B + L - 1) = 99;
    std::vector<int> addrs;
    for (const Mat& mt : mats) {
      const int L = mt.letter - 'A' + 1;
      X()(B + L - 1) = mt.type;
      X()(B + 26 + L - 1) = mt.rows;
      X()(B + 52 + L - 1) = mt.cols;
      int t = mt.type;
      const int n = NELEM(t, mt.rows, mt.cols);
      int a = 0;
      if (mt.share != 0) {
        a = static_cast<int>(X()(B + 78 + (mt.share - 'A'))) + mt.offset;
      } else {
        a = take(2 * n);
        for (int k = 0; k < n && k < static_cast<int>(mt.specs.size()); ++k) {
          X()(a + k) = mt.specs[static_cast<std::size_t>(k)];
          X()(a + n + k) = 0.5 + k;
        }
      }
      X()(B + 78 + L - 1) = a;
      addrs.push_back(a);
    }
    return addrs;
  }

  // Runs VLSUMM and returns what it wrote on standard output.
  std::string run(int& npar, int& nstat) {
    ::testing::internal::CaptureStdout();
    VLSUMM(X(), IX(), LABTAB, MAINPR.LABSLOT, npar, nstat);
    return ::testing::internal::GetCapturedStdout();
  }
  std::string run() {
    int npar = 0, nstat = 0;
    return run(npar, nstat);
  }
  // Runs VLSUMM with its report left on standard output (for death tests).
  void call(int labnxt = MAINPR.LABSLOT) {
    int npar = 0, nstat = 0;
    VLSUMM(X(), IX(), LABTAB, labnxt, npar, nstat);
  }

  // The pairs of the map at IWORKS position p.
  static std::vector<std::pair<int, int>> pairs(int p) {
    std::vector<std::pair<int, int>> out;
    for (int k = 1; k <= IX()(p); ++k) out.emplace_back(IX()(p + 2 * k - 1), IX()(p + 2 * k));
    return out;
  }

  int next_ = 0;
};

// Codes 3, 1, 3 with values 2, 5, 4: rows in code order, row numbers when the
// group has no labels, the means of the codes stored after the model.
TEST_F(VlsummTest, TableOfOneCaseInCodeOrder) {
  job(1);
  vl_group(1, 3, {{{3, 1, 3}, {2, 5, 4}}});
  close();
  const int wstop = MAINPR.WSTOP;
  int npar = -1, nstat = -1;
  const std::string out = run(npar, nstat);
  EXPECT_EQ(out,
            "\n"
            " Summary of VL file data for group 1\n"
            "\n"
            "          Code     Number       Mean   Variance    Minimum    Maximum\n"
            " 1      1.0000     1.0000     5.0000     0.0000     5.0000     5.0000\n"
            " 2      3.0000     2.0000     3.0000     1.0000     2.0000     4.0000\n");
  // Means of codes 1..NI, 0 for code 2 that has no values.
  EXPECT_EQ(col(21, 1), wstop);
  EXPECT_EQ(X()(wstop), 5.0);
  EXPECT_EQ(X()(wstop + 1), 0.0);
  EXPECT_EQ(X()(wstop + 2), 3.0);
  // Three values, the group's 6 statistics and, means now being present, its 3 variables.
  EXPECT_EQ(nstat, 3 + 6 + 3);
  EXPECT_EQ(FITSTA.NSTTOT, nstat);
  EXPECT_EQ(npar, 0);
  EXPECT_EQ(MAINPR.WSTOP, wstop + 3);  // the means; no parameters, no negative numbers
}

// With labels, codes 1..NI take the variable labels and every other code
// (0, negative, past NI) prints as its number, never as a label slot that
// belongs to something else.
TEST_F(VlsummTest, LabelsForVariablesAndNumbersForOtherCodes) {
  job(1);
  labels(1, {"AGE", "SEX", "IQ"});
  LABTAB.put(MAINPR.LABSLOT, "NOT A LABEL");  // what lies after the group's labels
  LABTAB.put(MAINPR.LABSLOT + 1, "NOR THIS");
  const int labnxt = MAINPR.LABSLOT + 2;
  MAINPR.LABSLOT = labnxt;
  vl_group(1, 3, {{{2, 0, 5}, {1, 2, 3}}, {{-1, 2}, {4, 3}}});
  close();
  const std::string out = run();
  EXPECT_EQ(out,
            "\n"
            " Summary of VL file data for group 1\n"
            "\n"
            "            Code     Number       Mean   Variance    Minimum    Maximum\n"
            "  -1     -1.0000     1.0000     4.0000     0.0000     4.0000     4.0000\n"
            "   0      0.0000     1.0000     2.0000     0.0000     2.0000     2.0000\n"
            " SEX      2.0000     2.0000     2.0000     1.0000     1.0000     3.0000\n"
            "   5      5.0000     1.0000     3.0000     0.0000     3.0000     3.0000\n");
  // The row labels went to the slots from the first free one; the counter stays.
  EXPECT_EQ(LABTAB.get(labnxt), std::string("-1") + std::string(30, ' '));
  EXPECT_EQ(LABTAB.get(labnxt + 2).substr(0, 4), "SEX ");
  EXPECT_EQ(MAINPR.LABSLOT, labnxt);
}

// A selection that removed every vector: the note, no table, no means.
TEST_F(VlsummTest, NoVectorsGivesTheNoteOnly) {
  job(1);
  vl_group(1, 2, {});
  close();
  const int wstop = MAINPR.WSTOP;
  int npar = 0, nstat = 0;
  const std::string out = run(npar, nstat);
  EXPECT_EQ(out, "\n VL data contains no observations, perhaps because of selection?\n");
  EXPECT_EQ(col(21, 1), 0.0);
  EXPECT_EQ(nstat, 3);  // the group's statistics only
  EXPECT_EQ(MAINPR.WSTOP, wstop);
}

// The summary area: category counts per variable code in IWORKS, the largest
// category, minima and maxima at their codes' places; codes outside 1..NI
// have no place; given counts (HI) are kept.
TEST_F(VlsummTest, SummaryAreaByCode) {
  job(2);
  // Group 1: ordinal data of 3 variables, one code past NI and one below 1.
  vl_group(1, 3, {{{3, 1, 9, 0}, {2, 1, 50, -7}}, {{1, 3}, {0, 1}}}, 14);
  const int after1 = MAINPR.IWSTOP++;  // a word after group 1's counts
  IX()(after1) = 555;
  // Group 2: continuous data of 2 variables; its area holds 7 words, the
  // last one the maximum of code 2, and the word after the area stays.
  vl_group(2, 2, {{{2, 1}, {1.5, -2.5}}}, 10);
  const int sentinel = take(1);
  X()(sentinel) = 777;
  close();
  const int A1 = static_cast<int>(col(42, 1)), A2 = static_cast<int>(col(42, 2));
  const int J1 = static_cast<int>(X()(A1)), J2 = static_cast<int>(X()(A2));
  X()(A1 + 2) = 6;  // the threshold formula gave 3 variables x 2 categories
  run();
  EXPECT_EQ(IX()(J1), 1);
  EXPECT_EQ(IX()(J1 + 1), 0);
  EXPECT_EQ(IX()(J1 + 2), 2);
  EXPECT_EQ(IX()(after1), 555) << "no count past NI";
  EXPECT_EQ(X()(A1 + 1), 2.0) << "code 9's value 50 is no category";
  const double area1[] = {0, 0, 1, 1, 0, 2};  // minima then maxima of codes 1..3
  for (int k = 0; k < 6; ++k) EXPECT_EQ(X()(A1 + 3 + k), area1[k]) << k;
  EXPECT_EQ(IX()(J2), -2);
  EXPECT_EQ(IX()(J2 + 1), 1);
  EXPECT_EQ(X()(A2 + 1), 1.5);
  EXPECT_EQ(X()(A2 + 3), -2.5);
  EXPECT_EQ(X()(A2 + 4), 1.5);
  EXPECT_EQ(X()(A2 + 5), -2.5);
  EXPECT_EQ(X()(A2 + 6), 1.5);
  EXPECT_EQ(X()(sentinel), 777.0);

  // Given category counts are kept, and so is the largest category.
  SetUp();
  job(1);
  vl_group(1, 2, {{{1, 2}, {4, 6}}}, 14);
  close();
  const int A = static_cast<int>(col(42, 1));
  const int J = static_cast<int>(X()(A));
  IX()(J) = 2;
  IX()(J + 1) = 2;
  X()(A + 1) = 2;
  X()(A + 2) = 4;
  run();
  EXPECT_EQ(IX()(J), 2);
  EXPECT_EQ(IX()(J + 1), 2);
  EXPECT_EQ(X()(A + 1), 2.0);
}

// Raw ordinal data: the threshold formula's element count must be
// (NI - definition variables) x largest category x NM.
TEST_F(VlsummTest, ThresholdCountOfOrdinalData) {
  auto setup = [this](double elements) {
    SetUp();
    job(1);
    vl_group(1, 4, {{{1, 2, -1}, {2, 1, 30}}}, 14);
    const int dv = take(2);
    X()(dv) = 1;  // one definition variable
    X()(dv + 1) = 2;
    col(10, 1) = dv;
    IGRPTB(IX(), 1, 1, 1) = 2;  // two models
    close();
    X()(static_cast<int>(col(42, 1)) + 2) = elements;
  };
  setup(12);  // (4 - 1) x 2 x 2
  EXPECT_NE(run().find("Summary of VL file data"), std::string::npos);
  setup(8);
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        call();
      },
      ExitedWithCode(1),
      "\n Number of elements that should be in the Threshold formula: 12\n"
      " Number of elements that were the result of the formula: 8\n"
      "(.|\n)*error code is +61\n(.|\n)*STOP 911");
}

// Many distinct codes: the work areas are sized from their number and checked.
TEST_F(VlsummTest, ManyDistinctCodesAreChecked) {
  std::vector<Case> cases;
  for (int c = 1; c <= 40; ++c) cases.push_back({{141.0 - c, 1.0}, {1.0 * c, 2.0}});
  job(1);
  vl_group(1, 2, cases);
  close();
  // Room for everything: 41 rows sorted by code, numbers as row labels.
  {
    const std::string out = run();
    EXPECT_NE(out.find("\n  1      1.0000    40.0000     2.0000     0.0000     2.0000     2.0000\n"
                       "  2    101.0000     1.0000    40.0000"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n 41    140.0000     1.0000     1.0000     0.0000     1.0000     1.0000\n"),
              std::string::npos)
        << out;
  }
  // The same block high in the workspace: error 119, not an overrun.
  SetUp();
  job(1);
  vl_group(1, 2, cases);
  close();
  MAINPR.WSTOP = kWsWords - 100;  // room for the codes, not for the table
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        call();
      },
      ExitedWithCode(1), "Problem needs over +1000[0-9]+\n(.|\n)*error code is +119");
  // Labels copied for printing need as many free slots as rows.
  SetUp();
  job(1);
  labels(1, {"A", "B"});
  vl_group(1, 2, cases);
  close();
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        call(kLabSlots - 10);
      },
      ExitedWithCode(1), "Available label slots(.|\n)*error code is +119");
}

// The statistics count over groups of every kind and fit code.
TEST_F(VlsummTest, StatisticsByFitCode) {
  job(8);
  // 1: covariance data with means (6 statistics, 3 variables).
  col(2, 1) = 3;
  col(3, 1) = 6;
  col(29, 1) = 1;
  // 2: contingency table of 2 x 3 cells, one negative: 5 - 1 (its columns 2
  // and 3 count rows and columns, no variables or covariances).
  col(11, 2) = 11;
  col(2, 2) = 2;
  col(3, 2) = 3;
  col(4, 2) = take(6);
  const double cells[] = {4, 0, -1, 2, 7, 1};
  for (int i = 0; i < 6; ++i) X()(static_cast<int>(col(4, 2)) + i) = cells[i];
  // 3: raw data, 4 variables x 10 cases minus its 10 statistics.
  col(11, 3) = 9;
  col(2, 3) = 4;
  col(1, 3) = 10;
  col(3, 3) = 10;
  // 4, 5, 6: fit codes 7, 12 and 13 count nothing.
  for (int g : {4, 5, 6}) {
    col(11, g) = g == 4 ? 7 : g + 7;
    col(3, g) = 100;
  }
  // 7: a calculation group counts nothing; 8: a constraint group its values.
  col(18, 7) = 2;
  col(3, 7) = 100;
  col(18, 8) = 1;
  col(3, 8) = 2;
  close();
  int npar = 0, nstat = 0;
  EXPECT_EQ(run(npar, nstat), "");
  EXPECT_EQ(nstat, (6 + 3) + (5 - 1) + (40 - 10) + 2);
  EXPECT_EQ(FITSTA.NSTTOT, nstat);
}

// PARLST holds the distinct free parameters in order of first occurrence;
// the map pairs each free element once with its parameter.
TEST_F(VlsummTest, ParameterListAndMap) {
  job(2);
  const auto a1 = matrices(1, {{'A', 9, 2, 2, {7, 0, 3, 7}},      // FU
                               {'B', 8, 2, 2, {0, 5, 0}},         // SY
                               {'C', 1, 2, 2, {}},                // ZE: no elements
                               {'D', 11, 2, 2, {}},               // UN: not walked
                               {'E', 12, 3, 3, {9, 9, 9}}});      // CO: not walked
  const auto a2 = matrices(2, {{'A', 5, 3, 3, {3, 11, 7}},        // DI
                               {'B', 5, 3, 3, {}, 'A'},           // set equal to A: same storage
                               {'Z', 10, 2, 2, {0, 12, 7}}});     // LO
  close();
  const int wstop = MAINPR.WSTOP;
  const int iwstop = MAINPR.IWSTOP;
  int npar = 0, nstat = 0;
  run(npar, nstat);
  EXPECT_EQ(npar, 5);
  EXPECT_EQ(FITSTA.PARLST, wstop);
  const double list[] = {7, 3, 5, 11, 12};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(X()(wstop + i), list[i]) << i;
  EXPECT_EQ(IX()(1), iwstop);
  const std::vector<std::pair<int, int>> want = {
      {1, a1[0] + 4}, {2, a1[0] + 6}, {1, a1[0] + 7},  // A of group 1: 7 . 3 7
      {3, a1[1] + 4},                                  // B: . 5 .
      {2, a2[0] + 3}, {4, a2[0] + 4}, {1, a2[0] + 5},  // group 2's DI; its twin B adds nothing
      {5, a2[2] + 4}, {1, a2[2] + 5}};                 // LO: . 12 7
  EXPECT_EQ(pairs(iwstop), want);
  // Parameter list, then one (empty) definition list per group after it.
  EXPECT_EQ(MAINPR.WSTOP, wstop + 5);
  EXPECT_EQ(MAINPR.IWSTOP, iwstop + 1 + 2 * 9 + 2);
  EXPECT_EQ(FITSTA.DEFSW, 0);
}

// Two matrices sharing specification number 7: one entry, two pairs.
TEST_F(VlsummTest, SharedNumberGivesOneEntryTwoPairs) {
  job(1);
  const auto a = matrices(1, {{'A', 5, 1, 1, {7}}, {'B', 5, 1, 1, {7}}});
  close();
  int npar = 0, nstat = 0;
  run(npar, nstat);
  EXPECT_EQ(npar, 1);
  EXPECT_EQ(pairs(IX()(1)), (std::vector<std::pair<int, int>>{{1, a[0] + 1}, {1, a[1] + 1}}));
}

// Definition maps: pairs (definition number, value word) per group, the
// group's distinct negative numbers after the parameter list.
TEST_F(VlsummTest, DefinitionMaps) {
  job(2);
  const auto a1 = matrices(1, {{'A', 9, 1, 3, {-2, 4, -1}}, {'B', 5, 2, 2, {-2, 0}}});
  matrices(2, {{'C', 9, 1, 2, {4, 0}}});
  const auto a3 = matrices(2, {{'D', 5, 1, 1, {-1}}});
  close();
  const int wstop = MAINPR.WSTOP;
  int npar = 0, nstat = 0;
  run(npar, nstat);
  EXPECT_EQ(npar, 1);
  const int d1 = IX()(2), d2 = IX()(3);
  EXPECT_EQ(pairs(d1), (std::vector<std::pair<int, int>>{{2, a1[0] + 3}, {1, a1[0] + 5}, {2, a1[1] + 2}}));
  EXPECT_EQ(pairs(d2), (std::vector<std::pair<int, int>>{{1, a3[0] + 1}}));
  EXPECT_EQ(d2, d1 + 7);
  // Parameter list (1 word), then group 1's numbers -2, -1, then group 2's -1.
  EXPECT_EQ(X()(wstop + 1), -2.0);
  EXPECT_EQ(X()(wstop + 2), -1.0);
  EXPECT_EQ(X()(wstop + 3), -1.0);
  EXPECT_EQ(MAINPR.WSTOP, wstop + 4);
  EXPECT_EQ(FITSTA.DEFSW, 4);
}

// The lists as the straightforward algorithm builds them: for every element
// a search through the list and the map built so far, and through the value
// words of the matrices walked so far.  VLSUMM must give the same lists.
struct Lists {
  std::vector<double> parlst;
  std::vector<std::pair<int, int>> parmap;
  std::vector<std::vector<double>> negs;                   // per group
  std::vector<std::vector<std::pair<int, int>>> defmaps;  // per group
};

Lists searched_lists(Vec1<double> X, int NG) {
  struct Span {
    int lo, hi;
  };
  auto walk = [&](int g, std::vector<Span>& seen, auto f) {
    const GroupView G{X, NG, g};
    if (G.B() < 1) return;
    for (int L = 1; L <= 26; ++L) {
      int type = icell(G.type(L));
      if (!parameter_type(type)) continue;
      const int a = icell(G.addr(L));
      const int n = NELEM(type, icell(G.rows(L)), icell(G.cols(L)));
      if (a < 1 || n <= 0) continue;
      const Span vals{a + n, a + 2 * n - 1};
      bool overlap = false;
      for (const Span& sp : seen)
        if (vals.lo <= sp.hi && sp.lo <= vals.hi) overlap = true;
      for (int k = 0; k < n; ++k) {
        bool before = false;
        for (const Span& sp : seen)
          if (a + n + k >= sp.lo && a + n + k <= sp.hi) before = true;
        f(a + k, a + n + k, overlap && before);
      }
      seen.push_back(vals);
    }
  };
  auto mapped = [](const std::vector<std::pair<int, int>>& map, int w) {
    for (const auto& pr : map)
      if (pr.second == w) return true;
    return false;
  };
  Lists out;
  std::vector<Span> seen;
  for (int g = 1; g <= NG; ++g) {
    walk(g, seen, [&](int sa, int w, bool again) {
      const double sv = X(sa);
      if (sv <= 0.0) return;
      int i = 0;
      for (std::size_t k = 0; k < out.parlst.size() && i == 0; ++k)
        if (out.parlst[k] == sv) i = static_cast<int>(k) + 1;
      if (i == 0) {
        out.parlst.push_back(sv);
        i = static_cast<int>(out.parlst.size());
      }
      if (again && mapped(out.parmap, w)) return;
      out.parmap.emplace_back(i, w);
    });
  }
  for (int g = 1; g <= NG; ++g) {
    seen.clear();
    std::vector<double> negs;
    std::vector<std::pair<int, int>> map;
    walk(g, seen, [&](int sa, int w, bool again) {
      const double sv = X(sa);
      if (sv >= 0.0) return;
      bool listed = false;
      for (double v : negs) listed = listed || v == sv;
      if (!listed) negs.push_back(sv);
      if (again && mapped(map, w)) return;
      map.emplace_back(icell(-sv), w);
    });
    out.negs.push_back(negs);
    out.defmaps.push_back(map);
  }
  return out;
}

// A pseudo-random job: ng groups, each with a few matrices of the parameter
// types whose specification numbers repeat within and across groups, with
// negative (definition) numbers and zeros, some matrices set equal to an
// earlier one and some overlapping one in part.
std::vector<std::vector<Mat>> random_job(unsigned seed, int ng) {
  unsigned state = seed;
  auto next = [&state](int n) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % static_cast<unsigned>(n));
  };
  std::vector<std::vector<Mat>> job;
  for (int g = 1; g <= ng; ++g) {
    std::vector<Mat> mats;
    const int nm = 1 + next(5);
    for (int k = 0; k < nm; ++k) {
      const char letter = static_cast<char>('A' + k);
      if (k >= 1 && next(4) == 0) {
        // Set equal to an earlier letter, wholly or from a word on.
        const char base = static_cast<char>('A' + next(k));
        const Mat& b = mats[static_cast<std::size_t>(base - 'A')];
        mats.push_back({letter, b.type, b.rows, b.cols, {}, base, next(3) == 0 ? 1 : 0});
        continue;
      }
      const int types[] = {5, 6, 7, 8, 9, 10};
      const int type = types[next(6)];
      const int n = 1 + next(6);
      Mat mt{letter, type, n, type == 9 ? 1 + next(4) : n, {}};
      int t = type;
      const int count = NELEM(t, mt.rows, mt.cols);
      for (int e = 0; e < count; ++e) mt.specs.push_back(next(40) - 8);
      mats.push_back(mt);
    }
    job.push_back(mats);
  }
  return job;
}

TEST_F(VlsummTest, ListsAreThoseOfTheStraightforwardSearch) {
  struct Row {
    const char* name;
    std::vector<std::vector<Mat>> groups;
  };
  std::vector<Row> rows = {
      {"shared numbers and storage",
       {{{'A', 9, 2, 2, {7, 0, 3, 7}}, {'B', 8, 2, 2, {0, 5, 0}}, {'D', 11, 2, 2, {}}},
        {{'A', 5, 3, 3, {3, 11, 7}}, {'B', 5, 3, 3, {}, 'A'}, {'Z', 10, 2, 2, {0, 12, 7}}}}},
      {"definition numbers",
       {{{'A', 9, 1, 3, {-2, 4, -1}}, {'B', 5, 2, 2, {-2, 0}}}, {{'C', 9, 1, 2, {4, 0}}, {'D', 5, 1, 1, {-1}}}}},
      {"storage overlapping in part",
       {{{'A', 9, 1, 4, {1, -1, 2, 1}}, {'B', 9, 1, 4, {}, 'A', 1}, {'C', 9, 1, 4, {}, 'A'}}}},
      {"one number everywhere", {{{'A', 9, 3, 3, {4, 4, 4, 4, 4, 4, 4, 4, 4}}}, {{'A', 8, 2, 2, {4, 4, 4}}}}},
      {"no free elements", {{{'A', 9, 2, 2, {0, 0, 0, 0}}}}},
  };
  for (unsigned seed = 1; seed <= 12; ++seed) rows.push_back({"random", random_job(seed, 1 + static_cast<int>(seed % 5))});

  for (const Row& r : rows) {
    ::qv::testing_support::reset_every_area();
    const int ng = static_cast<int>(r.groups.size());
    job(ng);
    for (int g = 1; g <= ng; ++g) matrices(g, r.groups[static_cast<std::size_t>(g - 1)]);
    close();
    const Lists want = searched_lists(X(), ng);
    const int wstop = MAINPR.WSTOP;
    int npar = 0, nstat = 0;
    run(npar, nstat);
    ASSERT_EQ(npar, static_cast<int>(want.parlst.size())) << r.name;
    for (int i = 0; i < npar; ++i) EXPECT_EQ(X()(wstop + i), want.parlst[static_cast<std::size_t>(i)]) << r.name;
    EXPECT_EQ(pairs(IX()(1)), want.parmap) << r.name;
    int at = wstop + npar;
    for (int g = 1; g <= ng; ++g) {
      EXPECT_EQ(pairs(IX()(g + 1)), want.defmaps[static_cast<std::size_t>(g - 1)]) << r.name << " group " << g;
      for (double v : want.negs[static_cast<std::size_t>(g - 1)]) EXPECT_EQ(X()(at++), v) << r.name << " group " << g;
    }
    EXPECT_EQ(MAINPR.WSTOP, at) << r.name;
  }
}

// The maps stop the run with error 119 when the integer workspace is full.
TEST_F(VlsummTest, FullIntegerWorkspaceIsError119) {
  job(1);
  matrices(1, {{'A', 9, 2, 2, {1, 2, 3, 4}}});
  close();
  MAINPR.IWSTOP = kWsWords - 4;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        call();
      },
      ExitedWithCode(1), "Available memory for integers +1000000\n +Problem needs over +1000002\n(.|\n)*code is +119");
}

}  // namespace
}  // namespace qv::jobctl

namespace qv::jobctl {
namespace {

// The count of observed values of a record block: the sum of the records'
// m (each record m, a word, m codes, m values), whatever each record holds.
TEST(VlnvalTest, SumsTheRecordsValueCounts) {
  struct Row {
    const char* name;
    std::vector<int> m;  // values per record
    long long want;
  };
  const Row rows[] = {
      {"no records", {}, 0},
      {"one record of 3", {3}, 3},
      {"records of 2, 0 and 4", {2, 0, 4}, 6},
      {"records of unequal length", {1, 5, 2, 7}, 15},
  };
  std::vector<double> ws(200, 0.0);
  Vec1<double> X(ws.data(), 200);
  for (const auto& r : rows) {
    const int P = 11;
    X(P - 1) = static_cast<double>(r.m.size());
    int pos = P;
    for (int mv : r.m) {
      X(pos) = mv;
      for (int k = 1; k <= 2 * mv + 1; ++k) X(pos + k) = 99.0;  // the word, codes and values
      pos += 2 * mv + 2;
    }
    EXPECT_EQ(VLNVAL(X, P), r.want) << r.name;
  }
}

}  // namespace
}  // namespace qv::jobctl
