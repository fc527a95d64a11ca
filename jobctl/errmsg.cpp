#include "jobctl/errmsg.hpp"
#include "runtime/stop.hpp"
namespace qv::jobctl {
bool ERRNFT(int CODE) { return CODE == 22 || CODE == 55 || CODE == 138 || CODE == 179 || CODE == 218 || CODE == 221; }
std::vector<std::string> ERRTXT(int) { return {}; }
bool ERRGRP(int) { return true; }
void ERRMSG(int CODE) { if (!ERRNFT(CODE)) runtime::stop(911); }
}  // namespace qv::jobctl
