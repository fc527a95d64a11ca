#include "jobctl/datkey.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "algebra/packed.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobctl/defvar.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/hashcmd.hpp"
#include "jobctl/labels.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobctl/matdata.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/rdline.hpp"
#include "jobctl/records.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/inverse.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/packidx.hpp"
#include "runtime/stop.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kStdout;
using runtime::packed_offset;
using runtime::packed_size;
using runtime::strict_size;
using runtime::write_fmt;
using runtime::write_list;

namespace {

// Number of observations of the group, as an integer.
int NO(const GroupView& G) { return G.icol(gcol::kNobs); }

// The keyword needs NI (n, as the data section stands) and NO.
void needs(const GroupView& G, int n) {
  if (n == 0 || NO(G) == 0) ERRMSG(168);
}

// The families of observed data.  A group holds one: an observed matrix
// (CM, PM, KM) with its weights (AC, AI, AV), its means (ME) and raw data
// (RA), which the user's row functions and the raw-data view read beside a
// matrix; case records (VL, RE, OR); or a contingency table (CT).  Their
// group columns overlap: column 10 holds an observed matrix's determinant
// but the address of the records' definition-variable count, the table
// keeps its rows, columns and total count where the others keep their
// variables, statistics and observations, and raw data and records each
// count their own cases as the observations.
enum class Family { kOther, kMatrix, kRecords, kTable };

Family family_of(std::string_view kw) {
  if (kw == "CM" || kw == "PM" || kw == "KM" || kw == "AC" || kw == "AI" || kw == "AV" || kw == "ME" ||
      kw == "RA")
    return Family::kMatrix;
  if (kw == "VL" || kw == "RE" || kw == "OR") return Family::kRecords;
  if (kw == "CT") return Family::kTable;
  return Family::kOther;
}

// A data keyword as the messages name it.
std::string_view data_name(std::string_view kw) {
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"CM", "CMatrix"}, {"PM", "PMatrix"},  {"KM", "KMatrix"},     {"AC", "ACov"},
      {"AI", "AInverse"}, {"AV", "AVar"},    {"ME", "MEans"},       {"RA", "RAw"},
      {"VL", "VLength"}, {"RE", "Rectangular"}, {"OR", "ORdinal"}, {"CT", "CTable"}};
  for (const auto& [key, name] : kNames)
    if (key == kw) return name;
  return kw;
}

// Data keyword kw brings observed data: when the group already holds data
// of another family, a blank line and a line naming both keywords, then
// error 85, before anything is read or stored.
void one_family(std::string_view kw) {
  auto& f = DATFLG;
  if (f.FIRST.empty()) {
    f.FIRST = kw;
    return;
  }
  if (family_of(f.FIRST) == family_of(kw)) return;
  write_list(kStdout, {});
  write_list(kStdout, {" " + std::string(data_name(f.FIRST)) + " and " + std::string(data_name(kw)) +
                       " data cannot share a group: a group holds one kind of data"});
  ERRMSG(85);
}

void print_packed(Vec1<double> X, int a, int n) {
  for (int i = 1; i <= n; ++i)
    write_list(kStdout, {std::span<const double>(X.ptr(a + packed_offset(i, 1)), static_cast<std::size_t>(i))});
}

// MI: the missing-value string after the next "=".
void missing_value() {
  auto& c = CURSOR;
  seek_char_warned('=');
  std::string s;
  for (int col = c.ICOL + 1; col <= c.LLEN && s.size() < 16; ++col) s.push_back(chr(col));
  DATFIL.MISVAL = runtime::fpad(s, 16);
  write_list(kStdout, {});
  write_list(kStdout, {" NOTE: Missing value *string* set to '", DATFIL.MISVAL, "'"});
  write_list(kStdout, {});
  RDLINE();
}

