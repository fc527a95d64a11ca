#include "optim_alt/iterlog.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "optim_alt/records.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/format.hpp"
#include "numlib/errexit.hpp"

namespace qv::optim_alt {

using runtime::Out;

namespace {

// Writes the records of fmt with a list of items built at run time.
void put_list(int unit, std::string_view fmt, std::span<const Out> items) {
  const std::vector<std::string> recs = runtime::format_records(fmt, items);
  numlib::WRTRECS(unit, static_cast<int>(recs.size()), recs);
}

// Value and state pairs, five to a record.
void write_pairs(int unit, std::span<const double> values, std::span<const int> states) {
  const std::size_t m = std::min(values.size(), states.size());
  for (std::size_t i = 0; i < m; i += 5) {
    std::array<Out, 10> items{Out(0), Out(0), Out(0), Out(0), Out(0), Out(0), Out(0), Out(0), Out(0), Out(0)};
    std::size_t k = 0;
    for (std::size_t j = i; j < std::min(m, i + 5); ++j) {
      items[k++] = Out(values[j]);
      items[k++] = Out(states[j]);
    }
    put_list(unit, "(1x,5(1p,d15.6,i4))", std::span<const Out>(items.data(), k));
  }
}

// Values five to a record.
template <class Get>
void write_five(int unit, int count, Get get) {
  for (int i = 1; i <= count; i += 5) {
    std::array<Out, 5> items{Out(0.0), Out(0.0), Out(0.0), Out(0.0), Out(0.0)};
    std::size_t k = 0;
    for (int j = i; j <= std::min(count, i + 4); ++j) items[k++] = Out(get(j));
    put_list(unit, "(1p,5d15.6)", std::span<const Out>(items.data(), k));
  }
}

// The records of one iteration's log; shown is the part of the flag field
// that the line shows.
void write_log(int msglvl, int msgqp, const E4logline& L, const E4logdetail& d, const std::string& shown) {
  const int nout = advisory_unit();
  const bool nonlin = d.nnlcon > 0;
  const int nbnd = d.n - L.nfree;
  const int nlin = L.nactiv - L.nlnact;

  if (msglvl >= 20) put_records(nout, "(//' Major iteration',i5/' ====================')", {L.majits});

  if (L.majits == 0 || msgqp > 0) {
    if (nonlin)
      put_records(nout,
                  "(//'  Itn ItQP     Step Nfun       Merit Bnd Lin Nln  Nz  Norm Gf  Norm Gz  Cond H Cond Hz',"
                  "'  Cond T   Norm C  Penalty Conv')");
    else
      put_records(nout,
                  "(//'  Itn ItQP     Step Nfun   Objective Bnd Lin  Nz  Norm Gf  Norm Gz  Cond H Cond Hz',"
                  "'  Cond T Conv')");
  }
  if (nonlin)
    put_records(nout, "(1x,i4,i5,1p,d9.1,i5,1p,d12.4,4i4,1p,2d9.1,1p,3d8.0,1p,2d9.1,1x,l1,1x,2l1,a3)",
                {L.majits, L.minits, L.step, L.nfun, L.merit, nbnd, nlin, L.nlnact, L.nz, L.gfnorm, L.gznorm, L.condh,
                 L.condhz, L.condt, L.cvnorm, L.penalty, L.convpt, L.ktcond[0], L.ktcond[1], shown});
  else
    put_records(nout, "(1x,i4,i5,1p,d9.1,i5,1p,d12.4,3i4,1p,2d9.1,1p,3d8.0,1x,l1,1x,2l1,a3)",
                {L.majits, L.minits, L.step, L.nfun, L.merit, nbnd, nlin, L.nz, L.gfnorm, L.gznorm, L.condh, L.condhz,
                 L.condt, L.convpt, L.ktcond[0], L.ktcond[1], shown});

  if (msglvl >= 20) {
    if (nonlin)
      put_records(nout, "(' Nonlinear objective value = ',1p,d15.6,'   Norm of the nonlinear constraint violations = ',"
                        "1p,d15.6)",
                  {L.objf, L.cvnorm});
    else
      put_records(nout, "(' Nonlinear objective value = ',1p,d15.6)", {L.objf});
    put_records(nout, "(' Values of the constraints and their predicted status'/' ',52('-'))");
    const std::size_t n = static_cast<std::size_t>(std::max(d.n, 0));
    const std::size_t nclin = static_cast<std::size_t>(std::max(d.nclin, 0));
    const std::size_t nnlcon = static_cast<std::size_t>(std::max(d.nnlcon, 0));
    put_records(nout, "(' Variables                  ')");
    write_pairs(nout, d.x.first(n), d.istate.first(n));
    if (nclin > 0) {
      put_records(nout, "(' General linear constraints ')");
      write_pairs(nout, d.ax.first(nclin), d.istate.subspan(n, nclin));
    }
    if (nnlcon > 0) {
      put_records(nout, "(' Nonlinear constraints      ')");
      write_pairs(nout, d.c.first(nnlcon), d.istate.subspan(n + nclin, nnlcon));
    }
    if (msglvl >= 30) {
      if (L.nactiv > 0) {
        put_records(nout, "(' Diagonals of  T  =         ')");
        write_five(nout, L.nactiv, [&](int i) { return d.t(i, L.nfree - i + 1); });
      }
      put_records(nout, "(' Diagonals of  R  =         ')");
      write_five(nout, d.n, [&](int j) { return d.r(j, j); });
    }
    put_records(nout, "(' ',89('=')//)");
  }
}

}  // namespace

void E4PRIT(int msglvl, int msgqp, const E4logline& L, const E4logdetail& d, std::string& flags) {
  flags = runtime::fpad(flags, 5);
  if (msglvl >= 5) write_log(msglvl, msgqp, L, d, flags.substr(0, 3));
  flags[0] = ' ';
  flags[1] = ' ';
  flags[3] = ' ';
  flags[4] = ' ';
}

}  // namespace qv::optim_alt
