// Group-table columns, group kinds and fit codes that the fit functions and
// the fit statistics read, in one place.  The names are those of the job
// control's table names; when that header is in use this one goes and its
// users include it instead.
#pragma once

namespace qv::fit::gcol {
constexpr int kNobs = 1;           // observations N
constexpr int kNvar = 2;           // observed variables p after selection
constexpr int kTableRows = 2;      // fit code 11: rows of the contingency table
constexpr int kNstat = 3;          // observed statistics; constraint group: its constraint values
constexpr int kTableCols = 3;      // fit code 11: columns of the contingency table
constexpr int kObsData = 4;        // address of the observed matrix (packed) or the table's counts
constexpr int kCovResult = 9;      // address of the covariance formula's result (packed)
constexpr int kObsDet = 10;        // matrix data: determinant of the observed matrix
constexpr int kDiagPenalty = 10;   // fit code 3: the diagonal penalty of the last evaluation
constexpr int kFitCode = 11;       // fit-function code
constexpr int kFitValue = 15;      // the group's fit-function value at the last evaluation
constexpr int kAsyForm = 16;       // fit code 3: 2 covariances with diagonal, 1 correlations, 0 correlations held
constexpr int kKind = 18;          // group kind
constexpr int kObsInverted = 19;   // fit code 5: 1 while the observed matrix is held inverted
constexpr int kWeights = 20;       // address of the asymptotic or diagonal weights
constexpr int kObsMeans = 21;      // address of the observed means
constexpr int kMeansFormula = 29;  // address of the means formula's code list
constexpr int kMeansResult = 30;   // address of the means formula's result
constexpr int kDiOption = 32;      // options word DI: 1 drops the diagonal penalty of fit code 3
constexpr int kRecords = 34;       // address of the record data; the word before it counts records
}  // namespace qv::fit::gcol

namespace qv::fit {
// Group kinds.
constexpr int kKindData = 0;
constexpr int kKindConstraint = 1;
// Fit-function codes.
constexpr int kFitLS = 1;
constexpr int kFitML = 2;
constexpr int kFitAWLS = 3;
constexpr int kFitDWLS = 4;
constexpr int kFitGLS = 5;
constexpr int kFitNone = 6;
constexpr int kFitUser = 7;
constexpr int kFitUserRows = 8;
constexpr int kFitRaw = 9;
constexpr int kFitVL = 10;
constexpr int kFitTable = 11;
}  // namespace qv::fit