// SE: reads the selection list and applies it to the data read so far.
// Returns false when a select-if took over (the data keywords end).
bool selection(const GroupView& G, int& ni) {
  auto& c = CURSOR;
  auto& m = MAINPR;
  auto X = G.X;
  const int sel = m.RDPTR;
  int s = 0;
  NEXTWD();
  if (c.ICOL == 0) ERRMSG(7);
  check_room(static_cast<long long>(sel) + ni);
  auto add = [&](int v) {
    if (v < 1 || v > ni) ERRMSG(125);
    for (int i = 0; i < s; ++i)
      if (static_cast<int>(X(sel + i)) == v) ERRMSG(125);
    X(sel + s) = v;
    ++s;
  };

  if (chr(c.ICOL) >= '0' && chr(c.ICOL) <= '9') {
    // Numbers on this line, up to "/" or ";" or NI of them.
    for (;;) {
      const int line = m.LINENO;
      RDNUM();
      if (m.LINENO != line) ERRMSG(125);
      if (c.IVALUE != c.RVALUE) ERRMSG(125);
      add(c.IVALUE);
      if (s >= ni || number_list_ends()) break;
    }
  } else {
    // The word IF first hands over to the select-if reader (which needs
    // labels too); any other word is a label.
    if (LINBUF.LINE.compare(static_cast<std::size_t>(c.ICOL - 1), 3, "IF ") == 0 ||
        (c.ICOL + 1 == c.LLEN && LINBUF.LINE.compare(static_cast<std::size_t>(c.ICOL - 1), 2, "IF") == 0)) {
      ++c.ICOL;
      const int labels = G.icol(gcol::kVarLabels);
      RDSELIF(X, labels, m.RDPTR, ni, G.g, G.NG, labels != 0 ? 1 : 0, DATFLG.REC ? 1 : 0);
      RDLINE();
      return false;
    }
    const int base = G.icol(gcol::kVarLabels);
    if (base == 0) ERRMSG(123);
    for (;;) {
      std::string w;
      while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ';' && chr(c.ICOL) != '/' &&
             w.size() < static_cast<std::size_t>(kLabLen))
        w.push_back(chr(c.ICOL++));
      while (c.ICOL <= c.LLEN && chr(c.ICOL) != ' ' && chr(c.ICOL) != ';' && chr(c.ICOL) != '/') ++c.ICOL;
      const std::string label = runtime::fpad(w, kLabLen);
      int j = 0;
      for (int i = 1; i <= ni && j == 0; ++i)
        if (LABTAB.get(base + i - 1) == label) j = i;
      if (j == 0) ERRMSG(124);
      add(j);
      if (s >= ni) break;
      if (c.ICOL > c.LLEN || chr(c.ICOL) == ';' || chr(c.ICOL) == '/') break;
      while (c.ICOL <= c.LLEN && chr(c.ICOL) == ' ') ++c.ICOL;
      if (c.ICOL > c.LLEN || chr(c.ICOL) == ';' || chr(c.ICOL) == '/') break;
    }
  }
  G.col(gcol::kNvar) = s;
  G.col(gcol::kNstat) = packed_size(s);
  RDLINE();

  // Applied at once to what was read before it.
  const int n = ni;
  Vec1<double> S = X.from(sel);
  const int w = sel + s;
  Vec1<double> W = X.from(w);
  check_room(static_cast<long long>(w) + static_cast<long long>(n) * n + 1);
  if (DATFLG.RA) {
    const int a = G.icol(gcol::kRawData);
    for (int r = 1; r <= NO(G); ++r) {
      const int rec = a + (r - 1) * n;
      REORD(X.from(rec), n, S, s, W);
      for (int i = 0; i < s; ++i) X(a + (r - 1) * s + i) = X(rec + i);
    }
  }
  if (DATFLG.LAB) SELLAB(G.icol(gcol::kVarLabels), n, S, s, 0);
  if (DATFLG.ME) REORD(X.from(G.icol(gcol::kObsMeans)), n, S, s, W);
  if (DATFLG.REC) {
    if (G.icol(gcol::kDefVars) != 0 && icell(X(G.icol(gcol::kDefVars))) > 0) {
      write_list(kStdout, {" SElect must come before DEfinition variables in the data section"});
      ERRMSG(125);
    }
    Vec1<double> V = X.from(G.icol(gcol::kRecords) - 1);
    const int longest = longest_vector(V);
    check_room(static_cast<long long>(w) + 2LL * longest + 2);
    DEFSEL(V, S, s, W, W, 0);
    G.col(gcol::kDefVars) = 0;
    G.col(gcol::kNobs) = V(1);
  }
  if (DATFLG.AV) {
    if (DATKST.MATLET != 'C') ERRMSG(102);
    SYMUNP(X.from(G.icol(gcol::kWeights)), n, S, s, W);
    DATKST.NAV = packed_size(s);
  }
  if (DATFLG.CM || DATFLG.PMKM) SYMUNP(X.from(G.icol(gcol::kObsData)), n, S, s, W);
  if (DATFLG.ASY) {
    if (DATFLG.AI) ERRMSG(192);
    const int withdiag = DATKST.MATLET == 'C' ? 1 : 0;
    const long long q = withdiag ? packed_size<long long>(n) : strict_size<long long>(n);
    check_room(static_cast<long long>(w) + static_cast<long long>(n + 1) * (n + 1) + 1 + q * q);
    SYMPAK(X.from(G.icol(gcol::kWeights)), n, S, s, W, X.from(w + (n + 1) * (n + 1) + 1), withdiag);
    m.NASTAT = withdiag ? packed_size(s) : strict_size(s);
  }
  // NI of the group becomes s: the raw records now hold s values each.
  ni = s;
  G.col(gcol::kNi) = s;
  return true;
}

