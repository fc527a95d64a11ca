#include "fit/wrfiles.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "algebra/packed.hpp"
#include "fit/fitfun.hpp"
#include "fit/fitsetup.hpp"
#include "fit/objcel.hpp"
#include "fit/outreq.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/htmlrep.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using jobbase::icell;
using runtime::Vec1;
using runtime::kOutFileUnit;
using runtime::kStdout;
using runtime::Out;
using runtime::write_fmt;
using runtime::write_list;
using runtime::write_record;
namespace gcol = jobbase::gcol;

namespace {

// The header template of a matrix file; the group, type, letter and sizes
// are patched in at fixed positions (0-based).
constexpr std::string_view kMatHdr = "(6D13.6) GROUP        MATRIX        ROWS,      COLS";
constexpr std::size_t kMatHdrLen = 500;
constexpr std::string_view kTypeWords = "ZEIDIZZIDISDSTSYFULOUNCO";
constexpr int kLetterA = 1, kLetterF = 6, kLetterS = 19;
constexpr int kKindF = 0, kKindA = 1, kKindS = 2;
// Words before an evaluated result: its type, rows and columns.
constexpr int kHeadType = -3, kHeadRows = -2, kHeadCols = -1;
// A computed matrix's result follows its code list: the count of codes at
// address + 1, the result five words after the codes.
constexpr int kCodeCount = 1, kResultAfterCodes = 5;
// Words of a label block: the row-label flag, then the first label slot.
constexpr int kLabRowFlag = 0, kLabFirst = 2;

void blank() { write_list(kStdout, {}); }

std::string file_name(std::span<const std::string> names, int npieces) {
  std::string s;
  for (int k = 0; k < npieces && k < static_cast<int>(names.size()); ++k) s += names[static_cast<std::size_t>(k)];
  return s.substr(0, static_cast<std::size_t>(jobbase::LENTRM(s)));
}

// The two-letter word of a type in the header.  Constrained views of
// symmetric data (type 0) read SY; constrained full views (-1) and computed
// matrices, which are written as full, read FU.
std::string_view type_word(int type) {
  if (type == jobbase::kTypeViewSym) type = jobbase::kTypeSym;
  if (type == jobbase::kTypeViewFull || type == jobbase::kTypeComputed || type == jobbase::kTypeCompRef)
    type = jobbase::kTypeFull;
  if (type < jobbase::kTypeZero || type > jobbase::kTypeCo) return "  ";
  return kTypeWords.substr(static_cast<std::size_t>(2 * (type - 1)), 2);
}

void put_int(std::string& s, std::size_t pos, int width, int v) {
  const std::string t = runtime::write_internal("(i" + std::to_string(width) + ")", {v});
  s.replace(pos, static_cast<std::size_t>(width), t.substr(0, static_cast<std::size_t>(width)));
}

// Opens unit 1 on the file: appended to with AP, written anew otherwise.
// An open that fails stops the job with error 223.
void open_out(const std::string& name) {
  runtime::OpenSpec spec;
  spec.file = name;
  if (jobbase::FITOPT.APPEND) {
    spec.position = "APPEND";
  } else {
    spec.status = "REPLACE";
  }
  if (name.empty() || runtime::open_unit(kOutFileUnit, spec, runtime::OnErr::Return) != runtime::IoStat::Ok)
    jobbase::ERRMSG(223);
}

void missing(std::string_view a, std::string_view b) {
  jobbase::WARNHD();
  write_list(kStdout, {a});
  write_list(kStdout, {b});
}

}  // namespace

std::string matrix_header(int g, int type, char letter, int rows, int cols) {
  std::string h(kMatHdr);
  h.resize(kMatHdrLen, ' ');
  put_int(h, 15, 2, g);
  h.replace(19, 2, type_word(type));
  h[29] = letter;
  put_int(h, 31, 4, rows);
  put_int(h, 42, 4, cols);
  if (rows == 1) h.replace(39, 2, ", ");
  if (cols == 1) h[50] = ' ';
  return h;
}

