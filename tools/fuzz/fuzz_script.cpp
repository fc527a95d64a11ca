// In-process fuzzing entry: each call runs one whole script through the main
// program, as qvt would, and every area is reset before the next call.  A
// stop of the run (a script error, STOP) unwinds back here through the stop
// seam.  The report goes to /dev/null; crashes, sanitizer reports and hangs
// are what the fuzzer looks for.
//
// Built with clang's libFuzzer (see README.md); run it in a scratch
// directory, since scripts may write files (PUT, SAVE, output requests).
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "jobctl/mainprog.hpp"
#include "support/script_unit.hpp"

namespace {

using qv::testing_support::kScriptUnit;

std::string script_path() { return "qv_fuzz_script_" + std::to_string(::getpid()) + ".qv"; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const int devnull = ::open("/dev/null", O_WRONLY);
  if (devnull >= 0) ::dup2(devnull, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv;
  const std::string path = script_path();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  jobctl::run_script_file(path, kScriptUnit, false);
  return 0;
}
