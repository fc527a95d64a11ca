#include "optim_alt/permcheck.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "numlib/errexit.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

namespace {

std::string i16(int v) {
  char num[32];
  std::snprintf(num, sizeof num, "%16d", v);
  return num;
}

}  // namespace

void M01ZBF(std::span<int> iperm, int m1, int m2, int& ifail) {
  if (m2 < 1 || m1 < 1 || m2 < m1) {
    const std::vector<std::string> rec = {
        " ** On entry, one or more of the following parameter values is illegal",
        "    M1 =" + i16(m1) + "  M2 =" + i16(m2)};
    ifail = numlib::ERREXIT(ifail, 1, "M01ZBF", rec);
    return;
  }
  const runtime::Vec1<int> P(iperm);
  std::vector<std::string> rec;
  int ierr = 0;
  // Entries marked so far: M1..marked-1 at most carry a negative mark.
  int marked = m2 + 1;
  for (int i = m1; i <= m2; ++i) {
    const int v = P(i);
    if (v < m1 || v > m2) {
      ierr = 2;
      char num[16];
      std::snprintf(num, sizeof num, "%6d", i);
      rec.push_back(std::string("    IPERM(") + num + ") contains an out-of-range value =" + i16(v));
      marked = i;
      break;
    }
    if (v != i) P(i) = -v;
  }
  if (ierr == 0) {
    for (int i = m1; i <= m2 && ierr == 0; ++i) {
      if (P(i) >= 0) continue;
      // Follow the cycle from i, restoring each mark, to an unmarked entry.
      int j = i;
      int k = 0;
      do {
        k = -P(j);
        P(j) = k;
        j = k;
      } while (P(j) < 0);
      if (j != i) {
        ierr = 3;
        rec.push_back("    IPERM contains a duplicate value =" + i16(k));
      }
    }
  }
  if (ierr != 0) {
    rec.push_back(" ** IPERM(M1:M2) does not contain a permutation of the integers M1 to M2");
    for (int i = m1; i < marked; ++i) P(i) = std::abs(P(i));
  }
  ifail = numlib::ERREXIT(ifail, ierr, "M01ZBF", rec);
}

}  // namespace qv::optim_alt
