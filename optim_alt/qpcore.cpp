// The edition's active-set QP iterations: E04NCZ with its direction E04NCQ,
// multipliers E04NCK, and the gradient and step routines E4GRAD and E4MOVE.
#include "optim_alt/qpsolve.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "optkern/blas.hpp"
#include "optim/facutil.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "numlib/errexit.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/records.hpp"
#include "optim_alt/steplim.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/format.hpp"
#include "runtime/items.hpp"
#include "runtime/view1.hpp"

extern "C" {
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a, const int* lda,
            double* x, const int* incx, std::size_t, std::size_t, std::size_t);
}

namespace qv::optim_alt {

using optim::FACMUL;
using optim::FACSOL;
using optim::Lsloc;
using optim::wspart;

using namespace optkern;

namespace {

using runtime::Mat1;
using runtime::Vec1;

constexpr int kOne = 1;

double dot(int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  return ddot_(&n, x, &incx, y, &incy);
}

// Solves the upper-triangular system of order n held in R (leading dimension
// ldR) with R (trans 'N') or R' (trans 'T'), x in place.
void trsv(char trans, int n, const double* r, int ldR, double* x) {
  if (n <= 0) return;
  const char uplo = 'U', diag = 'N';
  dtrsv_(&uplo, &trans, &diag, &n, r, &ldR, x, &kOne, 1, 1, 1);
}

// Writes the records of one formatted write of a list of items.
void write_items(int unit, std::string_view fmt, const std::vector<runtime::Out>& items) {
  const std::vector<std::string> recs = runtime::format_records(fmt, std::span<const runtime::Out>(items));
  numlib::WRTRECS(unit, static_cast<int>(recs.size()), recs);
}

// The scalar traces need the debug switch and the first debug level, the
// vector listings the switch and the second level.
bool tracing() { return E4QPST.debug && E4QPST.dbg1 > 0; }
bool listing() { return E4QPST.debug && E4QPST.dbg2 > 0; }

}  // namespace

void E4GRAD(std::string_view prbtyp, bool linterm, bool& singlr, bool& unitgZ, bool unitQ, int n, int nclin,
            int nfree, int ldA, int ldZY, int ldR, int nrank, int nZ, int& nZ1, std::span<int> istate,
            std::span<const int> kx, double bigbnd, double tolrank, int& ninf, double& suminf,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> a,
            std::span<const double> res, std::span<const double> featol, std::span<double> gq,
            std::span<const double> cq, std::span<const double> r, std::span<const double> x,
            std::span<const double> infwt, std::span<const double> zy, std::span<double> wrk) {
  // The optimizer's core: it writes nothing and keeps no state.
  optim::QPGRAD(prbtyp, linterm, singlr, unitgZ, unitQ, n, nclin, nfree, ldA, ldZY, ldR, nrank, nZ, nZ1, istate, kx,
                bigbnd, tolrank, ninf, suminf, bl, bu, a, res, featol, gq, cq, r, x, infwt, zy, wrk);
}

void E04NCQ(bool linterm, bool singlr, bool unitgZ, bool unitQ, int n, int nclin, int nfree, int ldA, int ldZY,
            int ldR, int nrank, int ninf, int nZ1, std::span<const int> kx, double& lindir, double& dirnorm,
            std::span<const double> as, std::span<double> aps, std::span<const double> ress, std::span<double> hzs,
            std::span<double> pxs, std::span<const double> gqs, std::span<const double> cqs,
            std::span<const double> rs, std::span<const double> zy, std::span<double> wrk) {
  const Vec1<double> p(pxs), hz(hzs), ap(aps);
  const Vec1<const double> gq(gqs), cq(cqs), res(ress);
  const Mat1<const double> r(rs, ldR);

  for (int j = 1; j <= n; ++j) p(j) = 0.0;
  if (nrank > 0)
    for (int i = 1; i <= nrank; ++i) hz(i) = 0.0;

  if (singlr) {
    // A direction of zero (or least) curvature: the first nZ1 - 1 rows of
    // Rz p vanish and p(nZ1) = -1, turned downhill.
    for (int i = 1; i <= nZ1 - 1; ++i) p(i) = r(i, nZ1);
    trsv('N', nZ1 - 1, r.ptr(), ldR, p.ptr());
    p(nZ1) = -1.0;
    if (dot(nZ1, gq.ptr(), 1, p.ptr(), 1) > 0.0)
      for (int i = 1; i <= nZ1; ++i) p(i) = -p(i);
    if (nZ1 <= nrank) {
      if (ninf == 0) {
        if (unitgZ) hz(nZ1) = r(nZ1, nZ1) * p(nZ1);
      } else {
        hz(1) = r(1, 1) * p(1);
      }
    }
  } else {
    if (!linterm) {
      for (int i = 1; i <= nZ1; ++i) hz(i) = res(i);
    } else if (!unitgZ) {
      for (int i = 1; i <= nZ1; ++i) hz(i) = -gq(i);
      trsv('T', nZ1, r.ptr(), ldR, hz.ptr());
    } else {
      hz(nZ1) = -gq(nZ1) / r(nZ1, nZ1);
    }
    for (int i = 1; i <= nZ1; ++i) p(i) = hz(i);
    trsv('N', nZ1, r.ptr(), ldR, p.ptr());
  }

  lindir = linterm ? dot(nZ1, cq.ptr(), 1, p.ptr(), 1) : 0.0;
  dirnorm = ssq_norm2(nZ1, p.ptr(), 1);

  // p := Z p, back in the natural order of the variables.
  const int nZ = std::max(nZ1, 0);
  FACMUL(1, n, nZ, nfree, ldZY, unitQ, kx, pxs, zy, wrk);
  if (nclin > 0) {
    const char t = 'N';
    const double one = 1.0, zero = 0.0;
    dgemv_(&t, &nclin, &n, &one, as.data(), &ldA, p.ptr(), &kOne, &zero, ap.ptr(), &kOne, 1);
  }

  if (listing()) {
    const int nout = advisory_unit();
    put_records(nout, "(/' //E04NCQ//   P ... '/(1p,5d15.5))", {std::span<const double>(pxs.first(static_cast<std::size_t>(n)))});
    if (nclin > 0)
      put_records(nout, "(/' //E04NCQ//  AP ... '/(1p,5d15.5))",
                  {std::span<const double>(aps.first(static_cast<std::size_t>(nclin)))});
  }
}


void E4MOVE(bool ishit, bool hitslow, bool linterm, bool unitgZ, int nclin, int nrank, int nZ1, int n, int ldR,
            int jadd, int ninf, double alfa, double lindir, double& ctx, double& xnorm, std::span<const double> ap,
            std::span<double> ax, std::span<const double> bl, std::span<const double> bu, std::span<double> gq,
            std::span<const double> hz, std::span<const double> px, std::span<double> res,
            std::span<const double> r, std::span<double> x, std::span<double> wrk) {
  // The optimizer's core: x lands exactly on a bound hit with alfa >= 0.
  optim::QPMOVE(ishit, hitslow, linterm, unitgZ, nclin, nrank, nZ1, n, ldR, jadd, ninf, alfa, lindir, ctx, xnorm, ap,
                ax, bl, bu, gq, hz, px, res, r, x, wrk);
}

void E04NCK(std::string_view prbtyp, int msglvl, int n, int nactiv, int nfree, int ldA, int ldT, int ninf, int nZ,
            int nZ1, std::span<const int> istates, std::span<const int> wslists, std::span<const int> kxs,
            double dinky, int& jsmlst, int& ksmlst, int jhard, int& jtiny, int& jbigst, int& kbigst,
            double& truemult, std::span<const double> as, std::span<const double> rownorms,
            std::span<const double> gqs, std::span<double> wsmults, std::span<const double> ts,
            std::span<const double> infwts) {
  const Vec1<const int> istate(istates), wslist(wslists), kx(kxs);
  const Vec1<const double> rownorm(rownorms), gq(gqs), infwt(infwts);
  const Vec1<double> wsmult(wsmults);
  const Mat1<const double> a(as, ldA);
  const int nout = advisory_unit();
  const std::string type(prbtyp.substr(0, 2));

  const int nfixed = n - nfree;
  double smllst = -dinky, tinylm = dinky, biggst = 1.0 + dinky;
  jsmlst = ksmlst = jtiny = jbigst = kbigst = 0;
  truemult = 0.0;

  // Artificial constraints: the columns nZ1+1..nZ of Z outside the subspace.
  for (int j = nZ1 + 1; j <= nZ; ++j) {
    const double rlam = -std::abs(gq(j));
    if (rlam < smllst) {
      smllst = rlam;
      jsmlst = -j;
    } else if (rlam < tinylm) {
      tinylm = rlam;
      jtiny = j;
    }
  }
  if (msglvl >= 20 && nZ1 < nZ) {
    std::vector<double> vals;
    for (int j = nZ1 + 1; j <= nZ; ++j) vals.push_back(-std::abs(gq(j)));
    put_records(nout, "(/' Multipliers for the artificial constraints        ')");
    put_records(nout, "(4(5x,1p,d11.2))", {std::span<const double>(vals)});
  }

  // Multipliers of the general constraints, then of the fixed variables.
  const int nlam = n - nZ;
  for (int k = 1; k <= nlam; ++k) wsmult(k) = gq(nZ + k);
  if (nactiv > 0) FACSOL(2, ldT, nactiv, ts.subspan(static_cast<std::size_t>(nZ) * ldT), wsmults);
  for (int l = 1; l <= nfixed; ++l) {
    const int j = kx(nfree + l);
    double sum = 0.0;
    for (int k = 1; k <= nactiv; ++k) sum += a(wslist(k), j) * wsmult(k);
    wsmult(nactiv + l) -= sum;
  }

  for (int k = 1; k <= nlam; ++k) {
    const int j = k <= nactiv ? n + wslist(k) : kx(nZ + k);
    const double anormj = j > n ? rownorm(j - n) : 1.0;
    const int is = istate(j);
    double rlam = wsmult(k);
    if (is == 2) rlam = -rlam;
    if (is == 3) rlam = std::abs(rlam);
    if (is == 4) rlam = -std::abs(rlam);
    if (is != 3) {
      const double scaled = rlam * anormj;
      if (scaled < smllst) {
        smllst = scaled;
        jsmlst = j;
        ksmlst = k;
      } else if (scaled < tinylm) {
        tinylm = scaled;
        jtiny = j;
      }
    }
    if (ninf > 0 && j > jhard) {
      const double scaled = rlam / infwt(j);
      if (scaled > biggst) {
        biggst = scaled;
        truemult = wsmult(k);
        jbigst = j;
        kbigst = k;
      }
    }
  }

  if (msglvl >= 20) {
    std::vector<runtime::Out> items;
    for (int l = 1; l <= nfixed; ++l) {
      items.emplace_back(kx(nfree + l));
      items.emplace_back(wsmult(nactiv + l));
    }
    put_records(nout, "(/' Multipliers for the ',a2,' bound  constraints   ')", {type});
    if (!items.empty()) write_items(nout, "(4(i5,1p,d11.2))", items);
    items.clear();
    for (int k = 1; k <= nactiv; ++k) {
      items.emplace_back(wslist(k));
      items.emplace_back(wsmult(k));
    }
    put_records(nout, "(/' Multipliers for the ',a2,' linear constraints   ')", {type});
    if (!items.empty()) write_items(nout, "(4(i5,1p,d11.2))", items);
  }
  if (tracing()) {
    put_records(nout, "(/a/' //E04NCK//  ',i6,1p,d11.2,5x,i6)",
                {" //E04NCK//  JSMLST     SMLLST     KSMLST (Scaled) ", jsmlst, smllst, ksmlst});
    put_records(nout, "(a/' //E04NCK//  ',i6,1p,d11.2,5x,i6)",
                {" //E04NCK//  JBIGST     BIGGST     KBIGST (Scaled) ", jbigst, biggst, kbigst});
    put_records(nout, "(a/' //E04NCK//  ',i6,1p,d11.2)",
                {" //E04NCK//   JTINY     TINYLM                     ", jtiny, tinylm});
  }
}

namespace {

// One call of E04NCZ, shared by its steps: its arguments (the caller's
// counts and point by reference), the settings and workspace vectors taken
// from them, and the scalars the iterations carry from one to the next.
struct LsRun {
  // The arguments, in the order of lscore's.
  const std::string_view prbtyp;
  const bool named;
  const std::span<const std::string> names;
  const bool linterm;
  bool& unitQ;
  int& iter;
  const int jhard, nclin, nctotl;
  int& nactiv;
  int& nfree;
  const int nrank;
  int& nZ;
  int& nZ1;
  const int n, ldA, ldR;
  const std::span<int> istates, wslists, kxs;
  double& ctx;
  double& ssq;
  const double ssq1;
  double& suminf;
  int& ninf;
  double& xnorm;
  const std::span<const double> bls, bus, as;
  const std::span<double> mult, axs;
  const std::span<const double> featols;
  const std::span<double> rs, xs, w;
  const Lsloc& loc;

