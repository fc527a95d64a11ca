// Output-file requests of a group's options line (QV with a matrix letter,
// %E, %M, %V, %P or %D, and the path-diagram word DR), recorded in the
// group's request list for the writing of the files after the fit.
#pragma once

#include "jobbase/tabnames.hpp"
#include "runtime/view1.hpp"

namespace qv::fit {

// Request numbers besides the matrix letters 1..26.
constexpr int kReqExpCov = 27;   // %E expected covariance matrix
constexpr int kReqPath = 28;     // %D or DR path-diagram commands
constexpr int kReqExpMean = 29;  // %M expected means
constexpr int kReqVl = 30;       // %V variable-length data
constexpr int kReqPed = 31;      // %P pedigree statistics

// Room of a group's request list: a count and up to 30 requests of three
// words (request number, first LABTAB slot of the file name, slots used).
// That is 91 words: a list of 90 would put the 30th request's last word on
// the first word after it, which the storage pointer hands on.
constexpr int kMaxReq = 30;
constexpr int kReqEntryWords = 3;
constexpr int kReqWords = 1 + kMaxReq * kReqEntryWords;

// One request of a group's list.
struct OutRequest {
  int number = 0;  // a matrix letter 1..26 or one of the kReq* numbers
  int slot = 0;    // first LABTAB slot of the file name
  int slots = 0;   // LABTAB slots the name takes
};

// The request list of a group, read through its GRPTAB column
// gcol::kOutRequests: the count at the list's address, then the requests.
class RequestList {
 public:
  explicit RequestList(const jobbase::GroupView& G);
  // Address of the list; 0 for a group without one.
  int address() const { return list_; }
  // Number of requests; 0 for a group without a list.
  int count() const;
  // Request k, 1 <= k <= count().
  OutRequest operator()(int k) const;
  // Address of the first word of request k of the list at address list.
  static constexpr int word(int list, int k) { return list + 1 + kReqEntryWords * (k - 1); }

 private:
  runtime::Vec1<double> X_;
  int list_ = 0;
};

// Parses the request at the cursor (a word beginning "QV" or "DR") of group
// g and appends it to the group's list (GRPTAB column 26; created at RDPTR
// on first use).  The file name goes to LABTAB from slot LABSLOT on; the
// cursor is left on the last character of the name.
void OUTREQ(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, int& RDPTR, int& LABSLOT);

}  // namespace qv::fit
