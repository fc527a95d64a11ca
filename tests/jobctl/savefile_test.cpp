// The binary save file: record encoding, layout, save and restore of the
// workspaces, the version stamp, and the checks that keep a damaged file out
// of the workspaces.
#include <cstdint>
#include <cstdlib>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobctl/femeta.hpp"
#include "jobctl/grpline.hpp"
#include "jobctl/mainprog.hpp"
#include "jobctl/savefile.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "jobbase/script_fixture.hpp"

namespace qv::jobctl {

using namespace jobbase;

namespace {

using jobbase::testing_support::capture;
using jobbase::testing_support::temp_path;

// Bytes of record rec (from 1) of a file, or empty past its end.
std::vector<std::uint8_t> record(const std::string& path, long long rec) {
  std::ifstream in(path, std::ios::binary);
  in.seekg((rec - 1) * BINRECL);
  std::vector<std::uint8_t> r(BINRECL);
  if (!in.read(reinterpret_cast<char*>(r.data()), BINRECL)) return {};
  return r;
}

BinRec as_rec(const std::vector<std::uint8_t>& v) {
  BinRec r{};
  for (std::size_t i = 0; i < r.size() && i < v.size(); ++i) r[i] = v[i];
  return r;
}

void patch(const std::string& path, long long rec, const BinRec& r) {
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp((rec - 1) * BINRECL);
  f.write(reinterpret_cast<const char*>(r.data()), BINRECL);
}

long long file_records(const std::string& path) {
  return static_cast<long long>(std::filesystem::file_size(path)) / BINRECL;
}

// A small model of one group built by hand: the group table, a matrix table
// with matrix A (FU 1x2, specification numbers 10003 and 5), three labels
// and a few integers.
constexpr int kBase = 43 + 3;
constexpr int kAddr = kBase + kMattabWords;
constexpr int kNx = kAddr + 4 + 1;

class SavefileTest : public jobbase::testing_support::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    wipe();
    path_ = temp_path("model_" + std::to_string(++n_) + ".bin");
    std::filesystem::remove(path_);
  }
  void TearDown() override {
    runtime::close_unit(runtime::kSaveUnit);
    ScriptTest::TearDown();
  }

  static void wipe() {
    WORKSP.reset();
    IWORKS.reset();
    LABTAB.reset();
    FITOPT.reset();
    BINSAV.reset();
    MAINPR.reset();
    MAINPR.ECHOLN = false;
  }

  static void build_model() {
    auto X = WORKSP.x();
    auto IX = IWORKS.ix();
    auto& m = MAINPR;
    X(1) = 1;
    GRPTAB(X, 1, 0, 1) = 2;
    GRPTAB(X, 1, 7, 1) = kBase;
    GRPTAB(X, 1, 11, 1) = 1;
    X(kBase + 0) = 9;        // A: FU
    X(kBase + 26) = 1;       // rows
    X(kBase + 52) = 2;       // columns
    X(kBase + 78) = kAddr;   // storage
    X(kAddr) = 10003;
    X(kAddr + 1) = 5;
    X(kAddr + 2) = 0.5;
    X(kAddr + 3) = -1.25e-300;
    m.WSTOP = kNx;
    GRPTAB(X, 1, 6, 1) = kNx;
    for (int k = 1; k <= 14; ++k) IX(k) = 100 - 17 * k;
    m.IWSTOP = 14;
    LABTAB.put(1, "Title of the job, first piece");
    LABTAB.put(2, "x");
    LABTAB.put(3, std::string(32, 'Z'));
    m.LABSLOT = 4;
    m.NFREE = 5;
    m.NUNCNT = 10007;
    auto& o = FITOPT;
    o.FE = 1.5e-9;
    o.OP = 2.5e-7;
    o.LI = 0.9;
    o.STE = 1e20;
    o.FU = 3e-12;
    o.TH = -4.0;
    o.IT = 250;
    o.NA = 2;
    o.DE = 1;
    o.OPTFIT = 3;
  }

  // "!@SAVE path" and "GE path" through the routines the job loop calls.
  std::string save() {
    feed("!@SAVE " + path_ + "\n");
    return capture([] {
      RDLINE();
      FESTAT.SCRDONE = true;
      FESAVE();
    });
  }
  std::string restore() {
    return capture([this] { restore_uncaptured(); });
  }
  // For death tests: the report goes where standard output points.
  void restore_uncaptured() {
    feed("GE " + path_ + "\n");
    RDLINE();
    BINGET();
  }

  std::string path_;
  static inline int n_ = 0;
};

