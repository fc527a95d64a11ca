// Iteration logs: the records of one major or QP iteration at print levels
// 5, 10 and 20, the column headers and their repeats, the counts modulo
// 10000 and the status field.
//
// Expected lines were formed independently with Python's str.format
// ('%5d', '{:8.1E}', '{:16.8E}', '{:#8.0E}', '{:15.6E}'), which edits like
// the 1P E descriptors for these values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/nplog.hpp"

namespace qv::optim {
namespace {

using Lines = std::vector<std::string>;

const char* const kNlHeader =
    "  Maj  Mnr    Step  Fun  Merit function  Violtn Norm gZ   nZ  Bnd  Lin  Nln Penalty Norm Gf  Cond H Cond Hz"
    "  Cond T Conv";
const char* const kNlLine =
    "   12    3 1.0E+00   15  1.23456789E+02 1.5E-03 2.5E-04    2    1    0    1 1.0E+01 3.2E+00  1.E+06  2.E+03"
    "  1.E+00 T FTmiclr";
const char* const kNlSummHeader = "  Maj  Mnr    Step  Fun  Merit function  Violtn Norm gZ   nZ Penalty Conv";
const char* const kNlSummLine = "   12    3 1.0E+00   15  1.23456789E+02 1.5E-03 2.5E-04    2 1.0E+01 T FTmiclr";
const char* const kHeader =
    "  Maj  Mnr    Step  Fun       Objective Norm gZ   nZ  Bnd  Lin Norm Gf  Cond H Cond Hz  Cond T Conv";
const char* const kLine =
    "   12    3 1.0E+00   15  1.23456789E+02 2.5E-04    2    1    0 3.2E+00  1.E+06  2.E+03  1.E+00 T FTmiclr";
const char* const kSummHeader = "  Maj  Mnr    Step  Fun       Objective Norm gZ   nZ Conv";
const char* const kSummLine = "   12    3 1.0E+00   15  1.23456789E+02 2.5E-04    2 T FTmiclr";

// A problem of 6 variables, 1 linear and 1 nonlinear constraint, two rows
// in the working set.
struct Fixture {
  std::vector<int> istate{0, 1, 2, 3, 4, -2, -1, 3};
  std::vector<double> x{1.0, -2.5, 3e-7, 4.0, 5.0, 6.0};
  std::vector<double> ax{7.25};
  std::vector<double> cnl{-0.5};
  // T (2 x 6, reverse-triangular in columns 5..6 of the free ones): the
  // diagonal is T(1,6) = 2, T(2,5) = -3.
  std::vector<double> t = std::vector<double>(12, 99.0);
  std::vector<double> r = std::vector<double>(36, 0.0);

