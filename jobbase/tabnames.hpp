// Names for the data model kept in the workspaces: the columns of the group
// table GRPTAB and of the integer group table IGRPTB, the words of a group's
// matrix table MATTAB and its formula-text slots, the matrix type codes, the
// group kinds, the formula kinds and the fit codes; and GroupView, one group
// of the job with named access to its columns and its matrix table.
//
// Only the spelling is new: every number is the one the tables have always
// used.  Code outside this header names a column instead of writing its
// number (tools/check-table-names.sh checks it).
//
// Some columns mean different things for different groups; each meaning has
// its own name, and the comment says for which groups it holds.
#pragma once

#include "jobbase/workspace.hpp"
#include "runtime/view1.hpp"

namespace qv::jobbase {

// Columns k of GRPTAB(X, NG, k, g), the doubles X(1 + k*NG + g).
namespace gcol {
constexpr int kNi = 0;             // NI from the group line; fit code 9: length of each case record
constexpr int kNobs = 1;           // observations NO; fit code 8: data rows; fit code 11: total count
constexpr int kNvar = 2;           // observed variables after selection; fit code 8: row length
constexpr int kTableRows = 2;      // fit code 11: rows of the contingency table
constexpr int kNstat = 3;          // observed statistics p(p+1)/2; constraint group: its constraint values
constexpr int kTableCols = 3;      // fit code 11: columns of the contingency table
constexpr int kObsData = 4;        // address of the observed matrix (CM, PM, KM) or the table's counts
constexpr int kObsKind = 5;        // kind of the observed matrix: 0 covariance, 1 PM/KM/RA, 2 MA=KM, 3 MA=CT
constexpr int kModelEnd = 6;       // group 1 only: end of the stored model
constexpr int kMattab = 7;         // base B of the group's matrix table
constexpr int kCovFormula = 8;     // address of the covariance formula's code list
constexpr int kCovResult = 9;      // address of the covariance formula's result
constexpr int kObsDet = 10;        // matrix data: determinant of the observed matrix
constexpr int kDefVars = 10;       // record data (fit codes 10, 12-14): address of the definition-variable count
constexpr int kConDirection = 10;  // constraint group: 0 equal, +1 greater, -1 less (set by the fit)
constexpr int kDiagPenalty = 10;   // fit code 3: the diagonal penalty of the last evaluation
constexpr int kFitCode = 11;       // fit-function code FITCOD (the kFit* codes below)
constexpr int kNoReport = 12;      // options word NO: 1 leaves the group out of the report
constexpr int kBoundCount = 13;    // number of the group's bound records
constexpr int kBounds = 14;        // address of the group's first bound record
constexpr int kFitValue = 15;      // the group's fit-function value at the last evaluation
constexpr int kAsyForm = 16;       // weight-matrix form: 2 covariances with diagonal (after CM), 1 options word ST
constexpr int kResiduals = 17;     // options word RS: 1 reports the expected and residual matrices
constexpr int kKind = 18;          // group kind GRPKND (the kKind* codes below)
constexpr int kObsInverted = 19;   // fit code 5: 1 while the observed matrix is held inverted
constexpr int kWeights = 20;       // address of the asymptotic weights (AC, AI) or diagonal weights (AV)
constexpr int kObsMeans = 21;      // address of the observed means (ME)
constexpr int kObsSkew = 22;       // address of the observed skewness (SK)
constexpr int kObsKurt = 23;       // address of the observed kurtosis (KU)
constexpr int kRawData = 24;       // address of the raw data (RA); fit code 8: of the first row
constexpr int kVarLabels = 25;     // first label slot of the variable labels (LA); 0 when none
constexpr int kOutRequests = 26;   // address of the output-file request list; 0 when none
constexpr int kTitle = 27;         // first of the four label slots of the group title
constexpr int kRawLetter = 28;     // letter equated to the raw-data vector (%R), left out of the parameter list
constexpr int kMeansFormula = 29;  // address of the means formula's code list
constexpr int kMeansResult = 30;   // address of the means formula's result (fit code 11: the thresholds)
constexpr int kCaseDepend = 31;    // per-case evaluation: +1 means, +2 covariance (DI line, raw-vector formulas)
constexpr int kDiOption = 32;      // options word DI: 1 drops the diagonal penalty of fit code 3
constexpr int kSaturated = 32;     // fit code 11: the saturated term
constexpr int kIdCodes = 33;       // address of the identification codes 1..NI of record data
constexpr int kRecords = 34;       // address of the record data (VL, RE, OR); the word before it counts records
constexpr int kFitReserved = 35;   // kept for the fit
constexpr int kStdErrors = 36;     // 1 when the group requests standard errors
constexpr int kParList = 37;       // address of the group's parameter-matrix list (GRPLST)
constexpr int kCompFormula = 38;   // computed matrices defined so far (the code list while one compiles)
constexpr int kCompResult = 39;    // result of the computed matrix being compiled
constexpr int kWeightFormula = 40; // address of the weight (threshold) formula's code list
constexpr int kWeightResult = 41;  // address of the weight formula's result
constexpr int kRecordBlock = 42;   // address of the record-data summary block
}  // namespace gcol

// Columns k of IGRPTB(IX, NG, k, g), the integers IX(2 + k*NG + g).
namespace igcol {
constexpr int kModels = 1;         // NM, the number of component models (1 by default)
constexpr int kPower = 2;          // address of the word holding the power-transformation values' address
constexpr int kSameMeans = 3;      // options word SAMEMEA
constexpr int kSameCov = 4;        // options word SAMECOV
constexpr int kSameWeights = 5;    // options word SAMEWEI
constexpr int kIntervals = 6;      // address of the group's interval requests; 0 while none
constexpr int kLinks = 7;          // address of the group's equality-link list (ALLOCI); 0 while none
constexpr int kSuppress = 8;       // options word SU: 1 leaves the group out of the front end's records
constexpr int kObsSd = 9;          // letter of the matrix given by "ST OBSSD"
constexpr int kObsMean = 10;       // letter of the matrix given by "ST OBSMEAN"
}  // namespace igcol

// Words of a group's matrix table at base B: five blocks of 26, one word per
// letter L = 1..26 (the word of L is B + block + L - 1), then the IC/CS word
// and the formula-text slots B + kFormSlots + k, k = 1..29.
namespace mtab {
constexpr int kType = 0;           // type code
constexpr int kRows = 26;          // rows
constexpr int kCols = 52;          // columns
constexpr int kAddr = 78;          // storage address in MATSTO
constexpr int kLabel = 104;        // address of the matrix's label block; 0 when none
constexpr int kIcCs = 130;         // address of the numbers of an IC or CS statement
constexpr int kFormSlots = 131;    // formula-text slot k is word B + 131 + k
constexpr int kStorage = kMattabWords;  // the group's matrix storage begins at B + 162
}  // namespace mtab

// Formula-text slots k besides the letters 1..26 of computed matrices.
namespace fslot {
constexpr int kMeans = 27;         // the means formula
constexpr int kCov = 28;           // the covariance formula
constexpr int kWeight = 29;        // the weight (threshold) formula
constexpr int kCount = 29;         // slots per matrix table
}  // namespace fslot

// Formula kinds and the pair of group-table columns each one keeps: the
// address of its code list and the address of its result.
namespace fkind {
constexpr int kCov = 0;            // covariance formula (CO, M2, MO)
constexpr int kMeans = 1;          // means formula (M1, ME, TH)
constexpr int kComputed = 2;       // computed matrix (BE)
constexpr int kWeight = 9;         // weight formula (WE)
}  // namespace fkind
struct FormulaColumns {
  int code;    // group-table column of the code list's address
  int result;  // group-table column of the result's address
};
// The columns of a formula kind; {0, 0} for a kind that has none.
constexpr FormulaColumns formula_columns(int kind) {
  switch (kind) {
    case fkind::kCov: return {gcol::kCovFormula, gcol::kCovResult};
    case fkind::kMeans: return {gcol::kMeansFormula, gcol::kMeansResult};
    case fkind::kComputed: return {gcol::kCompFormula, gcol::kCompResult};
    case fkind::kWeight: return {gcol::kWeightFormula, gcol::kWeightResult};
    default: return {0, 0};
  }
}

// Matrix type codes: the declared types 1..12 in the order of the type
// words, and the codes the readers store besides them.
constexpr int kTypeZero = 1;         // ZE
constexpr int kTypeIdent = 2;        // ID
constexpr int kTypeIdZero = 3;       // IZ, identity over zero
constexpr int kTypeZeroId = 4;       // ZI, zero over identity
constexpr int kTypeDiag = 5;         // DI
constexpr int kTypeSubdiag = 6;      // SD
constexpr int kTypeStand = 7;        // ST, standardised
constexpr int kTypeSym = 8;          // SY
constexpr int kTypeFull = 9;         // FU
constexpr int kTypeLower = 10;       // LO
constexpr int kTypeUnit = 11;        // UN
constexpr int kTypeCo = 12;          // CO, reference to a computed matrix
constexpr int kTypeUndeclared = 99;  // letter not declared in the group
constexpr int kTypeComputed = -10;   // computed by a formula of the group
constexpr int kTypeCompRef = -11;    // computed matrix of an earlier group
constexpr int kTypeViewSym = 0;      // view of stored data held as symmetric
constexpr int kTypeViewFull = -1;    // view of stored data or results held as full
constexpr int kTypeRawShown = -2;    // the raw-data matrix as the listing shows it
// Types whose elements may be free parameters (DI, SD, ST, SY, FU, LO).
constexpr bool parameter_type(int type) { return type >= kTypeDiag && type <= kTypeLower; }

// Group kinds (GRPKND, column gcol::kKind).
constexpr int kKindData = 0;
constexpr int kKindConstraint = 1;
constexpr int kKindCalc = 2;
constexpr int kKindSim = 3;

// Fit-function codes (FITCOD, column gcol::kFitCode).
constexpr int kFitLS = 1;           // least squares
constexpr int kFitML = 2;           // maximum likelihood (the default)
constexpr int kFitAWLS = 3;         // asymptotically weighted least squares
constexpr int kFitDWLS = 4;         // diagonally weighted least squares
constexpr int kFitGLS = 5;          // generalised least squares
constexpr int kFitNone = 6;         // no fit function
constexpr int kFitUser = 7;         // the user's value, from the covariance formula
constexpr int kFitUserRows = 8;     // the user's value summed over the rows of a data matrix
constexpr int kFitRaw = 9;          // rectangular raw-data likelihood
constexpr int kFitVL = 10;          // variable-length record likelihood
constexpr int kFitTable = 11;       // contingency table
constexpr int kFitOrd12 = 12;       // ordinal records (12 to 14 share one path)
constexpr int kFitOrd13 = 13;
constexpr int kFitOrdMix = 14;      // ordinal records, mixture of models
constexpr int kFitTrailCalc = 99;   // a calculation group after the last data group

// Words of a matrix table at base B (the word of letter L, 1..26).
inline double& MTTYPE(Vec1<double> X, int B, int L) { return X(B + mtab::kType + L - 1); }
inline double& MTROWS(Vec1<double> X, int B, int L) { return X(B + mtab::kRows + L - 1); }
inline double& MTCOLS(Vec1<double> X, int B, int L) { return X(B + mtab::kCols + L - 1); }
inline double& MTADDR(Vec1<double> X, int B, int L) { return X(B + mtab::kAddr + L - 1); }
inline double& MTLABL(Vec1<double> X, int B, int L) { return X(B + mtab::kLabel + L - 1); }
// Formula-text slot k (1..29) of the matrix table at base B.
inline double& MTFSLT(Vec1<double> X, int B, int k) { return X(B + mtab::kFormSlots + k); }
// The IC/CS word of the matrix table at base B.
inline double& MTICCS(Vec1<double> X, int B) { return X(B + mtab::kIcCs); }

// One group of the job: the workspace, NG and the group's number, with named
// access to its group-table columns and its matrix table.
struct GroupView {
  Vec1<double> X;
  int NG;
  int g;
  // Column k (a gcol:: name) of the group.
  double& col(int k) const { return GRPTAB(X, NG, k, g); }
  // Column k read as an integer (an address, count or code).
  int icol(int k) const { return icell(col(k)); }
  // Base of the group's matrix table.
  int B() const { return icol(gcol::kMattab); }
  // The matrix-table words of letter L, and formula-text slot k.
  double& type(int L) const { return MTTYPE(X, B(), L); }
  double& rows(int L) const { return MTROWS(X, B(), L); }
  double& cols(int L) const { return MTCOLS(X, B(), L); }
  double& addr(int L) const { return MTADDR(X, B(), L); }
  double& label(int L) const { return MTLABL(X, B(), L); }
  double& fslot(int k) const { return MTFSLT(X, B(), k); }
};

// The current group (MAINPR.IGRP of MAINPR.NG) in WORKSP.
GroupView current_group();

}  // namespace qv::jobbase
