#include "fit/outreq.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#include "jobbase/errmsg.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"

namespace qv::fit {

using jobbase::CURSOR;
using jobbase::ERRMSG;
using jobbase::LINBUF;

namespace {

using jobbase::chr;

}  // namespace

RequestList::RequestList(const jobbase::GroupView& G) : X_(G.X), list_(G.icol(jobbase::gcol::kOutRequests)) {}

int RequestList::count() const { return list_ > 0 ? jobbase::icell(X_(list_)) : 0; }

OutRequest RequestList::operator()(int k) const {
  const int w = word(list_, k);
  return {jobbase::icell(X_(w)), jobbase::icell(X_(w + 1)), jobbase::icell(X_(w + 2))};
}

void OUTREQ(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, int& RDPTR, int& LABSLOT) {
  (void)IX;
  auto& c = CURSOR;
  int code = 0;
  if (chr(c.ICOL) == 'D' && chr(c.ICOL + 1) == 'R') {
    code = kReqPath;
    while (c.ICOL <= c.LLEN && chr(c.ICOL) != '=') ++c.ICOL;
    if (c.ICOL > c.LLEN) ERRMSG(137);
  } else {
    c.ICOL += 2;
    const char a = chr(c.ICOL);
    const char b = chr(c.ICOL + 1);
    if (a == '%' && (b == 'E' || b == 'M' || b == 'V' || b == 'P' || b == 'D')) {
      code = b == 'E' ? kReqExpCov : b == 'M' ? kReqExpMean : b == 'V' ? kReqVl : b == 'P' ? kReqPed : kReqPath;
      c.ICOL += 2;
    } else {
      const std::size_t k = std::string_view(" ABCDEFGHIJKLMNOPQRSTUVWXYZ").find(a);
      if (k == std::string_view::npos || k == 0) ERRMSG(87);
      code = static_cast<int>(k);
      c.ICOL += 1;
    }
  }

  double& listcol = jobbase::GRPTAB(X, NG, jobbase::gcol::kOutRequests, g);
  int list = static_cast<int>(listcol);
  if (list == 0) {
    jobbase::CHKMEM(RDPTR + kReqWords - 1);
    list = RDPTR;
    for (int k = 0; k < kReqWords; ++k) X(list + k) = 0.0;
    listcol = list;
    X(list) = 1;
    RDPTR += kReqWords;
  } else {
    if (static_cast<int>(X(list)) >= kMaxReq) ERRMSG(178);
    X(list) += 1;
  }
  const int count = static_cast<int>(X(list));

  if (chr(c.ICOL) != '=') ERRMSG(88);
  ++c.ICOL;
  while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
  const int start = c.ICOL;
  while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ';') ++c.ICOL;
  const int len = c.ICOL - start;
  const std::string name = len > 0 ? LINBUF.LINE.substr(start - 1, len) : std::string();
  const int nslot = std::max(1, (len + jobbase::kLabLen - 1) / jobbase::kLabLen);

  const int r = RequestList::word(list, count);
  X(r) = code;
  X(r + 1) = LABSLOT;
  X(r + 2) = nslot;
  for (int k = 0; k < nslot; ++k) {
    const std::size_t from = static_cast<std::size_t>(k * jobbase::kLabLen);
    jobbase::LABTAB.put(LABSLOT + k, from < name.size() ? std::string_view(name).substr(from, jobbase::kLabLen)
                                                         : std::string_view());
  }
  LABSLOT += nslot;
  c.ICOL = len > 0 ? start + len - 1 : start;
}

}  // namespace qv::fit
