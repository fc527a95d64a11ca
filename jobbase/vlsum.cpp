#include "jobbase/vlsum.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "numlib/matprint.hpp"
#include "numlib/random.hpp"
#include "runtime/units.hpp"

namespace qv::jobbase {

namespace {

using runtime::kStdout;
using runtime::write_list;

// A count as a message prints it: a whole number that a 64-bit integer holds
// as an integer, any other value (a category of 1E300 makes one) as the
// real it is, never converted out of range.
runtime::Out count_item(double v) {
  if (std::trunc(v) == v && std::fabs(v) < 9.0e18) return runtime::Out(static_cast<long long>(v));
  return runtime::Out(v);
}


// True when code is one of the group's variables 1..ni.
bool var_code(double code, int ni) { return code >= 1.0 && code <= ni && code == std::floor(code); }

// A code as the text of a row label.
std::string code_text(double code) {
  if (code == std::floor(code) && std::fabs(code) < 1.0e9) return std::to_string(static_cast<long long>(code));
  std::string t = runtime::write_internal("(1PG14.6)", {code});
  const auto first = t.find_first_not_of(' ');
  const auto last = t.find_last_not_of(' ');
  return first == std::string::npos ? std::string("?") : t.substr(first, last - first + 1);
}

// Counts the values of a case-vector group (into nstat) and, unless the
// block is empty, summarises them by code: the group's summary area, the
// threshold check of raw ordinal data, the printed table and the means.
void summarise(Vec1<double> X, Vec1<int> IX, Labtab& labs, int labnxt, int NG, int g, int fitcod,
               long long& nstat) {
  auto& m = MAINPR;
  const GroupView G{X, NG, g};
  const int P = G.icol(gcol::kRecords);
  const int nvec = P >= 4 ? icell(X(P - 1)) : 0;
  if (nvec <= 0) {
    write_list(kStdout, {});
    write_list(kStdout, {" VL data contains no observations, perhaps because of selection?"});
    return;
  }
  nstat += VLNVAL(X, P);
  const int ni = std::max(G.icol(gcol::kNvar), 0);

  // Work areas above WSTOP: the means vector of the codes 1..ni, then the
  // distinct codes in order of first occurrence, then the table of six
  // columns (code, number, sum then mean, sum of squares then variance,
  // minimum, maximum) with one row per code.  Each is checked before use.
  const int W = m.WSTOP;
  const int Q = W + ni;
  CHKMEM(Q);
  // Rows of the codes 1..ni in IWORKS scratch (0: no row yet), then the ranks.
  const int D = m.IWSTOP;
  CHKIMEM(D + ni);
  for (int k = 0; k < ni; ++k) IX(D + k) = 0;

  auto find_row = [&](double code, int nrows, int& last) -> int {
    if (var_code(code, ni)) return IX(D + icell(code) - 1);
    if (last >= 1 && X(Q + last - 1) == code) return last;
    for (int r = 1; r <= nrows; ++r)
      if (X(Q + r - 1) == code) return last = r;
    return 0;
  };

  // Pass 1: the observations and the distinct codes.
  int nrows = 0, last = 0;
  int pos = P;
  for (int v = 1; v <= nvec; ++v) {
    const int mv = icell(X(pos));
    for (int e = 1; e <= mv; ++e) {
      const double code = X(pos + 1 + e);
      if (find_row(code, nrows, last) != 0) continue;
      CHKMEM(Q + nrows);
      X(Q + nrows) = code;
      ++nrows;
      if (var_code(code, ni)) IX(D + icell(code) - 1) = nrows;
    }
    pos += 2 * mv + 2;
  }

  // Pass 2: the table, column-major with leading dimension nrows.
  const int T = Q + nrows;
  CHKMEM(T + 6 * nrows - 1);
  auto cell = [&](int r, int c) -> double& { return X(T + (c - 1) * nrows + r - 1); };
  for (int r = 1; r <= nrows; ++r) {
    cell(r, 1) = X(Q + r - 1);
    for (int c = 2; c <= 6; ++c) cell(r, c) = 0.0;
  }
  last = 0;
  pos = P;
  for (int v = 1; v <= nvec; ++v) {
    const int mv = icell(X(pos));
    for (int e = 1; e <= mv; ++e) {
      const int r = find_row(X(pos + 1 + e), nrows, last);
      ValueFigures f{cell(r, 2), cell(r, 3), cell(r, 4), cell(r, 5), cell(r, 6)};
      f.add(X(pos + 1 + mv + e));
      cell(r, 2) = f.count;
      cell(r, 3) = f.sum;
      cell(r, 4) = f.sumsq;
      cell(r, 5) = f.min;
      cell(r, 6) = f.max;
    }
    pos += 2 * mv + 2;
  }
  for (int r = 1; r <= nrows; ++r) {
    const ValueFigures f{cell(r, 2), cell(r, 3), cell(r, 4)};
    cell(r, 3) = f.mean();
    cell(r, 4) = f.variance();
  }

  // The summary area of the group: X(A) the IWORKS position J of the
  // per-variable category counts, X(A+1) the largest category, X(A+2) the
  // element count of the threshold formula, then the minima and the maxima
  // of the codes 1..ni, each at the place of its code.  The data keyword
  // left 2*NI + 3 words for it; a word past them is not written.  Codes
  // outside 1..ni have no place.
  const int A = G.icol(gcol::kRecordBlock);
  if (A >= 1) {
    const int room = 2 * ni + 3;
    auto put = [&](int off, double v) {
      if (off < room) X(A + off) = v;
    };
    for (int k = 1; k <= ni; ++k) {
      const int r = IX(D + k - 1);
      put(2 + k, r != 0 ? cell(r, 5) : 0.0);
      put(2 + ni + k, r != 0 ? cell(r, 6) : 0.0);
    }
    const int J = icell(X(A));
    if (J >= 1 && ni >= 1 && IX(J) == 0) {
      CHKIMEM(J + ni - 1);
      double largest = 1.0;
      for (int k = 1; k <= ni; ++k) {
        const int r = IX(D + k - 1);
        const double top = r != 0 ? cell(r, 6) : 0.0;
        IX(J + k - 1) = icell(top);
        largest = std::max(largest, top);
      }
      X(A + 1) = largest;
    }

    // Raw ordinal data: the threshold formula must give one element per
    // category boundary of every variable that is not a definition
    // variable, for every model.
    if (fitcod == kFitOrdMix) {
      const int dv = G.icol(gcol::kDefVars);
      const int ndef = dv != 0 ? icell(X(dv)) : 0;
      const int nm = IGRPTB(IX, NG, igcol::kModels, g);
      const double need = static_cast<double>(ni - ndef) * X(A + 1) * nm;
      if (need != X(A + 2)) {
        write_list(kStdout, {});
        write_list(kStdout, {" Number of elements that should be in the Threshold formula:", count_item(need)});
        write_list(kStdout, {" Number of elements that were the result of the formula: ", count_item(X(A + 2))});
        ERRMSG(61);
      }
    }
  }

  // The table, rows in code order.
  write_list(kStdout, {});
  write_list(kStdout, {" Summary of VL file data for group ", g});
  write_list(kStdout, {});
  if (nrows >= 1) {
    const int R = D + ni;
    CHKIMEM(R + nrows - 1);
    std::span<int> irank(IX.ptr(R), static_cast<std::size_t>(nrows));
    int ifail = 0;
    numlib::M01DAF(std::span<const double>(X.ptr(T), static_cast<std::size_t>(nrows)), 1, nrows, "A", irank,
                   ifail);
    for (int c = 1; c <= 6; ++c) {
      ifail = 0;
      numlib::M01EAF(std::span<double>(&cell(1, c), static_cast<std::size_t>(nrows)), 1, nrows, irank, ifail);
    }
  }
  // Row labels: the group's variable labels for the codes 1..ni, the code
  // itself for any other code; numbers when the group has no labels.
  const int base = G.icol(gcol::kVarLabels);
  std::vector<std::string> rlabs;
  char labrow = 'I';
  if (base != 0 && nrows >= 1) {
    labrow = 'C';
    CHKLAB(labnxt + nrows - 1);
    for (int r = 1; r <= nrows; ++r) {
      const double code = cell(r, 1);
      labs.put(labnxt + r - 1, var_code(code, ni) ? labs.get(base + icell(code) - 1) : code_text(code));
    }
    rlabs.reserve(static_cast<std::size_t>(nrows));
    for (int r = 1; r <= nrows; ++r) rlabs.push_back(labs.get(labnxt + r - 1));
  }
  const std::vector<std::string> clabs(std::begin(kVlColLabels), std::end(kVlColLabels));
  int ifail = -1;
  numlib::X04CBF('G', 'N', nrows, 6,
                 std::span<const double>(X.ptr(T), static_cast<std::size_t>(6 * std::max(nrows, 1))),
                 std::max(nrows, 1), m.PRTFMT, " ", labrow, rlabs, 'C', clabs, m.OUTWID, m.INDENT, ifail);

  // The means of the codes 1..ni (0 for a code without values).
  for (int k = 1; k <= ni; ++k) X(W + k - 1) = 0.0;
  for (int r = 1; r <= nrows; ++r)
    if (var_code(cell(r, 1), ni)) X(W + icell(cell(r, 1)) - 1) = cell(r, 3);
  G.col(gcol::kObsMeans) = W;
  m.WSTOP = W + ni;
}

// Distinct numbers, each with its place (1, 2, ...), found in constant
// expected time: open addressing over a flat table that doubles before it
// is half full.  Numbers compare as reals (a NaN never matches, as in a
// search of the list).
class NumberPlaces {
 public:
  NumberPlaces() = default;
  // Room for n numbers without growing.
  explicit NumberPlaces(std::size_t n) {
    std::size_t size = 64;
    while (size < 2 * n + 2) size *= 2;
    keys_.assign(size, 0.0);
    places_.assign(size, 0);
  }
  // The place of v, 0 when v has none.
  int find(double v) const {
    if (places_.empty()) return 0;
    for (std::size_t k = slot(v);; k = (k + 1) & mask()) {
      if (places_[k] == 0) return 0;
      if (keys_[k] == v) return places_[k];
    }
  }
  void add(double v, int place) {
    if (2 * (used_ + 1) > places_.size()) grow();
    std::size_t k = slot(v);
    while (places_[k] != 0) k = (k + 1) & mask();
    keys_[k] = v;
    places_[k] = place;
    ++used_;
  }

