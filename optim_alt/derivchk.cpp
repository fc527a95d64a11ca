#include "optim_alt/derivchk.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "numlib/errexit.hpp"
#include "numlib/hessian.hpp"
#include "optim/npderiv.hpp"
#include "optim_alt/blas.hpp"
#include "optim_alt/constants.hpp"
#include "optim_alt/options.hpp"
#include "optim_alt/records.hpp"
#include "optkern/kernels.hpp"
#include "optkern/machine.hpp"
#include "optkern/rotations.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/items.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

namespace {

using runtime::Vec1;

// The verdict comments of the interval search, 18 characters when printed.
constexpr const char* kVerdict[5] = {"", "Constant?", "Linear or odd?", "Too nonlinear?", "Small derivative?"};

std::string comment18(int verdict) { return runtime::fpad(kVerdict[std::clamp(verdict, 0, 4)], 18); }

// Room to the bounds from xj, limited to [-1, 1], for the check direction.
void unit_room(double bigbnd, double bl, double bu, double xj, double& lo, double& hi) {
  lo = -1.0;
  if (bl > -bigbnd && bl - xj > -1.0) lo = bl - xj;
  hi = 1.0;
  if (bu < bigbnd && bu > bl && bu - xj < 1.0) hi = bu - xj;
}

// Room to the bounds from xj: the infinite bound size where a bound is absent.
void room_to_bounds(double bigbnd, double bl, double bu, double xj, double& lo, double& hi) {
  lo = -bigbnd;
  hi = bigbnd;
  if (bl > -bigbnd) lo = bl - xj;
  if (bu < bigbnd) hi = bu - xj;
}

// A check range: stop n when not in 1..n, start 1 when not in 1..stop.
void check_range(int n, int j1, int j2, int& first, int& last) {
  last = (j2 >= 1 && j2 <= n) ? j2 : n;
  first = (j1 >= 1 && j1 <= last) ? j1 : 1;
}

// dx(j) := (1/N) (-0.9)^(j-1), with the double 0.9 whatever N is.
void check_direction(int n, const Vec1<double>& dx) {
  double v = 1.0 / n;
  for (int j = 1; j <= n; ++j) {
    dx(j) = v;
    v = -0.9 * v;
  }
}

struct SearchOut {
  int info = 0;
  int iter = 0;
  double cdest = 0.0, fdest = 0.0, sdest = 0.0, errbnd = 0.0, hopt = 0.0, hphi = 0.0;
};

// The library's interval search along variable j from fx = f(x): evaluates
// at xj + h and (xj + h) + h until the search is done.  False when the
// callback set MODE negative; x(j) is back at xj either way.
template <class Eval>
bool search(double epsrf, double fx, double xj, double hsign, double& xslot, const int& mode, Eval&& eval,
            SearchOut& r) {
  const double epsa = epsrf * (1.0 + std::abs(fx));
  r.hopt = 2.0 * (1.0 + std::abs(xj)) * std::sqrt(epsrf);
  double h = 10.0 * r.hopt * hsign;
  bool first = true;
  bool done = false;
  r.iter = 0;
  r.cdest = 0.0;
  r.sdest = 0.0;
  while (!done) {
    xslot = xj + h;
    const double f1 = eval();
    if (mode < 0) break;
    xslot = (xj + h) + h;
    const double f2 = eval();
    if (mode < 0) break;
    numlib::E04XAZ(E4WORK.search_trace, done, first, epsa, epsrf, fx, xj, r.info, r.iter, 3, r.cdest, r.fdest,
                   r.sdest, r.errbnd, f1, f2, h, r.hopt, r.hphi);
  }
  xslot = xj;
  return mode >= 0;
}

// |a| / |b| through the safe division: 0 for a zero numerator, the large
// value where the quotient would overflow (b = 0 included).
double rel_error(double a, double b) {
  bool fail = false;
  return std::abs(optkern::SAFDIV(std::abs(a), std::abs(b), fail));
}

}  // namespace

