#include "algebra/areas.hpp"

#include "algebra/eignorm.hpp"
#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "algebra/mvnadp.hpp"
#include "algebra/mvncond.hpp"
#include "algebra/mvnlattice.hpp"
#include "algebra/mvnmc.hpp"
#include "algebra/mvnsetup.hpp"
#include "algebra/mvnsph.hpp"
#include "algebra/norint.hpp"
#include "algebra/pkmat.hpp"
#include "jobbase/areas.hpp"

namespace qv::algebra {

void reset_areas() {
  jobbase::reset_base_areas();
  NRMFUN.reset();
  FMFLAG.reset();
  FMSTAK.reset();
  FTKSTA.reset();
  ADPSTA.reset();
  MVNCND.reset();
  LATSTA.reset();
  URNSTA.reset();
  MCRSTA.reset();
  MVNSTA.reset();
  SPHSTA.reset();
  NORSTA.reset();
  PKSTA.reset();
}

}  // namespace qv::algebra
