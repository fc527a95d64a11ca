#include "jobbase/areas.hpp"

#include "jobbase/fitopt.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/errexit.hpp"
#include "numlib/minim1d.hpp"
#include "numlib/random.hpp"
#include "optkern/chcore.hpp"
#include "optkern/machine.hpp"
#include "jobbase/htmlrep.hpp"

namespace qv::jobbase {

void reset_base_areas() {
  optkern::MCHTAB.reset();
  optkern::MCENVS.reset();
  optkern::CHCSTA.reset();
  numlib::LIBUNITS.reset();
  numlib::MINSTA.reset();
  numlib::RNGSTA.reset();
  HTMLST.reset();
  MAINPR.reset();
  FESTAT.reset();
  DATFLG.reset();
  FITOPT.reset();
  WORKSP.reset();
  IWORKS.reset();
  LABTAB.reset();
  FITSTA.reset();
  LINBUF.reset();
  CURSOR.reset();
  INCSTK.reset();
  RDHOOK.reset();
  LASTEL.reset();
  NAMVAR.reset();
  MOMSTA.reset();
}

}  // namespace qv::jobbase
