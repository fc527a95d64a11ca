#include "numlib/matprint.hpp"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "numlib/errexit.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/format.hpp"
#include "runtime/units.hpp"

namespace qv::numlib {

namespace {

using runtime::Out;
using Recs = std::vector<std::string>;

char up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Text without leading and trailing blanks; a blank text is one blank.
std::string trimmed(std::string_view s) {
  int f = 0, l = 0;
  TXTSPAN(s, f, l);
  if (f == 0) return " ";
  return std::string(s.substr(static_cast<std::size_t>(f - 1), static_cast<std::size_t>(l - f + 1)));
}

std::string i16(long long v) { return runtime::write_internal("(I16)", {v}); }

// Writes items with a record format into a scratch record; false when the
// format cannot be used or the text does not fit in `room` characters of one record.
bool scratch_write(const std::string& fmt, std::span<const Out> items, std::size_t room, std::string& out) {
  try {
    out = runtime::write_internal(fmt, items);
  } catch (const std::exception&) {
    return false;
  }
  return out.find('\n') == std::string::npos && out.size() <= room;
}

template <class T>
struct Printer {
  bool real;  // X04CBF (true) or X04EBF
  const char* name;
  char matrix, diag;
  int m, n;
  std::span<const T> a;
  int lda;
  std::string_view format, title;
  char labrow;
  std::span<const std::string> rlabs;
  char labcol;
  std::span<const std::string> clabs;
  int ncols, indent;

  T elem(int i, int j) const { return a[static_cast<std::size_t>((j - 1) * lda + (i - 1))]; }

  // Is element (i, j) printed (diagonal excluded from the triangles unless DIAG is N)?
  template <class F>
  void scan(F&& see) const {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i) {
        bool printed;
        if (matrix == 'G') printed = true;
        else if (i == j) printed = diag == 'N';
        else printed = matrix == 'L' ? i > j : i < j;
        if (printed) see(elem(i, j));
      }
  }

  std::string auto_format() const {
    if (real) {
      double amax = 1.0, amin = 1.0;
      scan([&](double v) {
        const double av = std::fabs(static_cast<double>(v));
        if (av > amax) amax = av;
        if (av != 0.0 && av < amin) amin = av;
      });
      if (amin >= 0.001 && amax < 9999.99991) return amax <= 1.0 ? "F8.4" : "F11.4";
      return "1PE13.4";
    }
    long long imax = 0, imin = 0;
    scan([&](T v) {
      const long long iv = static_cast<long long>(v);
      if (iv > imax) imax = iv;
      if (iv < imin) imin = iv;
    });
    const std::size_t wmax = trimmed(runtime::write_internal("(I40)", {imax})).size();
    const std::size_t wmin = trimmed(runtime::write_internal("(I40)", {imin})).size();
    const int w = static_cast<int>(std::max(wmax, wmin)) + 1;
    return "I" + runtime::write_internal("(I2)", {w});
  }

  Out value(T v) const { return real ? Out(static_cast<double>(v)) : Out(static_cast<int>(v)); }
  Out unit_value() const { return real ? Out(1.0) : Out(1); }