// The checks of the observed data when the data keywords end.
void checks(const GroupView& G, int& ni) {
  auto& m = MAINPR;
  auto X = G.X;
  const int n = G.icol(gcol::kNvar);
  ni = n;
  if (DATFLG.CM || DATFLG.PMKM) {
    const int full = m.RDPTR;
    const int factor = full + n * n + n;
    check_room(static_cast<long long>(factor) + packed_size<long long>(n));
    // Positive definiteness by the Cholesky factor, which no scale of the
    // variables can fail; its log-determinant stands in for a determinant
    // beyond the range that the LU factorisation delivers.
    double logdet = 0.0;
    const bool pd = positive_definite(X.from(G.icol(gcol::kObsData)), n, X.from(factor), logdet);
    algebra::EXPMAT(X.from(full), X.from(G.icol(gcol::kObsData)), kTypeSym, n, n, packed_size(n));
    double det = 0.0;
    int ifail = 1;
    numlib::F03AAF(std::span<double>(X.ptr(full), static_cast<std::size_t>(n) * n), std::max(n, 1), n, det,
                   std::span<double>(X.ptr(full + n * n), static_cast<std::size_t>(std::max(n, 1))), ifail);
    // The LU's overflow (2) and underflow (3) are the determinant's range,
    // not the matrix's fault: the determinant is then the double nearest
    // exp(logdet): infinite above the range of a double, the smallest
    // subnormal below it (never 0, which means no determinant).
    const bool out_of_range = ifail == 2 || ifail == 3;
    if (pd && out_of_range) {
      det = std::exp(logdet);
      if (det == 0.0) det = std::numeric_limits<double>::denorm_min();
    }
    G.col(gcol::kObsDet) = det;
    if (!pd || (ifail != 0 && !out_of_range) || det <= 0.0) {
      write_list(kStdout, {});
      write_list(kStdout, {" Your INPUT data matrix is not positive-definite"});
      m.NPDFLG = true;
      write_list(kStdout, {"Covariance matrix:"});
      print_packed(X, G.icol(gcol::kObsData), n);
      if (G.icol(gcol::kFitCode) == kFitAWLS)
        jobbase::WARNHD();
      else
        ERRMSG(155);
    }
  }
  if (DATFLG.ASY) {
    const int p = m.NASTAT;
    const int q = packed_size(p);
    const int a = G.icol(gcol::kWeights);
    const double scale = NO(G) - 1.0;
    if (DATFLG.AI) {
      for (int k = 0; k < q; ++k) X(a + k) *= scale;
    } else {
      check_room(static_cast<long long>(m.RDPTR) + static_cast<long long>(p) * (3LL * p + 1) / 2);
      double det = 0.0;
      int nullity = 0, fault = 0;
      SYMINV(X.from(a), p, X.from(m.RDPTR), X.from(m.RDPTR + q), det, 0, nullity, fault);
      if (nullity != 0 || fault != 0) {
        write_list(kStdout, {});
        write_list(kStdout, {" Uninvertable Asymptotic Covariance Matrix"});
        for (int i = 1; i <= p; ++i)
          write_fmt(kStdout, "(6(1x,d12.4))",
                    {std::span<const double>(X.ptr(a + packed_offset(i, 1)), static_cast<std::size_t>(i))});
        ERRMSG(24);
      }
      CPYVEC(X.from(a), X.from(m.RDPTR), q);
      for (int k = 0; k < q; ++k) X(a + k) *= scale;
    }
  }
  if (DATFLG.AV) {
    const int a = G.icol(gcol::kWeights);
    const double no = NO(G);
    for (int k = 0; k < DATKST.NAV; ++k) {
      // Diagonally weighted least squares divides by each weight, the
      // inverse of a diagonal asymptotic matrix: a zero one has none.
      if (X(a + k) == 0.0) {
        write_list(kStdout, {});
        write_list(kStdout, {" AV weight number", k + 1, " is zero; DWLS divides by each weight"});
        ERRMSG(24);
      }
      X(a + k) /= no;
    }
  }
}