void E4CHKG(int& inform, int msglvl, int n, double bigbnd, double epsrf, double oktol, double dxchk,
            double fobj, double xnorm, const optim::Objfun& objfun, std::span<const double> bls,
            std::span<const double> bus, std::span<double> grads, std::span<double> gradus,
            std::span<double> dxs, std::span<double> xs, std::span<double> ys, std::span<int> iusr,
            std::span<double> rusr) {
  inform = 0;
  const int v = E4WORK.verify;
  if (!(v == 0 || v == 1 || v == 3)) return;
  const int nout = advisory_unit();
  const double epspt8 = std::pow(kEps, 0.8);
  const bool prt = msglvl > 0;
  const Vec1<const double> bl(bls), bu(bus);
  const Vec1<double> grad(grads), dx(dxs), x(xs), y(ys);
  if (prt) put_records(nout, "(//' Verification of the objective gradients.',/' ----------------------------------------')");

  const double h = dxchk * (1.0 + xnorm);
  check_direction(n, dx);
  int nset = 0;
  for (int j = 1; j <= n; ++j) {
    if (grad(j) == optim::kDerivUnset) {
      dx(j) = 0.0;
      continue;
    }
    ++nset;
    double lo = 0.0, hi = 0.0;
    unit_room(bigbnd, bl(j), bu(j), x(j), lo, hi);
    dx(j) = dx(j) * ((lo + hi) / 2.0 < 0.0 ? lo : hi);
  }
  if (nset == 0) {
    if (prt) put_records(nout, "(/' No gradient elements assigned.')");
    return;
  }

  // Directional check.
  const int inc = 1;
  double gdir = 0.0;
  for (int j = 1; j <= n; ++j) gdir += gradus[static_cast<std::size_t>(j - 1)] * dx(j);
  dcopy_(&n, x.ptr(), &inc, y.ptr(), &inc);
  daxpy_(&n, &h, dx.ptr(), &inc, y.ptr(), &inc);
  int mode = 0;
  double f1 = 0.0;
  objfun(mode, n, ys, f1, gradus, 0, iusr, rusr);
  if (mode < 0) {
    inform = mode;
    return;
  }
  const double fdiff = (f1 - fobj) / h;
  const double error = rel_error(fdiff - gdir, gdir);
  if (prt) {
    put_records(nout, error <= oktol ? "(/' The objective gradients seem to be ok.')"
                             : "(/' XXX  The objective gradients seem to be incorrect.')");
    put_records(nout,
        "(/' Directional derivative of the objective',1p,d18.8,/' Difference approximation               ',1p,d18.8)",
        {gdir, fdiff});
  }
  if (error >= 0.9) inform = 1;

  if (v == 1 || v == 3) {
    int j1 = 0, j2 = 0;
    check_range(n, E4WORK.jobj1, E4WORK.jobj2, j1, j2);
    double emax = 0.0;
    int jmax = 0, nchecked = 0, ngood = 0, nbad = 0;
    bool headed = false;
    SearchOut r;
    for (int j = j1; j <= j2; ++j) {
      const double gj = grad(j);
      if (gj == optim::kDerivUnset) continue;
      const double xj = x(j);
      double roomlo = 0.0, roomhi = 0.0;
      room_to_bounds(bigbnd, bl(j), bu(j), xj, roomlo, roomhi);
      const double hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
      auto eval = [&]() {
        double fv = 0.0;
        objfun(mode, n, xs, fv, gradus, 0, iusr, rusr);
        return fv;
      };
      if (!search(epsrf, fobj, xj, hsign, x(j), mode, eval, r)) {
        inform = mode;
        return;
      }
      const double gcentral = r.cdest;
      const double err = rel_error(gcentral - gj, gj);
      if (err >= emax) {
        emax = err;
        jmax = j;
      }
      const bool ok = err <= oktol;
      ++nchecked;
      if (ok)
        ++ngood;
      else
        ++nbad;
      if (prt && !(r.info == 1 && std::abs(gj) < epspt8 && ok)) {
        if (!headed) put_records(nout, "(//4x,'J',4x,'X(J)',5x,'DX(J)',11x,'G(J)',11x,'Difference approxn  Itns',/)");
        headed = true;
        if (ok)
          put_records(nout, "(i5,1p,2d10.2,1p,2d18.8,2x,a4,i6)", {j, xj, r.hopt, gj, gcentral, "  OK", r.iter});
        else
          put_records(nout, "(i5,1p,2d10.2,1p,2d18.8,2x,a4,i6,2x,a18)",
              {j, xj, r.hopt, gj, gcentral, "BAD?", r.iter, comment18(r.info)});
      }
    }
    inform = emax >= 0.9 ? 1 : 0;
    if (prt) {
      if (nbad > 0)
        put_records(nout,
            "(/' XXX  There seem to be',i6,'  incorrect objective gradients out of the',i6,/8x,'set in cols',i6,"
            "'  through',i6)",
            {nbad, nchecked, j1, j2});
      else
        put_records(nout,
            "(/i7,'  Objective gradients out of the',i6,/9x,'set in cols',i6,'  through',i6,'  seem to be ok.')",
            {ngood, nchecked, j1, j2});
      put_records(nout, "(/' The largest relative error was',1p,d12.2,'   in element',i6,/)", {emax, jmax});
    }
  }
  // The callback may have written into the caller's gradient.
  dcopy_(&n, grad.ptr(), &inc, gradus.data(), &inc);
}

