#include "jobctl/savefile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "jobbase/errmsg.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobctl/matdecl.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::jobctl {

using namespace jobbase;
using runtime::kSaveUnit;
using runtime::kStdout;
using runtime::Vec1;
using runtime::write_list;

BinRec BINPUTI(int v) {
  BinRec r{};
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
  return r;
}

BinRec BINPUTR(double v) {
  BinRec r{};
  const auto u = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
  return r;
}

int BINGETI(const BinRec& r) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(r[static_cast<std::size_t>(i)]) << (8 * i);
  return static_cast<int>(u);
}

double BINGETR(const BinRec& r) {
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(r[static_cast<std::size_t>(i)]) << (8 * i);
  return std::bit_cast<double>(u);
}

namespace {

// Records before the doubles.
constexpr int kHead = 15;

// Opens the save file on kSaveUnit for direct access with the given status;
// a failing open is error 223.
void open_binary(const std::string& name, const char* status) {
  runtime::OpenSpec spec;
  spec.file = name;
  spec.status = status;
  spec.direct = true;
  spec.recl = BINRECL;
  if (runtime::open_unit(kSaveUnit, spec, runtime::OnErr::Return) != runtime::IoStat::Ok) ERRMSG(223);
}

void put(int rec, const BinRec& r) { runtime::write_direct(kSaveUnit, rec, r); }

BinRec get(int rec) {
  BinRec r{};
  runtime::read_direct(kSaveUnit, rec, r);
  return r;
}

// A file too short for the counts it gives, or with counts that no saved
// model has: it is refused before anything is read into the workspaces.
void damaged() {
  runtime::close_unit(kSaveUnit);
  write_list(kStdout, {});
  write_list(kStdout, {" QV binary file is damaged or is not a QV binary file"});
  ERRMSG(201);
}

// Record numbers of the layout (see savefile.hpp), in 64 bits so that
// absurd counts from a foreign file cannot overflow.
long long rec_string(long long nx, long long k) { return nx + 4 * k + 12; }
long long rec_int(long long nx, long long ns, long long k) { return nx + 4 * ns + kHead + k; }
long long rec_trailer(long long nx, long long ns, long long niw) { return nx + 4 * ns + niw + 16; }

// The next number of UN elements for a file that does not carry it: one
// past the largest specification number of the restored matrices (10000 when
// none reaches it), so that new unique numbers never meet restored ones.
int unique_counter(Vec1<double> X, int nx, int ng) {
  double top = 10000.0;
  for (int g = 1; g <= ng; ++g) {
    const double base = GRPTAB(X, ng, gcol::kMattab, g);
    if (!(base >= 1.0) || base + kMattabWords - 1 > nx) continue;
    for (int L = 1; L <= 26; ++L) {
      int addr = 0, type = 0, rows = 0, cols = 0, nel = 0, fifth = 0;
      MATDSC(X, g, ng, L, addr, type, rows, cols, nel, fifth, 0);
      if (type < kTypeZero || type > kTypeCo || nel <= 0 || addr < 1 || static_cast<long long>(addr) + nel - 1 > nx) continue;
      for (int i = 0; i < nel; ++i) {
        const double s = X(addr + i);
        if (s > top && s < 2147483647.0) top = std::floor(s);
      }
    }
  }
  return static_cast<int>(top);
}

// Whether the restored tables point inside the restored model: every address
// column of the group table, each group's matrix table, the storage of its
// declared matrices and the code lists of its formulas.  A file whose words
// were damaged would otherwise send the readers and the formula machine to
// addresses outside the workspace.
bool tables_inside(Vec1<double> X, int nx, int ng) {
  auto whole = [](double v) { return v == std::floor(v); };
  auto inside = [&](double a) { return a >= 0.0 && a <= nx && whole(a); };
  // A code list of n codes from X(first): letters, functions and operators
  // are whole codes from 1 to 200 (temporaries are never stored).
  auto codes_sound = [&](int first, double n) {
    for (int k = 0; k < static_cast<int>(n); ++k) {
      const double code = X(first + k);
      if (!(code >= 1.0 && code <= 200.0) || !whole(code)) return false;
    }
    return true;
  };
  for (int g = 1; g <= ng; ++g) {
    using namespace gcol;
    for (int k : {kObsData, kMattab, kCovFormula, kCovResult, kBounds, kWeights, kObsMeans, kObsSkew, kObsKurt,
                  kRawData, kMeansFormula, kMeansResult, kIdCodes, kRecords, kParList, kWeightFormula,
                  kWeightResult, kRecordBlock})
      if (!inside(GRPTAB(X, ng, k, g))) return false;
    // Case records reach their definition-variable count through column 10
    // (a matrix group keeps its determinant there).
    const double code = GRPTAB(X, ng, kFitCode, g);
    if ((code == kFitVL || (code >= kFitOrd12 && code <= kFitOrdMix)) && !inside(GRPTAB(X, ng, kDefVars, g)))
      return false;
    // A formula's code count and its codes.
    for (int k : {kCovFormula, kMeansFormula, kWeightFormula}) {
      const double a = GRPTAB(X, ng, k, g);
      if (a < 1.0) continue;
      const double n = X(static_cast<int>(a));
      if (!(n >= 0.0) || !whole(n) || a + n > nx || !codes_sound(static_cast<int>(a) + 1, n)) return false;
    }
    const double base = GRPTAB(X, ng, kMattab, g);
    if (base == 0.0) continue;
    if (base + kMattabWords - 1 > nx) return false;
    const int B = static_cast<int>(base);
    for (int L = 1; L <= 26; ++L) {
      const double type = MTTYPE(X, B, L);
      if (type == kTypeUndeclared) continue;
      const bool known = whole(type) && ((type >= kTypeViewFull && type <= kTypeCo) || type == kTypeComputed ||
                                         type == kTypeCompRef);
      const double rows = MTROWS(X, B, L), cols = MTCOLS(X, B, L), addr = MTADDR(X, B, L);
      if (!known || !(rows >= 0.0 && rows <= nx && whole(rows)) || !(cols >= 0.0 && cols <= nx && whole(cols)) ||
          !inside(addr))
        return false;
      const int a = static_cast<int>(addr);
      if (type == kTypeComputed || type == kTypeCompRef) {
        // Order number, code count, codes, result header, values.
        if (a < 1 || a + 1 > nx) return false;
        const double n = X(a + 1);
        if (!(n >= 0.0) || !whole(n) || a + n + 4 + rows * cols > nx || !codes_sound(a + 2, n)) return false;
      } else {
        // Specification numbers, then values (a matrix without stored
        // elements reads no storage).
        int t = static_cast<int>(type);
        const int n = NELEM(t, static_cast<int>(rows), static_cast<int>(cols));
        if (n > 0 && (a < 1 || static_cast<long long>(a) + 2LL * n - 1 > nx)) return false;
        // Specification numbers are used as integers: they lie in the
        // script's integer range, as the statements that set them require.
        const int code = static_cast<int>(type);
        if (parameter_type(code) || code == kTypeUnit)
          for (int k = 0; k < n; ++k)
            if (!in_int_range(X(a + k))) return false;
      }
    }
  }
  return true;
}

void save(Vec1<double> X, int NX, Vec1<int> IX, int NIW, int NS) {
  const std::string name(runtime::trim_right(INCSTK.FILNAM));
  // A file saved over a longer one must not keep the old tail.
  open_binary(name, "REPLACE");

  const auto& o = FITOPT;
  put(1, BINPUTI(BINSAV.BINVER));
  put(2, BINPUTI(NX));
  put(3, BINPUTR(o.FE));
  put(4, BINPUTR(o.OP));
  put(5, BINPUTR(o.LI));
  put(6, BINPUTR(o.STE));
  put(7, BINPUTR(o.FU));
  put(8, BINPUTR(o.TH));
  put(9, BINPUTI(o.IT));
  put(10, BINPUTI(o.NA));
  put(11, BINPUTI(o.DE));
  put(12, BINPUTI(o.OPTFIT));
  put(13, BINPUTI(MAINPR.NFREE));
  put(14, BINPUTI(NS));
  put(15, BINPUTI(NIW));
  for (int k = 1; k <= NX; ++k) put(kHead + k, BINPUTR(X(k)));
  for (int k = 1; k <= NS - 1; ++k) {
    const std::string s = LABTAB.get(k);
    for (int p = 0; p < 4; ++p) {
      BinRec r{};
      std::memcpy(r.data(), s.data() + 8 * p, BINRECL);
      put(static_cast<int>(rec_string(NX, k)) + p, r);
    }
  }
  for (int k = 1; k <= NIW; ++k) put(static_cast<int>(rec_int(NX, NS, k)), BINPUTI(IX(k)));
  put(static_cast<int>(rec_trailer(NX, NS, NIW)), BINPUTI(MAINPR.NUNCNT));
  runtime::close_unit(kSaveUnit);
}

void restore(Vec1<double> X, int& NX, Vec1<int> IX, int& NIW, int& IGRP, int& NG, int& NS, int& TOP) {
  auto& m = MAINPR;
  const std::string name(runtime::trim_right(INCSTK.FILNAM));
  if (!runtime::file_exists(name)) ERRMSG(169);
  open_binary(name, "OLD");
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(name, ec);
  const long long records = ec ? 0 : static_cast<long long>(bytes / BINRECL);

  if (records < 1) damaged();
  const int w = BINGETI(get(1));
  if (w != BINSAV.BINVER) {
    if (w <= BINOLD || w > BINSAV.BINVER) {
      runtime::close_unit(kSaveUnit);
      write_list(kStdout, {});
      write_list(kStdout, {" QV binary file was written with incompatible earlier version"});
      ERRMSG(201);
    }
    BINSAV.BINVER = w;
    write_list(kStdout, {});
    // The version is shown as the single-precision value w/100.
    write_list(kStdout, {" NOTE: QV binary file was written with version",
                         static_cast<double>(static_cast<float>(w) / 100.0f)});
    write_list(kStdout, {});
  }

  // The counts are checked against the file and the workspaces first.
  if (records < kHead) damaged();
  const int nx = BINGETI(get(2));
  const int ns = BINGETI(get(14));
  const int niw = BINGETI(get(15));
  if (nx < 1 || ns < 1 || niw < 0) damaged();
  long long last = kHead + static_cast<long long>(nx);
  if (ns > 1) last = rec_string(nx, ns - 1) + 3;
  if (niw > 0) last = rec_int(nx, ns, niw);
  if (records < last) damaged();
  const int oldmaxd = m.WSMAXD;
  const int oldmaxi = m.WSMAXI;
  CHKMEM(nx);
  CHKIMEM(niw);
  if (ns > 1) CHKLAB(ns - 1);
  if (nx > kWsWords || niw > kWsWords) damaged();

  // X(1) is the number of groups; the group table must lie inside the model.
  const double xng = BINGETR(get(kHead + 1));
  if (!(xng >= 1.0) || xng != std::floor(xng) || 43.0 * xng + 1.0 > nx) damaged();
  const int ng = static_cast<int>(xng);

  for (int k = 1; k <= nx; ++k) X(k) = BINGETR(get(kHead + k));
  for (int k = nx + 1; k <= oldmaxd; ++k) X(k) = 0.0;
  if (!tables_inside(X, nx, ng)) damaged();
  for (int k = 1; k <= ns - 1; ++k) {
    std::string s(static_cast<std::size_t>(kLabLen), ' ');
    for (int p = 0; p < 4; ++p) {
      const BinRec r = get(static_cast<int>(rec_string(nx, k)) + p);
      std::memcpy(s.data() + 8 * p, r.data(), BINRECL);
    }
    LABTAB.put(k, s);
  }
  for (int k = 1; k <= niw; ++k) IX(k) = BINGETI(get(static_cast<int>(rec_int(nx, ns, k))));
  for (int k = niw + 1; k <= oldmaxi; ++k) IX(k) = 0;

  auto& o = FITOPT;
  o.FE = BINGETR(get(3));
  o.OP = BINGETR(get(4));
  o.LI = BINGETR(get(5));
  o.STE = BINGETR(get(6));
  o.FU = BINGETR(get(7));
  o.TH = BINGETR(get(8));
  o.IT = BINGETI(get(9));
  o.NA = BINGETI(get(10));
  o.DE = BINGETI(get(11));
  o.OPTFIT = BINGETI(get(12));
  m.NFREE = BINGETI(get(13));
  const long long trailer = rec_trailer(nx, ns, niw);
  m.NUNCNT = records >= trailer ? std::max(10000, BINGETI(get(static_cast<int>(trailer))))
                                : unique_counter(X, nx, ng);
  // Both counters number further parameters one by one: past the script's
  // integer range they would overflow.
  if (m.NFREE < 0 || m.NFREE > kIntCap || m.NUNCNT > kIntCap) damaged();

  write_list(kStdout, {" Note: ", kHead + nx + 4 * ns + niw, " binary records read"});
  NX = nx;
  NIW = niw;
  NS = ns;
  IGRP = ng;
  NG = ng;
  TOP = nx;
  GRPTAB(X, ng, gcol::kModelEnd, 1) = nx;
  runtime::close_unit(kSaveUnit);
}

}  // namespace

void BINOPN(Vec1<double> X, int& NX, Vec1<int> IX, int& NIW, int MODE, int& MULFIT, int& IGRP, int& NG, int& NS,
            int& TOP) {
  auto& c = CURSOR;
  MULFIT = 1;
  // The file name must be on this line: the word skip does not fetch another.
  const double noread = MAINPR.NOREAD;
  MAINPR.NOREAD = 1.0;
  NEXTWD();
  MAINPR.NOREAD = noread;
  if (c.NEWLIN) ERRMSG(134);
  INCSTK.FILNAM =
      runtime::fpad(std::string_view(LINBUF.RAWLIN).substr(c.ICOL - 1, static_cast<std::size_t>(c.LLEN - c.ICOL + 1)), 80);
  if (MODE == 1)
    save(X, NX, IX, NIW, NS);
  else
    restore(X, NX, IX, NIW, IGRP, NG, NS, TOP);
}

}  // namespace qv::jobctl