// VL, RE and OR: the record block, its integer part and the pointers.
// The summary area at column 42 takes 2n + 3 words: the integer part's
// position, the largest category, the threshold formula's element count,
// then the minima and the maxima of the n codes.
void record_data(const GroupView& G, int n, int rect) {
  auto& m = MAINPR;
  auto X = G.X;
  int p = m.RDPTR;
  check_room(static_cast<long long>(p) + 3);
  RDDATA(X, n, 0, p, kShapeSym, G.g, G.NG, DATFIL.MISVAL, rect);
  m.RDPTR = p;
  if (rect == 0) {
    const int longest = static_cast<int>(X(G.icol(gcol::kRecords) - 2));
    write_list(kStdout, {" NOTE: Longest vector contains", longest, " observations"});
  }
  check_room(static_cast<long long>(m.RDPTR) + 2LL * n + 3);
  G.col(gcol::kRecordBlock) = m.RDPTR;
  X(m.RDPTR) = m.IWSTOP;
  CHKIMEM(m.IWSTOP + n);
  m.IWSTOP += n;
  m.RDPTR += 2 * n + 3;
  RDLINE();
}

}  // namespace

void DATDSP() {
  auto& m = MAINPR;
  auto& c = CURSOR;
  auto& k = DATKST;
  const GroupView G = current_group();
  int ni = G.icol(gcol::kNi);  // NI as the data section stands (the selection changes it)
  k.NAV = 0;
  auto X = G.X;

  for (;;) {
    if (c.ICOL == 0) ERRMSG(7);
    const std::string_view two = std::string_view(LINBUF.LINE).substr(static_cast<std::size_t>(c.ICOL - 1), 2);
    int key = 0;
    for (std::size_t i = 0; i < DATKEY.size() && key == 0; ++i)
      if (DATKEY[i] == two) key = static_cast<int>(i) + 1;
    if (key == 0) {
      write_list(kStdout, {" Keyword not found?"});
      ERRMSG(85);
    }
    const std::string_view kw = DATKEY[static_cast<std::size_t>(key - 1)];
    const int n = ni;
    // Sizes of the triangle kinds, checked in 64 bits before any int use.
    const long long tri_ll = packed_size<long long>(n);
    if (kw == "CM" || kw == "PM" || kw == "KM" || kw == "AC" || kw == "AI" || kw == "AV")
      check_room(m.RDPTR + tri_ll - 1);
    const int tri = static_cast<int>(tri_ll);

    if (kw == "CM" || kw == "PM" || kw == "KM") {
      needs(G, n);
      one_family(kw);
      k.MATLET = kw[0];
      if (kw == "CM") {
        DATFLG.CM = true;
      } else {
        DATFLG.PMKM = true;
        G.col(gcol::kObsKind) = 1;
      }
      G.col(gcol::kObsData) = m.RDPTR;
      RDDATA(X, n, tri, m.RDPTR, kShapeSym, G.g, G.NG, DATFIL.MISVAL, 0);
      RDLINE();
      const int unit = DIAG1(X.from(G.icol(gcol::kObsData)), n);
      if (kw == "CM" && unit == 1) {
        jobbase::WARNHD();
        write_list(kStdout, {" Input data is a correlation matrix, but CM command was used."});
      }
      m.RDPTR += tri;
      if (kw == "KM" && unit == 0) {
        jobbase::WARNHD();
        write_list(kStdout, {" Input data is not a correlation matrix, but KM command used."});
      }
    } else if (kw == "AC" || kw == "AI") {
      needs(G, n);
      one_family(kw);
      DATFLG.ASY = true;
      if (kw == "AI") DATFLG.AI = true;
      G.col(gcol::kWeights) = m.RDPTR;
      G.col(gcol::kFitCode) = kFitAWLS;
      int p = strict_size(n);
      if (k.MATLET == 'C') {
        p = tri;
        G.col(gcol::kAsyForm) = 2;
      }
      m.NASTAT = p;
      const long long q = packed_size<long long>(p);
      check_room(m.RDPTR + q - 1);
      RDDATA(X, n, static_cast<int>(q), m.RDPTR, kShapeSym, G.g, G.NG, DATFIL.MISVAL, 0);
      RDLINE();
      m.RDPTR += static_cast<int>(q);
    } else if (kw == "RA") {
      one_family(kw);
      FITOPT.OPTFIT = 3;
      G.col(gcol::kRawData) = m.RDPTR;
      G.col(gcol::kFitCode) = kFitRaw;
      G.col(gcol::kObsKind) = 1;
      DATFLG.RA = true;
      int no = NO(G);
      RDRAW(X, n, no, m.RDPTR);
      G.col(gcol::kNobs) = no;
      RDLINE();
      m.RDPTR += n * no;
    } else if (kw == "ME") {
      needs(G, n);
      one_family(kw);
      DATFLG.ME = true;
      G.col(gcol::kObsMeans) = m.RDPTR;
      RDDATA(X, n, n, m.RDPTR, kShapeFull, G.g, G.NG, DATFIL.MISVAL, 0);
      RDLINE();
      m.RDPTR += n;
    } else if (kw == "SK" || kw == "KU") {
      if (kw == "SK") {
        DATFLG.SK = true;
        G.col(gcol::kObsSkew) = m.RDPTR;
      } else {
        DATFLG.KU = true;
        G.col(gcol::kObsKurt) = m.RDPTR;
      }
      RDLINE();
    } else if (kw == "LA") {
      DATFLG.LAB = true;
      G.col(gcol::kVarLabels) = m.LABSLOT;
      RDLAB(m.LABSLOT, n);
      NEXTWD();
      m.LABSLOT += n;
    } else if (kw == "SE") {
      if (!selection(G, ni)) return;
    } else if (kw == "MA" || kw == "BE") {
      checks(G, ni);
      return;
    } else if (kw == "AV") {
      needs(G, n);
      one_family(kw);
      G.col(gcol::kFitCode) = kFitDWLS;
      DATFLG.AV = true;
      G.col(gcol::kWeights) = m.RDPTR;
      const int mm = k.MATLET == 'C' ? tri : strict_size(n);
      write_list(kStdout, {" Attempting to read ", mm, " values."});
      RDDATA(X, n, mm, m.RDPTR, kShapeFull, G.g, G.NG, DATFIL.MISVAL, 0);
      RDLINE();
      m.RDPTR += mm;
      k.NAV = mm;
    } else if (kw == "VL") {
      one_family(kw);
      G.col(gcol::kDefVars) = 0;
      G.col(gcol::kRecords) = m.RDPTR + 3;
      FITOPT.OPTFIT = 4;
      G.col(gcol::kFitCode) = kFitVL;
      m.RDPTR += 3;
      DATFLG.REC = true;
      DATFIL.VLDATA = true;
      record_data(G, ni, 0);
    } else if (kw == "CT") {
      one_family(kw);
      if (G.icol(gcol::kNvar) != 2) ERRMSG(128);
      G.col(gcol::kFitCode) = kFitTable;
      G.col(gcol::kObsData) = m.RDPTR;
      RDNUM();
      const int r = c.IVALUE;
      RDNUM();
      const int cc = c.IVALUE;
      if (r < 2 || cc < 2) ERRMSG(133);
      G.col(gcol::kTableRows) = r;
      G.col(gcol::kTableCols) = cc;
      // The counts may follow on the same line: the data reader moves on
      // from the word before them.
      if (c.ICOL >= 3 && c.ICOL <= c.LLEN) c.ICOL -= 2;
      const long long cells = static_cast<long long>(r) * cc;
      check_room(m.RDPTR + cells - 1);
      RDDATA(X, n, static_cast<int>(cells), m.RDPTR, kShapeFull, G.g, G.NG, DATFIL.MISVAL, 0);
      double sum = 0.0;
      for (long long i = 0; i < cells; ++i)
        if (X(m.RDPTR + i) > 0.0) sum += X(m.RDPTR + i);
      G.col(gcol::kNobs) = sum;
      RDLINE();
      m.RDPTR += static_cast<int>(cells);
    } else if (kw == "VC") {
      write_list(kStdout, {" *ERROR!* raw categorical data not yet implemented"});
      runtime::stop("567");
    } else if (kw == "DE") {
      RDDEFV(n);
    } else if (kw == "MI") {
      missing_value();
    } else if (kw == "RE" || kw == "OR") {
      one_family(kw);
      const bool ord = kw == "OR";
      if (ord) write_list(kStdout, {" Ordinal data read initiated"});
      m.RDPTR += 3;
      // New records have no definition variables yet, as after VL: a DE
      // of earlier records would otherwise be applied to these.
      G.col(gcol::kDefVars) = 0;
      G.col(gcol::kRecords) = m.RDPTR;
      DATFLG.REC = true;
      G.col(gcol::kFitCode) = ord ? kFitOrdMix : kFitVL;
      FITOPT.OPTFIT = 4;
      record_data(G, ni, 1);
    } else if (kw == "#D") {
      int result = 0;
      HASHCMD(X, result);
      RDLINE();
    } else if (kw == "HI") {
      const int a = G.icol(gcol::kRecordBlock);
      if (a == 0) ERRMSG(222);
      auto IX = IWORKS.ix();
      const int first = static_cast<int>(X(a));
      CHKIMEM(first + n);
      int largest = 0;
      for (int i = 0; i < n; ++i) {
        RDNUM();
        IX(first + i) = c.IVALUE;
        largest = i == 0 ? c.IVALUE : std::max(largest, c.IVALUE);
      }
      X(a + 1) = largest;
      RDLINE();
    }
  }
}

}  // namespace qv::jobctl
