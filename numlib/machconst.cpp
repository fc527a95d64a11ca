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
  optkern::MCHSET();
  optkern::Mchtab& t = optkern::MCHTAB;
  t.largest = HUGENUM();
  t.rtlargest = std::sqrt(t.largest);
  int adv = 0;
  ADVUNIT(0, adv);
  t.advunit = adv;
}

}  // namespace qv::numlib