  int run(int ifail_in) {
    const int W = (ncols >= 1 && ncols <= 132) ? ncols : 80;
    const int I = (indent >= 0 && indent < W) ? indent : 0;
    const int V = W - I;
    matrix = up(matrix);
    labrow = up(labrow);
    labcol = up(labcol);
    const char diag_in = diag;
    diag = up(diag);
    auto fail = [&](int err, Recs recs) { return ERREXIT(ifail_in, err, name, recs); };
    if (matrix != 'G' && matrix != 'L' && matrix != 'U')
      return fail(1, {std::string(" ** On entry, MATRIX is not valid : MATRIX = '") + matrix_in + "'"});
    auto lab_ok = [](char c) { return c == 'N' || c == 'I' || c == 'C'; };
    if (!lab_ok(labrow) || !lab_ok(labcol))
      return fail(6, {std::string(" ** On entry, either LABROW or LABCOL is not valid") + (real ? " :" : ""),
                      std::string("    LABROW = '") + labrow_in + "', LABCOL = '" + labcol_in + "'."});
    if (m > lda) return fail(3, {" ** On entry, M.gt.LDA: M = " + i16(m) + ", LDA = " + i16(lda)});
    if (matrix != 'G' && diag != 'B' && diag != 'N' && diag != 'U')
      return fail(2, {std::string(" ** On entry, MATRIX = '") + matrix_in + "', but DIAG is not valid : DIAG = '" +
                      diag_in + "'"});
    // Element format.
    int f1 = 0, f2 = 0;
    TXTSPAN(format, f1, f2);
    std::string F;
    if (real && f1 != 0 && f1 == f2 && format[static_cast<std::size_t>(f1 - 1)] == '*') {
      // Full precision for 56 binary digits and exponents up to 127: 1P,E24.16.
      const int d = 17, e = 4;
      F = "1P,E" + runtime::write_internal("(I3)", {d + e + 3}) + "." + runtime::write_internal("(I3)", {d - 1});
    } else if (f1 == 0) {
      F = auto_format();
    } else {
      F = std::string(format.substr(static_cast<std::size_t>(f1 - 1), static_cast<std::size_t>(f2 - f1 + 1)));
      if (F.size() > 80)
        return fail(4, {" ** On entry, FORMAT has more than 80 characters: the first 75 are",
                        "    " + F.substr(0, 75)});
    }
    const std::string recfmt = real ? "(999(:," + F + "))" : "(999(" + F + "))";
    // Column width: the growth of the record from one value to two.
    int P = 0;
    {
      const Out one[] = {value(T{})};
      const Out two[] = {value(T{}), value(T{})};
      std::string s1, s2;
      bool ok = scratch_write(recfmt, one, 133, s1) && scratch_write(recfmt, two, 266, s2);
      if (ok) P = static_cast<int>(runtime::len_trim(s2)) - static_cast<int>(runtime::len_trim(s1));
      if (!ok || P <= 0)
        return fail(5, {" ** The format specifier in FORMAT cannot be used to print a number: FORMAT =",
                        "    " + std::string(format.substr(0, 75))});
    }
    col_width_for_labels = P;
    // Row labels.
    int R = 1;
    std::string rowfmt;
    if (labrow == 'I') {
      R = static_cast<int>(trimmed(runtime::write_internal("(I16)", {m})).size()) + 1;
      rowfmt = "(I" + runtime::write_internal("(I4)", {R}) + ")";
    } else if (labrow == 'C') {
      std::size_t longest = 0;
      for (int i = 1; i <= m; ++i) longest = std::max(longest, trimmed(row_label(i)).size());
      R = std::max(1, static_cast<int>(longest) + 1);
    }
    const std::string colfmt = "(999I" + runtime::write_internal("(I4)", {P}) + ")";
    const int K = (V - R - 1) / P;
    if (K <= 0)
      return fail(7, {" ** On entry, NCOLS-INDENT is not wide enough to hold at least one matrix",
                      "    column: NCOLS = " + i16(W) + ", INDENT = " + i16(I)});
    int unit = 0;
    ADVUNIT(0, unit);
    // Title.
    const int L = static_cast<int>(runtime::len_trim(title));
    if (L > 0) {
      const int chunk = V - 1;
      for (int j = 0; j * chunk < L; ++j) {
        const int len = std::min(chunk, L - j * chunk);
        WRTREC(unit, std::string(static_cast<std::size_t>(I + 1), ' ') +
                         std::string(title.substr(static_cast<std::size_t>(j * chunk), static_cast<std::size_t>(len))));
      }
    }
    if (m > 0 && n > 0) {
      const int blocks = (n - 1) / K + 1;
      std::vector<Out> items;
      for (int b = 1; b <= blocks; ++b) {
        const int first = (b - 1) * K + 1, last = std::min(b * K, n);
        if (labcol == 'I') {
          std::vector<Out> nums;
          for (int j = first; j <= last; ++j) nums.emplace_back(j);
          WRTREC(unit, std::string(static_cast<std::size_t>(I + R + 1), ' ') + safe_write(colfmt, nums));
        } else if (labcol == 'C') {
          std::string rec(static_cast<std::size_t>(I + R + 1 + (last - first + 1) * P), ' ');
          for (int j = first; j <= last; ++j) {
            const std::string lab = trimmed(col_label(j));
            const std::size_t end = static_cast<std::size_t>(I + R + 1 + (j - first + 1) * P);
            rec.replace(end - lab.size(), lab.size(), lab);
          }
          WRTREC(unit, rec);
        }
        for (int i = 1; i <= m; ++i) {
          std::string rec(static_cast<std::size_t>(I), ' ');
          if (labrow == 'I') {
            rec += safe_write(rowfmt, std::vector<Out>{Out(i)});
          } else if (labrow == 'C') {
            const std::string lab = trimmed(row_label(i));
            rec += std::string(static_cast<std::size_t>(R) - lab.size(), ' ') + lab;
          } else {
            rec += std::string(static_cast<std::size_t>(R), ' ');
          }
          rec += ' ';
          items.clear();
          int start = first;  // column whose field the written items begin in
          const bool diag_here = matrix != 'G' && diag != 'B' && i >= first && i <= last;
          const Out dval = !diag_here ? Out(0) : diag == 'U' ? unit_value() : value(elem(i, i));
          if (matrix == 'G') {
            for (int j = first; j <= last; ++j) items.push_back(value(elem(i, j)));
          } else if (matrix == 'L') {
            for (int j = first; j <= std::min(last, i - 1); ++j) items.push_back(value(elem(i, j)));
            if (diag_here) items.push_back(dval);
          } else {
            start = diag_here ? i : std::max(i + 1, first);
            if (diag_here) items.push_back(dval);
            for (int j = std::max(i + 1, first); j <= last; ++j) items.push_back(value(elem(i, j)));
          }
          if (!items.empty()) {
            rec += std::string(static_cast<std::size_t>((start - first) * P), ' ');
            const std::string body = safe_write(recfmt, items);
            // A format with record breaks of its own gives further records.
            std::size_t pos = 0, nl;
            while ((nl = body.find('\n', pos)) != std::string::npos) {
              WRTREC(unit, rec + body.substr(pos, nl - pos));
              rec.clear();
              pos = nl + 1;
            }
            rec += body.substr(pos);
          }
          WRTREC(unit, rec);
        }
        if (b < blocks) WRTREC(unit, " ");
      }
    }
    return 0;
  }