TEST(BinRecords, FixedLittleEndianEncoding) {
  using R = BinRec;
  EXPECT_EQ(BINPUTI(144), (R{0x90, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(BINPUTI(-2), (R{0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(BINPUTI(0x01020304), (R{4, 3, 2, 1, 0, 0, 0, 0}));
  EXPECT_EQ(BINPUTR(1.0), (R{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(BINPUTR(-2.5), (R{0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
  for (int v : {0, 1, -1, 10000, 2147483647, -2147483647 - 1}) EXPECT_EQ(BINGETI(BINPUTI(v)), v);
  for (double v : {0.0, -0.0, 1e-310, 3.141592653589793, -1e300}) EXPECT_EQ(BINGETR(BINPUTR(v)), v);
  // The upper half of an integer record is not part of the value.
  EXPECT_EQ(BINGETI(R{7, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD}), 7);
}

TEST_F(SavefileTest, LayoutOfTheRecords) {
  build_model();
  save();
  const int ns = 4, niw = 14;
  EXPECT_EQ(file_records(path_), kNx + 4 * ns + niw + 16);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 1))), 144);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 2))), kNx);
  EXPECT_EQ(BINGETR(as_rec(record(path_, 3))), 1.5e-9);
  EXPECT_EQ(BINGETR(as_rec(record(path_, 8))), -4.0);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 9))), 250);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 12))), 3);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 13))), 5);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 14))), ns);
  EXPECT_EQ(BINGETI(as_rec(record(path_, 15))), niw);
  EXPECT_EQ(BINGETR(as_rec(record(path_, 16))), 1.0);                    // X(1)
  EXPECT_EQ(BINGETR(as_rec(record(path_, 15 + kAddr))), 10003.0);
  const std::vector<std::uint8_t> s1 = record(path_, kNx + 4 + 12);    // string 1, first piece
  EXPECT_EQ(std::string(s1.begin(), s1.end()), "Title of");
  const std::vector<std::uint8_t> s3 = record(path_, kNx + 12 + 12 + 3);  // string 3, last piece
  EXPECT_EQ(std::string(s3.begin(), s3.end()), "ZZZZZZZZ");
  EXPECT_EQ(BINGETI(as_rec(record(path_, kNx + 4 * ns + 15 + 1))), 100 - 17);  // IX(1)
  EXPECT_EQ(BINGETI(as_rec(record(path_, kNx + 4 * ns + 15 + niw))), 100 - 17 * 14);
  EXPECT_EQ(BINGETI(as_rec(record(path_, kNx + 4 * ns + niw + 16))), 10007);  // NUNCNT
  EXPECT_EQ(MAINPR.MULFIT, 1);
  EXPECT_TRUE(MAINPR.SAVED);
}

TEST_F(SavefileTest, NoStringsPutTheIntegersAfterFourUnwrittenRecords) {
  build_model();
  MAINPR.LABSLOT = 1;
  save();
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(BINGETI(as_rec(record(path_, kNx + 15 + k))), 0);
  EXPECT_EQ(BINGETI(as_rec(record(path_, kNx + 20))), 100 - 17);
  wipe();
  restore();
  EXPECT_EQ(MAINPR.LABSLOT, 1);
  EXPECT_EQ(IWORKS.ix()(1), 100 - 17);
}

TEST_F(SavefileTest, RestoreGivesBackTheSavedModel) {
  build_model();
  save();
  const std::vector<double> x(WORKSP.X.begin(), WORKSP.X.begin() + kNx);
  const std::vector<int> ix(IWORKS.IX.begin(), IWORKS.IX.begin() + 14);
  const std::string l3 = LABTAB.get(3);
  // The next run: everything starts from zero, and the job's group 1 is the get group.
  wipe();
  WORKSP.x()(kNx + 3) = 99.0;  // material of this job above the restored model
  MAINPR.WSMAXD = kNx + 3;
  MAINPR.IGRP = 1;
  const std::string out = restore();
  EXPECT_EQ(out, " Note: " + std::to_string(15 + kNx + 4 * 4 + 14) + " binary records read\n");
  EXPECT_TRUE(std::equal(x.begin(), x.end(), WORKSP.X.begin()));
  EXPECT_TRUE(std::equal(ix.begin(), ix.end(), IWORKS.IX.begin()));
  EXPECT_EQ(WORKSP.x()(kNx + 3), 0.0);
  EXPECT_EQ(LABTAB.get(1), runtime::fpad("Title of the job, first piece", 32));
  EXPECT_EQ(LABTAB.get(3), l3);
  const auto& m = MAINPR;
  EXPECT_EQ(m.WSTOP, kNx);
  EXPECT_EQ(m.RDPTR, kNx);
  EXPECT_EQ(m.IWSTOP, 14);
  EXPECT_EQ(m.LABSLOT, 4);
  EXPECT_EQ(m.NG, 1);
  EXPECT_EQ(m.IGRP, 1);
  EXPECT_EQ(m.MULFIT, 1);
  EXPECT_EQ(m.NFREE, 5);
  EXPECT_EQ(m.NUNCNT, 10007);  // new UN numbers continue after the restored ones
  EXPECT_EQ(GRPTAB(WORKSP.x(), 1, 6, 1), kNx);
  EXPECT_GE(m.WSMAXD, kNx);
  const auto& o = FITOPT;
  EXPECT_EQ(o.FE, 1.5e-9);
  EXPECT_EQ(o.OP, 2.5e-7);
  EXPECT_EQ(o.LI, 0.9);
  EXPECT_EQ(o.STE, 1e20);
  EXPECT_EQ(o.FU, 3e-12);
  EXPECT_EQ(o.TH, -4.0);
  EXPECT_EQ(o.IT, 250);
  EXPECT_EQ(o.NA, 2);
  EXPECT_EQ(o.DE, 1);
  EXPECT_EQ(o.OPTFIT, 3);
}

