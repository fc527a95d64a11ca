#include <fstream>
#include <string>

#include "fit/outreq.hpp"
#include "model_fixture.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using jobbase::testing_support::write_file;

class OptionsTest : public testing_support::ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    job(1);
    declare("Matrices\n A FU 1 1\nEnd Matrices\n");
  }
  // Parses the options line that text begins with; returns OPTLIN's result.
  bool options(const std::string& text) {
    start(text);
    return OPTLIN();
  }
};

TEST_F(OptionsTest, ValuesAndColumns) {
  EXPECT_FALSE(options("Options RSiduals ND=3 IT=500\n"));
  EXPECT_EQ(col(17, 1), 1.0);
  EXPECT_EQ(MAINPR.PRTFMT.substr(0, 6), "F 9.3 ");
  EXPECT_EQ(FITOPT.IT, 500);
  EXPECT_TRUE(FITOPT.OPSEEN);
  EXPECT_EQ(MAINPR.NOREAD, 0.0);
  EXPECT_EQ(LINBUF.PRVLIN.substr(0, 28), "OPTIONS RSIDUALS ND=3 IT=500");
  options("Options WI=100 IT 5 ND=4\n");
  EXPECT_EQ(MAINPR.OUTWID, 100);
  EXPECT_EQ(FITOPT.IT, 5);
  EXPECT_EQ(MAINPR.PRTFMT.substr(0, 6), "F10.4 ");
  options("Options ND=12\n");
  EXPECT_EQ(MAINPR.PRTFMT, std::string(80, ' '));
  options("Options ND=-2\n");
  EXPECT_EQ(MAINPR.PRTFMT.substr(0, 5), "F 6.0");
}

TEST_F(OptionsTest, DifferenceIntervalNeedsTwoBlanks) {
  options("Options FI=0.5\n");
  EXPECT_EQ(FITOPT.FI, 0.0);
  options("Options FI  0.25 FE=1E-4 OP .01 LI .9 STE 100 FU 1.5D-12 NA 2 DB 3 TH 4.7 DF -2 PS 2.5\n");
  EXPECT_EQ(FITOPT.FI, 0.25);
  EXPECT_EQ(FITOPT.FE, 1E-4);
  EXPECT_EQ(FITOPT.OP, 0.01);
  EXPECT_EQ(FITOPT.LI, 0.9);
  EXPECT_EQ(FITOPT.STE, 100.0);
  EXPECT_EQ(FITOPT.FU, 1.5E-12);
  EXPECT_EQ(FITOPT.NA, 2);
  EXPECT_EQ(FITOPT.DB, 3);
  EXPECT_EQ(FITOPT.TH, 4.0);
  EXPECT_EQ(FITOPT.DF, -2);
  EXPECT_EQ(FITOPT.PS, 2.5);
}

TEST_F(OptionsTest, FlagsAndModels) {
  options("Options ISCHI NO HT PE DE CH JI AP SU MU ER=1E-8 EP=1E-5 CI=90 NU=100,20 SAT 5 3 ISSAT ISNULL IGNORE\n");
  EXPECT_TRUE(FITOPT.ISCHI);
  EXPECT_EQ(col(12, 1), 1.0);
  EXPECT_TRUE(MAINPR.HTMLON);
  EXPECT_TRUE(FITOPT.PE);
  EXPECT_EQ(FITOPT.DE, 1);
  EXPECT_TRUE(FITOPT.CH);
  EXPECT_TRUE(FITOPT.JI);
  EXPECT_TRUE(FITOPT.APPEND);
  EXPECT_EQ(IGRPTB(IX(), 1, 8, 1), 1);
  EXPECT_TRUE(MAINPR.MUREQ);
  EXPECT_EQ(MAINPR.EPSRF, 1E-8);
  EXPECT_EQ(MAINPR.EPOPT, 1E-5);
  EXPECT_TRUE(FITOPT.CI);
  EXPECT_EQ(FITOPT.CIPCT, 90.0);
  EXPECT_FALSE(FITOPT.NU);  // ISNULL clears it
  EXPECT_EQ(FITOPT.NUCHI, 100.0);
  EXPECT_EQ(FITOPT.NUDF, 20.0);
  EXPECT_FALSE(FITOPT.SAT);  // ISSAT clears it
  EXPECT_EQ(FITOPT.SATFIT, 5.0);
  EXPECT_TRUE(FITOPT.ISSAT);
  EXPECT_TRUE(FITOPT.ISNULL);
  EXPECT_FALSE(FESTAT.MACHOUT);
}

