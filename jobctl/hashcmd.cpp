#include "jobctl/hashcmd.hpp"
namespace qv::jobctl {
void HASHCMD(runtime::Vec1<double>, int&) {}
void NAMLUK(const std::string&, double& value, int& found) { value = 0; found = 0; }
}  // namespace qv::jobctl
