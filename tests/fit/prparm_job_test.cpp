// The listing of a job laid out by the program's own readers from a
// script: the title, the labels, the formula text and the result of a
// computed matrix are where the listing looks for them.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "fit/fitsetup.hpp"
#include "fit/prparm.hpp"
#include "jobbase/areas.hpp"
#include "jobctl/job_fixture.hpp"
#include "report_text.hpp"
#include "runtime/fixedstr.hpp"

namespace qv::fit {
namespace {

using jobbase::testing_support::capture;
using jobctl::testing_support::JobTest;
using testing_support::library_units;
using testing_support::lines;

constexpr const char* kScript =
    "Listing of a calculation\n"
    " Calculation NGroups=1\n"
    " Begin Matrices;\n"
    "  A FU 2 2 FREE\n"
    "  B SY 2 2\n"
    " End Matrices;\n"
    " Matrix A 1 2 3 4\n"
    " Matrix B 4 2 3\n"
    " Label Row A first second\n"
    " Begin Algebra;\n"
    "  C = A*B ;\n"
    " End Algebra;\n"
    "End\n";

TEST_F(JobTest, ListingOfAScriptJob) {
  build(kScript);
  library_units(6);
  FITARR.FREEP = true;
  int mode = prmode::kSpecification;
  const std::string title = " " + runtime::fpad("Listing of a calculation", 128);
  const std::string spec = capture([&] { PRPARM(X(), jobbase::IWORKS.ix(), jobbase::LABTAB, mode, 0, 1); });
  EXPECT_EQ(spec, lines({"", "", " PARAMETER SPECIFICATIONS", "", " GROUP NUMBER: 1", "", title, "", " MATRIX A",
                         " This is a FULL matrix of order    2 by    2", "               1       2",
                         "  FIRST       1       2", " SECOND       3       4", "", " MATRIX B",
                         " This is a SYMMETRIC matrix of order    2 by    2", " It has no free parameters specified",
                         "", " MATRIX C", " This is a computed FULL matrix of order    2 by    2",
                         " It has no free parameters specified"}));
  mode = prmode::kEstimates;
  const std::string est = capture([&] { PRPARM(X(), jobbase::IWORKS.ix(), jobbase::LABTAB, mode, 0, 1); });
  // C = A*B = [1 2; 3 4][4 2; 2 3].
  const std::string c = lines({"", " MATRIX C", " This is a computed FULL matrix of order    2 by    2",
                               " [=A*B]", "             1          2", " 1      8.0000     8.0000",
                               " 2     20.0000    18.0000"});
  ASSERT_GE(est.size(), c.size());
  EXPECT_EQ(est.substr(est.size() - c.size()), c) << est;
}

}  // namespace
}  // namespace qv::fit
