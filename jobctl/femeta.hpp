// The front-end line protocol: the "!@" commands that the line reader serves
// itself (PING, FRONT, NOAUTODUMP, DUMP, PUT, GET, EXIST, BYE!), the framing
// tokens of machine-readable output, the small file transfer service GETPUT,
// and the "!@SAVE" / "!@DUMP" commands of the main program's statement reader.
#pragma once

#include <string_view>

#include "jobbase/ferecs.hpp"
#include "jobbase/rdline.hpp"

namespace qv::jobctl {

// The token table and its pieces (the base's, which the shared records
// write too).
using jobbase::FETOKS;
using jobbase::TOKDBG;
using jobbase::TOKERR;
using jobbase::TOKHUM;
using jobbase::TOKMAC;
using jobbase::TOKPNG;
using jobbase::TOKRDY;
using jobbase::TOKSEP;

// The handler of "!@" lines that RDLINE calls once it is registered
// (set_meta_handler): serves the front-end commands.
jobbase::MetaAct FEMETA();

// Mode switch of the output: 'M' writes "!@machine;", 'H' "!@human;",
// 'D' " !@debug"; any other letter writes nothing.
void FEMODE(char L);

// PUT, PUT!, GET or EXIST of the current "!@" line (WORD is the command word,
// five characters, blank-padded).  The file name follows the word on the same
// line.  PUT collects the lines that follow from the file being read (the
// script or the include file holding the command) up to a line beginning
// "!@END".
void GETPUT(std::string_view WORD);

// "!@SAVE name" where a model statement is expected: before the job's last
// End statement it is error 179 (non-fatal, returns); otherwise the model is
// written to the binary save file named on the line and MAINPR.SAVED is set.
// The caller reads the next line.
void FESAVE();

// "!@DUMP" passed on by the reader (a whole script has been read): with
// machine output wanted for the job, the front-end job description.
void FEDUMP();

}  // namespace qv::jobctl
