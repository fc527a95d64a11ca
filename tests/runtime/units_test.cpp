// Units: OPEN statuses, default files, scratch files, positioning, direct
// access, internal files, unhandled errors; STOP and the signal handlers.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "runtime/stop.hpp"
#include "runtime/units.hpp"

using namespace qv::runtime;
namespace fs = std::filesystem;

namespace {

// Each test runs in its own empty directory.
class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    char tmpl[] = "/tmp/qv_units_XXXXXX";
    dir_ = mkdtemp(tmpl);
    fs::current_path(dir_);
  }
  void TearDown() override {
    close_all_units();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static std::string slurp(const std::string& f) {
    std::ifstream in(f);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  fs::path old_;
  std::string dir_;
};

}  // namespace

TEST_F(UnitsTest, UnitWithoutOpenIsFortFile) {
  write_list(12, {"hello", 3});
  close_unit(12);
  EXPECT_EQ(slurp("fort.12"), " hello 3\n");
  std::string rec;
  EXPECT_EQ(read_record(12, rec), IoStat::Ok);
  EXPECT_EQ(rec, " hello 3");
  EXPECT_EQ(read_record(12, rec, OnErr::Return), IoStat::End);
}

TEST_F(UnitsTest, OpenStatuses) {
  EXPECT_EQ(open_unit(20, {"missing.dat", "OLD"}, OnErr::Return), IoStat::Error);
  EXPECT_EQ(open_unit(20, {"new.dat", "NEW"}, OnErr::Return), IoStat::Ok);
  write_record(20, "one");
  write_record(20, "two");
  close_unit(20);
  EXPECT_EQ(open_unit(20, {"new.dat", "NEW"}, OnErr::Return), IoStat::Error);
  // UNKNOWN on an existing file rewrites it from the start; the old tail goes.
  EXPECT_EQ(open_unit(20, {"new.dat", "UNKNOWN"}), IoStat::Ok);
  write_record(20, "3");
  close_unit(20);
  EXPECT_EQ(slurp("new.dat"), "3\n");
  // APPEND adds after the last record.
  EXPECT_EQ(open_unit(20, {"new.dat", "UNKNOWN", "APPEND"}), IoStat::Ok);
  write_record(20, "4");
  close_unit(20);
  EXPECT_EQ(slurp("new.dat"), "3\n4\n");
  EXPECT_TRUE(file_exists("new.dat"));
  EXPECT_TRUE(file_exists("new.dat   "));
  EXPECT_FALSE(file_exists("nothing.dat"));
  open_unit(20, {"new.dat", "OLD"});
  close_unit(20, "DELETE");
  EXPECT_FALSE(file_exists("new.dat"));
}

TEST_F(UnitsTest, ScratchFileLeavesNothingBehind) {
  open_unit(7, {"", "SCRATCH"});
  write_record(7, "a");
  write_fmt(7, "(a,i3)", {"b", 5});
  rewind_unit(7);
  std::string r;
  read_record(7, r);
  EXPECT_EQ(r, "a");
  read_record(7, r);
  EXPECT_EQ(r, "b  5");
  close_unit(7);
  EXPECT_TRUE(fs::is_empty(fs::current_path()));
}

TEST_F(UnitsTest, BackspaceRereadsTheLastRecord) {
  std::ofstream("in.dat") << "first\nsecond\n";
  open_unit(15, {"in.dat", "OLD"});
  std::string r;
  read_record(15, r);
  backspace_unit(15);
  read_record(15, r);
  EXPECT_EQ(r, "first");
  read_record(15, r);
  EXPECT_EQ(r, "second");
}

TEST_F(UnitsTest, ListAndFormattedReadsFromFiles) {
  std::ofstream("d.dat") << "1 2.5\n 3*4\n";
  open_unit(11, {"d.dat", "OLD"});
  int i = 0;
  double x = 0;
  EXPECT_EQ(read_list(11, {i, x}), IoStat::Ok);
  std::vector<double> v(3);
  EXPECT_EQ(read_list(11, {std::span<double>(v)}), IoStat::Ok);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(x, 2.5);
  EXPECT_EQ(v, (std::vector<double>{4, 4, 4}));
  EXPECT_EQ(read_list(11, {i}, OnErr::Return), IoStat::End);
}

