// A record's own covariance matrix and means (or standardised thresholds),
// taken from the model's through the members' identification codes.  Shared
// by the variable-length record likelihood and the ordinal record fit
// functions.
#pragma once

#include <span>

#include "runtime/view1.hpp"

namespace qv::fit {

using runtime::Vec1;

// Position (1-based) of the first code c in the identification list of p
// reals at ids, searched from position from; 0 when it is not there.
int id_position(Vec1<double> X, int ids, int p, double c, int from = 1);

// Builds the record's matrices in WORKSP from the model's.
//   ids     address of the p identification codes, one per row of the model
//   cov     model covariance, packed, order p
//   rcov    record covariance: flag 0 packed of order J; flag 1 the
//           correlations, packed strictly lower (J(J-1)/2 words), the unit
//           diagonal dropped
//   means   model means (flag 0: p words) or thresholds (flag 1: p x T,
//           column by column)
//   rmeans  record means (J words) or thresholds (J x T, column by column)
//   codes   address of the record's J member codes
//   rec     record number from 0 (for the messages)
//   T       thresholds per variable (flag 1)
//   stdz    0 copies means; 1 gives correlations and thresholds divided by
//           the model's standard deviation
// A member's row is the first position of its code; a member whose code is
// the same as the row member's takes the next position of that code.  A code
// missing from the list is error 105, a repeated code without a further
// position error 106 (both after their report lines).  pos: J ints of
// scratch, receiving the members' first positions.
void PEDIDS(Vec1<double> X, int ids, int cov, int rcov, int means, int rmeans, int J, int p, int codes, int rec,
            int T, int stdz, std::span<int> pos);

// The covariance part alone (flag 0, packed record covariance of order J),
// with the members' first positions already found (pos, from PEDIDS's
// search or member_positions).
void pedids_cov(Vec1<double> X, int ids, int cov, int rcov, int J, int p, int codes, int rec,
                std::span<const int> pos);

// The members' first positions (error 105 for a code not in the list).
void member_positions(Vec1<double> X, int ids, int p, int codes, int J, int rec, std::span<int> pos);

}  // namespace qv::fit
