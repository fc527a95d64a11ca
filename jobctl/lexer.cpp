#include "jobctl/lexer.hpp"
namespace qv::jobctl {
void NEXTWD() {}
void SKIPDL() {}
void SKIPEQ() {}
void RDWORD(std::string& W, int) { W = std::string(32, ' '); }
void RDNUM() {}
void RDVAL() {}
void RDELEM(runtime::Vec1<double>, int, int, int& IDX, int) { IDX = 0; }
int ELADDR(runtime::Vec1<double>, int, int, int&, int&, int, int&, int&, int&) { return 0; }
int LETIDX(char, int& FLAG) { FLAG = 1; return 0; }
int NWORDS(std::string_view) { return 0; }
void FINDCH(char, int) {}
void SKIPNUM() {}
int DIGIDX(char, int& FLAG) { FLAG = 1; return 0; }
void SHIFTL(std::string&, int, int, int) {}
}  // namespace qv::jobctl
