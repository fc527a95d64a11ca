// Optimizer options file reader (options word NP).
#include "jobctl/rdnpop.hpp"

#include <string>

#include "jobbase/errmsg.hpp"
#include "jobbase/rdline.hpp"
#include "optim/options.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kOptionsUnit;

namespace {
constexpr std::size_t kBufferLength = 120;
}  // namespace

void RDNPOP(std::string_view NAME) {
  const std::string name(runtime::trim_right(NAME));
  if (!runtime::file_exists(name)) {
    runtime::fassign(INCSTK.FILNAM, NAME);
    ERRMSG(169);
  }
  runtime::OpenSpec spec;
  spec.file = name;
  spec.status = "OLD";
  if (runtime::open_unit(kOptionsUnit, spec, runtime::OnErr::Return) != runtime::IoStat::Ok) {
    // Present but not readable: reported like a missing file.
    runtime::fassign(INCSTK.FILNAM, NAME);
    ERRMSG(169);
  }
  runtime::write_list(runtime::kStdout, {" NLSQP options read:"});
  std::string record;
  // A read error ends the file like its end.
  while (runtime::read_record(kOptionsUnit, record, runtime::OnErr::Return) == runtime::IoStat::Ok) {
    const std::string buffer = runtime::fpad(record, kBufferLength);
    // List-directed: a blank, then the whole 120-character buffer.
    runtime::write_list(runtime::kStdout, {" " + buffer});
    optim::NPOPLN(buffer);
  }
  runtime::close_unit(kOptionsUnit);
}

}  // namespace qv::jobctl
