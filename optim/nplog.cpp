// Iteration logs of the optimizer.
#include "optim/nplog.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "optim/options.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/units.hpp"

namespace qv::optim {

using runtime::Out;

namespace {

constexpr int kHeaderEvery = 40;  // print file: lines between column headers
constexpr int kSummaryEvery = 5;  // summary file

// Counts are shown modulo 10000 to keep their columns.
int mod4(int k) { return k % 10000; }

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
    runtime::write_fmt(unit, "(1x,5(1p,e15.6,i4))", std::span<const Out>(items.data(), k));
  }
}

// Values five to a record; nothing for an empty list.
template <class Get>
void write_five(int unit, int count, Get get) {
  for (int i = 1; i <= count; i += 5) {
    std::array<Out, 5> items{Out(0.0), Out(0.0), Out(0.0), Out(0.0), Out(0.0)};
    std::size_t k = 0;
    for (int j = i; j <= std::min(count, i + 4); ++j) items[k++] = Out(get(j));
    runtime::write_fmt(unit, "(1p,5e15.6)", std::span<const Out>(items.data(), k));
  }
}

// The states and values of the variables and constraints, then the
// diagonals of T and R.
void write_detail(int unit, const LogDetail& d) {
  const std::size_t n = static_cast<std::size_t>(std::max(d.n, 0));
  const std::size_t nclin = static_cast<std::size_t>(std::max(d.nclin, 0));
  const std::size_t nnlcon = static_cast<std::size_t>(std::max(d.nnlcon, 0));
  if (n > 0) write_pairs(unit, d.x.first(std::min(n, d.x.size())), d.istate.subspan(0, std::min(n, d.istate.size())));
  if (nclin > 0 && d.istate.size() >= n + nclin)
    write_pairs(unit, d.ax.first(std::min(nclin, d.ax.size())), d.istate.subspan(n, nclin));
  if (nnlcon > 0 && d.istate.size() >= n + nclin + nnlcon)
    write_pairs(unit, d.cnl.first(std::min(nnlcon, d.cnl.size())), d.istate.subspan(n + nclin, nnlcon));
  write_five(unit, d.nactiv, [&](int i) { return d.t(i, d.nfree - i + 1); });
  write_five(unit, d.nrank, [&](int j) { return d.r(j, j); });
}

// Writes the header when due and counts the line.
void header_if_due(int unit, bool force, int every, int& lines, std::string_view header) {
  if (force || lines >= every) {
    runtime::write_fmt(unit, header);
    lines = 0;
  }
  ++lines;
}

}  // namespace