 private:
  std::size_t mask() const { return places_.size() - 1; }
  // A whole number (the usual specification number) takes its own low bits
  // folded with its high ones: consecutive numbers take consecutive slots,
  // and numbers a table size apart do not meet.  The bits of any other real
  // are mixed into every bit before the slot is taken from the low ones.
  std::size_t slot(double v) const {
    if (v >= 0.0 && v < 4.0e15 && v == std::floor(v)) {
      const auto k = static_cast<std::uint64_t>(v);
      return static_cast<std::size_t>(k ^ (k >> std::countr_zero(places_.size()))) & mask();
    }
    std::uint64_t x = std::bit_cast<std::uint64_t>(v);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return static_cast<std::size_t>(x) & mask();
  }
  void grow() {
    std::vector<double> keys = std::move(keys_);
    std::vector<int> places = std::move(places_);
    const std::size_t size = places.empty() ? 64 : 2 * places.size();
    keys_.assign(size, 0.0);
    places_.assign(size, 0);
    used_ = 0;
    for (std::size_t k = 0; k < places.size(); ++k)
      if (places[k] != 0) add(keys[k], places[k]);
  }

  std::vector<double> keys_;
  std::vector<int> places_;  // 0: an empty slot
  std::size_t used_ = 0;
};

// Calls f(a, n) for every matrix of types DI..LO of group g that has
// storage, in letter order: a is the address of its n specification
// numbers, and its n values follow them.
template <class F>
void for_each_parameter_matrix(Vec1<double> X, int NG, int g, F f) {
  const GroupView G{X, NG, g};
  if (G.B() < 1) return;
  // The raw-data view (%R) keeps its declared type but has no
  // specification words: the words before the raw data are other data.
  const int raw = G.icol(gcol::kRawLetter);
  for (int L = 1; L <= 26; ++L) {
    int type = icell(G.type(L));
    if (!parameter_type(type) || L == raw) continue;
    const int a = icell(G.addr(L));
    const int n = NELEM(type, icell(G.rows(L)), icell(G.cols(L)));
    if (a < 1 || n <= 0) continue;
    f(a, n);
  }
}

// Marks of the value words of the matrices (matrices set equal to one
// another share their storage): the words walked in the current walk, and
// the words the current map holds.  A walk is a generation number, so a new
// walk clears nothing.
class WordMarks {
 public:
  // Covers the value words of the parameter matrices of all groups.
  WordMarks(Vec1<double> X, int NG) {
    for (int g = 1; g <= NG; ++g)
      for_each_parameter_matrix(X, NG, g, [&](int a, int n) {
        lo_ = std::min(lo_, static_cast<long long>(a) + n);
        hi_ = std::max(hi_, static_cast<long long>(a) + 2LL * n - 1);
        elements_ += static_cast<std::size_t>(n);
      });
    if (lo_ <= hi_) {
      walked_.assign(static_cast<std::size_t>(hi_ - lo_ + 1), 0);
      mapped_.assign(walked_.size(), 0);
    }
  }
  // The number of elements of all groups' parameter matrices.
  std::size_t elements() const { return elements_; }
  void new_walk() { ++gen_; }
  bool walked(int w) const { return walked_[at(w)] == gen_; }
  void walk(int w) { walked_[at(w)] = gen_; }
  bool mapped(int w) const { return mapped_[at(w)] == gen_; }
  void map(int w) { mapped_[at(w)] = gen_; }

