#include "fit/prparm.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "algebra/packed.hpp"
#include "fit/fitsetup.hpp"
#include "fit/hessian.hpp"
#include "fit/outreq.hpp"
#include "fit/prexp.hpp"
#include "fit/wrfiles.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/tabnames.hpp"
#include "numlib/matprint.hpp"
#include "jobbase/htmlrep.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using jobbase::GroupView;
using jobbase::icell;
using runtime::kStdout;
using runtime::write_list;
namespace gcol = jobbase::gcol;

namespace {

// Words of a label record: row-label flag, column-label flag, first slot.
constexpr int kLabRowFlag = 0;
constexpr int kLabColFlag = 1;
constexpr int kLabFirst = 2;
// Words of a formula-text record: number of pieces, first slot.
constexpr int kFormPieces = 0;
constexpr int kFormFirst = 1;
// A computed matrix's storage: its order word, then the code count; the
// result values follow the codes and the result's head.
constexpr int kCodeCount = 1;
constexpr int kResultAfterCodes = 5;
// The raw-data matrix as the listing shows it.
constexpr int kShownRaw = jobbase::kTypeRawShown;

std::string letter_text(int L) { return std::string(1, static_cast<char>('A' + L - 1)); }

// One record written as it stands (a list-directed text: its own leading
// blank, or one added).
void record(const std::string& text) { write_list(kStdout, {text}); }
void blank() { write_list(kStdout, {}); }

// Types listed: the declared types, the constrained symmetric view and the
// computed matrices.
bool listed(int type) {
  return (type >= jobbase::kTypeViewSym && type <= jobbase::kTypeUnit) || type == jobbase::kTypeComputed ||
         type == jobbase::kTypeCompRef;
}
bool computed(int type) { return type == jobbase::kTypeComputed || type == jobbase::kTypeCompRef; }

// The type line's text of each type; nullptr for a type printed without
// an order.
const char* type_text(int type) {
  switch (type) {
    case jobbase::kTypeViewSym: return " This is a constrained SYMMETRIC matrix of order ";
    case jobbase::kTypeComputed:
    case jobbase::kTypeCompRef: return " This is a computed FULL matrix of order ";
    case jobbase::kTypeZero: return " This is a NULL matrix of order ";
    case jobbase::kTypeIdent: return " This is an IDENTITY matrix of order ";
    case jobbase::kTypeIdZero: return " This is an IDENTITY:NULL matrix of order ";
    case jobbase::kTypeZeroId: return " This is a NULL:IDENTITY matrix of order ";
    case jobbase::kTypeDiag: return " This is a DIAGONAL matrix of order ";
    case jobbase::kTypeSubdiag: return " This is a SUBDIAGONAL matrix of order ";
    case jobbase::kTypeStand: return " This is a STANDARDISED matrix of order ";
    case jobbase::kTypeSym: return " This is a SYMMETRIC matrix of order ";
    case jobbase::kTypeFull: return " This is a FULL matrix of order ";
    case jobbase::kTypeLower: return " This is a LOWER TRIANGULAR matrix of order ";
    case jobbase::kTypeUnit: return " This is a UNIT matrix of order ";
    default: return nullptr;
  }
}

// Types whose expanded rows are the printed columns: transposed before
// printing.
bool transposed(int type) {
  return type == jobbase::kTypeFull || type == jobbase::kTypeLower || type == jobbase::kTypeUnit ||
         type == jobbase::kTypeSubdiag;
}

// Labels of n slots from first on.
std::vector<std::string> slots(const jobbase::Labtab& LABTAB, int first, int n) {
  std::vector<std::string> v;
  v.reserve(static_cast<std::size_t>(std::max(n, 0)));
  for (int k = 0; k < n; ++k) v.push_back(LABTAB.get(first + k));
  return v;
}

// The record " <A HREF="#grp" id <prefix>matrix L ">L</A>" of the group's
// matrix list.
void matrix_link(const std::string& gid, const char* prefix, int L) {
  record(" <A HREF=\"#grp" + gid + prefix + "matrix" + letter_text(L) + "\">" + letter_text(L) + "</A>");
}

// The title of group g on its own record.
void title(GroupView G) { jobbase::FETITL(G.icol(gcol::kTitle), G.g, 0, 1); }

// The HTML list of the groups with links to their sections (prefix "spe" or
// "est").
void group_list(Vec1<double> X, int NG, const char* prefix) {
  record("<OL>");
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (G.col(gcol::kNoReport) == 1.0) {
      record(" <LI>");
      title(G);
    } else {
      record(std::string(" <LI><A HREF=\"#") + prefix + jobbase::HTANCH(g, 1) + "\">");
      title(G);
      record("</A>");
    }
  }
  record("</OL>");
  jobbase::HTPRE(1);
}

}  // namespace

