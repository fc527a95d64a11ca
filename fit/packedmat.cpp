#include "fit/packedmat.hpp"

#include <algorithm>
#include <span>

#include "jobbase/workspace.hpp"
#include "numlib/eigen_sym.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

void write_lower_triangle(int unit, runtime::Vec1<double> X, int a, int n) {
  for (int i = 1; i <= n; ++i)
    runtime::write_fmt(unit, "(6(1x,d12.4))",
                       {runtime::Out(std::span<const double>(X.ptr(a + runtime::packed_offset(i, 1)),
                                                             static_cast<std::size_t>(i)))});
}

double smallest_eigenvalue(runtime::Vec1<double> X, int a, int n, int top) {
  jobbase::check_room(static_cast<long long>(top) + static_cast<long long>(n) * n + 2LL * n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) X(top + (j - 1) * n + i - 1) = X(a + runtime::packed_offset_sym(i, j));
  const auto un = static_cast<std::size_t>(n);
  std::span<double> full(X.ptr(top), un * un);
  std::span<double> r(X.ptr(top) + un * un, un);
  std::span<double> e(X.ptr(top) + un * un + un, un);
  int ifail = 1;  // soft failure: the values as far as they came
  numlib::F02AAF(full, n, n, r, e, ifail);
  double lmin = r[0];
  for (double v : r) lmin = std::min(lmin, v);
  return lmin;
}

}  // namespace qv::fit
