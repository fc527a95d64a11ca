#include "fit/hessian.hpp"

#include <cmath>
#include <span>
#include <string>

#include "fit/fitsetup.hpp"
#include "jobbase/htmlrep.hpp"
#include "fit/objcel.hpp"
#include "jobbase/errmsg.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/syminv.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "numlib/eigen_sym.hpp"
#include "numlib/hessian.hpp"
#include "numlib/inverse.hpp"
#include "numlib/random.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

namespace gcol = jobbase::gcol;
using jobbase::GroupView;
using jobbase::icell;
using runtime::Mat1;
using runtime::Out;
using runtime::kMsgUnit;
using runtime::kStdout;
using runtime::write_list;

namespace {

std::span<double> words(Vec1<double> X, long long at, long long n) {
  return std::span<double>(X.ptr(at), static_cast<std::size_t>(n));
}

// Checks that IWORKS words up to last exist.
void check_iroom(long long last) {
  const int lim = jobbase::MAINPR.WSLIM;
  jobbase::CHKIMEM(last > lim ? lim + 1 : static_cast<int>(last));
}

// Lists rows 1..n of the n x n column-major matrix a on unit 7, one record
// per row: a(i, 1..i) (lower) or a(i, 1..n).  A row is strided in a, so it
// is gathered into the scratch words at s first (n words, checked).
void list_rows(Vec1<double> X, Mat1<double> a, int n, bool lower, int s) {
  jobbase::check_room(static_cast<long long>(s) + n - 1);
  for (int i = 1; i <= n; ++i) {
    const int m = lower ? i : n;
    for (int j = 1; j <= m; ++j) X(s + j - 1) = a(i, j);
    write_list(kMsgUnit, {Out(std::span<const double>(words(X, s, m)))});
  }
}

}  // namespace

bool stderr_wanted(Vec1<double> X) {
  const int NG = icell(X(1));
  for (int g = 1; g <= NG; ++g)
    if (GroupView{X, NG, g}.col(gcol::kStdErrors) == 1.0) return true;
  return false;
}

void HESCMP(Vec1<double> X, Vec1<int> IX, const Fitobj& fitfun) {
  auto& m = jobbase::MAINPR;
  auto& f = FITARR;
  auto& oc = OBJCEL;
  const int N = f.N;
  const int NG = icell(X(1));

  // Scratch kept for the job: the saved estimates, the saved fit values of
  // the groups, the forward and central intervals and E04XAF's work array.
  // The job's first call reserves it at WSTOP; the passes of its restarts
  // use the same words.
  const long long nn = static_cast<long long>(N) * N;
  const bool reserve = SECOV.SCRADR == 0;
  const long long sx = reserve ? m.WSTOP : SECOV.SCRADR;
  const long long sg = sx + N;
  const long long hf = sg + NG;
  const long long hc = hf + N;
  const long long wk = hc + N;
  const long long end = wk + nn + 2LL * N;
  jobbase::check_room(end - 1);
  const double scale = oc.FSCALE;
  const double sign = oc.FSIGN;
  for (int i = 1; i <= N; ++i) X(sx + i - 1) = X(f.X + i - 1);
  for (int g = 1; g <= NG; ++g) X(sg + g - 1) = GroupView{X, NG, g}.col(gcol::kFitValue);
  oc.FFIRST = false;
  if (reserve) {
    SECOV.SCRADR = static_cast<int>(sx);
    m.WSTOP = static_cast<int>(end);
  }
  for (int i = 1; i <= N; ++i) X(hf + i - 1) = 0.0;
  // E04XAF's verdict per variable: N integers of scratch.
  check_iroom(static_cast<long long>(m.IWSTOP) + N - 1);
  const std::span<int> info(IX.ptr(m.IWSTOP), static_cast<std::size_t>(N));

  int ifail = -1;
  const int mode = 2;
  oc.HESFLG = true;
  oc.RAWALC = false;
  double fobj = 0.0;
  int iwarn = 0;
  const numlib::E04xafFun objfun = [&fitfun](int& md, int n, std::span<double> x, double& fv,
                                             std::span<double> g, int nstate, std::span<int> iu,
                                             std::span<double> ru) {
    HESFUN(fitfun, md, n, x, fv, g, nstate, iu, ru);
  };
  numlib::E04XAF(0, N, m.EPSRF, words(X, f.X, N), mode, objfun, N, words(X, hf, N), fobj,
                 words(X, f.GOBJ, N), words(X, hc, N), words(X, f.RFAC, nn), iwarn,
                 words(X, wk, nn + 2LL * N), IX.span(), X.span(), info, ifail);

  oc.HESFLG = false;
  oc.FSCALE = scale;
  oc.FSIGN = sign;
  for (int i = 1; i <= N; ++i) X(f.X + i - 1) = X(sx + i - 1);
  for (int g = 1; g <= NG; ++g) GroupView{X, NG, g}.col(gcol::kFitValue) = X(sg + g - 1);
  CPYPAR(X, IX, words(X, f.X, N));
}

