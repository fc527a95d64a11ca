#include "optim_alt/linesearch.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "optim_alt/constants.hpp"
#include "optim_alt/merit.hpp"
#include "optim_alt/records.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

namespace {

constexpr double kSufdec = 0.0001;  // sufficient-decrease factor

// One trace write of a step calculator (records of up to 120 characters).
void trace(bool debug, const char* fmt, std::initializer_list<runtime::Out> items = {}) {
  if (debug) put_records(advisory_unit(), fmt, items);
}

// Closes a step calculator's trace: 52 hyphens and an empty record.
void close_trace(bool debug) {
  trace(debug, "(a/a)", {std::string(52, '-'), ""});
}

// The sufficient-decrease measure of a step alfa with merit value f.
double ctest(double alfa, double f, double oldf, double oldg) { return f - oldf - kSufdec * alfa * oldg; }

// Sufficient decrease, with the noise allowance epsaf; beyond alfuzz only
// no increase beyond the noise is asked for.
bool sufficient(const E4srst& st, double alfa, double f, double oldf, double oldg, double epsaf) {
  if (alfa <= st.alfuzz) return ctest(alfa, f, oldf, oldg) <= epsaf;
  return f - oldf <= epsaf;
}

// First call of a search: resets the state, sets alfuzz and traces the set-up.
// Returns done (bad start).
bool start_search(E4srst& st, bool debug, double alfmax, double epsaf, double oldf, double oldg, double tolabs,
                  double tolrel, double tolmax, double alfa, int& numf, double& alfbst) {
  st.reset();
  numf = 0;
  alfbst = 0.0;
  st.crampd = tolabs >= alfmax;
  st.badfun = tolmax >= alfmax || oldg >= 0.0;
  st.alfuzz = alfmax;
  if (-oldg * kSufdec * alfmax > 2.0 * epsaf) st.alfuzz = -2.0 * epsaf / (kSufdec * oldg);
  trace(debug, "(a,1p,4d13.4)", {" ALFMAX  OLDF    OLDG    TOLABS", alfmax, oldf, oldg, tolabs});
  trace(debug, "(a,1p,2d13.4,13x,d13.4)", {" ALFUZZ  EPSAF           TOLREL", st.alfuzz, epsaf, tolrel});
  trace(debug, "(a,l13)", {" CRAMPD                        ", st.crampd});
  if (st.badfun) return true;
  st.tolpad = tolabs + tolrel * alfmax;
  st.a = 0.0;
  st.b = alfmax + st.tolpad;
  st.factor = 5.0;
  st.tol = tolabs;
  st.xtry = alfa;
  return false;
}

// Counters of a later call, and the right end of an unbracketed interval
// (alfmax may have been lowered by the caller).
void count_trial(E4srst& st, int& numf, double alfmax, double tolabs, double tolrel, double alfbst) {
  ++numf;
  ++st.nsamea;
  ++st.nsameb;
  if (!st.braktd) {
    st.tolpad = tolabs + tolrel * alfmax;
    st.b = alfmax - alfbst + st.tolpad;
  }
}

// Interval and count tests of both calculators; sets quitI.  Returns whether
// the count is used up.
bool interval_tests(E4srst& st, int numf, double& tolabs, double tolrel, double epsaf, double tolmax,
                    double alfbst, double oldf, double oldg) {
  st.tol = tolabs + tolrel * alfbst;
  const bool quitcount = numf >= kSearchMaxf;
  st.quitI = st.b - st.a <= st.tol + st.tol;
  if (st.quitI && !st.moved) {
    // Nothing better inside the interval: look closer to the start before
    // giving up (w is then measured from the start).
    st.tol = st.tol / 10.0;
    tolabs = st.tol;
    st.quitI = std::abs(ctest(st.alfaw, st.fw, oldf, oldg)) <= epsaf || st.tol <= tolmax;
  }
  return quitcount;
}

// The step away from the best point while no minimum is bracketed.
void extrapolate(E4srst& st, double alfbst, double alfmax, double& brackb) {
  st.xtry = -st.factor * st.alfaw;
  brackb = st.xtry;
  if (alfbst + st.xtry < alfmax) st.factor = 5.0 * st.factor;
}

// Uses the fit s/q (relative to alfaw) when it lies in the artificial interval.
void accept_fit(E4srst& st, bool debug, double s, double q, double bracka, double brackb) {
  if (q == 0.0) return;
  if (q < 0.0) {
    s = -s;
    q = -q;
  }
  const double sa = s * st.alfaw;
  if (q * bracka <= sa && sa <= q * brackb) {
    st.xtry = std::abs(sa) >= q * st.tol ? (s / q) * st.alfaw : 0.0;
    trace(debug, "(a,1p,d13.4)", {" Polynomial fit accepted.  XTRY", st.xtry});
  }
}

// Places the next trial: never within tol of an end of the interval, never
// beyond alfmax while no minimum is bracketed (alfmax itself is then tried
// and the minimum counts as bracketed); values-only searches also keep at
// least tol from the best point.
void place_trial(E4srst& st, double alfmax, double alfbst, double& alfa, bool keep_from_best) {
  alfa = alfbst + st.xtry;
  if (st.braktd || alfa < alfmax - st.tolpad) {
    const double xmidpt = 0.5 * (st.a + st.b);
    if (st.xtry <= st.a + st.tol || st.xtry >= st.b - st.tol) st.xtry = xmidpt <= 0.0 ? -st.tol : st.tol;
    if (keep_from_best && std::abs(st.xtry) < st.tol) st.xtry = xmidpt <= 0.0 ? -st.tol : st.tol;
    alfa = alfbst + st.xtry;
  } else {
    st.braktd = true;
    st.xtry = alfmax - alfbst;
    alfa = alfmax;
  }
}

// While both ends of the interval keep moving the fit is taken as it is; once
// one end has stopped, it is pulled towards the best point.
void damp_fit(E4srst& st, double& s) {
  if (st.nsamea < 3 && st.nsameb < 3) {
    st.factor = 1.0;
  } else {
    st.factor = st.factor / 5.0;
    s = st.factor * s;
  }
}

// The interval block of a later call's trace.
void trace_interval(bool debug, const E4srst& st, bool imprvd) {
  trace(debug, "(a,1p,4d13.4)", {" A       B       B - A   TOL   ", st.a, st.b, st.b - st.a, st.tol});
  trace(debug, "(a,2i13,2l13)", {" NSAMEA  NSAMEB  BRAKTD  CLOSEF", st.nsamea, st.nsameb, st.braktd, st.closef});
  trace(debug, "(a,3l13)", {" IMPRVD  CONVRG  EXTRAP        ", imprvd, st.convrg, st.extrap});
}

}  // namespace

