#include <string>

#include "fit/outreq.hpp"
#include "jobctl/model_fixture.hpp"
#include "jobbase/tabnames.hpp"

namespace qv::fit {
namespace {

class OutreqTest : public jobctl::testing_support::ModelTest {
 protected:
  static constexpr int kListAt = 500;

  void SetUp() override {
    ModelTest::SetUp();
    job(1);
    jobbase::MAINPR.RDPTR = kListAt;
  }
  // Parses the request at the start of text's first line.
  void request(const std::string& text) {
    start(text);
    OUTREQ(X(), IX(), 1, 1, jobbase::MAINPR.RDPTR, jobbase::MAINPR.LABSLOT);
  }
  // The group's request list: its address, its count and its k-th request
  // (1-based).
  static RequestList requests() { return RequestList(jobbase::GroupView{X(), 1, 1}); }
  static int list() { return requests().address(); }
  static int count() { return requests().count(); }
  static OutRequest entry(int k) { return requests()(k); }
  static int letter(char L) { return L - 'A' + 1; }
};

TEST_F(OutreqTest, CodesAndList) {
  const int slot0 = jobbase::MAINPR.LABSLOT;
  request("QVZ=z.out");
  // The list is made at the storage pointer, which moves past its room.
  EXPECT_EQ(list(), kListAt);
  EXPECT_EQ(jobbase::MAINPR.RDPTR, kListAt + kReqWords);
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(entry(1).number, letter('Z'));
  EXPECT_EQ(entry(1).slot, slot0);
  EXPECT_EQ(entry(1).slots, 1);
  EXPECT_EQ(jobbase::CURSOR.ICOL, 9);  // on the last character of the name
  struct Case {
    const char* word;
    int number;
  };
  const Case cases[] = {{"QV%E=x", kReqExpCov}, {"QV%M=x", kReqExpMean}, {"QV%V=x", kReqVl}, {"QV%P=x", kReqPed},
                        {"QV%D=x", kReqPath},   {"DR =x", kReqPath},     {"QVA=x", letter('A')}};
  int k = 1;
  for (const Case& c : cases) {
    request(c.word);
    EXPECT_EQ(entry(++k).number, c.number) << c.word;
  }
  EXPECT_EQ(count(), 8);
  EXPECT_EQ(jobbase::MAINPR.RDPTR, kListAt + kReqWords);  // the list was made once
}

TEST_F(OutreqTest, LongNameTakesSeveralSlots) {
  const std::string name(40, 'N');
  request("QVB= " + name + ";rest");
  EXPECT_EQ(entry(1).slots, 2);
  EXPECT_EQ(jobbase::LABTAB.get(1), std::string(32, 'N'));
  EXPECT_EQ(jobbase::LABTAB.get(2), std::string(8, 'N') + std::string(24, ' '));
  EXPECT_EQ(jobbase::MAINPR.LABSLOT, 3);
}

TEST_F(OutreqTest, ThirtiethRequestStaysInsideItsList) {
  // The word after the list is the next thing the storage pointer hands
  // out; 30 requests must leave it alone.
  X()(kListAt + 91) = 12345.0;
  for (int k = 0; k < kMaxReq; ++k) request("QVA=x");
  EXPECT_EQ(jobbase::MAINPR.RDPTR, kListAt + 91);  // a count and 30 requests of 3 words
  EXPECT_EQ(entry(kMaxReq).number, letter('A'));
  EXPECT_EQ(RequestList::word(list(), kMaxReq) + kReqEntryWords - 1, kListAt + 90);
  EXPECT_EQ(X()(kListAt + 91), 12345.0);
}

TEST_F(OutreqTest, Refusals) {
  EXPECT_QV_ERROR(request("QV1=x"), 87);
  EXPECT_QV_ERROR(request("QVA x"), 88);
  EXPECT_QV_ERROR(request("DR x"), 137);
  for (int k = 0; k < kMaxReq; ++k) request("QVA=x");
  EXPECT_QV_ERROR(request("QVA=x"), 178);
}

}  // namespace
}  // namespace qv::fit
