#include "fit/userfit.hpp"

#include "algebra/formmach.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/workspace.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;

namespace {

// The group's covariance formula evaluated at the current parameters; its
// result's first element is the user's value.  The formula machine records
// how high its temporaries reach, as in the objective's evaluation step.
double formula_value(runtime::Vec1<double> X, jobbase::GroupView G) {
  auto& fm = algebra::FMFLAG;
  const bool accounting = fm.ACCNT;
  fm.ACCNT = true;
  int status = 0;
  algebra::EVFORM(X, jobbase::fkind::kCov, G.g, G.g, status);
  fm.ACCNT = accounting;
  return X(G.icol(gcol::kCovResult));
}

// Code 7: the computed matrices, then the formula, evaluated here (the
// objective's evaluation step leaves this group to its fit function).
double user_value(runtime::Vec1<double> X, jobbase::GroupView G) {
  auto& fm = algebra::FMFLAG;
  const bool accounting = fm.ACCNT;
  fm.ACCNT = true;
  int status = 0;
  fm.INFIT = true;
  algebra::EVCOMP(X, 0, status);
  fm.INFIT = false;
  fm.ACCNT = accounting;
  return formula_value(X, G);
}

// Code 8: the formula's value summed over the n rows of the data.  The raw
// letter (when the group has one) is pointed at each row in turn: a matrix's
// elements are read from its storage address plus its element count, so the
// address of row i (from 0) is the first row's address + k i less that
// count; with a view of the whole row, k, this is the first row's address +
// k (i - 1).
double user_rows_value(runtime::Vec1<double> X, jobbase::GroupView G) {
  const int n = G.icol(gcol::kNobs);
  const int k = G.icol(gcol::kNvar);
  const int first = G.icol(gcol::kRawData);
  const int L = G.icol(gcol::kRawLetter);
  const bool moves = L >= 1 && L <= 26 && G.B() > 0;
  int held = 0;
  if (moves) {
    int type = jobbase::icell(G.type(L));
    held = jobbase::NELEM(type, jobbase::icell(G.rows(L)), jobbase::icell(G.cols(L)));
  }
  double F = 0.0;
  for (int i = 0; i < n; ++i) {
    if (moves) G.addr(L) = first + k * i - held;
    F += formula_value(X, G);
  }
  // The letter back on the first row, as declared.  The means formula, which
  // the group must have and the report shows as its expected means, is
  // evaluated there, so that what is shown is its value at these parameters
  // (with the check that holds the user's value to 1 x 1 lifted, as for the
  // computed matrices).
  if (moves) G.addr(L) = first - held;
  if (G.icol(gcol::kMeansFormula) > 0) {
    auto& fm = algebra::FMFLAG;
    const bool accounting = fm.ACCNT;
    fm.ACCNT = true;
    fm.INFIT = true;
    int status = 0;
    algebra::EVFORM(X, jobbase::fkind::kMeans, G.g, G.g, status);
    fm.INFIT = false;
    fm.ACCNT = accounting;
  }
  return F;
}

}  // namespace

void user_fit(int code, runtime::Vec1<double> X, int NG, int g, double& FOBJ) {
  const jobbase::GroupView G{X, NG, g};
  jobbase::MAINPR.IGRP = g;
  const double F = code == jobbase::kFitUser ? user_value(X, G) : user_rows_value(X, G);
  G.col(gcol::kFitValue) = F;
  FOBJ += F;
}

}  // namespace qv::fit