void E4SRDG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int& numf, double alfmax, double epsaf,
            double oldf, double oldg, double lstol, double ftry, double gtry, double& tolabs, double tolrel,
            double tolmax, double& alfa, double& alfbst, double& fbest, double& gbest) {
  E4srst& st = E4SRST;
  imprvd = false;
  if (first) {
    first = false;
    fbest = oldf;
    gbest = oldg;
    done = start_search(st, debug, alfmax, epsaf, oldf, oldg, tolabs, tolrel, tolmax, alfa, numf, alfbst);
    if (!done) place_trial(st, alfmax, alfbst, alfa, false);
  } else {
    count_trial(st, numf, alfmax, tolabs, tolrel, alfbst);
    trace(debug, "(a,1p,4d13.4)",
          {" ALFA    FTRY    GTRY    CTRY  ", alfa, ftry, gtry, ctest(alfa, ftry, oldf, oldg)});
    st.closef = std::abs(ftry - fbest) <= epsaf;
    imprvd = sufficient(st, alfa, ftry, oldf, oldg, epsaf) &&
             (ftry < fbest - epsaf || (st.closef && std::abs(gtry) <= std::abs(gbest)));
    const double xtry = st.xtry;
    if (imprvd) {
      // The trial is the new best point; the old one becomes w.
      st.fw = fbest;
      st.gw = gbest;
      st.alfaw = -xtry;
      st.wset = true;
      fbest = ftry;
      gbest = gtry;
      alfbst = alfa;
      st.moved = true;
      st.a -= xtry;
      st.b -= xtry;
      st.extrap = (st.alfaw > 0.0 && gbest > 0.0) || (st.alfaw < 0.0 && gbest < 0.0);
      if (gtry > 0.0) {
        st.b = 0.0;
        st.nsameb = 0;
        st.braktd = true;
      } else {
        st.a = 0.0;
        st.nsamea = 0;
      }
    } else {
      if (xtry > 0.0) {
        st.braktd = true;
        st.b = xtry;
        st.nsameb = 0;
      } else {
        st.a = xtry;
        st.nsamea = 0;
      }
      if (!st.wset || ftry < st.fw || !st.extrap) {
        st.alfaw = xtry;
        st.fw = ftry;
        st.gw = gtry;
        st.wset = true;
      }
      st.extrap = false;
    }

    const bool quitcount = interval_tests(st, numf, tolabs, tolrel, epsaf, tolmax, alfbst, oldf, oldg);
    st.convrg = st.moved && sufficient(st, alfbst, fbest, oldf, oldg, epsaf) &&
                std::abs(gbest) <= lstol * std::abs(oldg);
    done = quitcount || st.quitI || st.convrg;
    trace_interval(debug, st, imprvd);
    trace(debug, "(a,1p,4d13.4)",
          {" ALFBST  FBEST   GBEST   CBEST ", alfbst, fbest, gbest, ctest(alfbst, fbest, oldf, oldg)});
    trace(debug, "(a,1p,2d13.4)", {" ALFAW   FW                    ", st.alfaw, st.fw});

    if (!done) {
      // Fit through the best point and w.
      const double xmidpt = 0.5 * (st.a + st.b);
      double s = 0.0, q = 0.0;
      if (st.closef) {
        trace(debug, "(a)", {" Parabola."});
        s = gbest;
        q = gbest - st.gw;
      } else {
        trace(debug, "(a)", {" Cubic.   "});
        const double r = 3.0 * (fbest - st.fw) / st.alfaw + gbest + st.gw;
        const double absr = std::abs(r);
        const double sg = std::sqrt(std::abs(gbest)) * std::sqrt(std::abs(st.gw));
        bool fit = true;
        const bool opposite = (gbest < 0.0 && st.gw > 0.0) || (gbest > 0.0 && st.gw < 0.0);
        if (opposite) {
          const double sum = absr + sg;
          q = sum == 0.0 ? 0.0 : sum * std::sqrt((absr / sum) * (absr / sum) + (sg / sum) * (sg / sum));
        } else if (absr >= sg) {
          q = std::sqrt(absr + sg) * std::sqrt(absr - sg);
        } else {
          fit = false;
          q = 0.0;
        }
        if (fit) {
          if (st.alfaw < 0.0) q = -q;
          s = gbest - r - q;
          q = gbest - st.gw - 2.0 * q;
        }
      }

      // Default step and the artificial interval a fit must lie in.
      double bracka = st.a, brackb = st.b;
      if (!st.braktd) {
        extrapolate(st, alfbst, alfmax, brackb);
      } else if (st.extrap) {
        const double dtry = std::abs(st.alfaw);
        const double daux = st.b - st.a;
        st.xtry = daux <= dtry ? 5.0 * daux * (0.1 + daux / dtry) / 11.0 : 0.5 * std::sqrt(dtry) * std::sqrt(daux);
        if (st.alfaw > 0.0) st.xtry = -st.xtry;
        trace(debug, "(a,1p,3d13.4)", {" Geo. bisection. XTRY,DAUX,DTRY", st.xtry, daux, dtry});
        if (st.xtry <= 0.0)
          bracka = st.xtry;
        else
          brackb = st.xtry;
      } else {
        st.xtry = xmidpt;
        trace(debug, "(a,1p,d13.4)", {" Bisection.              XMIDPT", xmidpt});
        damp_fit(st, s);
      }
      accept_fit(st, debug, s, q, bracka, brackb);
      place_trial(st, alfmax, alfbst, alfa, false);
    }
  }
  close_trace(debug);

  if (done) {
    if (st.badfun)
      inform = 7;
    else if (st.convrg)
      inform = alfbst < alfmax ? 1 : 2;
    else if (st.moved)
      inform = 3;
    else
      inform = st.crampd ? 4 : 6;
  }
}

