// Entry of qvrun: starts qvt or qvh through the shell, or relays a front
// end's script in remote mode.
#include <string_view>
#include <vector>

#include "launcher/launcher.hpp"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return qv::launcher::qvrun(args);
}
