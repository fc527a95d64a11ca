// The variable-length record likelihood (fit code 10): minus twice the
// log-likelihood of each record under the group's models, with definition
// values, a mixture of models, a power transform of the observations and a
// cache of each missingness pattern's inverse.
#pragma once

#include <vector>

#include "runtime/view1.hpp"

namespace qv::fit {

// What the inversion of a record's covariance gave (determinant, zero
// pivots, fault, K = sqrt(det) (2 pi)^(J/2), ln 1/K).
struct VlInversion {
  double det = 0.0;
  int nullity = 0;
  int fault = 0;
  double K = 0.0;
  double lnc = 0.0;
};

// Cells of the record likelihood.  CALLNO numbers its group evaluations
// (program lifetime; the pattern cache's entries carry the number of the
// evaluation that filled them).  Sized at the first evaluation of a run (and
// grown if a record needs more): the members' positions of the last record
// built, each model's inversion of it, and per number of members J the
// record's scale S = (10^(J/5) + 1) 1e10, ln S and (2 pi)^(J/2).
struct Vlcel {
  int CALLNO = 0;
  std::vector<int> POS;
  std::vector<VlInversion> INV;
  std::vector<double> SCALE;
  std::vector<double> LNSCALE;
  std::vector<double> C2PI;
  void size(int J, int nmodel, double pi);
  void reset() { *this = Vlcel(); }
};
inline Vlcel VLCEL;

// Adds group g's value to FOBJ and stores it in the group's column 15.
void vl_fit(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, double& FOBJ);

// Words of one model's block of a record with J members.
int vl_block_words(int J, int T);

}  // namespace qv::fit