// Column 10 of a matrix group is its determinant, a value: any size is
// restored.
TEST_F(SavefileTest, DeterminantOfAMatrixGroupIsNoAddress) {
  build_model();
  GRPTAB(WORKSP.x(), 1, gcol::kObsDet, 1) = 9e6;
  save();
  wipe();
  MAINPR.IGRP = 1;
  const std::string out = restore();
  EXPECT_EQ(out.find("damaged"), std::string::npos) << out;
  EXPECT_EQ(GRPTAB(WORKSP.x(), 1, gcol::kObsDet, 1), 9e6);
}

TEST_F(SavefileTest, FileWithoutTheCounterTakesItFromTheMatrices) {
  build_model();
  save();
  std::filesystem::resize_file(path_, (file_records(path_) - 1) * BINRECL);
  wipe();
  restore();
  EXPECT_EQ(MAINPR.NUNCNT, 10003);
  EXPECT_EQ(WORKSP.x()(kAddr), 10003.0);
}

TEST_F(SavefileTest, OlderCompatibleStampIsNotedAndKept) {
  build_model();
  save();
  patch(path_, 1, BINPUTI(140));
  wipe();
  const std::string out = restore();
  EXPECT_EQ(out.substr(0, 58), "\n NOTE: QV binary file was written with version 1.39999998");
  EXPECT_EQ(BINSAV.BINVER, 140);
  // A model saved later in the run carries the older stamp.
  save();
  EXPECT_EQ(BINGETI(as_rec(record(path_, 1))), 140);
}

using SavefileDeathTest = SavefileTest;

TEST_F(SavefileDeathTest, IncompatibleStampsAreRefused) {
  build_model();
  save();
  for (int w : {134, 145, 0, -144}) {
    patch(path_, 1, BINPUTI(w));
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          restore_uncaptured();
        },
        ::testing::ExitedWithCode(1),
        "^\n QV binary file was written with incompatible earlier version\n\n  We have a problem whose error "
        "code is  201\n(.*) Binary file format has changed since version 1.34 - SORRY!!")
        << w;
  }
  // After an older file was restored, the run's stamp is the older one.
  patch(path_, 1, BINPUTI(144));
  BINSAV.BINVER = 140;
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        restore_uncaptured();
      },
      ::testing::ExitedWithCode(1), "incompatible earlier version");
}