void RAMPTH(Vec1<double> X, int kind, int address, int /*labelref*/, int rows, int cols, int type) {
  const bool sym = type == jobbase::kTypeSym;
  const int n = sym ? rows * (rows + 1) / 2 : rows * cols;
  int k = 0;
  for (int i = 1; i <= rows; ++i) {
    const int last = sym ? i : cols;
    for (int j = 1; j <= last; ++j, ++k) {
      const double spec = X(address + k);
      const double value = X(address + n + k);
      if (spec == 0.0 && value == 0.0) continue;
      write_fmt(kOutFileUnit, "(i1,a1,i3,a1,i3,a1,d12.4,a1,i1,a1,i4,4(a1,i1),a1)",
                {kind, ",", i, ",", j, ",", value, ",", sym ? 1 : 0, ",", icell(spec), ";"});
    }
  }
}

void RAMOUT(Vec1<double> X) {
  const jobbase::GroupView G{X, icell(X(1)), jobbase::MAINPR.IGRP};
  const int tA = icell(G.type(kLetterA)), tS = icell(G.type(kLetterS)), tF = icell(G.type(kLetterF));
  const int nA = icell(G.rows(kLetterA));
  const bool ok = tA != jobbase::kTypeUndeclared && tS != jobbase::kTypeUndeclared &&
                  tF != jobbase::kTypeUndeclared && icell(G.cols(kLetterA)) == nA &&
                  icell(G.rows(kLetterS)) == nA && icell(G.cols(kLetterS)) == nA && icell(G.cols(kLetterF)) == nA;
  if (!ok) {
    jobbase::WARNHD();
    write_list(kStdout, {" Matrices F, A and S *must* be specified to create"});
    write_list(kStdout, {" RAM graphics output.  No Output file created"});
    write_list(kStdout, {" FURTHERMORE the number of columns of F must be the"});
    write_list(kStdout, {" same as the number of rows & columns in both A and S"});
    return;
  }
  write_list(kOutFileUnit, {"input_model ="});

  // A matrix goes to the path writer as it is stored when it is full (or,
  // for S, symmetric); any other type is expanded to full first, its
  // specification numbers and then its values.
  std::vector<double> fcols;  // F expanded, for the observed flags
  auto paths = [&](int L, int kind, bool keep_sym) {
    int type = icell(G.type(L));
    const int r = icell(G.rows(L)), c = icell(G.cols(L));
    const int addr = icell(G.addr(L));
    const int label = icell(G.label(L));
    if (type == jobbase::kTypeFull || (keep_sym && type == jobbase::kTypeSym)) {
      RAMPTH(X, kind, addr, label, r, c, type);
      if (L == kLetterF) fcols.assign(X.ptr(addr + r * c), X.ptr(addr + r * c) + r * c);
      return;
    }
    int t = type;
    const int n = jobbase::NELEM(t, r, c);
    std::vector<double> full(static_cast<std::size_t>(2 * r * c) + 1, 0.0);
    Vec1<double> F(full.data(), static_cast<std::ptrdiff_t>(full.size()));
    // The fixed patterns (ZE, ID, IZ, ZI) have no specification numbers:
    // only their values are filled.
    if (type > jobbase::kTypeZeroId) algebra::EXPMAT(F, X.from(addr), type, r, c, n);
    algebra::EXPMAT(F.from(r * c + 1), X.from(addr + n), type, r, c, n);
    RAMPTH(F, kind, 1, label, r, c, jobbase::kTypeFull);
    if (L == kLetterF) fcols.assign(full.begin() + r * c, full.begin() + 2 * r * c);
  };
  paths(kLetterA, kKindA, false);
  paths(kLetterS, kKindS, true);
  paths(kLetterF, kKindF, false);

  const int slab = icell(G.label(kLetterS));
  if (slab > 0 && X(slab + kLabRowFlag) != 0.0) {
    const int first = icell(X(slab + kLabFirst));
    const int rF = icell(G.rows(kLetterF));
    for (int i = 1; i <= nA; ++i) {
      int observed = 0;
      for (int r = 1; r <= rF; ++r)
        if (fcols[static_cast<std::size_t>((r - 1) * nA + i - 1)] == 1.0) observed = 1;
      std::string lab = jobbase::LABTAB.get(first + i - 1);
      lab.resize(jobbase::kLabLen, ' ');
      write_fmt(kOutFileUnit, "(a9,i4,a4,i1,a2,a32,a2)", {"variable(", i, ") = ", observed, " \"", lab, "\";"});
    }
  }

  std::string title;
  const int t0 = G.icol(gcol::kTitle);
  for (int k = 0; k < 4; ++k) {
    std::string piece = t0 > 0 ? jobbase::LABTAB.get(t0 + k) : std::string();
    piece.resize(jobbase::kLabLen, ' ');
    title += piece;
  }
  write_list(kOutFileUnit, {"set_title=\""});
  write_fmt(kOutFileUnit, "(a128)", {title});
  write_list(kOutFileUnit, {"\";"});
  write_list(kOutFileUnit, {"/* Delete the * and / characters from the line below"});
  write_list(kOutFileUnit, {"   to create a *.ps file for a postscript printer */"});
  write_list(kOutFileUnit, {"draw_model /* postscript */;"});
}

