// The front end's job description: the matrix dump in its four modes, the
// group records (sample, formulas, links, options), the global options and
// the order of the whole description, on jobs read from short scripts or
// laid out by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fit/femats.hpp"
#include "fit/fitstat.hpp"
#include "fit/outreq.hpp"
#include "job_fixture.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobctl/fejob.hpp"

namespace qv::jobctl {
namespace {

using namespace jobbase;
using jobbase::testing_support::capture;
using testing_support::JobTest;
using V = std::vector<std::string>;

V split(const std::string& out) {
  V v;
  std::size_t p = 0;
  while (p < out.size()) {
    const std::size_t e = out.find('\n', p);
    v.push_back(out.substr(p, e - p));
    p = e + 1;
  }
  return v;
}

std::string num(const std::string& s) {
  std::ostringstream o;
  o << std::stod(s);
  return o.str();
}

// The matrix and label records of an output, read back: a matrix record's
// chunk as "TAG g "NAME" type rows x cols: values" and a label record as
// "KIND g "NAME": labels"; frame tokens and other lines as they are.
V records(const std::string& out) {
  const V v = split(out);
  V got;
  for (std::size_t i = 0; i < v.size();) {
    const std::string& l = v[i];
    if (l == " SPECS" || l == " VALUE" || l == " GROUP_FIT" || l == " GLOBAL_FIT") {
      const int n = std::stoi(v[i + 7]);
      std::string r = l.substr(1) + v[i + 1] + " " + v[i + 2] + v[i + 3] + " " + v[i + 4].substr(1) + "x" +
                      v[i + 5].substr(1) + ":";
      for (int k = 0; k < n; ++k) r += " " + num(v[i + 8 + static_cast<std::size_t>(k)]);
      got.push_back(r);
      i += 9 + static_cast<std::size_t>(n);
    } else if (l == " LABEL") {
      std::string r = v[i + 1].substr(1) + v[i + 2] + " " + v[i + 3] + ":";
      i += 4;
      while (v[i] != " ;") r += " " + v[i++];
      got.push_back(r);
      ++i;
    } else {
      got.push_back(l);
      ++i;
    }
  }
  return got;
}

// A data group with a zero matrix, a free matrix with labels, a fixed
// matrix and a view of the observed matrix.
constexpr const char* kViews =
    "Views and labels\n"
    " Data NGroups=1 NInputvars=2 NObservations=10\n"
    " CMatrix 2 .5 1\n"
    " Begin Matrices;\n"
    "  Z ZE 2 2\n"
    "  A FU 2 1 Free\n"
    "  B FU 1 1\n"
    "  O SY 2 2 = %O1\n"
    " End Matrices;\n"
    " Matrix B 3\n"
    " Matrix A .5 .25\n"
    " Label Row A r1 r2\n"
    " Label Col A c1\n"
    " Covariance A*A' + O /\n"
    "End\n";

class FejobTest : public JobTest {};

// Mode 1: every matrix's specifications (integers; zeros for the view,
// never the words before the observed data), its labels and its values; a
// ZE matrix has an empty SPECS and VALUE record.  Mode 2: only the matrices
// that carry parameters or are views, never ZE, and no closing token.
TEST_F(FejobTest, MatrixDumpModesOneAndTwo) {
  build(kViews);
  const V mode1 = records(capture([] { fit::FEMATS(X(), IWORKS.ix(), fit::femode::kSpecs); }));
  EXPECT_EQ(mode1, (V{"!@machine;",
                      "SPECS 1 \"A\" 9 2x1: 1 2",
                      "ROW 1 \"A\": \"R1\" \"R2\"",
                      "COLUMN 1 \"A\": \"C1\"",
                      "VALUE 1 \"A\" 9 2x1: 0.5 0.25",
                      "SPECS 1 \"B\" 9 1x1: 0",
                      "VALUE 1 \"B\" 9 1x1: 3",
                      "SPECS 1 \"O\" 8 2x2: 0 0 0",
                      "VALUE 1 \"O\" 8 2x2: 2 0.5 1",
                      "SPECS 1 \"Z\" 1 2x2:",
                      "VALUE 1 \"Z\" 1 2x2:"}));
  EXPECT_EQ(MAINPR.IGRP, 2);
  const V mode2 = records(capture([] { fit::FEMATS(X(), IWORKS.ix(), fit::femode::kValues); }));
  EXPECT_EQ(mode2, (V{"!@machine;", "VALUE 1 \"A\" 9 2x1: 0.5 0.25", "VALUE 1 \"O\" 8 2x2: 2 0.5 1"}));
  // A group the options word SU leaves out sends nothing; other modes send
  // the opening token only.
  IGRPTB(IWORKS.ix(), MAINPR.NG, igcol::kSuppress, 1) = 1;
  EXPECT_EQ(capture([] { fit::FEMATS(X(), IWORKS.ix(), fit::femode::kSpecs); }), "!@machine;\n");
  EXPECT_EQ(capture([] { fit::FEMATS(X(), IWORKS.ix(), 7); }), "!@machine;\n");
}

// Mode 3: GROUP_FIT per group ((6, 0) for a calculation group, else the fit
// code and the group's fit value), then GLOBAL_FIT with the job's results
// in their order, all as reals; IGRP is left at 1.
TEST_F(FejobTest, FitRecordsCarryTheJobsResultsCellByCell) {
  X()(1) = 2;
  MAINPR.NG = 2;
  GRPTAB(X(), 2, gcol::kFitCode, 1) = kFitGLS;
  GRPTAB(X(), 2, gcol::kFitValue, 1) = 7.5;
  GRPTAB(X(), 2, gcol::kKind, 2) = kKindCalc;
  GRPTAB(X(), 2, gcol::kFitCode, 2) = kFitTrailCalc;
  MAINPR.WSTOP = 500;
  auto& r = fit::FITRES;
  r.NPAR = 1;
  FITSTA.NSTTOT = 2;
  r.NNLCON = 3;
  r.INFORM = 4;
  r.F = 5;
  r.DF = 6;
  r.PROB = 7;
  r.AIC = 8;
  r.FITTYP = 9;
  r.RMSEA = 10;
  r.CHILO = 11, r.CHIHI = 12, r.AICLO = 13, r.AICHI = 14, r.RMSLO = 15, r.RMSHI = 16;
  FITOPT.NUCHI = 17, FITOPT.NUDF = 18;
  r.NFI = 19, r.NFI2 = 20, r.TLI = 21, r.PFI = 22, r.PFI2 = 23, r.RNI = 24, r.CI = 25;
  const std::string out = capture([] { fit::FEMATS(X(), IWORKS.ix(), fit::femode::kFit); });
  EXPECT_EQ(records(out), (V{"!@machine;", "GROUP_FIT 1 \"F\" 9 1x2: 5 7.5", "GROUP_FIT 2 \"F\" 9 1x2: 6 0",
                             "GLOBAL_FIT 1 \"F\" 9 1x25: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 "
                             "23 24 25",
                             "!@human;"}));
  EXPECT_EQ(MAINPR.IGRP, 1);
  // Every GLOBAL_FIT value is written as a real.
  EXPECT_NE(out.find(" GLOBAL_FIT\n 1\n\"F\"\n 9\n 1\n 25\n 0\n 25\n 1.00000000\n 2.00000000\n"), std::string::npos)
      << out;
}

// Mode 4: the power table's seven (level, total N) pairs as one POWER record.
TEST_F(FejobTest, PowerRecord) {
  X()(1) = 1;
  MAINPR.NG = 1;
  MAINPR.WSTOP = 500;
  MAINPR.IGRP = 1;
  const double pairs[14] = {0.25, 40, 0.5, 90, 0.75, 150, 0.8, 170, 0.9, 230, 0.95, 280, 0.99, 390};
  const std::string out = capture([&] { fit::FEMATS(X(), IWORKS.ix(), fit::femode::kPower, pairs); });
  EXPECT_EQ(records(out), (V{"!@machine;",
                             "VALUE 1 \"POWER\" 9 7x2: 0.25 40 0.5 90 0.75 150 0.8 170 0.9 230 0.95 280 0.99 390",
                             "!@human;"}));
}

// SAMPLE: observations and NI of a data group, 0 observations for a
// constraint group, 0 and 0 for calculation and simulation groups.
TEST_F(FejobTest, SampleRecordByGroupKind) {
  build(kViews);
  struct Case {
    int kind;
    const char* want;
  } const cases[] = {
      {kKindData, " SAMPLE\n 1\n 10\n 2\n ;\n"},
      {kKindConstraint, " SAMPLE\n 1\n 0\n 2\n ;\n"},
      {kKindCalc, " SAMPLE\n 1\n 0\n 0\n ;\n"},
      {kKindSim, " SAMPLE\n 1\n 0\n 0\n ;\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    col(gcol::kKind) = c.kind;
    EXPECT_EQ(capture([] { FESAMP(X(), 1, MAINPR.NG); }), c.want);
  }
}

// FORMULA records: the covariance formula as slot 28 and its text; a
// calculation group names it ExpCal; a group without formulas sends an
// empty frame.
TEST_F(FejobTest, FormulaRecords) {
  build(kViews);
  EXPECT_EQ(capture([] { FEFORM(X(), 1, MAINPR.NG, LABTAB); }),
            "!@machine;\n FORMULA\n 1\n 28\n\"ExpCov\"\n\"A*A'+O\";\n!@human;\n");
  col(gcol::kKind) = kKindCalc;
  EXPECT_NE(capture([] { FEFORM(X(), 1, MAINPR.NG, LABTAB); }).find("\"ExpCal\""), std::string::npos);
  const int B = static_cast<int>(col(gcol::kMattab));
  for (int k = 1; k <= fslot::kCount; ++k) MTFSLT(X(), B, k) = 0;
  EXPECT_EQ(capture([] { FEFORM(X(), 1, MAINPR.NG, LABTAB); }), "!@machine;\n!@human;\n");
}

// LINK lines: to a letter of another group, to its expected means (27) and
// covariances (28), ExpCal when that group is a calculation group.
TEST_F(FejobTest, LinkRecords) {
  X()(1) = 3;
  MAINPR.NG = 3;
  GRPTAB(X(), 3, gcol::kKind, 3) = kKindCalc;
  int top = 100;
  ALLOCI(IWORKS.ix(), 3, 1, 1, 2, 3, top);
  ALLOCI(IWORKS.ix(), 3, 1, 2, 2, 27, top);
  ALLOCI(IWORKS.ix(), 3, 1, 3, 2, 28, top);
  ALLOCI(IWORKS.ix(), 3, 1, 4, 3, 28, top);
  EXPECT_EQ(capture([] { FELINK(X(), IWORKS.ix(), 1, 3); }),
            "!@machine;\n"
            " LINK 1 \"A\" 2 \"C\";\n"
            " LINK 1 \"B\" 2 \"ExpMean\";\n"
            " LINK 1 \"C\" 2 \"ExpCov\";\n"
            " LINK 1 \"D\" 3 \"ExpCal\";\n"
            "!@human;\n");
  EXPECT_EQ(capture([] { FELINK(X(), IWORKS.ix(), 2, 3); }), "!@machine;\n!@human;\n");
}

TEST_F(FejobTest, OptionsRecord) {
  build(kViews);
  col(gcol::kResiduals) = 1;
  col(gcol::kNoReport) = 0;
  col(gcol::kStdErrors) = 1;
  EXPECT_EQ(capture([] { FEOPT(X(), 1, MAINPR.NG); }), " OPTIONS\n 1\n 1\n 0\n 1\n ;\n");
}

// GLOBAL_OPTIONS with no option given (the optimizer's single-precision
// defaults widened) and with every option given.
TEST_F(FejobTest, GlobalOptionsWithoutAndWithEveryOption) {
  X()(1) = 1;
  MAINPR.NG = 1;
  const V none = split(capture([] { FEGLOB(X(), LABTAB, 1, 1); }));
  EXPECT_EQ(none, (V{" GLOBAL_OPTIONS", " 80", " -1", " 0.00000000", " 0.00000000", " 0.00000000", " 0",
                     " 0.00000000", " 0", " 0", " 1.05000000E-08", " 1000", " 0.899999976", " 3.25999991E-12",
                     " 1.00000002E+20", " 4.37000010E-15", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0",
                     " 0.00000000", " \"\"", "", " ;"}));
  auto& o = FITOPT;
  MAINPR.OUTWID = 132;
  o.ND = 3;
  o.PO = true, o.POALF = 0.95, o.PODF = 2, o.POCRIT = 5.99;
  o.CI = true, o.CIPCT = 90;
  o.CH = true, o.TH = 4, o.JI = true, o.DE = 1;
  o.FE = 1e-6, o.IT = 50, o.LI = 0.5, o.OP = 1e-8, o.STE = 1e10, o.FU = 1e-12;
  o.NA = 2, o.DB = 3, o.LSML = 1, o.NU = true, o.NUCHI = 120.5, o.NUDF = 10;
  MAINPR.HTMLON = true;
  o.DF = -2;
  // The first %P output file of any group names the pedigree statistics.
  const int a = 200;
  GRPTAB(X(), 1, gcol::kOutRequests, 1) = a;
  X()(a) = 1, X()(a + 1) = fit::kReqPed, X()(a + 2) = 40, X()(a + 3) = 1;
  LABTAB.put(40, "PED.OUT");
  const V every = split(capture([] { FEGLOB(X(), LABTAB, 1, 1); }));
  EXPECT_EQ(every, (V{" GLOBAL_OPTIONS", " 132", " 3", " 2.00000000", " 5.99000000", " 90.0000000", " 1",
                      " 4.00000000", " 1", " 1", " 1.00000000E-06", " 50", " 0.500000000", " 1.00000000E-08",
                      " 1.00000000E+10", " 1.00000000E-12", " 2", " 3", " 1", " 1", " 1", " 0", " -2", " 10",
                      " 120.500000", " \"PED.OUT\"", "", " ;"}));
  // Without LSML the flag line is 2 when NU is given.
  o.LSML = 0;
  EXPECT_EQ(split(capture([] { FEGLOB(X(), LABTAB, 1, 1); }))[18], " 2");
}

// The whole description: matrices, fit records, then each group's type,
// title, sample, formulas, links, results and options, then the global
// options and the ready token.
TEST_F(FejobTest, JobDescriptionOrder) {
  build(kViews);
  const V v = split(capture([] { FEJOB(X(), IWORKS.ix(), LABTAB, MAINPR.NG, 1, 1); }));
  V starts;
  for (const std::string& l : v)
    if (l == "!@machine;" || l == "!@human;" || l == " SPECS" || l == " GROUP_FIT" || l == " GLOBAL_FIT" ||
        l == " GROUP_TYPE" || l == " TITLE" || l == " SAMPLE" || l == " FORMULA" || l == " OPTIONS" ||
        l == " GLOBAL_OPTIONS" || l == " !@ready;" || l == "\"ObsCov\"")
      if (starts.empty() || starts.back() != l || l != " SPECS") starts.push_back(l);
  EXPECT_EQ(starts, (V{"!@machine;", " SPECS", "!@machine;", " GROUP_FIT", " GLOBAL_FIT", "!@human;",
                       "!@machine;", " GROUP_TYPE", " TITLE", " SAMPLE", "!@machine;", " FORMULA", "!@human;",
                       "!@machine;", "!@human;", "!@machine;", "\"ObsCov\"", "!@human;", "!@machine;", "!@human;",
                       "!@machine;", "!@human;", "!@machine;", " OPTIONS", " GLOBAL_OPTIONS", " !@ready;",
                       "!@human;"}));
}

}  // namespace
}  // namespace qv::jobctl