  // Settings of the call.
  const std::string type{prbtyp.substr(0, 2)};  // "FP", "LP", "QP" or "LS"
  const bool fp = type == "FP";
  const int ldT = loc.ldt, ldZY = loc.ldzy;
  const int nresv = nrank > 0 ? 2 : 0;  // residual vectors the factor updates carry along
  const int ngvec = linterm ? 2 : 1;    // gradient vectors the factor updates carry along
  const E4qpst ctl = E4QPST;  // the settings of the call
  const double epspt8 = std::pow(kEps, 0.8);
  const double epspt9 = std::pow(kEps, 0.9);
  const double condlim = wmach(7);  // condition limit of additions: the largest number, so none
  const int nout = advisory_unit();

  // Views of the caller's arrays.
  const Vec1<int> istate{istates}, wslist{wslists}, kx{kxs};
  const Vec1<const double> bl{bls}, bu{bus}, featol{featols};
  const Mat1<double> r{rs, ldR};

  // The vectors of the workspace: gq and cq follow each other in gqv, res
  // and res0 in resv.
  const int nres = nrank > 0 ? n : 0;
  const std::span<double> rownorm = wspart(w, loc.rownorm, nclin);
  const std::span<double> ap = wspart(w, loc.ap, nclin);
  const std::span<double> px = wspart(w, loc.px, n);
  const std::span<double> gqv = wspart(w, loc.gq, ngvec * n);
  const std::span<double> gq = gqv.first(static_cast<std::size_t>(n));
  const std::span<double> cq = linterm ? wspart(w, loc.cq, n) : std::span<double>();
  const std::span<double> resv = wspart(w, loc.res, nresv > 0 ? 2 * n : 0);
  const std::span<double> res = wspart(w, loc.res, nres);
  const std::span<double> res0 = wspart(w, loc.res0, nres);
  const std::span<double> hz = wspart(w, loc.hz, nres);
  const std::span<double> wsmult = wspart(w, loc.wsmult, n);
  const std::span<double> t = w.subspan(static_cast<std::size_t>(loc.t - 1));
  const std::span<double> zy = w.subspan(static_cast<std::size_t>(loc.zy - 1));
  const std::span<double> infwt = wspart(w, loc.infwt, nctotl);
  const std::span<double> wrk = wspart(w, loc.wrk, nctotl);