  Fixture() {
    t[0 + 5 * 2] = 2.0;   // T(1,6)
    t[1 + 4 * 2] = -3.0;  // T(2,5)
    for (int j = 0; j < 6; ++j) r[static_cast<std::size_t>(j + 6 * j)] = 4.0 + j;
  }
  LogDetail detail(int nnlcon) const {
    LogDetail d;
    d.n = 6;
    d.nclin = 1;
    d.nnlcon = nnlcon;
    d.istate = istate;
    d.x = x;
    d.ax = ax;
    d.cnl = cnl;
    d.t = runtime::Mat1<const double>(t.data(), 2, 12);
    d.nactiv = 2;
    d.nfree = 6;
    d.r = runtime::Mat1<const double>(r.data(), 6, 36);
    d.nrank = 6;
    return d;
  }
};

NpLogLine line_values() {
  NpLogLine L;
  L.majits = 12;
  L.minits = 3;
  L.step = 1.0;
  L.nfun = 15;
  L.merit = 123.456789;
  L.violtn = 1.5e-3;
  L.gznorm = 2.5e-4;
  L.nz = 2;
  L.nbnd = 1;
  L.nlin = 0;
  L.nnl = 1;
  L.penalty = 10.0;
  L.gfnorm = 3.25;
  L.condh = 1.0e6;
  L.condhz = 2.0e3;
  L.condt = 1.0;
  L.step_converged = true;
  L.gradient_small = false;
  L.feasible = true;
  L.fobj = -1.25;
  return L;
}

// The detail block of print level 20 for the fixture.
Lines detail_block(bool nonlin) {
  Lines d{"",
          nonlin ? " Nonlinear objective value =   -1.250000E+00   Norm of the nonlinear constraint violations =    "
                   "1.500000E-03"
                 : " Nonlinear objective value =   -1.250000E+00",
          "",
          " Values of the constraints and their predicted status",
          " ----------------------------------------------------",
          "    1.000000E+00   0  -2.500000E+00   1   3.000000E-07   2   4.000000E+00   3   5.000000E+00   4",
          "    6.000000E+00  -2",
          "    7.250000E+00  -1"};
  if (nonlin) d.push_back("   -5.000000E-01   3");
  d.push_back("   2.000000E+00  -3.000000E+00");
  d.push_back("   4.000000E+00   5.000000E+00   6.000000E+00   7.000000E+00   8.000000E+00");
  d.push_back("   9.000000E+00");
  d.push_back(" " + std::string(95, '='));
  return d;
}

Lines cat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class NpprtTest : public testing::LogUnits {};

TEST_F(NpprtTest, OneIterationAtPrintLevels5_10_20) {
  struct Case {
    int msg;
    bool nonlin;
    Lines print;
    Lines summ;
  };
  const Lines majhead{"", "", "", " Major iteration   12", " ===================="};
  const Case cases[] = {
      {0, true, {}, {}},
      {4, false, {}, {}},
      {5, true, {"", "", kNlHeader, kNlLine}, {"", "", kNlSummHeader, kNlSummLine}},
      {10, true, {"", "", kNlHeader, kNlLine}, {"", "", kNlSummHeader, kNlSummLine}},
      {10, false, {"", "", kHeader, kLine}, {"", "", kSummHeader, kSummLine}},
      {19, false, {"", "", kHeader, kLine}, {"", "", kSummHeader, kSummLine}},
      {20, true, cat({majhead, {"", "", kNlHeader, kNlLine}, detail_block(true)}), {"", "", kNlSummHeader, kNlSummLine}},
      {20, false, cat({majhead, {"", "", kHeader, kLine}, detail_block(false)}), {"", "", kSummHeader, kSummLine}},
  };
  const Fixture f;
  for (const Case& c : cases) {
    NPLOGS.reset();
    std::string flags = "miclr";
    NPPRIT(c.msg, 0, true, line_values(), f.detail(c.nonlin ? 1 : 0), flags);
    EXPECT_EQ(records(kPrint), c.print) << "msg " << c.msg << " nonlin " << c.nonlin;
    EXPECT_EQ(records(kSumm), c.summ) << "msg " << c.msg << " nonlin " << c.nonlin;
    // Positions 1, 2, 4 and 5 are cleared at every print level; 'c' stays.
    EXPECT_EQ(flags, "  c  ") << "msg " << c.msg;
  }
}

TEST_F(NpprtTest, ConvergenceFlagsKeepTheirOrder) {
  const Fixture f;
  struct Case {
    bool step, grad, feas;
    const char* conv;
  };
  const Case cases[] = {
      {true, false, false, " T FF"}, {false, true, false, " F TF"}, {false, false, true, " F FT"},
      {true, true, true, " T TT"},
  };
  for (const Case& c : cases) {
    NpLogLine L = line_values();
    L.step_converged = c.step;
    L.gradient_small = c.grad;
    L.feasible = c.feas;
    std::string flags = "     ";
    NPPRIT(10, 0, true, L, f.detail(0), flags);
    const Lines p = records(kPrint);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[3].substr(p[3].size() - 10), std::string(c.conv) + "     ");
  }
}

TEST_F(NpprtTest, HeaderRepeatsAndCountsModulo10000) {
  // 45 iterations at print level 10 with no minor log: the header before the
  // first and the 41st line on the print file, before every 5th line on the
  // summary file.  Counts beyond 9999 are shown modulo 10000.
  const Fixture f;
  std::string flags = "     ";
  for (int k = 0; k < 45; ++k) {
    NpLogLine L = line_values();
    L.majits = 19990 + k;
    L.minits = 10000 + k;
    L.nfun = 20000 + 2 * k;
    NPPRIT(10, 0, k == 0, L, f.detail(0), flags);
  }
  const Lines p = records(kPrint);
  ASSERT_EQ(p.size(), 3u + 40u + 3u + 5u);
  EXPECT_EQ(p[2], kHeader);
  EXPECT_EQ(p[3].substr(0, 10), " 9990    0");
  EXPECT_EQ(p[3].substr(18, 5), "    0");
  EXPECT_EQ(p[13].substr(0, 10), "    0   10");  // 20000: shown as 0
  EXPECT_EQ(p[13].substr(18, 5), "   20");
  EXPECT_EQ(p[42].substr(0, 5), "   29");
  EXPECT_EQ(p[43], "");
  EXPECT_EQ(p[45], kHeader);
  EXPECT_EQ(p[46].substr(0, 5), "   30");
  const Lines s = records(kSumm);
  ASSERT_EQ(s.size(), 9u * (3u + 5u));
  for (std::size_t b = 0; b < 9; ++b) EXPECT_EQ(s[8 * b + 2], kSummHeader) << b;

  // A minor print level above 0 repeats the header before every line, as
  // does the first line of a run.
  NPLOGS.reset();
  std::string line = kLine;
  line.replace(line.size() - 5, 5, "     ");
  for (int k = 0; k < 3; ++k) NPPRIT(10, 1, false, line_values(), f.detail(0), flags);
  EXPECT_EQ(records(kPrint), (Lines{"", "", kHeader, line, "", "", kHeader, line, "", "", kHeader, line}));
  for (int k = 0; k < 3; ++k) NPPRIT(10, 0, k == 1, line_values(), f.detail(0), flags);
  EXPECT_EQ(records(kPrint), (Lines{line, "", "", kHeader, line, line}));
}

const char* const kLsHeader =
    " Itn Jdel  Jadd     Step Ninf  Sinf/Objective Norm gZ   Zr  Art  Bnd  Lin Norm gf  Cond T Cond Rz";
const char* const kLsLine =
    "   7    3L   -2U 5.0E-01    1  2.50000000E+00 1.0E-03    2    1    1    0 4.0E+00  1.E+00  3.E+02";
const char* const kLsSummHeader = " Itn Jdel  Jadd     Step Ninf  Sinf/Objective Norm gZ   Zr  Art  Bnd  Lin Norm gf";
const char* const kLsSummLine = "   7    3L   -2U 5.0E-01    1  2.50000000E+00 1.0E-03    2    1    1    0 4.0E+00";

LsLogLine ls_values(int iter) {
  LsLogLine L;
  L.prbtyp = "QP";
  L.iter = iter;
  L.jdel = 3;
  L.kdel = 'L';
  L.jadd = -2;
  L.kadd = 'U';
  L.step = 0.5;
  L.ninf = 1;
  L.objective = 2.5;
  L.gznorm = 1e-3;
  L.nzr = 2;
  L.nart = 1;
  L.nbnd = 1;
  L.nlin = 0;
  L.gfnorm = 4.0;
  L.condt = 1.0;
  L.condrz = 300.0;
  return L;
}

class LsprtTest : public testing::LogUnits {};

TEST_F(LsprtTest, OneIterationAtPrintLevels5_10_20) {
  const Lines block{"",
                    " Values and status of the QP constraints",
                    " ---------------------------------------",
                    "    1.000000E+00   0  -2.500000E+00   1   3.000000E-07   2   4.000000E+00   3   5.000000E+00   4",
                    "    6.000000E+00  -2",
                    "    7.250000E+00  -1",
                    "   2.000000E+00  -3.000000E+00",
                    "   4.000000E+00   5.000000E+00   6.000000E+00   7.000000E+00   8.000000E+00",
                    "   9.000000E+00"};
  struct Case {
    int msg;
    Lines print;
    Lines summ;
  };
  const Case cases[] = {
      {4, {}, {}},
      {5, {"", "", kLsHeader, kLsLine}, {"", "", kLsSummHeader, kLsSummLine}},
      {10, {"", "", kLsHeader, kLsLine}, {"", "", kLsSummHeader, kLsSummLine}},
      {20,
       cat({{"", "", "", " QP iteration    7", " ================="}, {"", "", kLsHeader, kLsLine}, block}),
       {"", "", kLsSummHeader, kLsSummLine}},
  };
  const Fixture f;
  for (const Case& c : cases) {
    NPLOGS.reset();
    LSPRIT(c.msg, true, ls_values(7), f.detail(1));
    EXPECT_EQ(records(kPrint), c.print) << "msg " << c.msg;
    EXPECT_EQ(records(kSumm), c.summ) << "msg " << c.msg;
  }
}

TEST_F(LsprtTest, HeaderRepeatsAndCountsModulo10000) {
  const Fixture f;
  for (int k = 0; k < 45; ++k) LSPRIT(10, k == 0, ls_values(10007 + k), f.detail(0));
  const Lines p = records(kPrint);
  ASSERT_EQ(p.size(), 3u + 40u + 3u + 5u);
  EXPECT_EQ(p[2], kLsHeader);
  EXPECT_EQ(p[3], kLsLine);  // 10007 shown as 7
  EXPECT_EQ(p[45], kLsHeader);
  EXPECT_EQ(p[46].substr(0, 4), "  47");
  const Lines s = records(kSumm);
  ASSERT_EQ(s.size(), 9u * (3u + 5u));
  for (std::size_t b = 0; b < 9; ++b) EXPECT_EQ(s[8 * b + 2], kLsSummHeader) << b;
  // Without print and summary files nothing is written.
  NPOPTS.ils(slot::kPrintFile) = 0;
  NPOPTS.ils(slot::kSummaryFile) = 0;
  LSPRIT(20, true, ls_values(1), f.detail(0));
  EXPECT_TRUE(records(kPrint).empty());
  EXPECT_TRUE(records(kSumm).empty());
}

}  // namespace
}  // namespace qv::optim
