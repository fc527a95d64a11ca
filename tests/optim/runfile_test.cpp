// OLD RUN files: a save followed by a load gives back the run to 15
// significant digits; each save replaces the file; a file that does not fit
// the problem, or whose counts, indices, permutation or states are damaged,
// is refused as a whole with the dimension message.
//
// File records expected below were formed independently with Python's
// '%8d', '%2d' and '%24.14E' edits.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "log_fixture.hpp"
#include "optim/options.hpp"
#include "optim/runfile.hpp"
#include "optim/wsutil.hpp"

namespace qv::optim {
namespace {

using Lines = std::vector<std::string>;

// A run of n variables, nclin linear and nnlcon nonlinear constraints with
// storage for its arrays; the values are chosen to need all 15 digits.
struct SampleRun {
  int n, nclin, nnlcon;
  std::vector<int> kx, istate;
  std::vector<double> x, cnl, nlmult, zy, r, hf, hc;
  int ldzy;
  OldRun view;

  SampleRun(int n_, int nclin_, int nnlcon_, int ldzy_, double seed)
      : n(n_), nclin(nclin_), nnlcon(nnlcon_), ldzy(ldzy_) {
    for (int j = n; j >= 1; --j) kx.push_back(j);
    const int states[] = {0, 1, 2, 3, 4, -2, -1};
    for (int j = 0; j < n + nclin + nnlcon; ++j) istate.push_back(states[j % 7]);
    for (int j = 0; j < n; ++j) {
      x.push_back(seed / (j + 3.0) * std::pow(10.0, 3 * j - 4));
      hf.push_back(1e-8 * (1.0 + seed * j / 7.0));
      hc.push_back(std::sqrt(2.0 + j) * 1e-5);
    }
    for (int i = 0; i < nnlcon; ++i) {
      cnl.push_back(-seed * M_PI * (i + 1));
      nlmult.push_back(std::exp(1.0 + i) / 9.0);
    }
    zy.assign(static_cast<std::size_t>(ldzy * n), 0.0);
    for (std::size_t k = 0; k < zy.size(); ++k) zy[k] = std::sin(seed + static_cast<double>(k));
    r.assign(static_cast<std::size_t>(n * n), -7.0);  // the lower triangle is not part of the run
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) r[static_cast<std::size_t>(i - 1 + (j - 1) * n)] = seed * std::log(1.0 + i + 3.0 * j);
    view.n = n;
    view.nclin = nclin;
    view.nnlcon = nnlcon;
    view.majits = 7;
    view.nfree = std::min(2, n);
    view.dif_class = kDifComputed;
    view.lvlder = 1;
    view.unitq = false;
    view.kx = kx;
    view.istate = istate;
    view.x = x;
    view.cnl = cnl;
    view.nlmult = nlmult;
    view.zy = runtime::Mat1<double>(zy.data(), ldzy, static_cast<std::ptrdiff_t>(zy.size()));
    view.r = runtime::Mat1<double>(r.data(), n, static_cast<std::ptrdiff_t>(r.size()));
    view.hforwd = hf;
    view.hcntrl = hc;
  }
};

// Agreement to 15 significant digits: within half a unit of the 15th digit.
void expect_15_digits(double got, double want, const std::string& what) {
  if (want == 0.0) {
    EXPECT_EQ(got, 0.0) << what;
    return;
  }
  const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(want))) - 14);
  EXPECT_LE(std::fabs(got - want), 0.5 * unit * (1 + 1e-12)) << what << ": " << got << " vs " << want;
}

class RunFileTest : public testing::LogUnits {
 protected:
  void SetUp() override {
    LogUnits::SetUp();
    NPOPTS.inp(slot::kMajorPrintLevel) = 10;
    // As in a run: the working-set checks print on the optimizer's print file.
    LSPRNT.iprint = kPrint;
    connect("REPLACE");
  }
  void TearDown() override {
    LSPRNT.reset();
    runtime::close_unit(kRun, "DELETE");
    LogUnits::TearDown();
  }
  static void connect(const char* status) {
    runtime::OpenSpec spec;
    spec.file = path(kRun);
    spec.status = status;
    runtime::open_unit(kRun, spec);
  }
  static Lines file_lines() {
    runtime::close_unit(kRun);
    Lines lines;
    std::ifstream in(path(kRun));
    for (std::string s; std::getline(in, s);) lines.push_back(s);
    connect("OLD");
    return lines;
  }
  static void write_file(const Lines& lines) {
    runtime::close_unit(kRun);
    std::ofstream out(path(kRun));
    for (const std::string& s : lines) out << s << '\n';
    out.close();
    connect("OLD");
  }
  static constexpr int kRun = 12;
};