// Typed null or saturated figures replace figures computed by an earlier
// job, whose flags then go; words that type nothing leave the flags.
TEST_F(OptionsTest, TypedModelFiguresClearComputedFlags) {
  struct Case {
    const char* line;
    int nucalc, satcalc;
  };
  const Case cases[] = {
      {"Options NU=100,20\n", 0, 1},
      {"Options SAT 5 3\n", 1, 0},
      {"Options NU=100,20 SAT 5 3\n", 0, 0},
      {"Options ISNULL ISSAT RS\n", 1, 1},
  };
  for (const auto& c : cases) {
    FITOPT.NUCALC = true;
    FITOPT.SATCALC = true;
    options(c.line);
    EXPECT_EQ(FITOPT.NUCALC, c.nucalc) << c.line;
    EXPECT_EQ(FITOPT.SATCALC, c.satcalc) << c.line;
  }
}

TEST_F(OptionsTest, FitFunctionWords) {
  col(11, 1) = 2;
  options("Options LSML\n");
  EXPECT_EQ(col(11, 1), 1.0);
  EXPECT_EQ(FITOPT.OPTFIT, 0);
  EXPECT_EQ(FITOPT.LSML, 1);
  col(11, 1) = 3;
  options("Options UL\n");  // only an ML group changes
  EXPECT_EQ(col(11, 1), 3.0);
  col(11, 1) = 2;
  options("Options GLS\n");
  EXPECT_EQ(col(11, 1), 5.0);
  options("Options DW\n");
  EXPECT_EQ(col(11, 1), 4.0);
  EXPECT_EQ(FITOPT.OPTFIT, 2);
  options("Options RU\n");
  EXPECT_EQ(col(11, 1), 8.0);
  options("Options USer\n");
  EXPECT_EQ(col(11, 1), 7.0);
  EXPECT_EQ(FITOPT.OPTFIT, 3);
  col(20, 1) = 100;
  options("Options AWls\n");
  EXPECT_EQ(col(11, 1), 3.0);
  col(29, 1) = 1;
  col(8, 1) = 1;
  options("Options RM\n");
  EXPECT_EQ(col(11, 1), 9.0);
  EXPECT_EQ(FITOPT.OPTFIT, 4);
  col(20, 1) = 0;
  EXPECT_QV_ERROR(options("Options AW\n"), 40);
  col(8, 1) = 0;
  EXPECT_QV_ERROR(options("Options RM\n"), 93);
  col(18, 1) = 2;
  EXPECT_QV_ERROR(options("Options US\n"), 225);
}

TEST_F(OptionsTest, StandardizeDisplayAndSameWords) {
  options("Options ST DI SAMECOV SAMEMEA SAMEWEI\n");
  EXPECT_EQ(col(16, 1), 1.0);
  EXPECT_EQ(col(32, 1), 1.0);
  EXPECT_EQ(IGRPTB(IX(), 1, 4, 1), 1);
  EXPECT_EQ(IGRPTB(IX(), 1, 3, 1), 1);
  EXPECT_EQ(IGRPTB(IX(), 1, 5, 1), 1);
  col(16, 1) = 2;
  const std::string out = capture([&] { options("Options ST SAVE SE\n"); });
  EXPECT_EQ(out,
            " *** WARNING! ***\n The standardize option is not available for CM data\n Option ignored\n"
            " *** WARNING! ***\n SA command misunderstood: use samemea samecov or samewei\n"
            " STANDARD ERRORS withdrawn in this version\n Please use interval command instead\n");
  EXPECT_EQ(col(16, 1), 2.0);
}