void PRFORM(Vec1<double> X, int g, int NG, jobbase::Labtab& LABTAB, int letter) {
  const GroupView G{X, NG, g};
  const int w = icell(G.fslot(letter));
  if (w <= 0) return;
  const int n = icell(X(w + kFormPieces));
  const int first = icell(X(w + kFormFirst));
  std::string text = " [=";
  for (int k = 0; k < n; ++k) {
    const std::string piece = LABTAB.get(first + k);
    text += k < n - 1 ? piece : piece.substr(0, static_cast<std::size_t>(jobbase::LENTRM(piece)));
  }
  text += "]";
  record(text);
}

void PRMAT(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB, int& type, int rows, int cols, int address,
           int labelrec, int mode, int& hasfree, int letter) {
  auto& m = jobbase::MAINPR;
  // 1. The type line; what follows it depends on the type.
  if (type == kShownRaw) {
    record(" This matrix corresponds to the RAW data vectors");
    if (mode == prmode::kEstimates) record(" the first such vector is:");
    hasfree = 0;
    type = jobbase::kTypeFull;
  } else {
    const char* text = type_text(type);
    if (text == nullptr) return;
    runtime::write_fmt_full(kStdout, "(a,i4,a,i4)", {text, rows, " by ", cols});
    switch (type) {
      case jobbase::kTypeViewSym:
        hasfree = 0;
        type = jobbase::kTypeSym;
        break;
      case jobbase::kTypeComputed:
      case jobbase::kTypeCompRef:
        if (mode == prmode::kEstimates) PRFORM(X, m.IGRP, icell(X(1)), LABTAB, letter);
        hasfree = 0;
        type = jobbase::kTypeFull;
        break;
      case jobbase::kTypeZero:
      case jobbase::kTypeIdent:
      case jobbase::kTypeIdZero:
      case jobbase::kTypeZeroId:
      case jobbase::kTypeUnit:
        return;
      default:
        break;
    }
  }
  // 2. Without free elements only values are printed.
  if (mode != prmode::kEstimates && hasfree == 0) {
    record(" It has no free parameters specified");
    return;
  }
  if (rows <= 0 || cols <= 0) return;
  // 3. The full array in scratch above the workspace tops, then transposed
  // where its rows are the printed columns.
  int t = type;
  const int n = jobbase::NELEM(t, rows, cols);
  const long long rc = static_cast<long long>(rows) * cols;
  std::vector<std::string> rlabs, clabs;
  char labrow = 'I', labcol = 'I';
  if (labelrec > 0) {
    const int first = icell(X(labelrec + kLabFirst));
    if (X(labelrec + kLabRowFlag) == 1.0) {
      labrow = 'C';
      rlabs = slots(LABTAB, first, rows);
    }
    if (X(labelrec + kLabColFlag) == 1.0) {
      labcol = 'C';
      clabs = slots(LABTAB, first + rows, cols);
    }
  }
  const char shape = type == jobbase::kTypeFull ? 'G' : 'L';
  int ifail = -1;
  if (mode == prmode::kSpecification) {
    const int a = m.IWSTOP;
    jobbase::CHKIMEM(static_cast<int>(std::min<long long>(a + 2 * rc - 1, 2147483647LL)));
    algebra::EXPPAT(IX.from(a), X.from(address), type, rows, cols, n);
    if (transposed(type)) jobbase::ITRNSP(IX.from(a), rows, cols, IX.from(a + static_cast<int>(rc)));
    const std::string format = labrow == 'C' ? "I7,1X" : "";
    numlib::X04EBF(shape, 'N', rows, cols, std::span<const int>(IX.ptr(a), static_cast<std::size_t>(rc)), rows,
                   format, "", labrow, rlabs, labcol, clabs, m.OUTWID, m.INDENT, ifail);
  } else {
    const int a = m.WSTOP;
    jobbase::check_room(a + 2 * rc - 1);
    algebra::EXPMAT(X.from(a), X.from(address), type, rows, cols, n);
    if (transposed(type)) jobbase::DTRNSP(X.from(a), rows, cols, X.from(a + static_cast<int>(rc)));
    numlib::X04CBF(shape, 'N', rows, cols, std::span<const double>(X.ptr(a), static_cast<std::size_t>(rc)), rows,
                   m.PRTFMT, "", labrow, rlabs, labcol, clabs, m.OUTWID, m.INDENT, ifail);
  }
}

