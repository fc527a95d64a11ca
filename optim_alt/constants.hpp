// The edition's relative machine precision and the powers derived from it.
//
// The edition works with a precision of its own, 2^-56, because it prints
// that value and the defaults derived from it; the numerical library's
// routines that it calls keep the library's IEEE value.
#pragma once

namespace qv::optim_alt {

inline constexpr double kEps = 0x1p-56;  // 2^-56

}  // namespace qv::optim_alt