TEST_F(RunFileTest, SaveThenLoadGivesTheRunBack) {
  SampleRun saved(3, 1, 2, 3, 1.0 / 3.0);
  Npmert merit;
  merit.rhonrm = 12.345678901234567;
  merit.rhodmp = 4.0;
  merit.scale = 1.0 / 7.0;
  merit.incrun = false;
  NPSAVE(kRun, saved.view, merit, 9.007199254740992e15);
  EXPECT_EQ(records(kPrint), (Lines{" Current run saved on file  12    Itn =       7"}));

  const Lines text = file_lines();
  // Header, 3 variables, 1 linear, 2 nonlinear and the merit record, 4
  // elements of Q, 6 of R, 3 interval records.
  ASSERT_EQ(text.size(), 1u + 3u + 1u + 3u + 4u + 6u + 3u);
  EXPECT_EQ(text[0], "       7       2  2 1 F");  // computed intervals are stored per variable
  EXPECT_EQ(text[1], "       1       3  0    1.11111111111111E-05");
  EXPECT_EQ(text[4], "       4  3");

  SampleRun loaded(3, 1, 2, 3, 0.0);
  loaded.view.majits = -1;
  Npmert got;
  int nerror = -1;
  NPLOAD(kRun, loaded.view, got, nerror);
  EXPECT_EQ(nerror, 0);
  EXPECT_FALSE(runtime::unit_is_open(kRun));
  const OldRun& v = loaded.view;
  EXPECT_EQ(v.majits, 7);
  EXPECT_EQ(v.nfree, 2);
  EXPECT_EQ(v.dif_class, kDifUser);
  EXPECT_EQ(v.lvlder, 1);
  EXPECT_FALSE(v.unitq);
  EXPECT_EQ(loaded.kx, saved.kx);
  EXPECT_EQ(loaded.istate, saved.istate);
  for (int j = 0; j < 3; ++j) {
    expect_15_digits(loaded.x[j], saved.x[j], "x");
    expect_15_digits(loaded.hf[j], saved.hf[j], "forward interval");
    expect_15_digits(loaded.hc[j], saved.hc[j], "central interval");
  }
  for (int i = 0; i < 2; ++i) {
    expect_15_digits(loaded.cnl[i], saved.cnl[i], "c");
    expect_15_digits(loaded.nlmult[i], saved.nlmult[i], "multiplier");
  }
  for (int j = 1; j <= 2; ++j)
    for (int i = 1; i <= 2; ++i) expect_15_digits(v.zy(i, j), saved.view.zy(i, j), "Q");
  EXPECT_EQ(v.zy(3, 1), std::sin(2.0));  // outside the order: untouched
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) {
      if (i <= j) {
        expect_15_digits(v.r(i, j), saved.view.r(i, j), "R");
      } else {
        EXPECT_EQ(v.r(i, j), -7.0);
      }
    }
  expect_15_digits(got.rhonrm, merit.rhonrm, "rhonrm");
  EXPECT_EQ(got.rhodmp, 4.0);
  expect_15_digits(got.scale, merit.scale, "scale");
  EXPECT_FALSE(got.incrun);

  const Lines p = records(kPrint);
  ASSERT_GE(p.size(), 6u);
  EXPECT_EQ(p[0], "");
  EXPECT_EQ(p[1], " OLD RUN to be loaded from file  12");
  EXPECT_EQ(p[3], " Number of variables loaded =     3    Itn =        7");
  EXPECT_EQ(p[6], " Parameters");
  bool upper_start = false;
  for (const std::string& s : p) upper_start = upper_start || s.find("COLD start") != std::string::npos;
  EXPECT_TRUE(upper_start);
}

TEST_F(RunFileTest, IdentityQFixedIntervalsAndNoNonlinearConstraints) {
  // unitQ: no Q records; a fixed interval: no interval records; no
  // nonlinear constraints: no merit record, the merit state is kept.
  SampleRun saved(2, 0, 0, 1, 2.5);
  saved.view.unitq = true;
  saved.view.dif_class = kDifFixed;
  saved.view.nfree = 1;
  NPSAVE(kRun, saved.view, Npmert{}, 1.0);
  const Lines text = file_lines();
  EXPECT_EQ(text, (Lines{"       7       1  1 1 T", "       1       2  0    8.33333333333333E-05",
                         "       2       1  1    6.25000000000000E-02", "       1       1     4.02359478108525E+00",
                         "       1       2     5.19860385419959E+00", "       2       2     5.49306144334055E+00"}));
  SampleRun loaded(2, 0, 0, 1, 0.0);
  Npmert merit;
  merit.rhonrm = 3.0;
  int nerror = -1;
  NPLOAD(kRun, loaded.view, merit, nerror);
  EXPECT_EQ(nerror, 0);
  EXPECT_TRUE(loaded.view.unitq);
  EXPECT_EQ(loaded.view.dif_class, kDifFixed);
  EXPECT_EQ(merit.rhonrm, 3.0);
  EXPECT_EQ(loaded.hf, (std::vector<double>{1e-8, 1e-8}));  // untouched
}

TEST_F(RunFileTest, EachSaveReplacesTheFile) {
  SampleRun big(4, 0, 1, 4, 1.0);
  NPSAVE(kRun, big.view, Npmert{}, 1.0);
  SampleRun small(2, 0, 0, 2, 1.0);
  small.view.unitq = true;
  small.view.majits = 8;
  NPSAVE(kRun, small.view, Npmert{}, 1.0);
  const Lines text = file_lines();
  EXPECT_EQ(text.size(), 1u + 2u + 3u + 2u);
  EXPECT_EQ(text[0], "       8       2  2 1 T");
  EXPECT_EQ(records(kPrint), (Lines{" Current run saved on file  12    Itn =       7",
                                    " Current run saved on file  12    Itn =       8"}));
}

