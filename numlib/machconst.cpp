#include "numlib/machconst.hpp"

#include <cfloat>
#include <climits>
#include <cmath>

#include "numlib/errexit.hpp"

namespace qv::numlib {

double PICONST() { return 3.141592653589793; }
double EPSMACH() { return 0x1p-53; }
double SMALLN() { return DBL_MIN; }
double SAFEMIN() { return DBL_MIN; }
int MAXINTG() { return INT_MAX; }
int MBASE() { return 2; }
int MDIGITS() { return DBL_MANT_DIG; }
int MEMIN() { return DBL_MIN_EXP; }
int MEMAX() { return DBL_MAX_EXP; }
double MZERO() { return 0.0; }
double HUGENUM() { return DBL_MAX; }

void MCHCON() {
  if (!MCHTAB.filled) {
    MCHTAB(1) = MBASE();
    MCHTAB(2) = MDIGITS();
    MCHTAB(3) = EPSMACH();
    MCHTAB(4) = std::sqrt(MCHTAB(3));
    MCHTAB(5) = SAFEMIN();
    MCHTAB(6) = std::sqrt(MCHTAB(5));
    MCHTAB(7) = HUGENUM();
    MCHTAB(8) = std::sqrt(MCHTAB(7));
    MCHTAB(9) = 0.0;
    MCHTAB.filled = true;
  }
  MCHTAB(10) = 5.0;
  int adv = 0;
  ADVUNIT(0, adv);
  MCHTAB(11) = adv;
}

}  // namespace qv::numlib
