// Hand-over point between the line reader and the front-end commands.
#pragma once

namespace qv::jobctl {

// What the reader does with a "!@" line after the front-end command handler
// has seen it.
enum class MetaAct {
  Consumed,  // answered here: the reader fetches the next line
  PassOn,    // passed to the caller as an ordinary line (meta flag set)
  Refused,   // the line is emptied and the reader acts as at the end of the current file
};

// Called by RDLINE for every line beginning "!@"; the first 32 characters of
// LINBUF.WORK are already upper-cased.
MetaAct FEMETA();

}  // namespace qv::jobctl