void WRFILES(Vec1<double> X, Vec1<int> IX, std::span<const std::string> names, int npieces, int /*width*/) {
  auto& m = jobbase::MAINPR;
  const int keep = m.IGRP;
  const int NG = icell(X(1));
  const int g = m.IGRP;
  const jobbase::GroupView G{X, NG, g};
  const int req = WRFCEL.REQNUM;
  const std::string name = file_name(names, npieces);

  const bool user = m.USRFMT != "QQQQQ";
  const std::string ufmt = user ? m.USRFMT.substr(0, static_cast<std::size_t>(jobbase::LENTRM(m.USRFMT))) : "";

  if (req == kReqVl) {
    const int block = G.icol(gcol::kRecords);
    if (block == 0) {
      missing(" I can't write the VL data to a file", " If such data don't exist!  Request ignored.");
      return;
    }
    write_list(kStdout, {" VL File will be saved to ", name});
    open_out(name);
    const int nvec = icell(X(block - 1));
    int p = block;
    for (int v = 0; v < nvec; ++v) {
      const int n = icell(X(p));
      write_list(kOutFileUnit, {n});
      std::vector<int> codes(static_cast<std::size_t>(n));
      for (int k = 0; k < n; ++k) codes[static_cast<std::size_t>(k)] = static_cast<int>(X(p + 2 + k));
      write_fmt(kOutFileUnit, "(100(1x,i9))", {std::span<const int>(codes)});
      write_fmt(kOutFileUnit, "(100(1x,e12.6))",
                {std::span<const double>(X.ptr(p + 2 + n), static_cast<std::size_t>(n))});
      p += 2 * n + 2;
    }
    runtime::close_unit(kOutFileUnit);
    m.IGRP = keep;
    return;
  }
  if (req == kReqPed) {
    write_list(kStdout, {" Pedigree likelihood statistics written to ", name});
    open_out(name);
    // One evaluation at the estimates with the flag set: the raw-data fit
    // functions write their per-record statistics to unit 1 as they go.
    const Fitarr& f = FITARR;
    std::vector<double> gobj(static_cast<std::size_t>(f.N > 1 ? f.N : 1), 0.0);
    if (f.X > 0 && f.N > 0) {
      const std::span<const double> x(X.ptr(f.X), static_cast<std::size_t>(f.N));
      int mode = 0;
      double fobj = 0.0;
      OBJCEL.PEDOUT = true;
      FITFUN(mode, f.N, x, fobj, gobj, 0, IX.span(), X.span());
      OBJCEL.PEDOUT = false;
    }
    runtime::close_unit(kOutFileUnit);
    m.IGRP = keep;
    return;
  }
  if (req == kReqPath) {
    write_list(kStdout, {" RAMPATH graphics commands will be written to file:", name});
    open_out(name);
    RAMOUT(X);
    runtime::close_unit(kOutFileUnit);
    m.IGRP = keep;
    return;
  }

  // Matrix files: the letters, the expected covariance and the means.
  int type = 0, rows = 0, cols = 0, data = 0;
  char letter = ' ';
  const int kind = G.icol(gcol::kKind);
  if (req == kReqExpCov) {
    letter = '%';
    data = G.icol(gcol::kCovResult);
    if (data <= 0) {
      // A group without a covariance formula has no result: an empty
      // matrix, of which only the header is written.
      type = jobbase::kTypeFull;
    } else if (kind != jobbase::kKindData) {
      type = icell(X(data + kHeadType));
      rows = icell(X(data + kHeadRows));
      cols = icell(X(data + kHeadCols));
    } else {
      type = jobbase::kTypeSym;
      rows = cols = G.icol(gcol::kNvar);
    }
  } else if (req == kReqExpMean) {
    letter = '&';
    data = G.icol(gcol::kMeansResult);
    if (kind != jobbase::kKindData || data <= 0) {
      missing(" I can't write the mean vector to a file", " If said vector doesn't exist!  Request ignored.");
      return;
    }
    type = jobbase::kTypeFull;
    if (G.icol(gcol::kFitCode) == jobbase::kFitTable) {
      rows = 2;
      cols = G.icol(gcol::kTableCols) - 1;
    } else {
      rows = 1;
      cols = G.icol(gcol::kNvar);
    }
  } else {
    letter = " ABCDEFGHIJKLMNOPQRSTUVWXYZ"[req];
    type = icell(G.type(req));
    if (type == jobbase::kTypeUndeclared) {
      jobbase::WARNHD();
      write_fmt(kStdout, "(a20,a1,a40)",
                {" The matrix ", std::string(1, letter), " does not exist - not written to file"});
      return;
    }
    rows = icell(G.rows(req));
    cols = icell(G.cols(req));
    const int addr = icell(G.addr(req));
    if (type == jobbase::kTypeComputed || type == jobbase::kTypeCompRef) {
      data = addr + icell(X(addr + kCodeCount)) + kResultAfterCodes;
    } else {
      int t = type;
      data = addr + jobbase::NELEM(t, rows, cols);
    }
  }
  int t = type;
  const int n = jobbase::NELEM(t, rows, cols);

  blank();
  write_fmt(kStdout, "(a21,a1,a)", {" Estimates of matrix ", std::string(1, letter), " will be written to file:"});
  write_list(kStdout, {name});
  blank();
  const bool existed = runtime::file_exists(name);
  open_out(name);
  if (!(jobbase::FITOPT.APPEND && existed)) {
    const std::string hdr = user ? ufmt : matrix_header(g, type, letter, rows, cols);
    write_fmt(kOutFileUnit, "(1x,a)", {hdr.substr(0, static_cast<std::size_t>(jobbase::LENTRM(hdr)))});
  }
  if (n > 0) {
    const std::span<const double> values(X.ptr(data), static_cast<std::size_t>(n));
    if (user) {
      write_list(kStdout, {"Format to be used is: ", ufmt});
      write_fmt(kOutFileUnit, ufmt, {values});
    } else {
      write_fmt(kOutFileUnit, "(6d13.6)", {values});
    }
  }
  runtime::close_unit(kOutFileUnit);
  m.IGRP = keep;
}

}  // namespace qv::fit