 private:
  std::size_t at(int w) const { return static_cast<std::size_t>(w - lo_); }
  long long lo_ = std::numeric_limits<long long>::max(), hi_ = 0;
  int gen_ = 0;
  std::size_t elements_ = 0;
  std::vector<int> walked_, mapped_;
};

// Calls f(spec address, value address, again) for every stored element of
// the matrices of types DI..LO of group g, in letter and storage order;
// again tells f whether the element's value word was walked before in this
// walk.
template <class F>
void walk_group(Vec1<double> X, int NG, int g, WordMarks& marks, F f) {
  for_each_parameter_matrix(X, NG, g, [&](int a, int n) {
    // A matrix's value words are distinct: they are marked after the whole
    // matrix, so that only earlier matrices count.
    for (int k = 0; k < n; ++k) f(a + k, a + n + k, marks.walked(a + n + k));
    for (int k = 0; k < n; ++k) marks.walk(a + n + k);
  });
}

}  // namespace

long long VLNVAL(Vec1<double> X, int P) {
  const int nvec = P >= 2 ? icell(X(P - 1)) : 0;
  long long n = 0;
  int pos = P;
  for (int v = 1; v <= nvec; ++v) {
    const int mv = icell(X(pos));
    n += mv;
    pos += 2 * mv + 2;
  }
  return n;
}

void ValueFigures::add(double y) {
  if (count == 0.0) {
    min = y;
    max = y;
  } else {
    min = std::min(min, y);
    max = std::max(max, y);
  }
  count += 1.0;
  sum += y;
  sumsq += y * y;
}

std::vector<ValueFigures> code_figures(Vec1<double> X, int P, std::span<const double> codes) {
  // The distinct codes in ascending order, each with its figures; a value
  // finds its code by bisection.
  std::vector<double> distinct(codes.begin(), codes.end());
  std::erase_if(distinct, [](double c) { return std::isnan(c); });
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<ValueFigures> by_code(distinct.size());
  const int nvec = P >= 2 ? icell(X(P - 1)) : 0;
  int pos = P;
  for (int v = 1; v <= nvec; ++v) {
    const int mv = icell(X(pos));
    for (int e = 1; e <= mv; ++e) {
      const double code = X(pos + 1 + e);
      const auto it = std::lower_bound(distinct.begin(), distinct.end(), code);
      if (it != distinct.end() && *it == code)
        by_code[static_cast<std::size_t>(it - distinct.begin())].add(X(pos + 1 + mv + e));
    }
    pos += 2 * mv + 2;
  }
  std::vector<ValueFigures> out;
  out.reserve(codes.size());
  for (double code : codes) {
    const auto it = std::lower_bound(distinct.begin(), distinct.end(), code);
    out.push_back(it != distinct.end() && *it == code ? by_code[static_cast<std::size_t>(it - distinct.begin())]
                                                      : ValueFigures{});
  }
  return out;
}

std::vector<ValueFigures> raw_figures(Vec1<double> X, int a, int stride, int n, int p) {
  std::vector<ValueFigures> out(static_cast<std::size_t>(std::max(p, 0)));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < p; ++j) out[static_cast<std::size_t>(j)].add(X(a + i * stride + j));
  return out;
}