void IDCHEK(Vec1<double> X, Vec1<int> IX) {
  auto& m = jobbase::MAINPR;
  const auto& f = FITARR;
  const int N = f.N;
  const long long nn = static_cast<long long>(N) * N;
  const Mat1<double> H(X.ptr(f.RFAC), N, nn);
  const int s = m.WSTOP;
  const int PARLST = jobbase::FITSTA.PARLST;

  write_list(kMsgUnit, {" Estimated covariance matrix of the ", N, "parameters:"});
  list_rows(X, H, N, false, s);

  // Eigenvalues (ascending) at s, eigenvectors as the columns after them,
  // the work vector after those.
  const long long r = s;
  const long long v = r + N;
  const long long e = v + nn;
  jobbase::check_room(e + N - 1);
  int ifail = 0;
  numlib::F02ABF(words(X, f.RFAC, nn), N, N, words(X, r, N), words(X, v, nn), N, words(X, e, N), ifail);
  const Mat1<double> V(X.ptr(v), N, nn);

  write_list(kMsgUnit, {" Order of parameters by specification numbers"});
  write_list(kMsgUnit, {Out(std::span<const double>(words(X, PARLST, N)))});
  write_list(kMsgUnit, {" Eigenvectors of est. cov matrix of parameters"});
  write_list(kMsgUnit, {" NB these are printed by ROWS unlike Qv output"});
  write_list(kMsgUnit, {" Columns correspond to parameter order printed above"});
  for (int j = 1; j <= N; ++j)
    write_list(kMsgUnit, {Out(std::span<const double>(V.ptr(1, j), static_cast<std::size_t>(N)))});

  const double l1 = X(r);
  const double ln = X(r + N - 1);
  const double ratio = l1 / ln;
  // A ratio that is not a number compares false and does not flag.
  if (l1 <= 0.0 || ratio <= kIllRatio) {
    jobbase::WARNHD();
    write_list(kStdout, {" Eigenvalue check indicates ill-conditioning"});
    write_list(kStdout, {" Check your model for underidentification"});
    for (int i = 1; i <= N; ++i) V(i, 1) = std::abs(V(i, 1));
    check_iroom(static_cast<long long>(m.IWSTOP) + N - 1);
    const std::span<int> rank(IX.ptr(m.IWSTOP), static_cast<std::size_t>(N));
    int rfail = -1;
    numlib::M01DAF(std::span<const double>(V.ptr(1, 1), static_cast<std::size_t>(N)), 1, N, "D", rank,
                   rfail);
    // The parameters whose components rank first and second.
    int first = 1, second = 0;
    for (int i = 1; i <= N; ++i) {
      if (rank[static_cast<std::size_t>(i - 1)] == 1) first = i;
      if (rank[static_cast<std::size_t>(i - 1)] == 2) second = i;
    }
    write_list(kStdout, {});
    write_list(kStdout, {" Most likely culprits are parameters specified as"});
    const int spec1 = icell(X(PARLST + first - 1));
    if (second == 0) {
      // One parameter: it is the only culprit there is.
      write_list(kStdout, {spec1});
    } else {
      write_list(kStdout, {spec1, " and", icell(X(PARLST + second - 1))});
    }
    write_list(kStdout, {" Please check your model for underidentification"});
    write_list(kStdout, {" and note that this message may be caused by "});
    write_list(kStdout, {" parameters hitting actual or effective bounds."});
    write_list(kStdout, {" More complete diagnostic data may be found in the"});
    write_list(kStdout, {" OPTDUMP.OUT file if you use OPTION NA=5 or more."});
  } else {
    write_list(kStdout, {});
    write_list(kStdout, {" Eigenvalue test suggests model is identified"});
  }

  double d = 0.0;
  int dfail = -1;
  jobbase::check_room(static_cast<long long>(s) + N - 1);
  numlib::F03AAF(words(X, f.RFAC, nn), N, N, d, words(X, s, N), dfail);
  write_list(kMsgUnit, {" Determinant of estimated cov matrix of parameters", d});
  if (d <= 0.0) write_list(kStdout, {" Determinant is non-positive: model underidentified"});

  // No covariance matrix in a job that checks identification.
  SECOV.NOSE = true;
}

