// Machine constants of the optimizer, found by experiment on the first call.
#include "optkern/machine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "runtime/units.hpp"

namespace qv::optkern {

__attribute__((noinline)) double MCADD(double a, double b) {
  // The sum is stored before it is returned, so that no wider register value
  // can take part in the comparisons of the experiments.
  volatile double sum = a + b;
  return sum;
}

void MCENV1(int& base, int& digits, bool& rounds) {
  Mcenvs& st = MCENVS;
  if (st.env1_first) {
    st.env1_first = false;
    const double one = 1.0;

    // a: the first power of 2 for which a + 1 rounds back to a.
    double a = 1.0;
    double c = 1.0;
    while (c == one) {
      a = a + a;
      c = MCADD(a, one);
      c = MCADD(c, -a);
    }
    // b: the smallest power of 2 that changes a when added to it.
    double b = 1.0;
    c = MCADD(a, b);
    while (c == a) {
      b = b + b;
      c = MCADD(a, b);
    }
    const double qtr = one / 4.0;
    const double savec = c;
    c = MCADD(c, -a);
    st.base1 = static_cast<int>(c + qtr);
    (void)savec;

    // Rounding: adding just under half a unit of the last place leaves a,
    // adding just over half of it does not.
    const double bb = st.base1;
    double f = MCADD(bb / 2.0, -bb / 100.0);
    const double c1 = MCADD(f, a);
    f = MCADD(bb / 2.0, bb / 100.0);
    const double c2 = MCADD(f, a);
    st.rounds1 = (c1 == a) && !(c2 == a);

    // Digits: the power of the base at which adding 1 is lost.
    int t = 0;
    a = 1.0;
    c = 1.0;
    while (c == one) {
      ++t;
      a = a * bb;
      c = MCADD(a, one);
      c = MCADD(c, -a);
    }
    st.digits1 = t;
  }
  base = st.base1;
  digits = st.digits1;
  rounds = st.rounds1;
}

void MCENV4(int& emin, double start, int base) {
  const double zero = 0.0;
  const double b = base;
  double a = start;
  const double rbase = 1.0 / b;
  emin = 1;
  double b1 = MCADD(a * rbase, zero);
  double c1 = a, c2 = a, d1 = a, d2 = a;
  while (c1 == a && c2 == a && d1 == a && d2 == a) {
    --emin;
    a = b1;
    b1 = MCADD(a / b, zero);
    c1 = MCADD(b1 * b, zero);
    d1 = zero;
    for (int i = 1; i <= base; ++i) d1 = MCADD(d1, b1);
    const double b2 = MCADD(a * rbase, zero);
    c2 = MCADD(b2 / rbase, zero);
    d2 = zero;
    for (int i = 1; i <= base; ++i) d2 = MCADD(d2, b2);
  }
}

void MCENVN(int& base, int& digits, double& eps, int& emin, double& rmin) {
  Mcenvs& st = MCENVS;
  if (st.envn_first) {
    st.envn_first = false;
    const double zero = 0.0;
    const double one = 1.0;

    bool rounds = false;
    MCENV1(st.base, st.digits, rounds);
    const double b = st.base;
    st.eps = std::pow(b, 1 - st.digits);
    if (rounds) st.eps = st.eps / 2.0;

    const double rbase = one / b;
    double small = one;
    for (int i = 1; i <= 3; ++i) small = MCADD(small * rbase, zero);
    const double a = MCADD(one, small);

    int empos = 0, emneg = 0, gmpos = 0, gmneg = 0;
    MCENV4(empos, one, st.base);
    MCENV4(emneg, -one, st.base);
    MCENV4(gmpos, a, st.base);
    MCENV4(gmneg, -a, st.base);

    bool warn = false;
    if (empos == emneg && gmpos == gmneg) {
      if (empos == gmpos) {
        st.emin = empos;
      } else if (gmpos - empos == 3) {
        // Gradual underflow.
        st.emin = empos - 1 + st.digits;
      } else {
        st.emin = std::min(empos, gmpos);
        warn = true;
      }
    } else if (empos == gmpos && emneg == gmneg) {
      if (std::abs(empos - emneg) == 1) {
        st.emin = std::max(empos, emneg);
      } else {
        st.emin = std::min(empos, emneg);
        warn = true;
      }
    } else if (std::abs(empos - emneg) == 1 && gmpos == gmneg) {
      if (gmpos - std::min(empos, emneg) == 3) {
        st.emin = std::max(empos, emneg) - 1 + st.digits;
      } else {
        st.emin = std::max(empos, emneg);
        warn = true;
      }
    } else {
      st.emin = std::min({empos, emneg, gmpos, gmneg});
      warn = true;
    }

    if (warn) {
      // The next call repeats the whole determination.
      st.envn_first = true;
      runtime::write_fmt(runtime::kMsgUnit,
                         "(//' WARNING. The value Emin may be incorrect:-  Emin = ',i8/"
                         "' If, after inspection, the value Emin looks acceptable please comment out '/"
                         "' the IF block as marked within the code of routine MCENVN,'/"
                         "' otherwise please report the value to the Qv maintainers.'/)",
                         {st.emin});
    }

    st.rmin = one;
    for (int i = 1; i <= 1 - st.emin; ++i) st.rmin = MCADD(st.rmin * rbase, zero);
  }
  base = st.base;
  digits = st.digits;
  eps = st.eps;
  emin = st.emin;
  rmin = st.rmin;
}

void MCHSET() {
  Mchtab& t = MCHTAB;
  if (!t.first) return;
  t.first = false;

  t.w[8] = 0.0;   // underflow flag
  t.w[9] = runtime::kStdin;     // input unit
  t.w[10] = runtime::kMsgUnit;  // output unit

  int base = 0, digits = 0, emin = 0;
  double eps = 0.0, rmin = 0.0;
  MCENVN(base, digits, eps, emin, rmin);
  const double b = base;
  const double rmax = 1.0 / (rmin * b * b * b * b);

  t.w[0] = b;
  t.w[1] = digits;
  t.w[2] = eps;
  t.w[3] = std::sqrt(eps);
  t.w[4] = rmin;
  t.w[5] = std::sqrt(rmin);
  t.w[6] = rmax;
  t.w[7] = std::sqrt(rmax);
}

}  // namespace qv::optkern
