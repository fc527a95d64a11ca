// Entry of qvt and qvh.  The two programs differ only in whether the report
// starts in HTML mode.
#include "jobctl/mainprog.hpp"
#include "runtime/stop.hpp"

int main() {
  qv::runtime::install_signal_handlers();
  qv::jobctl::MAINPROG(QV_HTML_DEFAULT != 0);
  qv::runtime::stop();
}
