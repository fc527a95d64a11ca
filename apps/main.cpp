// Entry of qvt and qvh.  The two programs differ only in whether the report
// starts in HTML mode.  Every stop of the run (STOP, a fatal script error,
// the library's hard failure) unwinds to here, and the program ends with the
// status it carries.
#include "jobctl/mainprog.hpp"
#include "runtime/stop.hpp"

int main() {
  qv::runtime::install_signal_handlers();
  const qv::runtime::StopSeam seam;
  try {
    qv::jobctl::MAINPROG(QV_HTML_DEFAULT != 0);
    qv::runtime::stop();
  } catch (const qv::runtime::RunStopped& stopped) {
    return stopped.status;
  }
}