// The words are tried in a fixed order and the first whose letters begin
// the text acts: longer words that begin like a shorter one, and words
// written out in full, each reach their own entry.
TEST_F(OptionsTest, LongerWordsAndFullWordsReachTheirOwnEntry) {
  options("Options STE 100\n");  // the step limit, not ST
  EXPECT_EQ(FITOPT.STE, 100.0);
  EXPECT_EQ(col(gcol::kAsyForm, 1), 0.0);
  options("Options STANDARDIZE\n");
  EXPECT_EQ(col(gcol::kAsyForm, 1), 1.0);
  options("Options SATURATED 5 3 ISCHISQ NOREPORT\n");
  EXPECT_TRUE(FITOPT.SAT);
  EXPECT_EQ(FITOPT.SATFIT, 5.0);
  EXPECT_TRUE(FITOPT.ISCHI);
  EXPECT_EQ(col(gcol::kNoReport, 1), 1.0);
  const std::string out = capture([&] { options("Options SAMEC\n"); });  // no SAME word in full: SA
  EXPECT_EQ(out, " *** WARNING! ***\n SA command misunderstood: use samemea samecov or samewei\n");
  EXPECT_EQ(IGRPTB(IX(), 1, igcol::kSameCov, 1), 0);
}

TEST_F(OptionsTest, ContinuationLines) {
  EXPECT_TRUE(options("Output RS C\n  IT=7 C\n  ND=2\nnext\n"));
  EXPECT_EQ(col(17, 1), 1.0);
  EXPECT_EQ(FITOPT.IT, 7);
  EXPECT_EQ(FITOPT.ND, 2);
  EXPECT_EQ(line(), "ND=2");
}

TEST_F(OptionsTest, MultipleFitRequest) {
  MAINPR.MULFIT = 1;
  MAINPR.MUREQ = true;
  options("Options RS\n");  // OP leaves the request
  EXPECT_EQ(MAINPR.MULFIT, 1);
  EXPECT_TRUE(MAINPR.MUREQ);
  EXPECT_TRUE(options("EXit\n"));  // OU and EX clear it
  EXPECT_EQ(MAINPR.MULFIT, 0);
  EXPECT_FALSE(MAINPR.MUREQ);
  options("Output MU\n");
  EXPECT_TRUE(MAINPR.MUREQ);
  // A continued job must choose its group before changing one.
  MAINPR.CONTJOB = true;
  EXPECT_QV_ERROR(options("Options RS\n"), 162);
  options("Options ST DI IT=3\n");  // ignored there
  EXPECT_EQ(col(16, 1), 0.0);
  EXPECT_EQ(FITOPT.IT, 3);
  MAINPR.GRPSEL = true;
  options("Options RS\n");
  EXPECT_EQ(col(17, 1), 1.0);
}

// Group NG + 1's columns are words of other groups' columns (column k of
// group NG + 1 is column k + 1 of group 1): a word that writes a group column
// refuses a current group that is not one of the job's, chosen or not, and
// the words that write none still work.
TEST_F(OptionsTest, GroupWordsRefuseAGroupOutsideTheJob) {
  const char* words[] = {"NO", "RS", "LS", "DW", "ST", "DI", "SU", "SAMECOV", "SAMEMEA", "SAMEWEI", "QVA=a.mat"};
  for (int chosen = 0; chosen <= 1; ++chosen) {
    for (int g : {0, 2}) {
      for (const char* w : words) {
        MAINPR.MULFIT = 1;
        MAINPR.CONTJOB = chosen;
        MAINPR.GRPSEL = chosen;
        MAINPR.IGRP = g;
        EXPECT_QV_ERROR(options(std::string("Options ") + w + "\n"), 117) << w << " group " << g;
      }
    }
  }
  MAINPR.IGRP = 2;
  options("Options IT=4 ND=3\n");
  EXPECT_EQ(FITOPT.IT, 4);
  EXPECT_EQ(FITOPT.ND, 3);
}

TEST_F(OptionsTest, IntervalAndPower) {
  EXPECT_QV_ERROR(options("Options CI=101\n"), 148);
  options("Options PO .05 2\n");
  EXPECT_TRUE(FITOPT.PO);
  EXPECT_NEAR(FITOPT.POALF, 0.95, 1e-15);
  EXPECT_EQ(FITOPT.PODF, 2.0);
  EXPECT_NEAR(FITOPT.POCRIT, 5.991464547, 1e-4);
  EXPECT_QV_ERROR(options("Options PO 2 1\n"), 147);
}