  // The original characters, for the messages.
  char matrix_in, labrow_in, labcol_in;

  std::string_view row_label(int i) const {
    if (i < 1 || i > static_cast<int>(rlabs.size())) return {};
    return rlabs[static_cast<std::size_t>(i - 1)];
  }
  std::string_view col_label(int j) const {
    if (j < 1 || j > static_cast<int>(clabs.size())) return {};
    std::string_view s = clabs[static_cast<std::size_t>(j - 1)];
    return s.substr(0, std::min(s.size(), static_cast<std::size_t>(col_width_for_labels)));
  }
  int col_width_for_labels = 0;

  // Writes of the matrix itself: their failures are ignored (the format has
  // been tried already).
  static std::string safe_write(const std::string& fmt, const std::vector<Out>& items) {
    try {
      return runtime::write_internal(fmt, std::span<const Out>(items.data(), items.size()));
    } catch (const std::exception&) {
      return {};
    }
  }
};

}  // namespace

void X04CBF(char matrix, char diag, int m, int n, std::span<const double> a, int lda, std::string_view format,
            std::string_view title, char labrow, std::span<const std::string> rlabs, char labcol,
            std::span<const std::string> clabs, int ncols, int indent, int& ifail) {
  Printer<double> p{true, "X04CBF", matrix, diag, m, n, a, lda, format, title, labrow, rlabs, labcol, clabs,
                    ncols, indent, matrix, labrow, labcol};
  ifail = p.run(ifail);
}

void X04EBF(char matrix, char diag, int m, int n, std::span<const int> a, int lda, std::string_view format,
            std::string_view title, char labrow, std::span<const std::string> rlabs, char labcol,
            std::span<const std::string> clabs, int ncols, int indent, int& ifail) {
  Printer<int> p{false, "X04EBF", matrix, diag, m, n, a, lda, format, title, labrow, rlabs, labcol, clabs,
                 ncols, indent, matrix, labrow, labcol};
  ifail = p.run(ifail);
}

int DIGVAL(std::string_view text, int length) {
  std::int64_t v = 0;
  for (int i = 0; i < length && i < static_cast<int>(text.size()); ++i) {
    const char c = text[static_cast<std::size_t>(i)];
    int d;
    if (c == ' ') d = 0;
    else if (c >= '0' && c <= '9') d = c - '0';
    else return 0;
    v = v * 10 + d;
    if (v > 2147483647) return 0;
  }
  return static_cast<int>(v);
}

}  // namespace qv::numlib
