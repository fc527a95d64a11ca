// Uniform random numbers, ranking and rearranging of real vectors, and the
// one-observation update of weighted means and cross-products.
//
// The generator is the multiplicative congruential generator
// x(n+1) = 13^13 x(n) mod 2^60, the 60-bit integers held as four 15-bit limbs,
// and 63 deviates buffered at a time.  It is seeded once per run, at the first
// deviate, always with the same seed, so every run draws the same stream.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace qv::numlib {

// Generator state.
struct Rngsta {
  // Entry i (0..63) is x1(i) + x2(i) 2^15 + x3(i) 2^30 + x4(i) 2^45.
  std::array<int, 64> x1{}, x2{}, x3{}, x4{};
  std::array<double, 64> u{};  // u(1..63): the buffered deviates
  int k = 0;                   // deviates of the buffer already used
  bool seedfirst = true;       // RNGINIT has not seeded yet
  bool fillfirst = true;       // RNGFILL has not filled yet
  int nextfirst = 1;           // RNGNEXT has not initialised yet (RNGINIT clears it)
  void reset() { *this = Rngsta{}; }
};
inline Rngsta RNGSTA;

// The next uniform deviate in [0, 1 - EPSMACH].
double RNGNEXT();
// A uniform deviate between a and b, given in either order.
double RNDUAB(double a, double b);
// Seeds the generator (first call only) and fills the buffer; sets flag to 0.
void RNGINIT(int& flag);
// Refills the buffer; first non-zero (or the first call ever) selects the first fill.
void RNGFILL(int first);

// Ranks rv(m1..m2) in ascending ("A"/"a") or descending ("D"/"d") order:
// irank(i) gets the rank of rv(i), ranks running m1..m2; equal values keep
// their index order in both orders.  rv and irank are indexed from 1.
// Errors: 1 bad m1, m2; 2 bad order.
void M01DAF(std::span<const double> rv, int m1, int m2, std::string_view order, std::span<int> irank,
            int& ifail);
// Moves the old rv(i) to position irank(i), i = m1..m2.  Errors: 1 bad m1, m2;
// 2 a rank outside m1..m2; 3 a repeated rank (rv may be partly rearranged;
// irank is left as given).
void M01EAF(std::span<double> rv, int m1, int m2, std::span<int> irank, int& ifail);

// Adds observation x (m values at stride incx) with weight wt to the running
// weighted means xbar(m) and sums of squares and cross-products ssp (upper
// triangle packed by columns), sw being the running sum of weights.  mean "M"
// keeps sums about the mean, "Z" about zero.  Errors: 1 incx or m below 1;
// 2 sw < 0; 3 sw + wt < 0; 4 bad mean.
void G02BTF(std::string_view mean, int m, double wt, std::span<const double> x, int incx, double& sw,
            std::span<double> xbar, std::span<double> ssp, int& ifail);

}  // namespace qv::numlib
