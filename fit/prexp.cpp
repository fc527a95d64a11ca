#include "fit/prexp.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "algebra/packed.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/ferecs.hpp"
#include "jobbase/matutil.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/matprint.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/packidx.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using jobbase::GroupView;
using jobbase::icell;
using runtime::kStdout;
using runtime::packed_size;
using runtime::Vec1;
using runtime::write_list;
namespace gcol = jobbase::gcol;

namespace {

// The fit functions' names by code.
constexpr std::array<const char*, 14> kFitNames = {
    "Least Squares",                        // 1
    "Maximum Likelihood",                   // 2
    "Asymptotic Weighted Least Squares",    // 3
    "Diagonally Weighted Least Squares",    // 4
    "Generalised Least Squares",            // 5
    "No fit function",                      // 6
    "User-defined",                         // 7
    "User-defined, summed over data rows",  // 8
    "Raw data Maximum Likelihood",          // 9
    "Variable-length records ML",           // 10
    "Contingency table ML",                 // 11
    "Ordinal variable-length records ML",   // 12
    "Ordinal variable-length records ML",   // 13
    "Ordinal records, mixture of models",   // 14
};

// Words before an evaluated result: its type, rows and columns.
constexpr int kHeadType = -3;
constexpr int kHeadRows = -2;
constexpr int kHeadCols = -1;
// The expected proportions of a contingency table follow the packed 2 x 2
// expected covariance.
constexpr int kTableProportions = 3;

void blank() { write_list(kStdout, {}); }
void record(const std::string& text) { write_list(kStdout, {text}); }

// Labels of a printed matrix: their kind ('C' text, 'I' numbers, 'N' none)
// and the texts.
struct Labels {
  char kind = 'I';
  std::vector<std::string> text = {};
};
Labels numbers() { return {}; }
Labels none() { return {'N'}; }
Labels one(const std::string& text) { return {'C', {text}}; }

// The group's variable labels for n variables, numbers when it has none.
Labels variables(GroupView G, int n) {
  const int first = G.icol(gcol::kVarLabels);
  if (first <= 0) return numbers();
  Labels l{'C'};
  for (int k = 0; k < n; ++k) l.text.push_back(jobbase::LABTAB.get(first + k));
  return l;
}

// Scratch words above the workspace top, taken one after another for the
// length of one report (the top itself does not move).
class Scratch {
 public:
  explicit Scratch(Vec1<double> X) : X_(X), next_(jobbase::MAINPR.WSTOP) {}
  int take(long long n) {
    const int a = next_;
    jobbase::check_room(a + std::max(n, 1LL) - 1);
    next_ = a + static_cast<int>(std::max(n, 1LL));
    return a;
  }