TEST_F(RunFileTest, DamagedOrMismatchedFilesAreRefused) {
  // The base file: 3 variables, 1 linear, 1 nonlinear constraint, Q of order
  // 2, intervals.  Records: 0 header, 1-3 variables, 4 linear, 5 nonlinear,
  // 6 merit, 7-10 Q, 11-16 R, 17-19 intervals.
  using Edit = std::function<void(Lines&)>;
  auto set = [](std::size_t k, std::string text) { return Edit([=](Lines& l) { l[k] = text; }); };
  struct Case {
    const char* name;
    Edit edit;
    int n = 3;     // the loading problem
    int ldzy = 3;
    const char* check = nullptr;  // the permutation check's message, if any
  };
  const Case cases[] = {
      {"3 variables loaded into 4", nullptr, 4, 3, " XXX  kx contains a duplicate value =               3"},
      {"3 variables loaded into 2", nullptr, 2, 3,
       " XXX  kx(     1) contains an out-of-range value =               3"},
      {"Q larger than its storage", nullptr, 3, 1},
      {"variable index out of range", set(2, "       9       2  1    1.00000000000000E+00")},
      {"variable index out of order", set(2, "       3       2  1    1.00000000000000E+00")},
      {"kx entry out of range", set(2, "       2       7  1    1.00000000000000E+00"), 3, 3,
       " XXX  kx(     2) contains an out-of-range value =               7"},
      {"kx with a duplicate", set(2, "       2       3  1    1.00000000000000E+00"), 3, 3,
       " XXX  kx contains a duplicate value =               3"},
      {"variable state 5", set(1, "       1       3  5    1.00000000000000E+00")},
      {"variable state -3", set(1, "       1       3 -3    1.00000000000000E+00")},
      {"linear index", set(4, "       5  3")},
      {"linear state", set(4, "       4  9")},
      {"nonlinear index", set(5, "       4  4    1.00000000000000E+00    1.00000000000000E+00")},
      {"free count above n", set(0, "       7       4  2 1 F")},
      {"negative free count", set(0, "       7      -1  2 1 F")},
      {"class out of range", set(0, "       7       2  3 1 F")},
      {"derivative level out of range", set(0, "       7       2  2 4 F")},
      {"Q element index", set(8, "       3       1    1.00000000000000E+00")},
      {"R element index", set(12, "       4       2    1.00000000000000E+00")},
      {"unreadable number", set(1, "       1       3  0    1.0000000000000xE+00")},
      {"truncated", [](Lines& l) { l.pop_back(); }},
      {"extra record", [](Lines& l) { l.push_back("       4    1.0E+00    1.0E+00"); }},
      {"empty", [](Lines& l) { l.clear(); }},
  };
  const Lines refused{"", " OLD RUN to be loaded from file  12", "",
                      " Exit NLSQP - The OLD RUN file dimensions do not match this problem."};
  for (const Case& c : cases) {
    SampleRun saved(3, 1, 1, 3, 1.0);
    NPSAVE(kRun, saved.view, Npmert{}, 1.0);
    Lines text = file_lines();
    ASSERT_EQ(text.size(), 20u);
    if (c.edit) c.edit(text);
    write_file(text);
    (void)records(kPrint);

    SampleRun loaded(c.n, 1, 1, c.ldzy, 0.0);
    const SampleRun before = loaded;
    Npmert merit;
    merit.rhonrm = 5.0;
    int nerror = 0;
    NPLOAD(kRun, loaded.view, merit, nerror);
    EXPECT_EQ(nerror, 1) << c.name;
    Lines expected = refused;
    if (c.check) expected.insert(expected.begin() + 2, {"", c.check});
    EXPECT_EQ(records(kPrint), expected) << c.name;
    // Nothing of the file reaches the caller.
    EXPECT_EQ(loaded.kx, before.kx) << c.name;
    EXPECT_EQ(loaded.istate, before.istate) << c.name;
    EXPECT_EQ(loaded.x, before.x) << c.name;
    EXPECT_EQ(loaded.zy, before.zy) << c.name;
    EXPECT_EQ(loaded.r, before.r) << c.name;
    EXPECT_EQ(loaded.view.majits, 7) << c.name;
    EXPECT_EQ(merit.rhonrm, 5.0) << c.name;
    connect("OLD");
  }
}

TEST_F(RunFileTest, MissingFileIsARefusal) {
  runtime::close_unit(kRun, "DELETE");
  SampleRun loaded(2, 0, 0, 1, 0.0);
  Npmert merit;
  int nerror = 0;
  NPLOAD(kRun, loaded.view, merit, nerror);
  EXPECT_EQ(nerror, 1);
  NPLOAD(150, loaded.view, merit, nerror);  // no such unit
  EXPECT_EQ(nerror, 1);
  connect("REPLACE");
}

}  // namespace
}  // namespace qv::optim