TEST_F(SavefileDeathTest, DamagedFilesAreRefusedBeforeReading) {
  build_model();
  save();
  const long long recs = file_records(path_);
  const std::string good = path_ + ".good";
  std::filesystem::copy_file(path_, good);
  const std::string damaged = "QV binary file is damaged or is not a QV binary file\n\n  We have a problem whose "
                              "error code is  201";
  struct Case {
    const char* what;
    long long cut;    // records kept (0: all)
    long long rec;    // record patched (0: none)
    BinRec value;
    std::string pattern;
    long long rec2 = 0;  // a second record patched (0: none)
    BinRec value2{};
  };
  const Case cases[] = {
      {"empty", 0, 0, {}, damaged},
      {"header cut", 10, 0, {}, damaged},
      {"doubles cut", 20, 0, {}, damaged},
      {"integers cut", recs - 3, 0, {}, damaged},
      {"negative NX", 0, 2, BINPUTI(-5), damaged},
      {"NS 0", 0, 14, BINPUTI(0), damaged},
      {"negative NIW", 0, 15, BINPUTI(-1), damaged},
      {"NX past the file", 0, 2, BINPUTI(kNx + 50), damaged},
      {"NG 0", 0, 16, BINPUTR(0.0), damaged},
      {"NG not whole", 0, 16, BINPUTR(1.5), damaged},
      {"group table past NX", 0, 16, BINPUTR(40.0), damaged},
      // Damaged words of the model: record 15 + k holds X(k).
      {"formula address past NX", 0, 15 + 10, BINPUTR(kNx + 1.0), damaged},
      {"matrix table past NX", 0, 15 + 9, BINPUTR(kNx - 100.0), damaged},
      {"unknown matrix type", 0, 15 + kBase, BINPUTR(13.0), damaged},
      {"computed matrix past NX", 0, 15 + kBase, BINPUTR(-10.0), damaged},
      {"storage address 0", 0, 15 + kBase + 78, BINPUTR(0.0), damaged},
      {"storage address not whole", 0, 15 + kBase + 78, BINPUTR(kAddr + 0.5), damaged},
      {"storage past NX", 0, 15 + kBase + 26, BINPUTR(1000.0), damaged},
      {"negative columns", 0, 15 + kBase + 52, BINPUTR(-2.0), damaged},
      // Specification numbers are used as integers: one beyond +-2^30 (or
      // not a number) would be converted out of range.
      {"specification number 1E90", 0, 15 + kAddr, BINPUTR(1e90), damaged},
      {"specification number -2^31", 0, 15 + kAddr + 1, BINPUTR(-2147483648.0), damaged},
      {"specification number NaN", 0, 15 + kAddr, BINPUTR(std::nan("")), damaged},
      // The counters of free parameters and UN elements go on from their
      // values: past 2^30 they would overflow.
      {"free-parameter counter past 2^30", 0, 13, BINPUTI(2147483647), damaged},
      {"negative free-parameter counter", 0, 13, BINPUTI(-1), damaged},
      {"UN counter past 2^30", 0, recs, BINPUTI(2147483647), damaged},
      // Column 10 (X(12)) of a group of case records (fit code 10 in X(13))
      // is the address of its definition-variable count.
      {"definition address past NX", 0, 15 + 12, BINPUTR(9e6), damaged, 15 + 13, BINPUTR(kFitVL)},
      {"definition address of ordinal records negative", 0, 15 + 12, BINPUTR(-3.0), damaged, 15 + 13,
       BINPUTR(kFitOrdMix)},
  };
  for (const Case& c : cases) {
    std::filesystem::copy_file(good, path_, std::filesystem::copy_options::overwrite_existing);
    if (std::string(c.what) == "empty") std::filesystem::resize_file(path_, 0);
    if (c.cut > 0) std::filesystem::resize_file(path_, c.cut * BINRECL);
    if (c.rec > 0) patch(path_, c.rec, c.value);
    if (c.rec2 > 0) patch(path_, c.rec2, c.value2);
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          restore_uncaptured();
        },
        ::testing::ExitedWithCode(1), c.pattern)
        << c.what;
  }
  // Counts that the file holds but the workspaces cannot: out of workspace.
  const int big = kWsWords + 1;
  struct Big {
    long long rec;
    int nx, ns, niw;
    const char* pattern;
  };
  const Big bigs[] = {
      {2, big, 4, 14, "Available memory \\(double precision words\\) 1000000\n Problem needs over 1000001\n"},
      {15, kNx, 4, big, "Available memory for integers 1000000\n Problem needs over 1000001\n"},
      {14, kNx, kLabSlots + 2, 14, "Available label slots 20000\n Problem needs over 20001\n"},
  };
  for (const Big& b : bigs) {
    std::filesystem::copy_file(good, path_, std::filesystem::copy_options::overwrite_existing);
    patch(path_, b.rec, BINPUTI(b.rec == 2 ? b.nx : b.rec == 14 ? b.ns : b.niw));
    std::filesystem::resize_file(path_, (static_cast<long long>(b.nx) + 4LL * b.ns + b.niw + 16) * BINRECL);
    EXPECT_EXIT(
        {
          ::dup2(2, 1);
          restore_uncaptured();
        },
        ::testing::ExitedWithCode(1), std::string(b.pattern) + "(.*)error code is  119")
        << b.rec;
  }
}

