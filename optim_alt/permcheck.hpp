// The test that an integer vector holds a permutation.
#pragma once

#include <span>

namespace qv::optim_alt {

// Checks that IPERM(M1..M2) is a permutation of M1..M2 (IPERM indexed from 1).
// Errors, reported through the library's error exit: 1 for M1 < 1, M2 < 1 or
// M2 < M1; 2 for a value outside M1..M2; 3 for a duplicate value.  IPERM is
// left as it came in every case.
void M01ZBF(std::span<int> iperm, int m1, int m2, int& ifail);

}  // namespace qv::optim_alt
