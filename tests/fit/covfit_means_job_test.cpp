// Maximum likelihood with a means model through the group adapter: the
// expected means come from the group's means formula, evaluated above the
// scratch that holds the inverse.  Data and references as in
// covfit_test.cpp (Holzinger-Swineford, R and lavaan; tables in hs9_data.hpp).
#include <gtest/gtest.h>

#include <vector>

#include "algebra/formula_fixture.hpp"
#include "fit/covfit.hpp"
#include "fit/objcel.hpp"
#include "hs9_data.hpp"

namespace qv::fit {
namespace {

class MlMeansTest : public algebra::testing_support::FormulaTest {};

TEST_F(MlMeansTest, MeansTermAddedToTheCovarianceValue) {
  // S (lower triangle by rows), lavaan's fitted covariances, det S, the
  // observed means and the expected means (observed less 0.1, ..., 0.9).
  const std::vector<double>& S = hs9::kS9;
  const std::vector<double>& E = hs9::kSig9;
  const double detS = hs9::kDetS9;
  const std::vector<double>& mobs = hs9::kMobs9;
  const std::vector<double>& mexp = hs9::kMexp9;
  auto X = jobbase::WORKSP.x();
  add('M', 9, 1, 9, mexp);
  // The means formula "M" as a stored code list: its length, then the codes.
  const std::vector<int> codes = postfix("M /");
  const int list = ptr_;
  X(list) = static_cast<double>(codes.size());
  for (std::size_t k = 0; k < codes.size(); ++k) X(list + 1 + static_cast<int>(k)) = codes[k];
  const int result = list + 40;  // three words of type, rows, columns before it
  const int sAddr = result + 20, eAddr = sAddr + 50, oAddr = eAddr + 50, top = oAddr + 20;
  for (int k = 0; k < 45; ++k) {
    X(sAddr + k) = S[static_cast<std::size_t>(k)];
    X(eAddr + k) = E[static_cast<std::size_t>(k)];
  }
  for (int k = 0; k < 9; ++k) X(oAddr + k) = mobs[static_cast<std::size_t>(k)];
  col(18) = 0;  // a data group
  col(1) = 301;
  col(2) = 9;
  col(3) = 45;
  col(4) = sAddr;
  col(9) = eAddr;
  col(10) = detS;
  col(11) = 2;
  col(21) = oAddr;
  col(29) = list;
  col(30) = result;
  jobbase::MAINPR.WSTOP = top;
  OBJCEL.reset();
  OBJCEL.FFIRST = true;
  double fobj = 0.0;
  COVFIT(2, X, 1, 1, fobj);
  // R: (log(det(Sig)/det(S)) + tr(solve(Sig) %*% S) - 9) * 300 plus
  //    N * log(1 + t(d) %*% solve(Sig) %*% d), tests/fit/refs/covfit_refs.R
  EXPECT_NEAR(fobj, 85.0221147221351 + 247.4634537955487, 1e-10 * 332.5);
  EXPECT_EQ(jobbase::MAINPR.WSTOP, top);
  for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(X(result + k), mexp[static_cast<std::size_t>(k)]) << k;
  // Expected means equal to the observed ones: q = 0, no term.
  for (int k = 0; k < 9; ++k) X(oAddr + k) = mexp[static_cast<std::size_t>(k)];
  fobj = 0.0;
  COVFIT(2, X, 1, 1, fobj);
  EXPECT_NEAR(fobj, 85.0221147221351, 1e-10 * 85.0);
}

}  // namespace
}  // namespace qv::fit