TEST_F(UnitsTest, DirectAccessRecords) {
  OpenSpec s{"save.bin", "UNKNOWN"};
  s.direct = true;
  s.recl = 8;
  open_unit(30, s);
  const std::uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::uint8_t b[4] = {9, 9, 9, 9};
  EXPECT_EQ(write_direct(30, 3, a), IoStat::Ok);
  EXPECT_EQ(write_direct(30, 1, b), IoStat::Ok);
  std::uint8_t got[8] = {};
  EXPECT_EQ(read_direct(30, 3, got), IoStat::Ok);
  EXPECT_EQ(got[7], 8);
  EXPECT_EQ(read_direct(30, 1, got), IoStat::Ok);
  EXPECT_EQ(got[3], 9);
  EXPECT_EQ(got[4], 0);
  EXPECT_EQ(read_direct(30, 4, got, OnErr::Return), IoStat::End);
  close_unit(30);
  EXPECT_EQ(fs::file_size("save.bin"), 24u);
}

TEST_F(UnitsTest, InternalFiles) {
  EXPECT_EQ(write_internal("(2I5)", {1, 3}), "    1    3");
  int n = 0;
  double x = 0;
  EXPECT_EQ(read_internal_list(" 12  3.5 ", {n, x}), IoStat::Ok);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(x, 3.5);
  EXPECT_EQ(read_internal_list("abc", {n}), IoStat::Error);
  EXPECT_EQ(read_internal("   42", "(I5)", {n}), IoStat::Ok);
  EXPECT_EQ(n, 42);
}

TEST_F(UnitsTest, UnhandledErrorsNameUnitFileAndCause) {
  EXPECT_EXIT(open_unit(21, {"absent.dat", "OLD"}), ::testing::ExitedWithCode(1),
              "unit 21, file \"absent.dat\": the file does not exist");
  std::ofstream("num.dat") << "abc\n";
  EXPECT_EXIT(
      {
        open_unit(22, {"num.dat", "OLD"});
        int k;
        read_list(22, {k});
      },
      ::testing::ExitedWithCode(1), "unit 22, file \"num.dat\": bad data");
  EXPECT_EXIT(
      {
        int k;
        read_list(23, {k});
      },
      ::testing::ExitedWithCode(1), "unit 23, file \"fort.23\"");
}

TEST(StopDeathTest, StopCodesAndStatuses) {
  EXPECT_EXIT(stop(911), ::testing::ExitedWithCode(1), "^STOP 911 statement executed\n$");
  EXPECT_EXIT(stop("567"), ::testing::ExitedWithCode(1), "STOP 567 statement executed");
  EXPECT_EXIT(stop(""), ::testing::ExitedWithCode(1), "^STOP statement executed\n$");
  EXPECT_EXIT(stop(), ::testing::ExitedWithCode(0), "^$");
}

TEST(SignalDeathTest, HandlersWriteMessageAndExitWithSignalStatus) {
  struct Case {
    int sig;
    const char* msg;
  } cases[] = {{SIGFPE, "Floating Exception"}, {SIGABRT, "IOT Trap"}, {SIGTRAP, "Trace trap"},
               {SIGQUIT, "Quit signal"},       {SIGINT, "Interrupt"}, {SIGTERM, "Killed"}};
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          install_signal_handlers();
          std::raise(c.sig);
        },
        ::testing::ExitedWithCode(128 + c.sig), std::string("^") + c.msg + "\n$")
        << c.msg;
  }
}

TEST(Timer, WallSecondsAdvances) {
  const double a = wall_seconds();
  const double b = wall_seconds();
  EXPECT_GT(a, 1.0e9);
  EXPECT_GE(b, a);
}