void E4SRNG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int& numf, double alfmax, double alfsml,
            double epsaf, double oldf, double oldg, double lstol, double ftry, double& tolabs, double tolrel,
            double tolmax, double& alfa, double& alfbst, double& fbest) {
  E4srst& st = E4SRST;
  imprvd = false;
  // The slope a success asks for: the values-only test of the interval.
  const double targtg = (kSufdec - lstol) * oldg;
  if (first) {
    first = false;
    fbest = oldf;
    done = start_search(st, debug, alfmax, epsaf, oldf, oldg, tolabs, tolrel, tolmax, alfa, numf, alfbst);
    st.fa = oldf;
    if (!done) place_trial(st, alfmax, alfbst, alfa, true);
  } else {
    count_trial(st, numf, alfmax, tolabs, tolrel, alfbst);
    trace(debug, "(a,1p,3d13.4)", {" ALFA    FTRY    CTRY          ", alfa, ftry, ctest(alfa, ftry, oldf, oldg)});
    const double xtry = st.xtry;
    // The trial lies between the best point and w.
    const bool xtrial = st.wset && ((0.0 < xtry && xtry <= st.alfaw) || (st.alfaw <= xtry && xtry < 0.0));
    imprvd = ftry < fbest && sufficient(st, alfa, ftry, oldf, oldg, epsaf);
    st.closef = st.vset && std::abs(fbest - st.fv) <= epsaf;
    if (!imprvd) {
      if (st.closef && ftry - fbest < epsaf) {
        // Three values within the noise of each other: stop.
        st.quitFZ = true;
      } else {
        if (xtry >= 0.0) {
          st.braktd = true;
          st.b = xtry;
          st.nsameb = 0;
        } else {
          st.a = xtry;
          st.fa = ftry;
          st.nsamea = 0;
        }
        if (!st.wset) {
          st.alfaw = xtry;
          st.fw = ftry;
          st.wset = true;
        } else if (st.fw <= ftry) {
          if (!st.moved) {
            st.alfaw = xtry;
            st.fw = ftry;
          } else if (!st.vset || ftry < st.fv || !st.extrap) {
            if (st.vset && xtrial) {
              st.alfaw = st.alfav;
              st.fw = st.fv;
            }
            st.alfav = xtry;
            st.fv = ftry;
            st.vset = true;
          }
        } else {
          st.alfav = st.alfaw;
          st.fv = st.fw;
          st.vset = true;
          st.alfaw = xtry;
          st.fw = ftry;
          if (st.moved) st.extrap = xtrial;
        }
      }
    } else {
      // The trial is the new best point; the old one becomes w, w becomes v.
      if (st.wset) {
        st.alfav = st.alfaw - xtry;
        st.fv = st.fw;
        st.vset = true;
      }
      st.alfaw = -xtry;
      st.fw = fbest;
      st.wset = true;
      fbest = ftry;
      alfbst = alfa;
      st.a -= xtry;
      st.b -= xtry;
      st.extrap = !xtrial;
      st.moved = true;
      if (xtry < 0.0) {
        st.b = st.alfaw;
        st.nsameb = 0;
        st.braktd = true;
      } else {
        st.a = st.alfaw;
        st.fa = st.fw;
        st.nsamea = 0;
      }
    }

    const bool quitcount = interval_tests(st, numf, tolabs, tolrel, epsaf, tolmax, alfbst, oldf, oldg);
    st.convrg = st.moved && sufficient(st, alfbst, fbest, oldf, oldg, epsaf) &&
                std::abs(st.fa - fbest) <= -st.a * targtg;
    st.quitS = alfbst + st.b <= alfsml;
    done = quitcount || st.quitFZ || st.quitS || st.quitI || st.convrg;
    trace_interval(debug, st, imprvd);
    trace(debug, "(a,1p,3d13.4)",
          {" ALFBST  FBEST   CBEST         ", alfbst, fbest, ctest(alfbst, fbest, oldf, oldg)});
    trace(debug, "(a,1p,2d13.4)", {" ALFAW   FW                    ", st.alfaw, st.fw});
    trace(debug, "(a,1p,2d13.4)", {" ALFAV   FV                    ", st.alfav, st.fv});

    if (!done) {
      const double xmidpt = 0.5 * (st.a + st.b);
      const bool three = st.vset && st.moved;
      // Parabola through the best point, w and v, or through the best point
      // and w with the slope at the start.
      const double gw = (st.fw - fbest) / st.alfaw;
      double s = 0.0, q = 0.0;
      if (three) {
        trace(debug, "(a)", {" Parabolic fit,  three points. "});
        const double gv = (st.fv - fbest) / st.alfav;
        s = gv - (st.alfav / st.alfaw) * gw;
        q = 2.0 * (gv - gw);
      } else {
        trace(debug, "(a)", {" Parabolic fit,    two points. "});
        s = st.moved ? oldg - 2.0 * gw : oldg;
        q = 2.0 * (oldg - gw);
      }

      double bracka = st.a, brackb = st.b;
      if (!st.braktd) {
        extrapolate(st, alfbst, alfmax, brackb);
      } else if (!three) {
        if (!st.extrap) {
          st.xtry = st.alfaw / 10.0;
          trace(debug, "(a,1p,d13.4)", {" Exponent reduced.  Trial point", st.xtry});
        } else {
          st.xtry = -st.alfaw;
        }
      } else {
        double daux = 0.0;
        if (!st.extrap) {
          damp_fit(st, s);
          daux = xmidpt > 0.0 ? st.b : st.a;
          if (st.nsamea > 2) daux = st.a;
          if (st.nsameb > 2) daux = st.b;
        } else {
          daux = st.alfaw < 0.0 ? st.b : st.a;
        }
        // Geometric bisection of the larger side.
        const double absd = std::abs(daux);
        const double dtry = (st.b - st.a) - absd;
        st.xtry = dtry < absd ? 0.5 * std::sqrt(dtry) * std::sqrt(absd) : 5.0 * absd * (0.1 + absd / dtry) / 11.0;
        if (daux < 0.0) st.xtry = -st.xtry;
        trace(debug, "(a,1p,3d13.4)", {" Geo. bisection. XTRY,DAUX,DTRY", st.xtry, daux, dtry});
        if (st.extrap) {
          if (st.xtry <= 0.0)
            bracka = st.xtry;
          else
            brackb = st.xtry;
        }
      }
      accept_fit(st, debug, s, q, bracka, brackb);
      place_trial(st, alfmax, alfbst, alfa, true);
    }
  }
  close_trace(debug);

  if (done) {
    if (st.badfun)
      inform = 7;
    else if (st.convrg)
      inform = alfbst < alfmax ? 1 : 2;
    else if (st.quitS && (st.moved || !st.crampd))
      inform = 5;
    else if (st.moved)
      inform = 3;
    else
      inform = st.crampd ? 4 : 6;
  }
}

