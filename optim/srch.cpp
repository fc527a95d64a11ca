// Step calculators of the line search.
#include "optim/srch.hpp"

#include <cmath>

#include "runtime/units.hpp"

namespace qv::optim {

namespace {

// Traces go to the print unit only while the caller's debug switch is on.
void trace(bool debug, int nout, const char* fmt, std::initializer_list<runtime::Out> items) {
  if (debug && nout > 0) runtime::write_fmt(nout, fmt, items);
}

// First call of a search: resets the state.  Returns done (bad input).
bool start_search(Srchst& st, double alfmax, double g0, double tolabs, double tolrel, double alfatinytol,
                  double alfa, int& numf, double& alfbst) {
  st.reset();
  numf = 0;
  alfbst = 0.0;
  st.badfun = alfmax <= alfatinytol || g0 >= 0.0;
  if (st.badfun) return true;
  st.crampd = alfmax <= tolabs;
  st.tolmax = tolabs + tolrel * alfmax;
  st.a = 0.0;
  st.b = alfmax + st.tolmax;
  st.factor = 5.0;
  st.tol = tolabs;
  st.xtry = alfa;
  return false;
}

// Counters of a later call, and the right end of an unbracketed interval
// (alfmax may have been lowered by the caller).
void count_trial(Srchst& st, int& numf, double alfmax, double tolabs, double tolrel, double alfbst) {
  ++numf;
  ++st.nsamea;
  ++st.nsameb;
  if (!st.braktd) {
    st.tolmax = tolabs + tolrel * alfmax;
    st.b = alfmax - alfbst + st.tolmax;
  }
}

// Interval and count tests shared by both calculators; sets quitI.  Returns
// whether the count is used up.
bool interval_tests(Srchst& st, int numf, int evallimit, double& tolabs, double tolrel, double epsaf,
                    double alfatinytol, double alfbst) {
  st.tol = tolabs + tolrel * alfbst;
  const bool quitcount = numf >= evallimit;
  st.quitI = st.b - st.a <= st.tol + st.tol;
  if (st.quitI && !st.moved) {
    // Nothing better inside the interval: look closer to the start before
    // giving up.
    st.tol = st.tol / 10.0;
    tolabs = st.tol;
    st.quitI = std::abs(st.fw) <= epsaf || st.tol <= alfatinytol;
  }
  return quitcount;
}

// The step away from the best point while no minimum is bracketed: a growing
// multiple of the last move.  Sets the right end of the artificial interval.
void extrapolate(Srchst& st, double alfbst, double alfmax, double& brackb) {
  st.xtry = -st.factor * st.alfaw;
  brackb = st.xtry;
  if (alfbst + st.xtry < alfmax) st.factor = 5.0 * st.factor;
}

// Uses the fit s/q (relative to alfaw) when it lies in the artificial
// interval.
void accept_fit(Srchst& st, bool debug, int nout, double s, double q, double bracka, double brackb) {
  if (q == 0.0) return;
  if (q < 0.0) {
    s = -s;
    q = -q;
  }
  const double sa = s * st.alfaw;
  if (q * bracka <= sa && sa <= q * brackb) {
    st.xtry = std::abs(sa) >= q * st.tol ? (s / q) * st.alfaw : 0.0;
    trace(debug, nout, "(a, 1p, e15.5)", {" Polynomial fit accepted.  xtry", st.xtry});
  }
}

// Places the next trial: never within tol of an end of the interval, and
// never beyond alfmax while no minimum is bracketed (alfmax itself is then
// tried and the minimum counts as bracketed).  Values-only searches also keep
// at least tol from the best point.
void place_trial(Srchst& st, double alfmax, double alfbst, double& alfa, bool keep_from_best) {
  alfa = alfbst + st.xtry;
  if (st.braktd || alfa < alfmax - st.tolmax) {
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

// While both ends of the interval keep moving the fit is taken as it is;
// once one end has stopped, the fit is pulled towards the best point by a
// shrinking factor.
void damp_fit(Srchst& st, double& s) {
  if (st.nsamea < 3 && st.nsameb < 3) {
    st.factor = 1.0;
  } else {
    st.factor = st.factor / 5.0;
    s = st.factor * s;
  }
}

// The result of a finished search.  quitS is only ever set by the
// values-only calculator (the first call of a search clears it).
int result_code(const Srchst& st, int numf, int evallimit, double alfmax, double alfbst) {
  if (st.badfun) return 8;
  if (st.quitS) return 5;
  if (st.found) return alfbst < alfmax ? 1 : 2;
  if (st.moved) return 3;
  if (numf >= evallimit) return 7;
  if (st.crampd) return 4;
  return 6;
}

void trace_interval(bool debug, int nout, const Srchst& st, double alfbst, double fbest) {
  trace(debug, nout, "(a, 1p, 4e15.5)", {" //srch  //  a, b, b - a, tol", st.a, st.b, st.b - st.a, st.tol});
  trace(debug, nout, "(a, 1p, 2e15.5, 2i4, 3l2)",
        {" //srch  //  alfbst, fbest, nsamea, nsameb, braktd, extrap, moved", alfbst, fbest, st.nsamea,
         st.nsameb, st.braktd, st.extrap, st.moved});
}

}  // namespace

void SRCHDG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int evallimit, int& numf,
            int nout, double alfmax, double epsaf, double g0, double targtg, double ftry, double gtry,
            double& tolabs, double tolrel, double alfatinytol, double& alfa, double& alfbst, double& fbest,
            double& gbest) {
  Srchst& st = SRCHST;
  imprvd = false;
  if (first) {
    first = false;
    done = start_search(st, alfmax, g0, tolabs, tolrel, alfatinytol, alfa, numf, alfbst);
    if (!done) place_trial(st, alfmax, alfbst, alfa, false);
  } else {
    count_trial(st, numf, alfmax, tolabs, tolrel, alfbst);
    trace(debug, nout, "(a, 1p, 3e15.5)", {" //SRCHDG//  alfa, ftry, gtry", alfa, ftry, gtry});
    const bool closef = std::abs(ftry - fbest) <= epsaf;
    imprvd = closef ? std::abs(gtry) <= std::abs(gbest) : ftry < fbest;
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

    const bool quitcount = interval_tests(st, numf, evallimit, tolabs, tolrel, epsaf, alfatinytol, alfbst);
    st.found = std::abs(gbest) <= targtg;
    done = quitcount || st.quitI || st.found;
    trace_interval(debug, nout, st, alfbst, fbest);

    if (!done) {
      // Fit through the best point and w.
      const double xmidpt = 0.5 * (st.a + st.b);
      double s = 0.0, q = 0.0;
      if (closef) {
        trace(debug, nout, "(a)", {" Parabola."});
        s = gbest;
        q = gbest - st.gw;
      } else {
        trace(debug, nout, "(a)", {" Cubic.   "});
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
        trace(debug, nout, "(a, 1p, 3e15.5)", {" Geo. bisection. xtry,daux,dtry", st.xtry, daux, dtry});
        if (st.xtry <= 0.0)
          bracka = st.xtry;
        else
          brackb = st.xtry;
      } else {
        st.xtry = xmidpt;
        trace(debug, nout, "(a, 1p, e15.5)", {" Bisection.              xmidpt", xmidpt});
        damp_fit(st, s);
      }
      accept_fit(st, debug, nout, s, q, bracka, brackb);
      place_trial(st, alfmax, alfbst, alfa, false);
    }
  }

  if (done) inform = result_code(st, numf, evallimit, alfmax, alfbst);
}

void SRCHNG(bool& first, bool debug, bool& done, bool& imprvd, int& inform, int evallimit, int& numf,
            int nout, double alfmax, double alfatiny, double epsaf, double g0, double targtg, double ftry,
            double& tolabs, double tolrel, double alfatinytol, double& alfa, double& alfbst, double& fbest) {
  Srchst& st = SRCHST;
  imprvd = false;
  if (first) {
    first = false;
    done = start_search(st, alfmax, g0, tolabs, tolrel, alfatinytol, alfa, numf, alfbst);
    st.fa = 0.0;
    if (!done) place_trial(st, alfmax, alfbst, alfa, true);
  } else {
    count_trial(st, numf, alfmax, tolabs, tolrel, alfbst);
    trace(debug, nout, "(a, 1p, 2e15.5)", {" //SRCHNG//  alfa, ftry", alfa, ftry});
    const double xtry = st.xtry;
    // The trial lies between the best point and w.
    const bool xtrial = st.wset && ((0.0 < xtry && xtry <= st.alfaw) || (st.alfaw <= xtry && xtry < 0.0));
    imprvd = ftry < fbest;
    const bool closef = st.vset && std::abs(fbest - st.fv) <= epsaf;
    if (!imprvd) {
      if (closef && ftry - fbest < epsaf) {
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

    const bool quitcount = interval_tests(st, numf, evallimit, tolabs, tolrel, epsaf, alfatinytol, alfbst);
    st.found = st.moved && std::abs(st.fa - fbest) <= -st.a * targtg;
    st.quitS = alfbst + st.b <= alfatiny;
    done = quitcount || st.quitFZ || st.quitS || st.quitI || st.found;
    trace_interval(debug, nout, st, alfbst, fbest);

    if (!done) {
      const double xmidpt = 0.5 * (st.a + st.b);
      const bool three = st.vset && st.moved;
      // Parabola through the best point, w and v, or through the best point
      // and w with the slope at the start.
      const double gw = (st.fw - fbest) / st.alfaw;
      double s = 0.0, q = 0.0;
      if (three) {
        trace(debug, nout, "(a)", {" Parabolic fit,  three points. "});
        const double gv = (st.fv - fbest) / st.alfav;
        s = gv - (st.alfav / st.alfaw) * gw;
        q = 2.0 * (gv - gw);
      } else {
        trace(debug, nout, "(a)", {" Parabolic fit,    two points. "});
        s = st.moved ? g0 - 2.0 * gw : g0;
        q = 2.0 * (g0 - gw);
      }

      double bracka = st.a, brackb = st.b;
      if (!st.braktd) {
        extrapolate(st, alfbst, alfmax, brackb);
      } else if (!three) {
        if (!st.extrap) {
          st.xtry = st.alfaw / 10.0;
          trace(debug, nout, "(a, 1p, e15.5)", {" Exponent reduced.  Trial point", st.xtry});
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
        trace(debug, nout, "(a, 1p, 3e15.5)", {" Geo. bisection. xtry,daux,dtry", st.xtry, daux, dtry});
        if (st.extrap) {
          if (st.xtry <= 0.0)
            bracka = st.xtry;
          else
            brackb = st.xtry;
        }
      }
      accept_fit(st, debug, nout, s, q, bracka, brackb);
      place_trial(st, alfmax, alfbst, alfa, true);
    }
  }

  if (done) inform = result_code(st, numf, evallimit, alfmax, alfbst);
}

}  // namespace qv::optim
