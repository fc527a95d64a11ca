#include <string>

#include "fit/outreq.hpp"
#include "jobctl/model_fixture.hpp"

namespace qv::fit {
namespace {

class OutreqTest : public jobctl::testing_support::ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    job(1);
    jobctl::MAINPR.RDPTR = 500;
  }
  // Parses the request at the start of text's first line.
  void request(const std::string& text) {
    start(text);
    OUTREQ(X(), IX(), 1, 1, jobctl::MAINPR.RDPTR, jobctl::MAINPR.LABSLOT);
  }
};

TEST_F(OutreqTest, CodesAndList) {
  request("QVZ=z.out");
  EXPECT_EQ(col(26, 1), 500);
  EXPECT_EQ(jobctl::MAINPR.RDPTR, 590);
  EXPECT_EQ(X()(500), 1);
  EXPECT_EQ(X()(501), 26);
  EXPECT_EQ(X()(502), 1);
  EXPECT_EQ(X()(503), 1);
  EXPECT_EQ(jobctl::CURSOR.ICOL, 9);  // on the last character of the name
  const char* words[] = {"QV%E=x", "QV%M=x", "QV%V=x", "QV%P=x", "QV%D=x", "DR =x", "QVA=x"};
  const int codes[] = {27, 29, 30, 31, 28, 28, 1};
  for (int k = 0; k < 7; ++k) {
    request(words[k]);
    EXPECT_EQ(X()(501 + 3 * (k + 1)), codes[k]) << words[k];
  }
  EXPECT_EQ(X()(500), 8);
  EXPECT_EQ(jobctl::MAINPR.RDPTR, 590);
}

TEST_F(OutreqTest, LongNameTakesSeveralSlots) {
  const std::string name(40, 'N');
  request("QVB= " + name + ";rest");
  EXPECT_EQ(X()(503), 2);
  EXPECT_EQ(jobctl::LABTAB.get(1), std::string(32, 'N'));
  EXPECT_EQ(jobctl::LABTAB.get(2), std::string(8, 'N') + std::string(24, ' '));
  EXPECT_EQ(jobctl::MAINPR.LABSLOT, 3);
}

TEST_F(OutreqTest, Refusals) {
  EXPECT_QV_ERROR(request("QV1=x"), 87);
  EXPECT_QV_ERROR(request("QVA x"), 88);
  EXPECT_QV_ERROR(request("DR x"), 137);
  for (int k = 0; k < 30; ++k) request("QVA=x");
  EXPECT_QV_ERROR(request("QVA=x"), 178);
}

}  // namespace
}  // namespace qv::fit