namespace {

double dot(int n, const Vec1<const double>& a, const Vec1<const double>& b) {
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) sum += a(i) * b(i);
  return sum;
}

// y := A p for an m x n column-major A.
void matvec(int m, int n, const Mat1<const double>& a, const Vec1<const double>& p, const Vec1<double>& y) {
  for (int i = 1; i <= m; ++i) y(i) = 0.0;
  for (int j = 1; j <= n; ++j) {
    const double pj = p(j);
    if (pj == 0.0) continue;
    for (int i = 1; i <= m; ++i) y(i) += a(i, j) * pj;
  }
}

}  // namespace

void E04UCR(bool needfd, bool debug, int n, int nnlcon, int ldcj, int ldcju, int& nfun, int& ngrad,
            std::span<int> kneed, const optim::Cnlfun& cnlfun, const optim::Objfun& objfun, double& alfa,
            double& alfbnd, double& alfmax, double alfsml, double pnorm, double fprec, double lstol, double& gdir,
            double grdalf, double dlag0, double& dlag1, double& objf, double& merit, double qpcurv, double xnorm,
            std::span<double> cs_, std::span<double> ctrys, std::span<double> cjacs, std::span<double> ujacs,
            std::span<double> cjdxs, std::span<double> cjdxtrys, std::span<const double> lambda1s,
            std::span<double> lambdas, std::span<const double> dlambdas, std::span<const double> s1s,
            std::span<double> ss, std::span<const double> dss, std::span<const double> cs1s, std::span<double> css,
            std::span<const double> ps, std::span<double> grads, std::span<double> ugrads,
            std::span<const double> qpmuls, std::span<const double> rhos, std::span<const double> x1s,
            std::span<double> xs, std::span<double> works, int kfirst, std::span<int> iusr, std::span<double> rusr,
            int& inform) {
  const int m = nnlcon;
  const Vec1<double> c(cs_), ctry(ctrys), cjdx(cjdxs), cjdxtry(cjdxtrys), lambda(lambdas), s(ss), cs(css),
      grad(grads), ugrad(ugrads), x(xs), work(works);
  const Vec1<const double> lambda1(lambda1s), dlambda(dlambdas), s1(s1s), ds(dss), cs1(cs1s), p(ps), qpmul(qpmuls),
      rho(rhos), x1(x1s);
  const Mat1<double> cjac(cjacs, ldcj);
  const Mat1<const double> ujac(ujacs, ldcju);
  const bool grads_used = !needfd;
  const double scale = E4MERT.scale;
  const int nout = debug ? advisory_unit() : 0;

  // Tolerances of the search.
  const double oldf = merit, oldg = grdalf;
  const double epsaf = fprec * (1.0 + std::abs(merit));
  const double epspt8 = std::pow(kEps, 0.8);
  const double tolrel = std::max(epspt8, kEps);
  double tolabs = alfmax;
  if (pnorm * alfbnd > epspt8 * (1.0 + xnorm)) tolabs = epspt8 * (1.0 + xnorm) / pnorm;
  double t = 0.0;
  for (int j = 1; j <= n; ++j) t = std::max(t, std::abs(p(j)) / (epspt8 * (1.0 + std::abs(x1(j)))));
  const double tolmax = t * tolabs > 1.0 ? 1.0 / t : tolabs;
  const double cs1jdx = (grads_used && m > 0) ? dot(m, cs1, Vec1<const double>(cjdxs)) : 0.0;

  for (int i = 1; i <= m; ++i) kneed[static_cast<std::size_t>(i - 1)] = 1;
  int mode = grads_used ? 2 : 0;

  bool first = true, done = false, imprvd = false;
  int numf = 0;
  double alfbst = 0.0, fbest = 0.0, gbest = 0.0, ftry = 0.0, gtry = 0.0;
  double objtry = 0.0, gdirtry = 0.0, dirderiv = 0.0;
  for (;;) {
    if (needfd)
      E4SRNG(first, debug, done, imprvd, inform, numf, alfmax, alfsml, epsaf, oldf, oldg, lstol, ftry, tolabs, tolrel,
             tolmax, alfa, alfbst, fbest);
    else
      E4SRDG(first, debug, done, imprvd, inform, numf, alfmax, epsaf, oldf, oldg, lstol, ftry, gtry, tolabs, tolrel,
             tolmax, alfa, alfbst, fbest, gbest);
    if (imprvd) {
      // The last trial is the best point: keep its values.
      objf = objtry;
      merit = ftry;
      for (int i = 1; i <= m; ++i) c(i) = ctry(i);
      if (grads_used) {
        for (int j = 1; j <= n; ++j) grad(j) = ugrad(j);
        gdir = gdirtry;
        dlag1 = dirderiv;
        for (int i = 1; i <= m; ++i) cjdx(i) = cjdxtry(i);
        for (int j = 1; j <= n; ++j)
          for (int i = 1; i <= m; ++i) cjac(i, j) = ujac(i, j);
      }
    }
    if (done) break;

    // The trial point.
    nfun += 1;
    if (grads_used) ngrad += 1;
    for (int j = 1; j <= n; ++j) x(j) = x1(j) + alfa * p(j);
    if (m > 0) {
      if (alfa <= 1.0)
        for (int i = 1; i <= m; ++i) lambda(i) = lambda1(i) + alfa * dlambda(i);
      for (int i = 1; i <= m; ++i) s(i) = s1(i) + alfa * ds(i);
      cnlfun(mode, m, n, ldcju, kneed, xs, ctrys, ujacs, kfirst, iusr, rusr);
      if (mode < 0) {
        inform = mode;
        return;
      }
    }
    objfun(mode, n, xs, objtry, ugrads, kfirst, iusr, rusr);
    if (mode < 0) {
      inform = mode;
      return;
    }
    ftry = objtry;
    if (m > 0) {
      double ssq = 0.0;
      for (int i = 1; i <= m; ++i) {
        cs(i) = ctry(i) - s(i);
        ssq += rho(i) * cs(i) * cs(i);
      }
      ftry += -dot(m, Vec1<const double>(lambdas), Vec1<const double>(css)) + 0.5 * scale * ssq;
    }

    if (grads_used) {
      gdirtry = dot(n, Vec1<const double>(ugrads), p);
      gtry = gdirtry;
      dirderiv = gdirtry;
      if (m > 0) {
        matvec(m, n, ujac, p, cjdxtry);
        for (int i = 1; i <= m; ++i) work(i) = cjdxtry(i) - ds(i);
        gtry -= dot(m, Vec1<const double>(lambdas), Vec1<const double>(works));
        if (alfa <= 1.0) gtry -= dot(m, dlambda, Vec1<const double>(css));
        for (int i = 1; i <= m; ++i) work(i) = rho(i) * work(i);
        gtry += scale * dot(m, Vec1<const double>(works), Vec1<const double>(css));
        dirderiv = gdirtry - dot(m, Vec1<const double>(cjdxtrys), qpmul);
        if (alfbnd <= alfa && alfa < alfmax) {
          // The curvature guard: a step along which the constraint term
          // changes the curvature of the Lagrangian is not extended.
          const double csjdx = dot(m, Vec1<const double>(css), Vec1<const double>(cjdxtrys));
          const double curvlf = dirderiv - dlag0;
          if (debug)
            put_records(nout, "(a/a,1p,3d14.2)",
                        {" //E04UCR//         CSJDX        CS1JDX        CURVLF", " //E04UCR//", csjdx, cs1jdx,
                         curvlf});
          if (std::abs(csjdx - cs1jdx) * (1.0 / kEps) >= std::max(0.0, 0.1 * qpcurv - curvlf))
            alfmax = alfa;
          else
            alfbnd = std::min(2.0 * alfa, alfmax);
          if (debug)
            put_records(nout, "(a/a,1p,3d14.2)",
                        {" //E04UCR//        ALFBND          ALFA        ALFMAX", " //E04UCR//", alfbnd, alfa,
                         alfmax});
        }
      }
    }
  }

  // The step is the best one found; when the last trial was not the best, the
  // point, its multipliers and slacks go back to it.
  alfa = alfbst;
  if (!imprvd) {
    for (int j = 1; j <= n; ++j) x(j) = x1(j) + alfa * p(j);
    if (m > 0) {
      if (alfa <= 1.0)
        for (int i = 1; i <= m; ++i) lambda(i) = lambda1(i) + alfa * dlambda(i);
      for (int i = 1; i <= m; ++i) {
        s(i) = s1(i) + alfa * ds(i);
        cs(i) = c(i) - s(i);
      }
    }
  }
  if (debug) put_records(nout, "(a,i4)", {" //E04UCR// INFORM  = ", inform});
}

}  // namespace qv::optim_alt
