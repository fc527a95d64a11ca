// The variable-length record likelihood (fit code 10): minus twice the
// log-likelihood of each record under the group's models, with definition
// values, a mixture of models, a power transform of the observations and a
// cache of each missingness pattern's inverse.
#pragma once

#include <vector>

#include "runtime/view1.hpp"

namespace qv::fit {

// Cells of the record likelihood.  CALLNO numbers its group evaluations
// (program lifetime; the pattern cache's entries carry the number of the
// evaluation that filled them).  The per-model results of the last record
// built (determinant, zero pivots, fault) and the members' positions are
// sized at the first evaluation of a run.
struct Vlcel {
  int CALLNO = 0;
  std::vector<int> POS;
  std::vector<double> DET;
  std::vector<int> NULLTY;
  std::vector<int> FAULT;
  void reset() { *this = Vlcel(); }
};
inline Vlcel VLCEL;

// Adds group g's value to FOBJ and stores it in the group's column 15.
void vl_fit(runtime::Vec1<double> X, runtime::Vec1<int> IX, int NG, int g, double& FOBJ);

// Words of one model's block of a record with J members.
int vl_block_words(int J, int T);

}  // namespace qv::fit
