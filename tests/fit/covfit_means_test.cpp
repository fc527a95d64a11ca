// Maximum likelihood with a means model through the group adapter: the
// expected means come from the group's means formula, evaluated above the
// scratch that holds the inverse.  Data and references as in
// covfit_test.cpp (Holzinger-Swineford, R and lavaan).
#include <gtest/gtest.h>

#include <vector>

#include "algebra/formula_fixture.hpp"
#include "fit/covfit.hpp"
#include "fit/objcel.hpp"

namespace qv::fit {
namespace {

class MlMeansTest : public algebra::testing_support::FormulaTest {};

TEST_F(MlMeansTest, MeansTermAddedToTheCovarianceValue) {
  // S (lower triangle by rows), lavaan's fitted covariances, det S, the
  // observed means and the expected means (observed less 0.1, ..., 0.9).
  const std::vector<double> S = {
      1.3628977449977859,  0.40872923458654481,  1.3863898117386491,    0.5818323200848422,  0.45256748338870434,
      1.2791144102990033,  0.50651777949585941,  0.20961978157045957,   0.20886351162214839, 1.3551667228846569,
      0.44208425583726463, 0.21179471207087486,  0.11267061184939092,   1.1014119575116832,  1.6653183831672205,
      0.45632415774787222, 0.24836971990279622,  0.24492267812843299,   0.89850076176325477, 1.0179057889233942,
      1.200346239286036,   0.085047985926619746, -0.097073520982004433, 0.088636310763842749, 0.22047506510334636,
      0.14347621326771873, 0.1445586505079762,   1.1870832625408529,    0.26471714330171092, 0.11002491694352159,
      0.21303038482834996, 0.12601199448074199,  0.18120722591362129,   0.16598244158049835, 0.53702937198588041,
      1.0253894241417498,  0.45986634222912515,  0.24482281573366557,   0.3750987461701274,  0.2441739463043692,
      0.29622546742109634, 0.23678360591218156,  0.37454154330688105,   0.4588409483089701,  1.0183872161929175};
  const std::vector<double> E = {
      1.3628981939562874,  0.44945040570220463, 1.3863871822338498,  0.59225883320889461, 0.32781562379595947,
      1.2791139597781211,  0.40959327785778726, 0.22671012799605433, 0.29874503211049985, 1.3551660939775281,
      0.45590873710939256, 0.25234576281419502, 0.33252613670699049, 1.0938826190445687,  1.6653178397002275,
      0.37934333125941577, 0.20996676418632956, 0.27668162981264988, 0.91017574996720163, 1.0130954269694246,
      1.2003459094115296,  0.2630987674581296,  0.14562532753954638, 0.19189633712641632, 0.17407295811561452,
      0.19375655507447231, 0.16121703988678515, 1.1870830700578163,  0.31044360596616044, 0.17183072440114949,
      0.22642824002854103, 0.20539752937918213, 0.22862320571863831, 0.19022817814457771, 0.45431271058755857,
      1.0253893672897747,  0.28454922056916038, 0.15749816636104583, 0.20754165322377821, 0.18826513340412721,
      0.20955353481608682, 0.17436107164414036, 0.41641807145624932, 0.49135284418588332, 1.0183870778478448};
  const double detS = 0.38333880469125842;
  const std::vector<double> mobs = {4.9357696563787377, 6.088039867109635,  2.2504152823920265,
                                    3.0609080868438538, 4.3405315614617939, 2.1855719017607975,
                                    4.1859020667774089, 5.5270764119601328, 5.3741232916943522};
  const std::vector<double> mexp = {4.835769656378738,  5.8880398671096348, 1.9504152823920264,
                                    2.6609080868438539, 3.8405315614617939, 1.5855719017607974,
                                    3.4859020667774088, 4.727076411960133,  4.4741232916943519};
  auto X = jobctl::WORKSP.x();
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
  jobctl::MAINPR.WSTOP = top;
  OBJCEL.reset();
  OBJCEL.FFIRST = 1;
  double fobj = 0.0;
  COVFIT(2, X, 1, 1, fobj);
  // R: (log(det(Sig)/det(S)) + tr(solve(Sig) %*% S) - 9) * 300 plus
  //    N * log(1 + t(d) %*% solve(Sig) %*% d), tests/fit/refs/covfit_refs.R
  EXPECT_NEAR(fobj, 85.0221147221351 + 247.4634537955487, 1e-10 * 332.5);
  EXPECT_EQ(jobctl::MAINPR.WSTOP, top);
  for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(X(result + k), mexp[static_cast<std::size_t>(k)]) << k;
  // Expected means equal to the observed ones: q = 0, no term.
  for (int k = 0; k < 9; ++k) X(oAddr + k) = mexp[static_cast<std::size_t>(k)];
  fobj = 0.0;
  COVFIT(2, X, 1, 1, fobj);
  EXPECT_NEAR(fobj, 85.0221147221351, 1e-10 * 85.0);
}

}  // namespace
}  // namespace qv::fit