void SECALC(Vec1<double> X) {
  auto& m = jobbase::MAINPR;
  const auto& f = FITARR;
  const int N = f.N;
  const long long nn = static_cast<long long>(N) * N;
  const Mat1<double> H(X.ptr(f.RFAC), N, nn);
  const int s = m.WSTOP;
  // The covariance matrix's place: reserved by the job's first call.
  const bool reserve = SECOV.ADDR == 0;
  const long long c = reserve ? s : SECOV.ADDR;

  write_list(kMsgUnit, {" Hessian"});
  list_rows(X, H, N, true, s);
  int ifail = 0;
  jobbase::CHOLINV(X.from(f.RFAC), N, ifail);
  write_list(kMsgUnit, {" Covariance matrix of parameters"});
  list_rows(X, H, N, true, s);

  // The covariance matrix by rows, both triangles from the lower one.
  jobbase::check_room(c + nn - 1);
  for (int i = 1; i <= N; ++i)
    for (int j = 1; j <= N; ++j) X(c + static_cast<long long>(i - 1) * N + j - 1) = i >= j ? H(i, j) : H(j, i);
  SECOV.ADDR = static_cast<int>(c);
  SECOV.NORD = N;
  if (reserve) m.WSTOP = static_cast<int>(c + nn);

  if (ifail == 0) {
    SECOV.NOSE = false;
  } else {
    write_list(kStdout, {});
    write_list(kMsgUnit, {" Ifail from Inver: ", ifail});
    write_list(kStdout, {" HESSIAN cannot be inverted, Standard errors will not be computed"});
    SECOV.NOSE = true;
  }
}

void HESSEC(Vec1<double> X, Vec1<int> IX, const Fitobj& fitfun) {
  HESCMP(X, IX, fitfun);
  if (jobbase::FITOPT.CH) {
    IDCHEK(X, IX);
  } else {
    SECALC(X);
  }
}

void STDERR(Vec1<double> X, int g, int NG, int L, int o, int& NOSE) {
  if (SECOV.NOSE) {
    NOSE = 1;
    return;
  }
  NOSE = 0;
  const GroupView G{X, NG, g};
  int type = icell(G.type(L));
  const int n = jobbase::NELEM(type, icell(G.rows(L)), icell(G.cols(L)));
  const int a = icell(G.addr(L));
  const int PARLST = jobbase::FITSTA.PARLST;
  const int nord = SECOV.NORD;
  for (int e = 1; e <= n; ++e) {
    const double s = X(a + e - 1);
    if (s <= 0.0) {
      X(o + e - 1) = 0.0;
      continue;
    }
    int i = 0;
    for (int k = 1; k <= nord && i == 0; ++k)
      if (X(PARLST + k - 1) == s) i = k;
    if (i == 0) {
      write_list(kStdout, {" Subroutine STDERR confused"});
      jobbase::ERRMSG(136);
    }
    const double var = X(SECOV.ADDR + static_cast<long long>(i - 1) * nord + i - 1);
    if (var > 0.0) {
      X(o + e - 1) = std::sqrt(var);
    } else {
      X(o + e - 1) = -100.0;
      jobbase::WARNHD();
      write_list(kStdout, {" Problem with standard errors; set to -100"});
    }
  }
}

void PRSTER(Vec1<double> X, int g, int NG, int L, const Seprint& print) {
  auto& m = jobbase::MAINPR;
  const GroupView G{X, NG, g};
  if (G.col(gcol::kStdErrors) == 0.0) return;
  int type = icell(G.type(L));
  if (type < jobbase::kTypeZero || type > jobbase::kTypeUnit) return;
  if (G.icol(gcol::kRawLetter) == L) return;
  const int n = jobbase::NELEM(type, icell(G.rows(L)), icell(G.cols(L)));
  write_list(kStdout, {});
  write_list(kStdout, {" MATRIX ", std::string(1, static_cast<char>('A' + L - 1)), " (Rough) STANDARD ERRORS"});
  const int o = m.WSTOP;
  jobbase::check_room(static_cast<long long>(o) + n - 1);
  int nose = 0;
  STDERR(X, g, NG, L, o, nose);
  if (nose != 0) return;
  m.WSTOP = o + n;
  print(o);
  m.WSTOP = o;
}

}  // namespace qv::fit
