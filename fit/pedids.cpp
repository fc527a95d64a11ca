#include "fit/pedids.hpp"

#include <cmath>
#include <vector>

#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using runtime::kStdout;
using runtime::Out;
using runtime::packed_index;
using runtime::packed_index_sym;
using runtime::write_list;

namespace {

// An identification code as the messages quote it: a whole number at its
// value (in 64 bits, so that a ten-digit family code is not cut to an int),
// any other figure as a real.
Out code_out(double c) {
  if (c == std::trunc(c) && jobbase::in_whole_range(c)) return Out(static_cast<long long>(c));
  return Out(c);
}

// The report of a code missing from the list: the code, the list, the
// record.
[[noreturn]] void not_in_list(Vec1<double> X, int ids, int p, double c, int rec) {
  write_list(kStdout, {" ID first person =", code_out(c)});
  write_list(kStdout, {" I think that the permissible values for ID are:"});
  std::vector<Out> list;
  list.reserve(static_cast<std::size_t>(p));
  for (int i = 1; i <= p; ++i) list.push_back(code_out(X(ids + i - 1)));
  write_list(kStdout, std::span<const Out>(list));
  write_list(kStdout, {" Observation number:", rec + 1});
  jobbase::ERRMSG(105);
}

// Position of member k's column in row j's search: the member's own first
// position, or for a code equal to row j's the next position of that code.
int pair_position(Vec1<double> X, int ids, int p, int codes, int j, int k, int rec, std::span<const int> pos) {
  const double cj = X(codes + j);
  const double ck = X(codes + k);
  if (k == j) return pos[static_cast<std::size_t>(j)];
  if (ck != cj) return pos[static_cast<std::size_t>(k)];
  const int f = id_position(X, ids, p, ck, pos[static_cast<std::size_t>(j)] + 1);
  if (f == 0) {
    write_list(kStdout, {" ID first person  =", code_out(cj)});
    write_list(kStdout, {" ID second person =", code_out(ck)});
    write_list(kStdout, {" Observation number:", rec + 1});
    jobbase::ERRMSG(106);
  }
  return f;
}

}  // namespace

int id_position(Vec1<double> X, int ids, int p, double c, int from) {
  for (int i = from; i <= p; ++i)
    if (X(ids + i - 1) == c) return i;
  return 0;
}

void member_positions(Vec1<double> X, int ids, int p, int codes, int J, int rec, std::span<int> pos) {
  for (int j = 0; j < J; ++j) {
    const double c = X(codes + j);
    const int f = id_position(X, ids, p, c);
    if (f == 0) not_in_list(X, ids, p, c, rec);
    pos[static_cast<std::size_t>(j)] = f;
  }
}

void pedids_cov(Vec1<double> X, int ids, int cov, int rcov, int J, int p, int codes, int rec,
                std::span<const int> pos) {
  for (int j = 0; j < J; ++j) {
    const int fj = pos[static_cast<std::size_t>(j)];
    const double cj = X(codes + j);
    const int row = rcov + packed_index(j + 1, 1) - 1;
    for (int k = 0; k <= j; ++k) {
      // Members coded unlike row j's (the usual case) take their own first
      // position; the search is pair_position's.
      const int fk = k != j && X(codes + k) != cj ? pos[static_cast<std::size_t>(k)]
                                                  : pair_position(X, ids, p, codes, j, k, rec, pos);
      X(row + k) = X(cov + packed_index_sym(fj, fk) - 1);
    }
  }
}

void PEDIDS(Vec1<double> X, int ids, int cov, int rcov, int means, int rmeans, int J, int p, int codes, int rec,
            int T, int stdz, std::span<int> pos) {
  member_positions(X, ids, p, codes, J, rec, pos);
  if (stdz == 0) {
    for (int j = 0; j < J; ++j) X(rmeans + j) = X(means + pos[static_cast<std::size_t>(j)] - 1);
    pedids_cov(X, ids, cov, rcov, J, p, codes, rec, pos);
    return;
  }
  for (int j = 0; j < J; ++j) {
    const int f = pos[static_cast<std::size_t>(j)];
    const double sd = std::sqrt(X(cov + packed_index(f, f) - 1));
    for (int t = 1; t <= T; ++t) X(rmeans + j + (t - 1) * J) = X(means + f - 1 + (t - 1) * p) / sd;
  }
  // The packed covariance first; each off-diagonal element divided by the
  // product of the standard deviations (the diagonal is read, never
  // changed, in this pass); then the array closed up to its strict lower
  // triangle by rows ((j, k) moves down by j words, so no word is written
  // before it is read).
  pedids_cov(X, ids, cov, rcov, J, p, codes, rec, pos);
  for (int j = 2; j <= J; ++j) {
    const double rjj = X(rcov + packed_index(j, j) - 1);
    for (int k = 1; k < j; ++k)
      X(rcov + packed_index(j, k) - 1) /= std::sqrt(rjj * X(rcov + packed_index(k, k) - 1));
  }
  int out = rcov;
  for (int j = 2; j <= J; ++j)
    for (int k = 1; k < j; ++k) X(out++) = X(rcov + packed_index(j, k) - 1);
}

}  // namespace qv::fit