long long used_table_cells(const GroupView& G) {
  const int a = G.icol(gcol::kObsData);
  const long long cells =
      static_cast<long long>(G.col(gcol::kTableRows)) * static_cast<long long>(G.col(gcol::kTableCols));
  long long used = 0;
  if (a >= 1)
    for (long long i = 0; i < cells; ++i)
      if (G.X(a + i) >= 0.0) ++used;
  return used;
}

void VLSUMM(Vec1<double> X, Vec1<int> IX, Labtab& LABTAB, int LABNXT, int& NPAR, int& NSTAT) {
  auto& m = MAINPR;
  const int NG = icell(X(1));
  FITSTA.DEFSW = 0;

  // 1. Observed statistics and the summaries of case-vector data.
  long long nstat = 0;
  for (int g = 1; g <= NG; ++g) {
    m.IGRP = g;
    const GroupView G{X, NG, g};
    const int kind = G.icol(gcol::kKind);
    if (kind != kKindData && kind != kKindConstraint) continue;
    const int fitcod = G.icol(gcol::kFitCode);
    if (fitcod == kFitUser || fitcod == kFitOrd12 || fitcod == kFitOrd13) continue;
    if (fitcod == kFitRaw) {
      nstat += static_cast<long long>(G.col(gcol::kNvar) * G.col(gcol::kNobs) - G.col(gcol::kNstat));
      continue;
    }
    if (fitcod == kFitTable) {
      // The table's statistics are its cell proportions, one of them fixed
      // by the others; its columns 2 and 3 count rows and columns, not
      // variables and covariances.
      nstat += used_table_cells(G) - 1;
      continue;
    }
    if (fitcod == kFitVL || fitcod == kFitOrdMix) {
      summarise(X, IX, LABTAB, LABNXT, NG, g, fitcod, nstat);
    }
    nstat += G.icol(gcol::kNstat);
    if (G.col(gcol::kObsMeans) != 0.0 || G.col(gcol::kMeansFormula) != 0.0) nstat += G.icol(gcol::kNvar);
  }
  NSTAT = static_cast<int>(nstat);
  FITSTA.NSTTOT = NSTAT;

  // 2. The parameter list at WSTOP and the parameter map at IWSTOP.
  const int L0 = m.WSTOP;
  const int pm = m.IWSTOP;
  CHKIMEM(pm);
  IX(1) = pm;
  IX(pm) = 0;
  FITSTA.PARLST = L0;
  NPAR = 0;
  // Each distinct number's place in the list, and the value words walked
  // and mapped, are looked up in constant time: the list is built in time
  // linear in the number of elements.
  WordMarks marks(X, NG);
  NumberPlaces place(marks.elements());
  marks.new_walk();
  for (int g = 1; g <= NG; ++g) {
    m.IGRP = g;
    walk_group(X, NG, g, marks, [&](int sa, int w, bool again) {
      const double s = X(sa);
      if (s <= 0.0) return;
      int i = place.find(s);
      if (i == 0) {
        CHKMEM(L0 + NPAR);
        X(L0 + NPAR) = s;
        i = ++NPAR;
        place.add(s, i);
      }
      if (again && marks.mapped(w)) return;
      const int c = IX(pm);
      CHKIMEM(pm + 2 * c + 2);
      IX(pm + 2 * c + 1) = i;
      IX(pm + 2 * c + 2) = w;
      IX(pm) = c + 1;
      marks.map(w);
    });
  }
  m.IWSTOP = pm + 2 * IX(pm) + 1;
  m.WSTOP = L0 + NPAR;

  // 3. Each group's definition map and its list of distinct negative numbers.
  for (int g = 1; g <= NG; ++g) {
    m.IGRP = g;
    const int dm = m.IWSTOP;
    CHKIMEM(dm);
    IX(g + 1) = dm;
    IX(dm) = 0;
    const int lst = m.WSTOP;
    int nneg = 0;
    NumberPlaces listed;
    marks.new_walk();
    walk_group(X, NG, g, marks, [&](int sa, int w, bool again) {
      const double s = X(sa);
      if (s >= 0.0) return;
      if (listed.find(s) == 0) {
        CHKMEM(lst + nneg);
        X(lst + nneg) = s;
        ++nneg;
        listed.add(s, nneg);
      }
      if (again && marks.mapped(w)) return;
      const int c = IX(dm);
      CHKIMEM(dm + 2 * c + 2);
      IX(dm + 2 * c + 1) = icell(-s);
      IX(dm + 2 * c + 2) = w;
      IX(dm) = c + 1;
      marks.map(w);
    });
    FITSTA.DEFSW += IX(dm);
    m.IWSTOP = dm + 2 * IX(dm) + 1;
    m.WSTOP = lst + nneg;
  }
}

}  // namespace qv::jobbase