// Figures the options hold as whole numbers: the DF adjustment in the
// script's integer range (+-2^30), a typed saturated df in the range of the
// whole reals (+-2^53).  At the ends they are held as typed; beyond them
// they are refused with error 44 instead of being capped.
TEST_F(OptionsTest, WholeFiguresBeyondTheirRangeAreRefused) {
  struct Case {
    const char* line;
    bool refused;
    double df, satdf;  // the cells when held
  };
  const Case cases[] = {
      {"Options DF=-1073741824\n", false, -1073741824.0, 0.0},
      {"Options DF=1073741824\n", false, 1073741824.0, 0.0},
      {"Options DF=1073741825\n", true, 0, 0},
      {"Options DF=-3e9\n", true, 0, 0},
      {"Options SAT 0 -3e9\n", false, 0.0, -3e9},
      {"Options SAT 0 9007199254740992\n", false, 0.0, 9007199254740992.0},
      {"Options SAT 0 1e16\n", true, 0, 0},
      {"Options SAT 0 -1e300\n", true, 0, 0},
  };
  for (const Case& c : cases) {
    FITOPT.reset();
    if (c.refused) {
      EXPECT_QV_ERROR(options(c.line), 44) << c.line;
    } else {
      options(c.line);
      EXPECT_EQ(FITOPT.DF, c.df) << c.line;
      EXPECT_EQ(FITOPT.SATDF, c.satdf) << c.line;
    }
  }
}

TEST_F(OptionsTest, UserFormatKeepsCase) {
  options("Options FO=(6f10.3) IT=4\n");
  EXPECT_EQ(runtime::len_trim(MAINPR.USRFMT), 13u);
  EXPECT_EQ(MAINPR.USRFMT.substr(0, 15), "(6f10.3) IT=4  ");
  EXPECT_EQ(MAINPR.USRFMT.size(), 1200u);
  EXPECT_EQ(FITOPT.IT, -1);  // the rest of the line is the format
}

TEST_F(OptionsTest, OptimizerOptionsFileNameAsTyped) {
  const std::string path = write_file("NpOpts.txt", "Major iteration limit 20\n");
  // The optimizer echoes the file's lines on unit 7, a scratch file in the program.
  runtime::open_unit(runtime::kMsgUnit, {"", "SCRATCH"});
  const std::string out = capture([&] { options("Options NP=" + path + " IT=9\n"); });
  runtime::close_unit(runtime::kMsgUnit);
  EXPECT_NE(out.find(" Options will be read from file " + path), std::string::npos) << out;
  EXPECT_NE(out.find(" NLSQP options read:"), std::string::npos);
  EXPECT_NE(out.find(" Major iteration limit 20"), std::string::npos);
  EXPECT_EQ(FITOPT.IT, 9);
}

TEST_F(OptionsTest, OutputRequests) {
  const int slot0 = MAINPR.LABSLOT;
  options("Options QVA=a.mat QV%E=exp.out DRaw = path.ram; RS\n");
  const int list = static_cast<int>(col(26, 1));
  ASSERT_GT(list, 0);
  EXPECT_EQ(X()(list), 3);
  EXPECT_EQ(X()(list + 1), 1);
  EXPECT_EQ(X()(list + 2), slot0);
  EXPECT_EQ(X()(list + 3), 1);
  EXPECT_EQ(X()(list + 4), fit::kReqExpCov);
  EXPECT_EQ(X()(list + 7), fit::kReqPath);
  EXPECT_EQ(LABTAB.get(slot0 + 2).substr(0, 9), "PATH.RAM ");
  EXPECT_EQ(col(17, 1), 1.0);
  EXPECT_EQ(MAINPR.LABSLOT, slot0 + 3);
}

TEST_F(OptionsTest, NewJobResetKeepsRunCells) {
  options("Options IT=5 LI=.5 NA=1 FI  2 ND=3 CI=90 MU\n");
  FITOPT.newjob();
  EXPECT_EQ(FITOPT.IT, -1);
  EXPECT_FALSE(FITOPT.CI);
  EXPECT_FALSE(FITOPT.OPSEEN);
  EXPECT_EQ(FITOPT.LI, 0.5);
  EXPECT_EQ(FITOPT.NA, 1);
  EXPECT_EQ(FITOPT.FI, 2.0);
  EXPECT_EQ(FITOPT.ND, 3);
}

}  // namespace
}  // namespace qv::jobctl
