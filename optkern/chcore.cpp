#include "optkern/chcore.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>

#include "optkern/kernels.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::optkern {
namespace {

constexpr double kBndlo = 0.001;  // below: truncation error of the second difference too big
constexpr double kBndup = 0.1;    // above: cancellation error too big

// Writes one trace group.  The optimizer's trace is written as formatted;
// the library's records lose their trailing blanks (an empty record becomes
// one blank), as every library message does.
void trace(int unit, ChcoreTrace style, std::string_view fmt,
           std::initializer_list<runtime::Out> items) {
  if (unit < 0) return;
  if (style == ChcoreTrace::Optimizer) {
    runtime::write_fmt(unit, fmt, items);
    return;
  }
  const std::string text = runtime::write_internal(fmt, items);
  std::size_t start = 0;
  while (true) {
    const std::size_t nl = text.find('\n', start);
    std::string_view rec = std::string_view(text).substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    rec = runtime::trim_right(rec);
    runtime::write_record(unit, rec.empty() ? std::string_view(" ") : rec);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

double guarded(double a, double b) {
  bool overflow = false;  // never consulted: a huge quotient is the answer
  return SAFDIV(a, b, overflow);
}

void save(Chcsta& st, double h, double fdest, double cdest, double sdest) {
  st.hsave = h;
  st.fdsave = fdest;
  st.cdsave = cdest;
  st.sdsave = sdest;
}

}  // namespace

void chcore(bool debug, bool& done, bool& first, double absacc, double relacc, double fx,
            int& inform, int& iter, int itmax, double& cdest, double& fdest, double& sdest,
            double& errbnd, double f1, double f2, double& h, double& hopt, double& hcint,
            int trace_unit, ChcoreTrace style) {
  Chcsta& st = CHCSTA;
  const bool lib = style == ChcoreTrace::Library;

  iter += 1;

  // Forward, forward over 2h, one-sided central and second-difference estimates.
  fdest = guarded(f1 - fx, h);
  const double fdest2 = guarded(f2 - fx, 2.0 * h);
  st.oldcd = cdest;
  st.oldsd = sdest;
  cdest = guarded(4.0 * f1 - 3.0 * fx - f2, 2.0 * h);
  sdest = guarded(fx - 2.0 * f1 + f2, h * h);

  // Relative cancellation errors of the first- and second-derivative estimates.
  const double fdcerr = guarded(absacc, std::abs(h) / 2.0 * std::min(std::abs(fdest), std::abs(fdest2)));
  const double sdcerr = guarded(absacc, std::abs(sdest) * h * h / 4.0);

  if (debug) {
    if (lib) {
      trace(trace_unit, style,
            "(/' //E04XAZ//  ITN ',i3,' FX     H',1p,2d16.6/"
            "' //E04XAZ//  F1      FDEST',1p,2d16.6/"
            "' //E04XAZ//  F2      FDEST2',1p,2d16.6/"
            "' //E04XAZ//  CDEST   SDEST',1p,2d16.6/"
            "' //E04XAZ//  FDCERR  SDCERR',1p,2d16.6)",
            {iter, fx, h, f1, fdest, f2, fdest2, cdest, sdest, fdcerr, sdcerr});
    } else {
      trace(trace_unit, style,
            "(/' //chcore//  Itn ',i3,' fx     h      ',5x,1p,2d16.6/"
            "' //chcore//  f1      fdest         ',5x,1p,2d16.6/"
            "' //chcore//  f2      fdest2        ',5x,1p,2d16.6/"
            "' //chcore//  cdest   sdest         ',5x,1p,2d16.6/"
            "' //chcore//  fdcerr  sdcerr        ',5x,1p,2d16.6)",
            {iter, fx, h, f1, fdest, f2, fdest2, cdest, sdest, fdcerr, sdcerr});
    }
  }

  if (first) {
    first = false;
    done = sdcerr >= kBndlo && sdcerr <= kBndup;
    st.te2big = sdcerr < kBndlo;
    st.ce2big = sdcerr > kBndup;
    st.ce1big = fdcerr > kBndup;
    if (!st.ce1big) save(st, h, fdest, cdest, sdest);
    st.rho = std::pow(relacc, -0.16) / 4.0;
    if (st.te2big) {
      // The truncation error may be large: shrink h.
      st.rho = 10.0 * st.rho;
      st.oldh = h;
      h = h / st.rho;
    } else if (st.ce2big) {
      // The cancellation error is large: grow h.
      st.oldh = h;
      h = h * st.rho;
    }
  } else if (st.ce2big) {
    if (st.ce1big && fdcerr <= kBndup) {
      st.ce1big = false;
      save(st, h, fdest, cdest, sdest);
    }
    done = sdcerr <= kBndup;
    if (!done) {
      st.oldh = h;
      h = h * st.rho;
    }
  } else if (st.te2big) {
    done = sdcerr > kBndup;
    if (done) {
      // Shrinking went one step too far: take the previous interval back.
      h = st.oldh;
      sdest = st.oldsd;
      cdest = st.oldcd;
    } else {
      if (fdcerr <= kBndup) {
        st.ce1big = false;
        save(st, h, fdest, cdest, sdest);
      }
      done = sdcerr >= kBndlo;
      if (!done) {
        st.oldh = h;
        h = h / st.rho;
      }
    }
  }

  if (done) {
    hcint = std::abs(h);
    hopt = guarded(2.0 * std::sqrt(absacc), std::sqrt(std::abs(sdest)));
    const double err1 = hopt * std::abs(sdest);
    const double err2 = std::abs(fdest - cdest);
    errbnd = std::max(err1, err2);
    inform = errbnd > std::abs(fdest) / 2.0 ? 4 : 0;
  } else {
    done = iter >= itmax;
    if (done) {
      if (st.ce1big) {
        // f looks constant along this variable.
        inform = 1;
        hcint = hopt;
        fdest = 0.0;
        cdest = 0.0;
        sdest = 0.0;
        errbnd = 0.0;
      } else if (st.ce2big) {
        // f looks linear (or odd) along this variable.
        inform = 2;
        hopt = std::abs(st.hsave);
        hcint = hopt;
        fdest = st.fdsave;
        cdest = st.cdsave;
        sdest = 0.0;
        errbnd = guarded(2.0 * absacc, hopt);
      } else {
        inform = 3;
        hopt = std::abs(st.hsave);
        hcint = hopt;
        fdest = st.fdsave;
        cdest = st.cdsave;
        sdest = st.sdsave;
        errbnd = guarded(2.0 * absacc, hopt) + hopt * std::abs(sdest) / 2.0;
      }
    }
  }

  if (debug) {
    if (lib) {
      trace(trace_unit, style, "(' //E04XAZ//  CE1BIG  CE2BIG  TE2BIG',3l2)",
            {st.ce1big, st.ce2big, st.te2big});
      if (done)
        trace(trace_unit, style, "(' //E04XAZ//  INFORM  HOPT    ERRBND',i5,1p,2d16.6)",
              {inform, hopt, errbnd});
    } else {
      trace(trace_unit, style, "(' //chcore//  ce1big  ce2big  te2big',5x,3l2)",
            {st.ce1big, st.ce2big, st.te2big});
      if (done)
        trace(trace_unit, style, "(' //chcore//  inform  hopt    errbnd',i5,1p,2d16.6)",
              {inform, hopt, errbnd});
    }
  }
}

}  // namespace qv::optkern
