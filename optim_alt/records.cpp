#include "optim_alt/records.hpp"

#include <span>
#include <string>
#include <vector>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "optkern/machine.hpp"
#include "runtime/format.hpp"

namespace qv::optim_alt {

int advisory_unit() {
  numlib::MCHCON();
  return static_cast<int>(optkern::MCHTAB.advunit);
}

void put_records(int unit, std::string_view fmt, std::initializer_list<runtime::Out> items) {
  const std::vector<std::string> recs =
      runtime::format_records(fmt, std::span<const runtime::Out>(items.begin(), items.size()));
  numlib::WRTRECS(unit, static_cast<int>(recs.size()), recs);
}

}  // namespace qv::optim_alt