TEST_F(SavefileDeathTest, NamesAndFiles) {
  build_model();
  FESTAT.SCRDONE = true;
  // No name on the line: error 134 on that line; the next line is not read.
  feed("GE\nnext line\n");
  RDLINE();
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        BINGET();
      },
      ::testing::ExitedWithCode(1), "error code is  134\n(.*)\n GE\n(.*)MUST supply a filename");
  feed("!@save   \n");
  capture([] { RDLINE(); });
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        FESAVE();
      },
      ::testing::ExitedWithCode(1), "error code is  134");
  // A missing file is named in error 169.
  feed("GE " + path_ + "\n");
  RDLINE();
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        BINGET();
      },
      ::testing::ExitedWithCode(1), "error code is  169\n(.*)file not found:\n " + path_);
  // A file that cannot be made for the save.
  feed("!@SAVE /no/such/dir/m.bin\n");
  capture([] { RDLINE(); });
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        FESAVE();
      },
      ::testing::ExitedWithCode(1), "error code is  223");
}

// A model read from a script and saved in one run is restored by a get
// group in a later run (a child process that starts from empty state) with
// the same workspaces, labels and counters.
TEST_F(SavefileDeathTest, ModelSavedInOneRunIsRestoredInTheNext) {
  feed(
      "Saved model\n Data NG=1 NI=2 NO=10\n Labels x y\n CMatrix\n 2 .5 1\n Matrices\n"
      " A Full 2 1 Free\n B Full 2 2 UN\n End Matrices\n Covariance A*A';\n Output\n");
  capture([] {
    STARTUP(false);
    JOBLOOP();
  });
  ASSERT_TRUE(FESTAT.SCRDONE);
  ASSERT_GT(MAINPR.NUNCNT, 10000);
  feed("!@SAVE " + path_ + "\n");
  capture([] {
    RDLINE();
    FESAVE();
  });
  const auto& m = MAINPR;
  const int nx = m.WSTOP, niw = m.IWSTOP, ns = m.LABSLOT;
  std::vector<double> x(WORKSP.X.begin(), WORKSP.X.begin() + nx);
  // The job has been fitted, so the saved workspace reaches past the model to
  // the end of the fit's arrays; the restored model ends where the saved
  // words end.
  const int model_end = 1 + gcol::kModelEnd * m.NG + 1;  // GRPTAB(X, NG, kModelEnd, 1)
  x[static_cast<std::size_t>(model_end - 1)] = nx;
  const std::vector<int> ix(IWORKS.IX.begin(), IWORKS.IX.begin() + niw);
  std::vector<std::string> labels;
  for (int k = 1; k < ns; ++k) labels.push_back(LABTAB.get(k));
  const int nfree = m.NFREE, nuncnt = m.NUNCNT, ng = m.NG;
  const Fitopt opt = FITOPT;

  EXPECT_EXIT(
      {
        wipe();
        feed("Restored\n Get " + path_ + "\n");
        capture([] {
          RDLINE();
          MAINPR.IGRP = 1;
          if (GRPLIN() != GrpNext::Get) std::exit(3);
        });
        bool same = m.WSTOP == nx && m.IWSTOP == niw && m.LABSLOT == ns && m.NFREE == nfree &&
                    m.NUNCNT == nuncnt && m.NG == ng && m.IGRP == ng && m.RDPTR == nx && m.MULFIT == 1;
        same = same && std::equal(x.begin(), x.end(), WORKSP.X.begin());
        same = same && std::equal(ix.begin(), ix.end(), IWORKS.IX.begin());
        for (int k = 1; k < ns; ++k) same = same && LABTAB.get(k) == labels[static_cast<std::size_t>(k - 1)];
        same = same && FITOPT.OPTFIT == opt.OPTFIT && FITOPT.IT == opt.IT && FITOPT.FE == opt.FE;
        std::exit(same ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SavefileTest, SaveBeforeTheScriptIsCompleteIsNotFatal) {
  build_model();
  feed("!@SAVE " + path_ + "\n");
  capture([] { RDLINE(); });
  FESTAT.SCRDONE = false;
  const std::string out = capture([] { FESAVE(); });
  EXPECT_NE(out.find("error code is  179"), std::string::npos) << out;
  EXPECT_NE(out.find(" Sorry, I'm just not ready to save at this point.\n I'm just going to ignore it, OK?\n"),
            std::string::npos);
  EXPECT_FALSE(MAINPR.SAVED);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(SavefileTest, SavedOverALongerFileLeavesNoTail) {
  build_model();
  std::ofstream(path_, std::ios::binary) << std::string(100000, 'x');
  save();
  EXPECT_EQ(file_records(path_), kNx + 4 * 4 + 14 + 16);
}

}  // namespace
}  // namespace qv::jobctl