void NPPRIT(int msg, int msgqp, bool first, const NpLogLine& L, const LogDetail& detail, std::string& flags) {
  flags = runtime::fpad(flags, 5);
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const int nsumm = NPOPTS.ils(slot::kSummaryFile);
  const bool nonlin = detail.nnlcon > 0;

  if (msg >= 20 && nprint > 0)
    runtime::write_fmt(nprint, "(///' Major iteration',i5/' ====================')", {L.majits});

  if (msg >= 5) {
    const int majits = mod4(L.majits);
    const int minits = mod4(L.minits);
    const int nfun = mod4(L.nfun);
    if (nprint > 0) {
      const bool force = first || msgqp > 0 || msg >= 20;
      if (nonlin) {
        header_if_due(nprint, force, kHeaderEvery, NPLOGS.np_print,
                      "(//'  Maj  Mnr    Step  Fun  Merit function','  Violtn Norm gZ   nZ  Bnd  Lin  Nln',"
                      "' Penalty Norm Gf  Cond H Cond Hz','  Cond T Conv')");
        runtime::write_fmt(nprint, "(2i5,1p,e8.1,i5,e16.8,2e8.1,4i5,2e8.1,3e8.0,1x,l1,1x,2l1,a5)",
                           {majits, minits, L.step, nfun, L.merit, L.violtn, L.gznorm, L.nz, L.nbnd, L.nlin, L.nnl,
                            L.penalty, L.gfnorm, L.condh, L.condhz, L.condt, L.step_converged, L.gradient_small,
                            L.feasible, flags});
      } else {
        header_if_due(nprint, force, kHeaderEvery, NPLOGS.np_print,
                      "(//'  Maj  Mnr    Step  Fun       Objective',' Norm gZ   nZ  Bnd  Lin',"
                      "' Norm Gf  Cond H Cond Hz','  Cond T Conv')");
        runtime::write_fmt(nprint, "(2i5,1p,e8.1,i5,e16.8,e8.1,3i5,e8.1,3e8.0,1x,l1,1x,2l1,a5)",
                           {majits, minits, L.step, nfun, L.merit, L.gznorm, L.nz, L.nbnd, L.nlin, L.gfnorm, L.condh,
                            L.condhz, L.condt, L.step_converged, L.gradient_small, L.feasible, flags});
      }
    }
    if (nsumm > 0) {
      const bool force = first || msgqp > 0;
      if (nonlin) {
        header_if_due(nsumm, force, kSummaryEvery, NPLOGS.np_summ,
                      "(//'  Maj  Mnr    Step  Fun  Merit function','  Violtn Norm gZ   nZ Penalty Conv')");
        runtime::write_fmt(nsumm, "(2i5,1p,e8.1,i5,e16.8,2e8.1,i5,e8.1,1x,l1,1x,2l1,a5)",
                           {majits, minits, L.step, nfun, L.merit, L.violtn, L.gznorm, L.nz, L.penalty,
                            L.step_converged, L.gradient_small, L.feasible, flags});
      } else {
        header_if_due(nsumm, force, kSummaryEvery, NPLOGS.np_summ,
                      "(//'  Maj  Mnr    Step  Fun       Objective',' Norm gZ   nZ Conv')");
        runtime::write_fmt(nsumm, "(2i5,1p,e8.1,i5,e16.8,e8.1,i5,1x,l1,1x,2l1,a5)",
                           {majits, minits, L.step, nfun, L.merit, L.gznorm, L.nz, L.step_converged,
                            L.gradient_small, L.feasible, flags});
      }
    }
  }

  if (msg >= 20 && nprint > 0) {
    if (nonlin) {
      runtime::write_fmt(nprint,
                         "(/' Nonlinear objective value = ',1p,e15.6,'   Norm of',"
                         "' the nonlinear constraint violations = ',1p,e15.6)",
                         {L.fobj, L.violtn});
    } else {
      runtime::write_fmt(nprint, "(/' Nonlinear objective value = ',1p,e15.6)", {L.fobj});
    }
    runtime::write_fmt(nprint,
                       "(/' Values of the constraints and their predicted status'"
                       "/' ----------------------------------------------------')");
    write_detail(nprint, detail);
    runtime::write_fmt(nprint, "(1x,a)", {std::string(95, '=')});
  }

  // Position 3 ('c', central differences) stays for the rest of the run.
  flags[0] = ' ';
  flags[1] = ' ';
  flags[3] = ' ';
  flags[4] = ' ';
}

void LSPRIT(int msg, bool first, const LsLogLine& L, const LogDetail& detail) {
  const int nprint = NPOPTS.ils(slot::kPrintFile);
  const int nsumm = NPOPTS.ils(slot::kSummaryFile);
  const std::string type = runtime::fpad(L.prbtyp, 2);
  const std::string_view kdel(&L.kdel, 1);
  const std::string_view kadd(&L.kadd, 1);

  if (msg >= 20 && nprint > 0)
    runtime::write_fmt(nprint, "(///' ',a2,' iteration',i5/' =================')", {type, L.iter});

  if (msg >= 5) {
    const int iter = mod4(L.iter);
    if (nprint > 0) {
      header_if_due(nprint, first || msg >= 20, kHeaderEvery, NPLOGS.ls_print,
                    "(//' Itn Jdel  Jadd     Step Ninf  Sinf/Objective',' Norm gZ   Zr  Art ',"
                    "' Bnd  Lin Norm gf  Cond T Cond Rz')");
      runtime::write_fmt(nprint, "(i4,i5,a1,i5,a1,1p,e8.1,i5,e16.8,e8.1,2i5,2i5,e8.1,2e8.0)",
                         {iter, L.jdel, kdel, L.jadd, kadd, L.step, L.ninf, L.objective, L.gznorm, L.nzr, L.nart,
                          L.nbnd, L.nlin, L.gfnorm, L.condt, L.condrz});
    }
    if (nsumm > 0) {
      header_if_due(nsumm, first, kSummaryEvery, NPLOGS.ls_summ,
                    "(//' Itn Jdel  Jadd     Step Ninf  Sinf/Objective',' Norm gZ   Zr  Art ',' Bnd  Lin Norm gf')");
      runtime::write_fmt(nsumm, "(i4,i5,a1,i5,a1,1p,e8.1,i5,e16.8,e8.1,2i5,2i5,e8.1)",
                         {iter, L.jdel, kdel, L.jadd, kadd, L.step, L.ninf, L.objective, L.gznorm, L.nzr, L.nart,
                          L.nbnd, L.nlin, L.gfnorm});
    }
  }

  if (msg >= 20 && nprint > 0) {
    runtime::write_fmt(nprint, "(/' Values and status of the ',a2,' constraints'/' ---------------------------------------')",
                       {type});
    LogDetail d = detail;
    d.nnlcon = 0;  // the QP solver's rows are the variables and the general constraints
    write_detail(nprint, d);
  }
}

}  // namespace qv::optim
