// Likelihood-based intervals of whole jobs run in-process through the job
// loop's steps: each printed limit lies within 1e-3 relative of an
// independently computed profile-likelihood root.  References: the closed
// form of a saturated variance, and the profile roots of
// tests/fit/refs/likcis_refs.R (R 4.2, lavaan 0.6, ML wishart with every
// other parameter re-estimated, uniroot; its output is likcis_refs.txt).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "jobctl/job_fixture.hpp"
#include "optim/nlsqp.hpp"

namespace qv::fit {
namespace {

using jobctl::testing_support::JobTest;

// One expected row: the label's first characters, the percentage and the
// reference limits.
struct Row {
  std::string label;
  double pct, lower, upper;
};

struct Case {
  const char* name;
  std::string script;
  std::vector<Row> rows;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string family(const std::string& name) {
  std::ifstream in(std::string(QV_FAMILIES_DIR) + "/" + name + ".qv");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The three-factor CFA of the Holzinger-Swineford tests by ML, with
// intervals on its nine loadings at 95 and 90 per cent.
std::string cfa_script() {
  std::string s = family("hs3f_ml");
  s.resize(s.rfind("End"));
  const std::string loadings = " L 1 1 L 2 1 L 3 1 L 4 2 L 5 2 L 6 2 L 7 3 L 8 3 L 9 3\n";
  return s + " Interval" + loadings + " Interval @90" + loadings + "End\n";
}

const std::string kVariance =
    "Saturated variance\n Data NGroups=1 NInputvars=1 NObservations=101\n CMatrix\n  2.0\n"
    " Begin Matrices;\n  V SY 1 1 Free\n End Matrices;\n Start 1.5 V 1 1\n Covariance V /\n"
    " Interval V 1 1\n Interval @90 V 1 1\nEnd\n";

const std::string kCovariance =
    "Saturated covariance of x1 and x2 (Holzinger-Swineford)\n"
    " Data NGroups=1 NInputvars=2 NObservations=301\n CMatrix\n  1.3628977449977859\n"
    "  0.40872923458654481 1.3863898117386491\n Begin Matrices;\n  S SY 2 2 Free\n End Matrices;\n"
    " Start 1 S 1 1 S 2 2\n Covariance S /\n Interval S 2 1\n Interval @90 S 2 1\nEnd\n";

const Case kCases[] = {
    // F(v) = (N - 1)(ln v + s/v - ln s - 1), N = 101, s = 2; roots of F = 3.841458820694124
    // and of F = 2.705543454095404 by bisection (closed form).
    {"variance", kVariance,
     {{"V   1   1   1", 95.0, 1.5344947816719303, 2.6744575169940914},
      {"V   1   1   1", 90.0, 1.5987295199409224, 2.5475795791706215}}},
    // likcis_refs.txt, "covariance x1 x2".
    {"covariance", kCovariance,
     {{"S   1   2   1", 95.0, 0.2541669020, 0.5830813727}, {"S   1   2   1", 90.0, 0.2782258253, 0.5531727252}}},
    // likcis_refs.txt, "loading x1".."loading x9".
    {"cfa", cfa_script(),
     {{"L   1   1   1", 95.0, 0.7388773583, 1.0688507390}, {"L   1   2   1", 95.0, 0.3410953575, 0.6597207571},
      {"L   1   3   1", 95.0, 0.5068629803, 0.8129451594}, {"L   1   4   2", 95.0, 0.8838181814, 1.1078111104},
      {"L   1   5   2", 95.0, 0.9847653346, 1.2320779927}, {"L   1   6   2", 95.0, 0.8161193555, 1.0285228597},
      {"L   1   7   3", 95.0, 0.4633294605, 0.7642882124}, {"L   1   8   3", 95.0, 0.5740677460, 0.8772082907},
      {"L   1   9   3", 95.0, 0.5256754725, 0.8339663433}, {"L   1   1   1", 90.0, 0.7648935084, 1.0411453264},
      {"L   1   2   1", 90.0, 0.3663294396, 0.6335076539}, {"L   1   3   1", 90.0, 0.5307994043, 0.7874338755},
      {"L   1   4   2", 90.0, 0.9006278026, 1.0883514589}, {"L   1   5   2", 90.0, 1.0033137812, 1.2105777668},
      {"L   1   6   2", 90.0, 0.8320739292, 1.0100839897}, {"L   1   7   3", 90.0, 0.4905444517, 0.7412000140},
      {"L   1   8   3", 90.0, 0.6008874378, 0.8540546330}, {"L   1   9   3", 90.0, 0.5483287955, 0.8064387053}}},
};

class LikcisJobTest : public JobTest, public ::testing::WithParamInterface<Case> {
 protected:
  // Reads, prepares and runs the script's job, as the job loop does.
  std::string run_script(const std::string& text) { return run_jobs(text); }
};

// The interval rows of a report, in order: (label, pct, lower, upper).
std::vector<Row> interval_rows(const std::string& report) {
  std::vector<Row> out;
  std::istringstream in(report);
  std::string line;
  bool on = false;
  while (std::getline(in, line)) {
    if (line.find("Matrix Element Int.") != std::string::npos) on = true;
    if (!on || line.size() < 70 || line[0] != ' ' || line[1] != ' ') continue;
    Row r;
    r.label = line.substr(2, 13);
    std::istringstream f(line.substr(16));
    double est = 0.0;
    f >> r.pct >> est >> r.lower >> r.upper;
    if (f) out.push_back(r);
  }
  return out;
}

TEST_P(LikcisJobTest, PrintedLimitsLieWithinOneThousandthOfTheProfileRoots) {
  const Case& c = GetParam();
  const std::vector<Row> got = interval_rows(run_script(c.script));
  ASSERT_EQ(got.size(), c.rows.size());
  for (std::size_t k = 0; k < got.size(); ++k) {
    const Row& want = c.rows[k];
    EXPECT_EQ(got[k].label, want.label);
    EXPECT_EQ(got[k].pct, want.pct);
    EXPECT_NEAR(got[k].lower, want.lower, 1e-3 * std::abs(want.lower)) << want.label << " " << want.pct;
    EXPECT_NEAR(got[k].upper, want.upper, 1e-3 * std::abs(want.upper)) << want.label << " " << want.pct;
  }
}

// The interval runs are held to 500 major iterations at least: an IT below
// 500 (or none) is raised, a larger one stands.
TEST_F(LikcisJobTest, IntervalRunsUseAtLeastFiveHundredMajorIterations) {
  struct Limit {
    const char* options;
    int itmax;
  } limits[] = {{" Options\n", 500}, {" Options IT=100\n", 500}, {" Options IT=600\n", 600}};
  for (const auto& l : limits) {
    std::string s = kVariance;
    s.insert(s.rfind("End"), l.options);
    const std::vector<Row> got = interval_rows(run_script(s));
    EXPECT_EQ(got.size(), 2u) << l.options;
    EXPECT_EQ(optim::NPRUN.itmax, l.itmax) << l.options;
    qv::testing_support::reset_every_area();
  }
}

INSTANTIATE_TEST_SUITE_P(Likcis, LikcisJobTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::fit
