#include "numlib/random.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "numlib/errexit.hpp"
#include "numlib/machconst.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"
#include "runtime/view1.hpp"

namespace qv::numlib {

using runtime::packed_index;
using runtime::packed_size;
using runtime::Vec1;

namespace {

// 13^13 and 13^(13*63) mod 2^60 as 15-bit limbs, least significant first.
constexpr std::array<std::uint32_t, 4> kMultA = {17917, 13895, 19930, 8};
constexpr std::array<std::uint32_t, 4> kMultA63 = {85, 3703, 6070, 6822};

// Entry i times the multiplier, modulo 2^60, in 32-bit arithmetic that wraps
// around (the seed's limbs are wider than 15 bits, so its first product does).
void limb_product(Rngsta& s, int from, int to, const std::array<std::uint32_t, 4>& m) {
  const auto a1 = static_cast<std::uint32_t>(s.x1[from]);
  const auto a2 = static_cast<std::uint32_t>(s.x2[from]);
  const auto a3 = static_cast<std::uint32_t>(s.x3[from]);
  const auto a4 = static_cast<std::uint32_t>(s.x4[from]);
  const std::uint32_t c1 = a1 * m[0];
  const std::uint32_t c2 = (c1 >> 15) + a2 * m[0] + a1 * m[1];
  const std::uint32_t c3 = (c2 >> 15) + a3 * m[0] + a2 * m[1] + a1 * m[2];
  const std::uint32_t c4 = (c3 >> 15) + a4 * m[0] + a3 * m[1] + a2 * m[2] + a1 * m[3];
  s.x1[to] = static_cast<int>(c1 & 0x7fffu);
  s.x2[to] = static_cast<int>(c2 & 0x7fffu);
  s.x3[to] = static_cast<int>(c3 & 0x7fffu);
  s.x4[to] = static_cast<int>(c4 & 0x7fffu);
}

std::string line(std::string_view fmt, std::initializer_list<runtime::Out> items) {
  return runtime::write_internal(fmt, items);
}

char first_char(std::string_view s) { return s.empty() ? ' ' : s.front(); }

// The records of a bad M1, M2 pair (M01DAF and M01EAF).
int bad_range(int& ifail, int m1, int m2, std::string_view name) {
  const std::string rec[] = {" ** On entry, one or more of the following parameter values is illegal",
                             line("('    M1 =',i16,'  M2 =',i16)", {m1, m2})};
  return ERREXIT(ifail, 1, name, rec);
}

}  // namespace

void RNGFILL(int first) {
  Rngsta& s = RNGSTA;
  if (first != 0 || s.fillfirst) {
    s.fillfirst = false;
    for (int i = 1; i <= 63; ++i) limb_product(s, i - 1, i, kMultA);
  } else {
    for (int i = 1; i <= 63; ++i) limb_product(s, i, i, kMultA63);
  }
  const double top = 1.0 - EPSMACH();
  for (int i = 1; i <= 63; ++i) {
    const double v = (s.x4[i] * 32768.0 + s.x3[i]) * 0x1p-30 + (s.x2[i] * 32768.0 + s.x1[i]) * 0x1p-60;
    s.u[i] = v < top ? v : top;
  }
  s.k = 0;
}

void RNGINIT(int& flag) {
  Rngsta& s = RNGSTA;
  if (s.seedfirst) {
    s.seedfirst = false;
    s.x1[0] = 246913578;
    s.x2[0] = 987654312;
    s.x3[0] = 0;
    s.x3[1] = 0;
    s.x3[2] = 0;
    s.x4[0] = 0;
    RNGFILL(1);
  }
  flag = 0;
}

double RNGNEXT() {
  Rngsta& s = RNGSTA;
  if (s.nextfirst != 0) RNGINIT(s.nextfirst);
  if (s.k > 62) RNGFILL(0);
  s.k += 1;
  return s.u[s.k];
}

double RNDUAB(double a, double b) {
  const double u = RNGNEXT();
  const double lo = std::min(a, b);
  const double hi = std::max(a, b);
  const double r = (1.0 - u) * lo + u * hi;
  return std::clamp(r, lo, hi);
}

void M01DAF(std::span<const double> rv_s, int m1, int m2, std::string_view order, std::span<int> irank_s,
            int& ifail) {
  constexpr const char* kName = "M01DAF";
  if (m2 < 1 || m1 < 1 || m1 > m2) {
    ifail = bad_range(ifail, m1, m2, kName);
    return;
  }
  const char o = first_char(order);
  if (o != 'A' && o != 'a' && o != 'D' && o != 'd') {
    const std::string rec[] = {line("(' ** On entry, ORDER has an illegal value: ORDER = ',a1)", {std::string(1, o)})};
    ifail = ERREXIT(ifail, 2, kName, rec);
    return;
  }
  const Vec1<const double> rv(rv_s);
  const Vec1<int> link(irank_s);  // the ranks' array serves as the list links
  if (m1 == m2) {
    link(m1) = m1;
    ifail = 0;
    return;
  }

  // Ascending runs as linked lists (0 ends a list); a run's tail is linked to
  // the head of the next run by a negative link once the run is complete.
  int first = m1;
  int prev_tail = 0;
  int head = m1, tail = m1, start = m1;
  link(m1) = 0;
  auto close_run = [&]() {
    if (prev_tail == 0) first = head;
    else link(prev_tail) = -head;
    prev_tail = tail;
  };
  for (int i = m1 + 1; i <= m2; ++i) {
    const double v = rv(i);
    if (v >= rv(tail)) {
      link(tail) = i;
      link(i) = 0;
      tail = i;
    } else if (v < rv(head)) {
      link(i) = head;
      head = i;
    } else if (i < start + 10) {
      int p = head;
      while (link(p) > 0 && rv(link(p)) <= v) p = link(p);
      link(i) = link(p);
      link(p) = i;
    } else {
      close_run();
      head = tail = start = i;
      link(i) = 0;
    }
  }
  close_run();

  // Cuts the run at head from the chain: returns the head of the next run.
  auto detach = [&](int h) {
    int p = h;
    while (link(p) > 0) p = link(p);
    const int next = -link(p);
    link(p) = 0;
    return next;
  };
  // Merges two lists, the first one's element first on equal values; returns
  // the head, the tail in t.
  auto merge = [&](int a, int b, int& t) {
    int h = 0;
    t = 0;
    auto append = [&](int p) {
      if (t == 0) h = p;
      else link(t) = p;
      t = p;
    };
    while (a != 0 && b != 0) {
      if (rv(b) < rv(a)) {
        const int nb = link(b);
        append(b);
        b = nb;
      } else {
        const int na = link(a);
        append(a);
        a = na;
      }
    }
    int rest = a != 0 ? a : b;
    while (rest != 0) {
      const int nr = link(rest);
      append(rest);
      rest = nr;
    }
    link(t) = 0;
    return h;
  };

  int nruns = 0;
  do {
    int a = first;
    nruns = 0;
    prev_tail = 0;
    while (a != 0) {
      const int b = detach(a);
      const int next = b != 0 ? detach(b) : 0;
      int t = 0;
      int h = a;
      if (b != 0) {
        h = merge(a, b, t);
      } else {
        t = a;
        while (link(t) > 0) t = link(t);
      }
      if (prev_tail == 0) first = h;
      else link(prev_tail) = -h;
      prev_tail = t;
      ++nruns;
      a = next;
    }
  } while (nruns > 1);

  if (o == 'D' || o == 'd') {
    // Reverse the order of the groups of equal values; each group keeps its order.
    int rev = 0;
    int p = first;
    while (p != 0) {
      const int g = p;
      int q = p;
      while (link(q) != 0 && rv(link(q)) == rv(g)) q = link(q);
      const int next = link(q);
      link(q) = rev;
      rev = g;
      p = next;
    }
    first = rev;
  }

  // Ranks along the list, overwriting the links behind the walk.
  int rank = m1;
  for (int p = first; p != 0;) {
    const int next = link(p);
    link(p) = rank++;
    p = next;
  }
  ifail = 0;
}

void M01EAF(std::span<double> rv_s, int m1, int m2, std::span<int> irank_s, int& ifail) {
  constexpr const char* kName = "M01EAF";
  if (m2 < 1 || m1 < 1 || m1 > m2) {
    ifail = bad_range(ifail, m1, m2, kName);
    return;
  }
  const Vec1<double> rv(rv_s);
  const Vec1<int> irank(irank_s);
  const char* kNotPerm = " ** IRANK(M1:M2) does not contain a permutation of the integers M1 to M2";
  for (int i = m1; i <= m2; ++i) {
    if (irank(i) < m1 || irank(i) > m2) {
      const std::string rec[] = {kNotPerm,
                                 line("('    IRANK(',i6,') contains an out-of-range value',i16)", {i, irank(i)})};
      ifail = ERREXIT(ifail, 2, kName, rec);
      return;
    }
  }
  // Entries not yet placed carry a negative rank.
  for (int i = m1; i <= m2; ++i) irank(i) = -irank(i);
  for (int i = m1; i <= m2; ++i) {
    if (irank(i) > 0) continue;
    irank(i) = -irank(i);
    double carry = rv(i);
    int k = irank(i);
    while (k != i) {
      if (irank(k) > 0) {
        // The cycle runs into a placed entry: rank k was given twice.
        for (int j = m1; j <= m2; ++j) irank(j) = irank(j) < 0 ? -irank(j) : irank(j);
        const std::string rec[] = {kNotPerm, line("('    IRANK contains a repeated value',i16)", {k})};
        ifail = ERREXIT(ifail, 3, kName, rec);
        return;
      }
      std::swap(carry, rv(k));
      irank(k) = -irank(k);
      k = irank(k);
    }
    rv(i) = carry;
  }
  ifail = 0;
}

void G02BTF(std::string_view mean, int m, double wt, std::span<const double> x_s, int incx, double& sw,
            std::span<double> xbar_s, std::span<double> ssp_s, int& ifail) {
  constexpr const char* kName = "G02BTF";
  const int ifail_in = ifail;
  auto fail = [&](int err, const std::string& rec) {
    const std::string recs[] = {rec};
    ifail = ERREXIT(ifail_in, err, kName, recs);
  };
  if (incx < 1) return fail(1, line("(' ** On entry, INCX.lt.1 : INCX = ',i16)", {incx}));
  if (m < 1) return fail(1, line("(' ** On entry, M.lt.1 : M = ',i16)", {m}));
  if (sw < 0.0) return fail(2, line("(' ** On entry, SW.lt.0.0 : SW = ',d13.5)", {sw}));
  if (sw + wt < 0.0) return fail(3, line("(' ** On entry, (SW+WT).lt.0.0 : (SW+WT) = ',d13.5)", {sw + wt}));
  ifail = 0;
  if (wt == 0.0) return;

  const char c = first_char(mean);
  const bool about_mean = c == 'M' || c == 'm';
  if (!about_mean && c != 'Z' && c != 'z')
    return fail(4, line("(' ** On entry, MEAN is not valid : MEAN = ',a1)", {std::string(1, c)}));

  const Vec1<double> xbar(xbar_s), ssp(ssp_s);
  auto x = [&](int i) { return x_s[static_cast<std::size_t>((i - 1) * incx)]; };
  auto clear = [&]() {
    for (int i = 1; i <= m; ++i) xbar(i) = 0.0;
    for (int i = 1; i <= packed_size(m); ++i) ssp(i) = 0.0;
  };

  if (sw == 0.0) {
    sw = wt;
    for (int i = 1; i <= m; ++i) xbar(i) = x(i);
    for (int j = 1; j <= m; ++j)
      for (int i = 1; i <= j; ++i) ssp(packed_index(j, i)) = about_mean ? 0.0 : x(i) * wt * x(j);
    return;
  }
  const double s = sw + wt;
  if (s == 0.0) {
    // The observation takes away all the weight there was: nothing is left.
    sw = 0.0;
    clear();
    return;
  }
  const double r = wt / s;
  if (about_mean) {
    const double q = r * sw;
    for (int j = 1; j <= m; ++j)
      for (int i = 1; i <= j; ++i) ssp(packed_index(j, i)) += q * (x(i) - xbar(i)) * (x(j) - xbar(j));
  } else {
    for (int j = 1; j <= m; ++j)
      for (int i = 1; i <= j; ++i) ssp(packed_index(j, i)) += x(i) * wt * x(j);
  }
  sw = s;
  for (int i = 1; i <= m; ++i) xbar(i) += r * (x(i) - xbar(i));
}

}  // namespace qv::numlib