void PRPARM(Vec1<double> X, Vec1<int> IX, jobbase::Labtab& LABTAB, int& mode, int feactv, int machout) {
  auto& m = jobbase::MAINPR;
  const int NG = icell(X(1));
  const bool html = m.HTMLON;
  const bool spec = mode == prmode::kSpecification;
  const jobbase::RestoreCell keep_group(m.IGRP);
  const std::string jid = jobbase::HTANCH(m.JOBNO, 0);

  // The heading and, in HTML, the list of groups.
  blank();
  blank();
  if (spec) {
    if (html) {
      jobbase::HTPRE(0);
      record(" <H2><A NAME=Specification" + jid + "> Parameter Specifications</A> <A HREF=\"#Estimates" + jid +
             "\"> View estimates </A></H2>");
    } else {
      record(" PARAMETER SPECIFICATIONS");
    }
    if (!FITARR.FREEP) {
      blank();
      record(" No free parameters specified");
      blank();
      return;
    }
    if (html) group_list(X, NG, "spe");
  } else {
    if (html) {
      jobbase::HTPRE(0);
      record(" <H2><A NAME=Estimates" + jid + "> Qv Parameter Estimates</A><A HREF=\"#Specification" + jid +
             "\">View specifications</A></H2>");
      group_list(X, NG, "est");
    } else {
      record(" QV PARAMETER ESTIMATES");
    }
  }

  const char* prefix = spec ? "spe" : "est";
  const std::string index = spec ? "Specification" : "Estimates";
  for (int g = 1; g <= NG; ++g) {
    const GroupView G{X, NG, g};
    if (G.col(gcol::kNoReport) == 1.0) continue;
    m.IGRP = g;
    const int B = G.B();
    const int raw = G.icol(gcol::kRawLetter);

    // 1. The group heading with its navigation and matrix list.
    blank();
    if (html) {
      jobbase::HTPRE(0);
      const std::string gid = jobbase::HTANCH(g, 1);
      record(std::string(spec ? " <A  NAME=spe" : " <A NAME=est") + gid + "><H3> Group Number: " +
             std::to_string(g) + "</H3></A>");
      if (NG == 1) {
        record(spec ? " <STRONG> (The only group) </STRONG>" : " <STRONG> (The only group)</STRONG>");
      } else {
        if (g == 1) record(" <STRONG> (First group)</STRONG>");
        else jobbase::HTGRP(X.span(), g, NG, false, prefix);
        if (g == NG) record(spec ? " <STRONG> (Last group) </STRONG>" : " <STRONG> (Last group)</STRONG>");
        else jobbase::HTGRP(X.span(), g, NG, true, prefix);
      }
      record(" <STRONG><A HREF=\"#" + index + jid + "\"> Index</A></STRONG>");
      jobbase::HTPRE(0);
      for (int L = 1; L <= 26 && B > 0; ++L)
        if (listed(icell(jobbase::MTTYPE(X, B, L)))) matrix_link(gid, prefix, L);
    } else {
      write_list(kStdout, {" GROUP NUMBER:", g});
    }

    // 2. The title.
    blank();
    if (html) {
      record(" <H3>");
      title(G);
      record(" </H3>");
      jobbase::HTPRE(1);
    } else {
      title(G);
    }

    // 3. The group's output files, before its matrices.
    const RequestList requests(G);
    if (!spec && requests.address() > 0) {
      const int count = requests.count();
      for (int r = 1; r <= count; ++r) {
        const OutRequest q = requests(r);
        WRFCEL.REQNUM = q.number;
        const std::vector<std::string> names = slots(LABTAB, q.slot, q.slots);
        WRFILES(X, IX, names, q.slots, 80);
      }
    }

    // 4. The matrices (none in a group without a matrix table).
    for (int L = 1; L <= 26 && B > 0; ++L) {
      int type = icell(jobbase::MTTYPE(X, B, L));
      if (!listed(type)) continue;
      const int rows = icell(jobbase::MTROWS(X, B, L));
      const int cols = icell(jobbase::MTCOLS(X, B, L));
      const bool is_raw = L == raw;
      if (is_raw) jobbase::MTADDR(X, B, L) = G.col(gcol::kRawData) - G.col(gcol::kNi);
      const int address = icell(jobbase::MTADDR(X, B, L));
      const int labelrec = icell(jobbase::MTLABL(X, B, L));
      int t = type;
      const int n = jobbase::NELEM(t, rows, cols);
      const bool positive = type >= jobbase::kTypeZero && !is_raw;
      if (is_raw) type = kShownRaw;
      int hasfree = 0;
      if (positive)
        for (int k = 0; k < n; ++k)
          if (X(address + k) != 0.0) hasfree = 1;

      blank();
      const std::string Lt = letter_text(L);
      if (html) {
        const std::string gid = jobbase::HTANCH(g, 1);
        if (spec) {
          record(" <A NAME=grp" + gid + "spematrix" + Lt + "> Matrix " + Lt + " Specification </A><A HREF=\"#grp" +
                 gid + "estmatrix" + Lt + "\"> View estimates</A> <A HREF=\"#Specification" + jid +
                 "\"> Index</A>");
          jobbase::HTPRE(1);
        } else {
          std::string head = " <A NAME=grp" + gid + "estmatrix" + Lt + "> Matrix " + Lt + " Estimates</A>";
          head += hasfree != 0 ? "<A HREF=\"#grp" + gid + "spematrix" + Lt + "\"> View specifications</A>"
                               : std::string(" (No free parameters)");
          head += " <A HREF=\"#Estimates" + jid + "\"> Index</A>";
          record(head);
        }
      } else {
        record(" MATRIX " + Lt);
      }

      int data = address;
      if (!spec) data = computed(type) ? address + icell(X(address + kCodeCount)) + kResultAfterCodes : address + n;
      PRMAT(X, IX, LABTAB, type, rows, cols, data, labelrec, mode, hasfree, L);

      if (!spec) {
        PRSTER(X, g, NG, L, [&](int se) {
          int t2 = icell(jobbase::MTTYPE(X, B, L));
          int hf = hasfree;
          mode = prmode::kStdErrors;
          PRMAT(X, IX, LABTAB, t2, rows, cols, se, labelrec, mode, hf, L);
          mode = prmode::kEstimates;
        });
      }
    }

    // 5. The group's results.
    if (!spec && G.col(gcol::kResiduals) != 0.0) PREXP(X, g, NG, feactv, 0, machout);
  }
}

}  // namespace qv::fit