  // Carried from one iteration to the next.
  int itmax = ctl.itmax1;    // iteration limit of the phase
  int phase = 1;             // 1 feasibility, 2 optimality
  int jadd = 0, jdel = 0;    // constraint added, deleted (for the log)
  int kadd = 0, kdel = 0;    // their states (kinds of the log)
  int nstuck = 0;            // consecutive steps that do not move x
  double dRzmax = 1.0, dRzmin = 1.0;
  bool prnt = true, newgq = true, firstline = true;
  bool firstv = false, singlr = false, unitgZ = false, uncon = false, hitslow = false;
  int irefn = 0;             // consecutive iterations without a working-set change
  int jtiny = 0, jsmlst = 0, ksmlst = 0, jbigst = 0, kbigst = 0;
  double truemult = 0.0, alfa = 0.0, dinky = 0.0;
  int err = 0;               // 2 unbounded, 4 iteration limit, 5 stuck
  int msglvl = ctl.msglvl;   // print level in force (0 before the debug-start iteration)
  const int msgsav = ctl.msglvl;
};

// The norms of the reduced gradient, of its part in the subspace of Rz and
// of the free gradient.
struct GradNorms {
  double gZnorm, redg1norm, freegnorm;
};

// The direction of one iteration: c'p and |p| in the subspace.
struct Direction {
  double lindir, dirnorm;
};

// Whether the step along p hits a constraint, and the largest step allowed.
struct Step {
  bool ishit;
  double alfabig;
};

// The residual sum of squares and, while feasibility is untested or lost,
// the infeasibilities and the gradient; the optimality phase starts when the
// point is first found feasible.
void recompute_gradient(LsRun& s) {
  if (s.nrank > 0) {
    const double rn = ssq_norm2(s.nrank, s.res.data(), 1);
    s.ssq = 0.5 * (rn * rn + s.ssq1 * s.ssq1);
  }
  if (s.ninf != 0) {
    E4GRAD(s.type, s.linterm, s.singlr, s.unitgZ, s.unitQ, s.n, s.nclin, s.nfree, s.ldA, s.ldZY, s.ldR, s.nrank,
           s.nZ, s.nZ1, s.istates, s.kxs, s.ctl.bigbnd, s.ctl.tolrank, s.ninf, s.suminf, s.bls, s.bus, s.as, s.res,
           s.featols, s.gq, s.cq, s.rs, s.xs, s.infwt, s.zy, s.wrk);
    if (!s.fp && s.ninf == 0 && s.phase == 1) {
      s.itmax = s.iter + s.ctl.itmax2;
      s.phase = 2;
    }
  }
  s.newgq = false;
}

GradNorms gradient_norms(const LsRun& s) {
  GradNorms g;
  g.gZnorm = ssq_norm2(s.nZ, s.gq.data(), 1);
  g.redg1norm = s.nZ1 == s.nZ ? g.gZnorm : ssq_norm2(s.nZ1, s.gq.data(), 1);
  g.freegnorm = (s.nfree > 0 && s.nactiv > 0) ? ssq_norm2(s.nfree, s.gq.data(), 1) : g.gZnorm;
  return g;
}

// Is Rz singular?  While feasible, the extreme diagonals of Rz decide it.
void test_rz_singular(LsRun& s) {
  const Mat1<double>& r = s.r;
  if (s.nZ1 == 0) {
    s.singlr = false;
  } else if (s.ninf <= 0 && s.nZ1 <= s.nrank) {
    AMAXMIN(s.nZ1, std::span<const double>(r.ptr(), static_cast<std::size_t>(1 + (s.nZ1 - 1) * (s.ldR + 1))),
            s.ldR + 1, s.dRzmax, s.dRzmin);
    const double lastrdiag = std::abs(r(s.nZ1, s.nZ1));
    const double rownrm = ssq_norm2(s.n, r.ptr(), s.ldR);
    s.singlr = lastrdiag <= s.dRzmax * s.ctl.tolrank || rownrm <= s.ctl.tolrank ||
               std::abs(r(1, 1)) <= rownrm * s.ctl.tolrank;
  } else {
    s.singlr = true;
  }
}

// The iteration's log line; the constraints added and deleted and the step
// are cleared once shown.
void write_log_line(LsRun& s, const GradNorms& g) {
  bool ovf = false;
  const double condzr = SAFDIV(s.dRzmax, s.dRzmin, ovf);
  const double condtf = s.nactiv > 0 ? SAFDIV(E4QPST.dtmax, E4QPST.dtmin, ovf) : 1.0;
  E4lsline line;
  line.iter = s.iter;
  line.jdel = s.jdel;
  line.kdel = s.kdel;
  line.jadd = s.jadd;
  line.kadd = s.kadd;
  line.alfa = s.alfa;
  line.ninf = std::max(s.ninf, 0);
  line.obj = s.ninf > 0 ? s.suminf : s.ssq + s.ctx;
  line.nfixed = s.n - s.nfree;
  line.nactiv = s.nactiv;
  line.nZ = s.nZ;
  line.nZ1 = s.nZ1;
  line.gfnorm = g.freegnorm;
  line.gz1norm = g.redg1norm;
  line.condt = condtf;
  line.condrz = condzr;
  E4LSPR(s.type, s.firstline, line, s.msglvl, s.n, s.nclin, s.nfree, s.nrank, s.ldT, s.ldR, s.istates, s.xs, s.axs,
         s.t, s.rs);
  s.firstline = false;
  s.jadd = s.jdel = 0;
  s.kadd = s.kdel = 0;
  s.alfa = 0.0;
  s.prnt = false;
}

// The tolerance below which the reduced gradient counts as zero (0 while
// infeasible); after a full step, whether only the last element of Z'g is
// left.
void set_optimality_tolerance(LsRun& s, const GradNorms& g) {
  if (s.ninf <= 0) {
    const double objmag = 1.0 + std::abs(s.ssq + s.ctx);
    const double wsmag = s.nactiv > 0 ? E4QPST.dtmax : 0.0;
    s.dinky = s.epspt8 * std::max({wsmag, objmag, g.freegnorm});
    if (s.uncon) s.unitgZ = g.redg1norm <= s.dinky;
  } else {
    s.dinky = 0.0;
  }
}

// The debug trace of the singularity and stationarity tests.
void trace_iteration(const LsRun& s, const GradNorms& g) {
  const double rzz1 = (s.nZ1 >= 1 && s.nZ1 <= s.nrank) ? std::abs(s.r(s.nZ1, s.nZ1)) : 0.0;
  put_records(s.nout, "(/a/' //E04NCZ//  ',l6,1p,3d12.2)",
              {" //E04NCZ//  SINGLR   ABS(RZZ1)      DRZMAX      DRZMIN", s.singlr, rzz1, s.dRzmax, s.dRzmin});
  put_records(s.nout, "(/a/' //E04NCZ//  ',l6,i6,1p,2d11.2)",
              {" //E04NCZ//  UNITGZ IREFN     GRZNRM      DINKY   ", s.unitgZ, s.irefn, g.redg1norm, s.dinky});
}

Direction search_direction(LsRun& s) {
  Direction d{0.0, 0.0};
  E04NCQ(s.linterm, s.singlr, s.unitgZ, s.unitQ, s.n, s.nclin, s.nfree, s.ldA, s.ldZY, s.ldR, s.nrank, s.ninf,
         s.nZ1, s.kxs, d.lindir, d.dirnorm, s.as, s.ap, s.res, s.hz, s.px, s.gq, s.cq, s.rs, s.zy, s.wrk);
  return d;
}

// The step along p: to the nearest constraint when one blocks the way to
// the minimiser on the subspace (always while Rz is singular), else the
// full step 1 with nothing added.
Step step_to_nearest_constraint(LsRun& s, const Direction& d) {
  bool ovf = false;
  const double alfabig = SAFDIV(s.ctl.bigdx, d.dirnorm, ovf);
  int infalf = 0;
  double alfhit = 0.0, palfa = 0.0, arowphit = 0.0;
  E04UCG(s.firstv, s.hitslow, s.istates, infalf, s.jadd, s.n, s.nctotl, s.ninf, alfhit, palfa, arowphit, alfabig,
         s.ctl.bigbnd, d.dirnorm, s.rownorm, s.ap, s.axs, s.bls, s.bus, s.featols, s.px, s.xs, tracing());
  s.firstv = false;

  const bool ishit = s.singlr || palfa <= 1.0;
  if (!ishit) {
    s.alfa = 1.0;
    s.jadd = 0;
  } else {
    s.alfa = alfhit;
  }
  return {ishit, alfabig};
}

// The constraint the step hit joins the working set at the bound it hit
// (a general row at the end of wslist, a bound by fixing its variable).
void add_to_working_set(LsRun& s) {
  const int jadd = s.jadd;
  s.istate(jadd) = s.bl(jadd) == s.bu(jadd) ? 3 : (s.hitslow ? 1 : 2);
  int ifix = 0, iadd = 0;
  if (jadd <= s.n) {
    for (int k = 1; k <= s.nfree; ++k)
      if (s.kx(k) == jadd) ifix = k;
  } else {
    iadd = jadd - s.n;
  }
  int infadd = 1;
  if (jadd > s.n || ifix > 0)
    E04NCV(s.unitQ, infadd, ifix, iadd, jadd, s.nactiv, s.nZ, s.nfree, s.nrank, s.nresv, s.ngvec, s.n, s.ldA, s.ldZY,
          s.ldR, s.ldT, s.kxs, s.condlim, s.as, s.rs, s.t, s.resv, s.gqv, s.zy, s.wrk, s.px, s.wsmult);
  if (infadd == 0) {
    s.kadd = s.istate(jadd);
    --s.nZ1;
    --s.nZ;
    if (jadd > s.n) {
      ++s.nactiv;
      s.wslist(s.nactiv) = iadd;
    } else {
      --s.nfree;
    }
  } else {
    // A constraint the factors cannot take stays out of the working set.
    s.istate(jadd) = 0;
  }
  s.irefn = 0;
}

// Moves x back onto the working set when it has drifted off; true when it
// did (feasibility is then tested again).
bool refine_onto_working_set(LsRun& s) {
  double cviol = 0.0, err1 = 0.0;
  int jmax1 = 0, nviol = 0;
  E04NCR(s.n, s.nclin, s.istates, s.ctl.bigbnd, cviol, err1, jmax1, nviol, s.axs, s.bls, s.bus, s.featols, s.xs,
         s.wrk);
  if (jmax1 < 1 || err1 <= s.featol(jmax1)) return false;
  bool rowerr = false;
  int jmax2 = 0;
  double err2 = 0.0;
  E04NCH(s.linterm, rowerr, s.unitQ, s.nclin, s.nactiv, s.nfree, s.nrank, s.nZ, s.n, s.nctotl, s.ldZY, s.ldA, s.ldR,
         s.ldT, s.istates, s.wslists, s.kxs, jmax2, err2, s.ctx, s.xnorm, s.as, s.axs, s.bls, s.bus, s.cq, s.res,
         s.res0, s.featols, s.rs, s.t, s.xs, s.zy, s.px, s.wrk);
  if (tracing())
    put_records(s.nout, "(a/1p,2d14.2)",
                {" XXX  Iterative refinement.  Maximum errors before and after refinement are", err1, err2});
  if (rowerr && s.msglvl >= 0)
    put_records(s.nout, "(/' XXX  Warning.  Cannot satisfy the constraints to the accuracy requested.')");
  s.uncon = false;
  s.irefn = 0;
  s.ninf = -1;
  return true;
}

// One iteration away from a stationary point: the direction, the step along
// it, the working-set change and the refinement.  0 once the step is taken,
// otherwise the error that ends the iterations.
int take_step(LsRun& s) {
  if (s.iter >= s.itmax) return 4;
  ++s.irefn;
  ++s.iter;
  if (s.iter == s.ctl.idbg) {
    s.msglvl = s.msgsav;
    E4QPST.debug = true;
  }

  const Direction d = search_direction(s);
  const Step st = step_to_nearest_constraint(s, d);

  const bool unbndd = s.alfa >= st.alfabig;
  const bool stall = std::abs(s.alfa * d.dirnorm) <= s.epspt9 * s.xnorm;
  s.nstuck = stall ? s.nstuck + 1 : 0;
  if (unbndd) return 2;
  if (s.nstuck > 50) return 5;

  if (s.alfa != 0.0)
    optim::QPMOVE(st.ishit, s.hitslow, s.linterm, s.unitgZ, s.nclin, s.nrank, s.nZ1, s.n, s.ldR, s.jadd, s.ninf, s.alfa,
           d.lindir, s.ctx, s.xnorm, s.ap, s.axs, s.bls, s.bus, s.gq, s.hz, s.px, s.res, s.rs, s.xs, s.wrk);
  s.uncon = !st.ishit;
  if (st.ishit && s.jadd > 0) add_to_working_set(s);
  const bool refined = refine_onto_working_set(s);
  s.newgq = s.alfa != 0.0 || refined;
  s.prnt = true;
  return 0;
}

// The multipliers at a stationary point (all 0 at a feasible point of an FP
// problem) and the constraints they nominate for deletion.
void working_set_multipliers(LsRun& s) {
  s.jdel = 0;
  s.jtiny = s.jsmlst = s.ksmlst = s.jbigst = s.kbigst = 0;
  if (s.fp && s.ninf == 0) {
    for (int k = 1; k <= s.n - s.nZ; ++k) s.wsmult[static_cast<std::size_t>(k - 1)] = 0.0;
  } else {
    E04NCK(s.type, s.msglvl, s.n, s.nactiv, s.nfree, s.ldA, s.ldT, s.ninf, s.nZ, s.nZ1, s.istates, s.wslists, s.kxs,
           s.dinky, s.jsmlst, s.ksmlst, s.jhard, s.jtiny, s.jbigst, s.kbigst, s.truemult, s.as, s.rownorm, s.gq,
           s.wsmult, s.t, s.infwt);
  }
}

// The multiplier test: a constraint with a multiplier of the wrong sign, an
// artificial constraint, or (while infeasible) the row whose release lowers
// the sum of infeasibilities leaves the working set, unless Rz is singular.
// True when one left.
bool delete_from_working_set(LsRun& s) {
  int kdelpos = 0, newstate = 0;
  bool movedoff = false;
  if (s.jsmlst > 0) {
    s.jdel = s.jsmlst;
    kdelpos = s.ksmlst;
  } else if (s.jsmlst < 0) {
    s.jdel = s.jsmlst;
  } else if (s.ninf > 0 && s.jbigst > 0) {
    s.jdel = s.jbigst;
    kdelpos = s.kbigst;
    newstate = s.truemult <= 0.0 ? -1 : -2;
    movedoff = true;
  }
  if (s.jdel != 0 && s.singlr) {
    s.jdel = 0;  // no deletion while Rz is singular: a weak minimum
  } else if (s.jdel != 0) {
    s.kdel = s.jdel > 0 ? s.istate(s.jdel) : 5;
    if (s.jdel > 0) s.istate(s.jdel) = newstate;
    if (movedoff) {
      s.firstv = true;
      ++s.ninf;
    }
    E04NCT(s.unitQ, s.n, s.nactiv, s.nfree, s.nresv, s.ngvec, s.nZ, s.nZ1, s.ldA, s.ldZY, s.ldR, s.ldT, s.nrank, s.jdel,
          kdelpos, s.wslists, s.kxs, s.as, s.resv, s.rs, s.t, s.gqv, s.zy, s.px, s.wrk);
    if (s.jdel < 0) s.jdel = -s.jdel;
  }
  s.irefn = 0;
  return s.jdel != 0;
}

// The exit code of the iterations.
int exit_code(const LsRun& s) {
  if (s.err == 2 || s.err == 4 || s.err == 5) return (s.err == 2 && s.ninf > 0) ? 3 : s.err;
  if (s.ninf > 0) return 3;
  if (!s.fp && (s.jtiny > 0 || s.singlr)) return 1;
  return 0;
}

// The exit line and the solution table, at the print level of the call.
void write_exit(LsRun& s, int inform) {
  s.msglvl = s.msgsav;
  if (s.msglvl > 0)
    put_records(s.nout, "(/' Exit from ',a2,' problem after ',i4,' iterations.  IFAIL =',i3)",
                       {s.type, s.iter, inform});
  E4PRSL(s.msglvl, s.nfree, s.ldA, s.n, s.nclin, s.nctotl, s.ctl.bigbnd, s.named, s.names, s.nactiv, s.istates,
         s.wslists, s.kxs, s.as, s.bls, s.bus, std::span<const double>(), s.mult, s.wsmult, s.xs);
}

}  // namespace

void E04NCZ(std::string_view prbtyp, bool named, std::span<const std::string> names, bool linterm, bool& unitQ,
            int& inform, int& iter, int jhard, int nclin, int nctotl, int& nactiv, int& nfree, int nrank, int& nZ,
            int& nZ1, int n, int ldA, int ldR, std::span<int> istates, std::span<int> wslists, std::span<int> kxs,
            double& ctx, double& ssq, double ssq1, double& suminf, int& ninf, double& xnorm,
            std::span<const double> bls, std::span<const double> bus, std::span<const double> as,
            std::span<double> mult, std::span<double> axs, std::span<const double> featols, std::span<double> rs,
            std::span<double> xs, std::span<double> w, const Lsloc& loc) {
  LsRun s{.prbtyp = prbtyp, .named = named, .names = names, .linterm = linterm, .unitQ = unitQ, .iter = iter,
           .jhard = jhard, .nclin = nclin, .nctotl = nctotl, .nactiv = nactiv, .nfree = nfree, .nrank = nrank,
           .nZ = nZ, .nZ1 = nZ1, .n = n, .ldA = ldA, .ldR = ldR, .istates = istates, .wslists = wslists, .kxs = kxs,
           .ctx = ctx, .ssq = ssq, .ssq1 = ssq1, .suminf = suminf, .ninf = ninf, .xnorm = xnorm, .bls = bls,
           .bus = bus, .as = as, .mult = mult, .axs = axs, .featols = featols, .rs = rs, .xs = xs, .w = w,
           .loc = loc};

  // Set-up: feasibility is untested (ninf -1) and the subspace of Rz empty.
  iter = 0;
  ninf = -1;
  nZ1 = 0;
  ssq = 0.0;
  suminf = 0.0;
  if (s.ctl.idbg > 0 && s.ctl.idbg <= s.itmax) {
    s.msglvl = 0;
    E4QPST.debug = false;
  }

  for (;;) {
    if (s.newgq) recompute_gradient(s);
    const GradNorms g = gradient_norms(s);
    test_rz_singular(s);
    if (s.prnt) write_log_line(s, g);
    set_optimality_tolerance(s, g);
    if (tracing()) trace_iteration(s, g);

    // Stationary on this working set; two iterations in a row without a
    // working-set change count as stationary too.
    const bool isstat = (!s.singlr && g.redg1norm <= s.dinky) || s.irefn > 1;
    if (!isstat) {
      s.err = take_step(s);
      if (s.err == 0) continue;
    }

    // A stationary point, or an error: the multipliers, then the multiplier
    // test unless the iterations ended in an error.
    working_set_multipliers(s);
    if (s.err != 0 || !delete_from_working_set(s)) break;
  }

  inform = exit_code(s);
  write_exit(s, inform);
}
}  // namespace qv::optim_alt