void E4CHKJ(int& inform, int lvlder, int msglvl, int ncset, int n, int nnlcon, int ldcj, int ldcju,
            double bigbnd, double epsrf, double oktol, double dxchk, double xnorm, const optim::Cnlfun& cnlfun,
            std::span<int> kneeds, std::span<const double> bls, std::span<const double> bus,
            std::span<const double> cs, std::span<double> c1s, std::span<double> cjacs,
            std::span<double> cjacus, std::span<double> cjdxs, std::span<double> dxs, std::span<double> errs,
            std::span<double> xs, std::span<double> ys, std::span<int> iusr, std::span<double> rusr) {
  inform = 0;
  const int m = nnlcon;
  const int v = E4WORK.verify;
  if (!(v == 2 || v == 3 || (v == 0 && m > 0))) return;
  const int nout = advisory_unit();
  const double epspt8 = std::pow(kEps, 0.8);
  const bool prt = msglvl > 0;
  const Vec1<int> kneed(kneeds);
  const Vec1<const double> bl(bls), bu(bus), c(cs);
  const Vec1<double> c1(c1s), cjdx(cjdxs), dx(dxs), err(errs), x(xs), y(ys);
  const runtime::Mat1<double> cjac(cjacs, ldcj), cjacu(cjacus, ldcju);
  if (prt) put_records(nout, "(//' Verification of the constraint gradients.',/' -----------------------------------------')");

  // Directional check along a direction that leaves out every column with
  // a missing or constant element.
  check_direction(n, dx);
  int ncols = 0;
  for (int j = 1; j <= n; ++j) {
    bool unset = false;
    for (int i = 1; i <= m; ++i) unset = unset || cjac(i, j) == optim::kDerivUnset;
    if (unset) {
      dx(j) = 0.0;
      continue;
    }
    ++ncols;
    double lo = 0.0, hi = 0.0;
    unit_room(bigbnd, bl(j), bu(j), x(j), lo, hi);
    dx(j) = dx(j) * ((lo + hi) / 2.0 < 0.0 ? lo : hi);
  }
  int mode = 0;
  const int inc = 1;
  if (ncols == 0) {
    if (prt) put_records(nout, "(/' Every column contains a constant or missing element.')");
  } else {
    const double h = dxchk * (1.0 + xnorm);
    const double one = 1.0, zero = 0.0;
    dgemv_("N", &m, &n, &one, cjacu.ptr(), &ldcju, dx.ptr(), &inc, &zero, cjdx.ptr(), &inc, 1);
    dcopy_(&n, x.ptr(), &inc, y.ptr(), &inc);
    daxpy_(&n, &h, dx.ptr(), &inc, y.ptr(), &inc);
    for (int i = 1; i <= m; ++i) kneed(i) = 1;
    cnlfun(mode, m, n, ldcju, kneeds, y.span(), c1.span(), cjacus, 0, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
    int worst = 1;
    for (int i = 1; i <= m; ++i) {
      err(i) = (c1(i) - c(i)) / h - cjdx(i);
      if (std::abs(err(i)) > std::abs(err(worst))) worst = i;
    }
    const double emax = std::abs(err(worst)) / (std::abs(cjdx(worst)) + 1.0);
    if (prt) {
      put_records(nout, emax <= oktol ? "(/' The Jacobian seems to be ok.')" : "(/' XXX  The Jacobian seems to be incorrect.')");
      put_records(nout, "(/' The largest relative error was',1p,d12.2,'  in constraint',i5,/)", {emax, worst});
    }
    if (emax >= 0.9) inform = 1;
  }

  if (!(v == 2 || v == 3)) return;

  // Element check by the interval search.
  if (lvlder == 3) {
    optkern::MATSET("General", m, n, optim::kDerivUnset, optim::kDerivUnset, cjacus, ldcju);
    for (int i = 1; i <= m; ++i) kneed(i) = 1;
    mode = 2;
    cnlfun(mode, m, n, ldcju, kneeds, x.span(), c1.span(), cjacus, 0, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
  }
  for (int i = 1; i <= m; ++i) kneed(i) = 0;
  int j1 = 0, j2 = 0;
  check_range(n, E4WORK.jcon1, E4WORK.jcon2, j1, j2);
  double emax = -1.0;
  int imax = 0, jmax = 0, nchecked = 0, ngood = 0, nbad = 0;
  mode = 0;
  SearchOut r;
  for (int j = j1; j <= j2; ++j) {
    const double xj = x(j);
    double roomlo = 0.0, roomhi = 0.0;
    room_to_bounds(bigbnd, bl(j), bu(j), xj, roomlo, roomhi);
    const double hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
    for (int i = 1; i <= m; ++i) err(i) = 0.0;
    bool headed = false;
    for (int i = 1; i <= m; ++i) {
      if (cjacu(i, j) == optim::kDerivUnset) continue;
      kneed(i) = 1;
      bool second = false;
      auto eval = [&, i]() {
        const Vec1<double> out = second ? cjdx : c1;
        second = !second;
        cnlfun(mode, m, n, ldcju, kneeds, x.span(), out.span(), cjacus, 0, iusr, rusr);
        return out(i);
      };
      if (!search(epsrf, c(i), xj, hsign, x(j), mode, eval, r)) {
        inform = mode;
        return;
      }
      const double aij = cjac(i, j);
      err(i) = std::abs(r.cdest - aij) / (std::abs(aij) + 1.0);
      const bool ok = err(i) <= oktol;
      ++nchecked;
      if (ok)
        ++ngood;
      else
        ++nbad;
      kneed(i) = 0;
      const bool constant = r.info == 1 && std::abs(aij) < epspt8 && ok;
      if (prt && !constant) {
        const char* key = ok ? "  OK" : "BAD?";
        if (!headed) {
          put_records(nout, "(//' Column    X(J)     DX(J)    Row    Jacobian Value      Difference Approxn  Itns',/)");
          if (ok)
            put_records(nout, "(i7,1p,2d10.2,i5,1p,2d18.8,2x,a4,i6)", {j, xj, r.hopt, i, aij, r.cdest, key, r.iter});
          else
            put_records(nout, "(i7,1p,2d10.2,i5,1p,2d18.8,2x,a4,i6,2x,a18)",
                {j, xj, r.hopt, i, aij, r.cdest, key, r.iter, comment18(r.info)});
          headed = true;
        } else if (ok) {
          put_records(nout, "(17x,1p,d10.2,i5,1p,2d18.8,2x,a4,i6)", {r.hopt, i, aij, r.cdest, key, r.iter});
        } else {
          put_records(nout, "(17x,1p,d10.2,i5,1p,2d18.8,2x,a4,i6,2x,a18)",
              {r.hopt, i, aij, r.cdest, key, r.iter, comment18(r.info)});
        }
      }
    }
    if (m > 0) {
      int iw = 1;
      for (int i = 2; i <= m; ++i)
        if (std::abs(err(i)) > std::abs(err(iw))) iw = i;
      if (err(iw) >= emax) {
        emax = err(iw);
        imax = iw;
        jmax = j;
      }
    }
    x(j) = xj;
  }

  inform = emax >= 0.9 ? 1 : 0;
  if (prt) {
    if (nchecked > 0) {
      if (nbad > 0)
        put_records(nout,
            "(/' XXX  There seem to be',i6,'  incorrect Jacobian elements out of the',i6,/8x,'set in cols',i6,"
            "'  through',i6)",
            {nbad, nchecked, j1, j2});
      else
        put_records(nout,
            "(/i7,'  Jacobian elements out of the',i6,/9x,'set in cols',i6,'  through',i6,'  seem to be ok.')",
            {ngood, nchecked, j1, j2});
      put_records(nout, "(/' The largest relative error was',1p,d12.2,'  in row',i5,',  column',i5,/)", {emax, imax, jmax});
    } else {
      put_records(nout, "(' All',i6,'   assigned Jacobian elements are constant.')", {ncset});
    }
  }
  optkern::MATCPY("General", m, n, cjacs, ldcj, cjacus, ldcju);
}

namespace {

using VarTally = optim::FdTally;

}  // namespace

void E4FDIV(int& inform, int msglvl, int& lvlder, int n, int nnlcon, int ldcj, int ldcju, double bigbnd,
            double epsrf, double& fdnorm, double fobj, const optim::Objfun& objfun, const optim::Cnlfun& cnlfun,
            std::span<int> kneeds, std::span<const double> bls, std::span<const double> bus,
            std::span<const double> cs, std::span<double> c1s, std::span<double> cwrks, std::span<double> cjacs,
            std::span<double> cjacus, std::span<double> grads, std::span<double> gradus,
            std::span<double> hforwds, std::span<double> hcntrls, std::span<double> xs, std::span<double> dxs,
            std::span<int> iusr, std::span<double> rusr) {
  inform = 0;
  const int m = nnlcon;
  if (!(lvlder == 0 || lvlder == 2 || (lvlder == 1 && m > 0))) return;
  E4work& wk = E4WORK;
  if (wk.dif_class == 2) return;
  const int nout = advisory_unit();
  const bool prt = msglvl > 0;
  const double epspt3 = std::pow(kEps, 0.33);
  const double epspt5 = std::sqrt(kEps);
  const Vec1<int> kneed(kneeds);
  const Vec1<const double> bl(bls), bu(bus), c(cs);
  const Vec1<double> c1(c1s), cwrk(cwrks), grad(grads), gradu(gradus), hforwd(hforwds), hcntrl(hcntrls), x(xs),
      dx(dxs);
  const runtime::Mat1<double> cjac(cjacs, ldcj), cjacu(cjacus, ldcju);

  if (wk.dif_class == 1) {
    // The user's intervals: those that cannot be used are replaced.
    for (int j = 1; j <= n; ++j)
      if (hforwd(j) <= 0.0) {
        if (prt)
          put_records(nout, "(' XXX  ',i4,'-th difference interval ',1p,d10.2,' replaced by ',1p,d10.2)",
              {j, hforwd(j), epspt5});
        hforwd(j) = epspt5;
      }
    for (int j = 1; j <= n; ++j)
      if (hcntrl(j) <= 0.0) {
        if (prt)
          put_records(nout, "(' XXX  ',i4,'-th central-difference interval ',1p,d10.2,' replaced by ',1p,d10.2)",
              {j, hcntrl(j), epspt3});
        hcntrl(j) = epspt3;
      }
    return;
  }

  if (prt)
    put_records(nout, "(//' Computation of the finite-difference intervals',/' ----------------------------------------------')");
  int mode = 0;
  int nconstj = 0, nconstg = 0;
  bool headed = false;
  fdnorm = 0.0;
  const bool do_cons = m > 0 && lvlder != 2;
  const bool do_obj = lvlder != 1;
  for (int i = 1; i <= m; ++i) kneed(i) = 0;
  auto eval_cons = [&](std::span<const double> p, const Vec1<double>& out) {
    cnlfun(mode, m, n, ldcju, kneeds, p, out.span(), cjacus, 0, iusr, rusr);
  };
  auto eval_obj = [&](std::span<const double> p) {
    double v = 0.0;
    objfun(mode, n, p, v, gradus, 0, iusr, rusr);
    return v;
  };
  // One missing element's search: its first estimate into work, the constant
  // marker into user when it looks constant or linear.
  SearchOut r;
  auto search_element = [&](VarTally& v, int j, double& user, double& work, double fx, auto&& eval, bool is_cons) {
    v.found = true;
    const double absacc = epsrf * (1.0 + std::abs(fx));
    if (!search(epsrf, fx, v.xj, v.hsign, x(j), mode, eval, r)) return false;
    work = r.cdest;
    if (r.info == 1 || r.info == 2) {
      user = optim::kDerivConstant;
      if (is_cons) {
        wk.nmissj -= 1;
        nconstj += 1;
      } else {
        wk.nmissg -= 1;
        nconstg += 1;
      }
    }
    v.add(r.info, r.sdest, r.hopt, r.errbnd, r.hphi, absacc);
    return true;
  };

  for (int j = 1; j <= n; ++j) {
    VarTally v;
    v.xj = x(j);
    double roomlo = 0.0, roomhi = 0.0;
    room_to_bounds(bigbnd, bl(j), bu(j), v.xj, roomlo, roomhi);
    v.hsign = (roomlo + roomhi) / 2.0 < 0.0 ? -1.0 : 1.0;
    v.hmin = 1.0 / epspt3;
    if (do_cons) {
      for (int i = 1; i <= m; ++i) {
        if (cjacu(i, j) != optim::kDerivUnset) continue;
        kneed(i) = 1;
        bool second = false;
        auto eval = [&, i]() {
          const Vec1<double>& out = second ? cwrk : c1;
          second = !second;
          eval_cons(xs, out);
          return out(i);
        };
        if (!search_element(v, j, cjacu(i, j), cjac(i, j), c(i), eval, true)) {
          inform = mode;
          return;
        }
      }
    }
    if (do_obj && gradu(j) == optim::kDerivUnset) {
      auto eval = [&]() { return eval_obj(xs); };
      if (!search_element(v, j, gradu(j), grad(j), fobj, eval, false)) {
        inform = mode;
        return;
      }
    }
    if (v.found) {
      v.choose();
      if (prt) {
        if (!headed) put_records(nout, "(//'    J      X(J)   Forward DX(J)   Central DX(J)      Error est.',/)");
        headed = true;
        put_records(nout, "(i5,1p,d10.2,1p,d16.6,1p,2d16.6)", {j, v.xj, v.hfwd, v.hcen, v.errmax});
      }
      fdnorm = std::max(fdnorm, v.hfwd);
      hforwd(j) = v.hfwd / (1.0 + std::abs(v.xj));
      hcntrl(j) = v.hcen / (1.0 + std::abs(v.xj));
    }
    x(j) = v.xj;
  }
  if (nconstj + nconstg == 0) return;

  // Each element found constant must give exactly the same quotient at a
  // second point, else it is differenced after all.
  double rho = 1.0 / n;
  for (int j = 1; j <= n; ++j) {
    double lo = 0.0, hi = 0.0;
    unit_room(bigbnd, bl(j), bu(j), x(j), lo, hi);
    dx(j) = (lo + hi) / 2.0 >= 0.0 ? x(j) + rho * hi : x(j) + rho * lo;
    rho = 0.97 * rho;
  }
  if (m > 0) {
    for (int i = 1; i <= m; ++i) kneed(i) = 1;
    eval_cons(dxs, cwrk);
    if (mode < 0) {
      inform = mode;
      return;
    }
  }
  const double fdx = eval_obj(dxs);
  if (mode < 0) {
    inform = mode;
    return;
  }
  for (int j = 1; j <= n; ++j) {
    const double dxj = dx(j);
    const double delta = (x(j) - dxj) / 2.0;
    dx(j) = dxj + delta;
    if (m > 0) {
      int nrows = 0;
      for (int i = 1; i <= m; ++i) {
        kneed(i) = cjacu(i, j) == optim::kDerivConstant ? 1 : 0;
        nrows += kneed(i);
      }
      if (nrows > 0) {
        eval_cons(dxs, c1);
        if (mode < 0) {
          inform = mode;
          return;
        }
        for (int i = 1; i <= m; ++i) {
          if (kneed(i) == 0) continue;
          const double q = (c1(i) - cwrk(i)) / delta;
          if (q == cjac(i, j)) {
            cjacu(i, j) = q;
          } else {
            cjacu(i, j) = optim::kDerivUnset;
            wk.nmissj += 1;
            nconstj -= 1;
          }
        }
      }
    }
    if (gradu(j) == optim::kDerivConstant) {
      const double fv = eval_obj(dxs);
      if (mode < 0) {
        inform = mode;
        return;
      }
      const double q = (fv - fdx) / delta;
      if (q == grad(j)) {
        gradu(j) = q;
      } else {
        gradu(j) = optim::kDerivUnset;
        wk.nmissg += 1;
        nconstg -= 1;
      }
    }
    dx(j) = dxj;
  }

  // The counts of the constant elements, and the derivative level raised
  // when no element of a kind is missing.
  if (prt) {
    if (lvlder < 2 && nconstj > 0) put_records(nout, "(/i5,'  constant constraint gradient elements assigned.')", {nconstj});
    if (lvlder != 1 && nconstg > 0) put_records(nout, "(/i5,'  constant  objective gradient elements assigned.')", {nconstg});
  }
  if (wk.nmissj == 0 && lvlder < 2) {
    lvlder = lvlder == 0 ? 2 : 3;
    if (prt)
      put_records(nout, "(//' All missing Jacobian elements are constants.',/' Derivative level increased to ',i4)", {lvlder});
  }
  if (wk.nmissg == 0 && (lvlder == 0 || lvlder == 2)) {
    lvlder = lvlder == 0 ? 1 : 3;
    if (prt)
      put_records(nout, "(//' All missing objective gradients are constants.',/' Derivative level increased to ',i4)",
          {lvlder});
  }
}

}  // namespace qv::optim_alt