 private:
  Vec1<double> X_;
  int next_;
};

// Prints the r x c column-major array at X(a) as a general ('G') or lower
// triangular ('L') matrix.
void print(Vec1<double> X, int a, int r, int c, char shape, const Labels& rl, const Labels& cl) {
  if (r <= 0 || c <= 0) return;
  const auto& m = jobbase::MAINPR;
  int ifail = -1;
  numlib::X04CBF(shape, 'N', r, c,
                 std::span<const double>(X.ptr(a), static_cast<std::size_t>(r) * static_cast<std::size_t>(c)), r,
                 m.PRTFMT, "", rl.kind, rl.text, cl.kind, cl.text, m.OUTWID, m.INDENT, ifail);
}

// The stored type of an evaluated result as the expansion reads it.
int expansion_type(int type) {
  if (type == jobbase::kTypeViewSym) return jobbase::kTypeSym;
  if (type == jobbase::kTypeViewFull || type == jobbase::kTypeComputed || type == jobbase::kTypeCompRef)
    return jobbase::kTypeFull;
  return type;
}
// Types whose expansion is printed as it stands (their rows and columns
// agree); the others are transposed first and printed whole.
bool symmetric_layout(int type) {
  return type == jobbase::kTypeSym || type == jobbase::kTypeDiag || type == jobbase::kTypeStand ||
         type == jobbase::kTypeZero || type == jobbase::kTypeIdent;
}

// Expands the r x c matrix of the type stored at X(from) into scratch and
// prints it when shown: symmetric layouts as a lower triangle, the rest
// transposed into column order and whole.  Returns the address of the
// expanded matrix in column order (0 for an empty one).
int expand_print(Vec1<double> X, Scratch& s, int from, int type, int r, int c, const Labels& rl,
                 const Labels& cl, bool shown = true) {
  if (r <= 0 || c <= 0) return 0;
  int t = expansion_type(type);
  const int n = jobbase::NELEM(t, r, c);
  t = expansion_type(type);
  const long long rc = static_cast<long long>(r) * c;
  const int a = s.take(2 * rc);
  algebra::EXPMAT(X.from(a), X.from(from), t, r, c, n);
  if (symmetric_layout(t)) {
    if (shown) print(X, a, r, c, 'L', rl, cl);
  } else {
    jobbase::DTRNSP(X.from(a), r, c, X.from(a + static_cast<int>(rc)));
    if (shown) print(X, a, r, c, 'G', rl, cl);
  }
  return a;
}

// Front-end records of the report, each frame "!@machine;" ... "!@human;".
// A record named by its tag: count values from X(a), the type as given.
void tag_record(Vec1<double> X, int a, int type, int r, int c, int count, std::string_view tag) {
  int t = type;
  jobbase::FEMREC(X, jobbase::kFeTagged, t, r, c, a, 0, count, tag);
}
// The group's variable labels as a label record of kind ("ROW" or
// "COLUMN") for the record tag, when the group has labels.
void label_record(GroupView G, int n, std::string_view kind, std::string_view tag) {
  const int first = G.icol(gcol::kVarLabels);
  if (first > 0) jobbase::FELAB(first, n, G.g, kind, tag);
}
// A FULL r x c record of the column-order values at X(a) in a frame of its own.
void full_frame(Vec1<double> X, int a, int r, int c, std::string_view tag) {
  jobbase::fe_machine();
  tag_record(X, a, jobbase::kTypeFull, r, c, r * c, tag);
  jobbase::fe_human();
}

// Constraint, calculation and simulation groups: the evaluated matrix.
void report_other(Vec1<double> X, GroupView G, bool rep, bool rec) {
  if (rep) {
    blank();
    if (G.icol(gcol::kKind) == jobbase::kKindConstraint) {
      const double d = G.col(gcol::kConDirection);
      if (d == 0.0) record(" CONSTRAINT VALUES (should be near zero)");
      else if (d == -1.0) record(" CONSTRAINT VALUES (should be negative)");
      else if (d == 1.0) record(" CONSTRAINT VALUES (should be positive)");
    } else {
      record(" EXPECTED MATRIX of this CALCULATION group");
    }
  }
  const int res = G.icol(gcol::kCovResult);
  if (res <= 0) return;
  const int form = G.icol(gcol::kCovFormula);
  const int r = icell(X(res + kHeadRows));
  const int c = icell(X(res + kHeadCols));
  if (form <= 0 || X(form) == 0.0 || r == 0 || c == 0) {
    if (rep) {
      blank();
      record(" Not supplied for this group");
    }
    return;
  }
  if (!rep) {
    if (rec) {
      // The matrix as stored: its own type, rows, columns and count.
      const int stored = icell(X(res + kHeadType));
      int t = expansion_type(stored);
      const int n = jobbase::NELEM(t, r, c);
      jobbase::fe_machine();
      tag_record(X, res, stored, r, c, n, "ExpCal");
      jobbase::fe_human();
    }
    return;
  }
  Scratch s(X);
  const int type = expansion_type(icell(X(res + kHeadType)));
  int t = type;
  const int n = jobbase::NELEM(t, r, c);
  const long long rc = static_cast<long long>(r) * c;
  const int a = s.take(2 * rc);
  algebra::EXPMAT(X.from(a), X.from(res), type, r, c, n);
  jobbase::DTRNSP(X.from(a), r, c, X.from(a + static_cast<int>(rc)));
  print(X, a, r, c, 'G', numbers(), numbers());
}

// The blank line, " Model number: " and the blank line before model k's
// block when there are several models.
void model_head(int nmodel, int k) {
  if (nmodel <= 1) return;
  blank();
  write_list(kStdout, {" Model number: ", k});
  blank();
}

// A contingency table of r x c cells, row by row at X(from) (scaled by
// scale), printed in column order.
// Returns the address of the table in column order.
int table(Vec1<double> X, Scratch& s, int from, int r, int c, double scale, bool rep) {
  const long long rc = static_cast<long long>(r) * c;
  const int a = s.take(2 * rc);
  for (long long k = 0; k < rc; ++k) X(a + static_cast<int>(k)) = X(from + static_cast<int>(k)) * scale;
  jobbase::DTRNSP(X.from(a), r, c, X.from(a + static_cast<int>(rc)));
  if (rep) print(X, a, r, c, 'G', numbers(), numbers());
  return a;
}

// Fit code 11: the thresholds and the three frequency tables, each block
// a frame of its own in record mode.
void report_table(Vec1<double> X, GroupView G, Scratch& s, bool rep, bool rec) {
  const int r = G.icol(gcol::kTableRows);
  const int c = G.icol(gcol::kTableCols);
  const int thr = G.icol(gcol::kMeansResult);
  const int cthr = thr + icell(X(thr + kHeadCols));
  if (rep) {
    record(" Expected ROW thresholds");
    print(X, thr, 1, r - 1, 'G', one("t"), numbers());
    record(" Expected COLUMN thresholds");
    print(X, cthr, 1, c - 1, 'G', one("t"), numbers());
  }
  if (rec) {
    full_frame(X, thr, 1, r - 1, "ExpRowThre");
    full_frame(X, cthr, 1, c - 1, "ExpColThre");
  }
  const int obs = G.icol(gcol::kObsData);
  const int prop = G.icol(gcol::kCovResult) + kTableProportions;
  const double N = G.col(gcol::kNobs);
  if (rep) record(" Observed frequencies");
  int a = table(X, s, obs, r, c, 1.0, rep);
  if (rec) full_frame(X, a, r, c, "ObsFreq");
  if (rep) record(" Expected frequencies");
  a = table(X, s, prop, r, c, N, rep);
  if (rec) full_frame(X, a, r, c, "ExpFreq");
  if (rep) record(" Residual frequencies");
  const long long rc = static_cast<long long>(r) * c;
  const int d = s.take(rc);
  for (long long k = 0; k < rc; ++k) {
    const int i = static_cast<int>(k);
    X(d + i) = X(obs + i) - X(prop + i) * N;
  }
  a = table(X, s, d, r, c, 1.0, rep);
  if (rec) full_frame(X, a, r, c, "ResFreq");
}

// Data groups.
void report_data(Vec1<double> X, GroupView G, bool rep, bool rec) {
  Scratch s(X);
  const int code = G.icol(gcol::kFitCode);
  // Definition variables of variable-length records are not reported.
  int ndef = 0;
  if (code == jobbase::kFitVL || code == jobbase::kFitOrdMix) {
    const int d = G.icol(gcol::kDefVars);
    if (d > 0) ndef = icell(X(d));
  }
  const int p = G.icol(gcol::kNvar) - ndef;
  // The group's own model count (the objective sets the same per group).
  const int nmodel = (code == jobbase::kFitVL || code == jobbase::kFitOrdMix)
                         ? std::max(1, jobbase::IGRPTB(jobbase::IWORKS.ix(), G.NG, jobbase::igcol::kModels, G.g))
                         : 1;
  // A contingency table's categories are numbered.
  const Labels vars = code == jobbase::kFitTable ? numbers() : variables(G, p);

  blank();
  // 1. Means, thresholds or the contingency table.
  const int mres = G.icol(gcol::kMeansResult);
  if (mres != 0 && rec && code != jobbase::kFitTable) {
    // The observed and expected means in one frame, each 1 x p.
    jobbase::fe_machine();
    const int obs = G.icol(gcol::kObsMeans);
    if (obs > 0) {
      tag_record(X, obs + ndef, jobbase::kTypeFull, 1, p, p, "ObsMean");
      label_record(G, p, "COLUMN", "ObsMean");
    }
    tag_record(X, mres, jobbase::kTypeFull, 1, p, p, "ExpMean");
    label_record(G, p, "COLUMN", "ExpMean");
    jobbase::fe_human();
  }
  if (mres != 0 && code == jobbase::kFitTable && (rep || rec)) report_table(X, G, s, rep, rec);
  if (mres != 0 && rep) {
    if (code != jobbase::kFitTable) {
      int obs = G.icol(gcol::kObsMeans);
      if (obs > 0 && code != jobbase::kFitOrdMix) {
        obs += ndef;
        record(" Vector of OBSERVED means");
        print(X, obs, 1, p, 'G', one("Mean"), vars);
        blank();
      }
      if (code == jobbase::kFitOrdMix) {
        // The models' threshold matrices are stacked in the result: each
        // model's has the result's rows divided by the model count.
        int rows = icell(X(mres + kHeadRows));
        if (nmodel > 1 && rows % nmodel == 0) rows /= nmodel;
        record(" Matrix of EXPECTED thresholds");
        Labels rl{'C'};
        for (int i = 1; i <= rows; ++i)
          rl.text.push_back("Threshold " + runtime::write_internal("(i2)", {i}));
        const long long rc = static_cast<long long>(rows) * p;
        for (int k = 1; k <= nmodel; ++k) {
          model_head(nmodel, k);
          const int a = s.take(2 * rc);
          for (long long e = 0; e < rc; ++e)
            X(a + static_cast<int>(e)) = X(mres + static_cast<int>((k - 1) * rc + e));
          jobbase::DTRNSP(X.from(a), rows, p, X.from(a + static_cast<int>(rc)));
          print(X, a, rows, p, 'G', rl, vars);
        }
      } else {
        record(" Vector of EXPECTED means");
        for (int k = 1; k <= nmodel; ++k) {
          model_head(nmodel, k);
          print(X, mres + (k - 1) * p, 1, p, 'G', one("Mean"), vars);
        }
      }
    }
  }

  // 2. The observed covariance matrix.
  const bool raw = code >= jobbase::kFitRaw && code != jobbase::kFitTable;
  const int obs = G.icol(gcol::kObsData);
  if (code != jobbase::kFitTable) {
    if (raw) {
      if (rep) record(" (OBSERVED MATRIX is nonexistent for raw data)");
    } else if (code != jobbase::kFitUser) {
      if (rep) record(" OBSERVED COVARIANCE MATRIX");
      if (G.col(gcol::kObsInverted) == 1.0 && obs > 0) {
        double det = 0.0;
        int nullity = 0, fault = 0;
        const int w = s.take(p);
        jobbase::SYMINV(X.from(obs), p, X.from(obs), X.from(w), det, 0, nullity, fault);
        if (fault != 0 || nullity != 0) jobbase::ERRMSG(54);
        G.col(gcol::kObsInverted) = 0.0;
      }
      if ((rep || rec) && obs > 0) {
        const int a = expand_print(X, s, obs, jobbase::kTypeSym, p, p, vars, vars, rep);
        if (rec && a > 0) {
          jobbase::fe_machine();
          tag_record(X, a, jobbase::kTypeFull, p, p, p * p, "ObsCov");
          label_record(G, p, "ROW", "ObsCov");
          label_record(G, p, "COLUMN", "ObsCov");
          jobbase::fe_human();
        }
      }
    }
  }
  if (!rep && !rec) return;

  // 3. The expected covariance matrix, 4. the residuals.
  if (code == jobbase::kFitUser || code == jobbase::kFitUserRows) {
    if (rep) record(" Expected matrix and residuals don't exist for user-defined  fit functions");
  } else {
    const int res = G.icol(gcol::kCovResult);
    if (rep) record(" EXPECTED COVARIANCE MATRIX");
    if (res > 0) {
      const int type = icell(X(res + kHeadType));
      // The formula machine's header of several models' blocks counts the
      // rows of all of them: each block is square.
      const int rall = icell(X(res + kHeadRows));
      const int c = icell(X(res + kHeadCols));
      const int r = nmodel > 1 && rall == nmodel * c ? c : rall;
      const Labels el = r == p && c == p ? vars : numbers();
      if (rec) jobbase::fe_machine();
      for (int k = 1; k <= nmodel; ++k) {
        if (rep) model_head(nmodel, k);
        const int a = expand_print(X, s, res + (k - 1) * packed_size(c), type, r, c, el, el, rep);
        if (rec && a > 0) tag_record(X, a, jobbase::kTypeFull, r, c, r * c, "ExpCov");
      }
      if (rec) jobbase::fe_human();
      if (code <= jobbase::kFitUserRows && obs > 0 && r == p && c == p) {
        // Observed minus expected over the expected matrix's elements.
        const long long pp = static_cast<long long>(p) * p;
        const int t = expansion_type(type);
        int t2 = t;
        const int n = jobbase::NELEM(t2, p, p);
        const int eo = s.take(pp);
        const int ee = s.take(pp);
        algebra::EXPMAT(X.from(eo), X.from(obs), jobbase::kTypeSym, p, p, packed_size(p));
        algebra::EXPMAT(X.from(ee), X.from(res), t, p, p, n);
        for (long long e = 0; e < pp; ++e) X(ee + static_cast<int>(e)) = X(eo + static_cast<int>(e)) - X(ee + static_cast<int>(e));
        if (rec && code < jobbase::kFitUserRows) {
          // The residuals as a packed SYMMETRIC matrix (lower triangle by rows).
          const int w = s.take(packed_size(p));
          for (int i = 1; i <= p; ++i)
            for (int j = 1; j <= i; ++j)
              X(w + runtime::packed_offset(i, j)) = X(ee + (i - 1) * p + (j - 1));
          jobbase::fe_machine();
          tag_record(X, w, jobbase::kTypeSym, p, p, packed_size(p), "ResCov");
          jobbase::fe_human();
        }
        if (rep) {
          record(" RESIDUAL MATRIX");
          if (symmetric_layout(t)) {
            print(X, ee, p, p, 'L', vars, vars);
          } else {
            jobbase::DTRNSP(X.from(ee), p, p, X.from(eo));
            print(X, ee, p, p, 'G', vars, vars);
          }
        }
      }
    }
  }
  if (!rep) return;

  // 6. The group's function value, 7. the diagonal part of code 3.
  {
    const int a = s.take(1);
    X(a) = G.col(gcol::kFitValue);
    print(X, a, 1, 1, 'G', one(" Function value of this group: "), none());
  }
  record(" Where the fit function is " + FITNAM(code));
  if (code == jobbase::kFitAWLS) {
    blank();
    const int a = s.take(1);
    X(a) = G.col(gcol::kDiagPenalty);
    print(X, a, 1, 1, 'G', one(" Part due to diagonal of S is  "), none());
  }
}

}  // namespace

std::string FITNAM(int code) {
  if (code < 1 || code > static_cast<int>(kFitNames.size())) return std::string(kFitNameLen, ' ');
  return runtime::fpad(kFitNames[static_cast<std::size_t>(code - 1)], kFitNameLen);
}

void PREXP(Vec1<double> X, int g, int NG, int frontflag, int printoff, int dumpflag) {
  const GroupView G{X, NG, g};
  const bool rep = printoff == 0;
  const bool rec = frontflag != 0 && printoff != 0 && dumpflag != 0;
  if (G.icol(gcol::kKind) >= jobbase::kKindConstraint) report_other(X, G, rep, rec);
  else report_data(X, G, rep, rec);
}

}  // namespace qv::fit
