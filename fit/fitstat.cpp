#include "fit/fitstat.hpp"

#include "fit/femats.hpp"
#include "fit/fitci.hpp"

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "jobbase/htmlrep.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/fitopt.hpp"
#include "jobbase/lexer.hpp"
#include "jobbase/tabnames.hpp"
#include "jobbase/vlsum.hpp"
#include "jobbase/workspace.hpp"
#include "numlib/distrib.hpp"
#include "numlib/matprint.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/fullwrite.hpp"
#include "runtime/units.hpp"

namespace qv::fit {

using jobbase::HTANCH;
using jobbase::HTPRE;

namespace gcol = jobbase::gcol;
using jobbase::icell;
using jobbase::kFitAWLS;
using jobbase::kFitDWLS;
using jobbase::kFitGLS;
using jobbase::kFitLS;
using jobbase::kFitML;
using jobbase::kFitNone;
using jobbase::kFitRaw;
using jobbase::kFitTable;
using jobbase::kFitUser;
using jobbase::kFitUserRows;
using jobbase::kFitVL;
using jobbase::kKindConstraint;
using jobbase::kKindData;

namespace {

using runtime::kStdout;
using runtime::Vec1;
using runtime::write_fmt_full;
using runtime::write_list;

// Observations of a group count unless its fit function works without a
// sample size (no function, a user value per data row, rectangular raw data).
bool counts_observations(int code) { return code != kFitNone && code != kFitUserRows && code != kFitRaw; }

// Upper-tail chi-squared probability; the callers' guards keep x >= 0 and
// df >= 1, so the soft setting never has a message to give.
double upper_tail(double x, double df) {
  int ifail = 1;
  return numlib::G01ECF('U', x, df, ifail);
}

}  // namespace

int NOBS(Vec1<double> X, int NG, int first, int last, double& NOBSV, int& NCON) {
  long long nstat = 0;
  NOBSV = 0.0;
  NCON = 0;
  for (int g = first; g <= last; ++g) {
    const jobbase::GroupView G{X, NG, g};
    const int code = G.icol(gcol::kFitCode);
    if (counts_observations(code)) NOBSV += G.col(gcol::kNobs);
    const int kind = G.icol(gcol::kKind);
    if (kind == kKindConstraint) {
      NCON += G.icol(gcol::kNstat);
      continue;
    }
    if (kind != kKindData) continue;
    if (code == kFitTable) {
      nstat += jobbase::used_table_cells(G) - 1;
    } else if (code < kFitRaw && code != kFitUser) {
      nstat += G.icol(gcol::kNstat);
      if (G.col(gcol::kObsMeans) != 0.0 && G.col(gcol::kMeansFormula) != 0.0) nstat += G.icol(gcol::kNvar);
    } else if (code == kFitRaw) {
      nstat += static_cast<long long>(G.col(gcol::kNvar) * G.col(gcol::kNobs) - G.col(gcol::kNstat));
    } else if (code == kFitVL) {
      const int a = G.icol(gcol::kRecords);
      const int r = a >= 2 ? icell(X(a - 1)) : 0;
      if (r > 0) {
        nstat += jobbase::VLNVAL(X, a);
      } else {
        write_list(kStdout, {});
        write_list(kStdout, {" VL data contains no observations, perhaps because of selection?"});
      }
    }
  }
  return static_cast<int>(nstat);
}

void DFOBS(Vec1<double> X, int NG, int NPAR, double r, double& RMSEA) {
  double nobsv = 0.0;
  int K = 0;
  const int sall = NOBS(X, NG, 1, NG, nobsv, K);
  double sum = 0.0;
  int ndata = 0;
  for (int g = 1; g <= NG; ++g) {
    const jobbase::GroupView G{X, NG, g};
    if (G.col(gcol::kKind) > kKindData) continue;
    ++ndata;
    double ng = 0.0;
    int kg = 0;
    const int cg = NOBS(X, NG, g, g, ng, kg);
    // The group's share of the parameters, in proportion to its statistics.
    const double share = sall >= 1 ? static_cast<double>(cg) * NPAR / sall : 0.0;
    const double dfg = static_cast<double>(cg) + K - share;
    const double hg = r * G.col(gcol::kFitValue) - dfg;
    const double Ng = counts_observations(G.icol(gcol::kFitCode)) ? G.col(gcol::kNobs) : 0.0;
    if (hg > 0.0 && dfg > 0.0 && Ng > 0.0) sum += std::sqrt(hg / (Ng * dfg));
  }
  RMSEA = ndata > 0 ? sum / ndata : 0.0;
}

int FITTYP(Vec1<double> X, int NG) {
  int job = fitclass::kNone;
  for (int g = 1; g <= NG; ++g) {
    if (jobbase::GRPTAB(X, NG, gcol::kKind, g) != kKindData) continue;
    int group = fitclass::kOther;
    switch (icell(jobbase::GRPTAB(X, NG, gcol::kFitCode, g))) {
      case kFitLS: group = fitclass::kLS; break;
      case kFitML: group = fitclass::kML; break;
      case kFitAWLS: group = fitclass::kAWLS; break;
      case kFitDWLS: group = fitclass::kDWLS; break;
      case kFitGLS: group = fitclass::kGLS; break;
      case kFitRaw:
      case kFitVL:
      case kFitTable: group = fitclass::kRecords; break;
      default: group = fitclass::kOther;
    }
    if (job != fitclass::kNone && group != job) group = fitclass::kOther;
    job = group;
    if (job == fitclass::kOther) break;
  }
  return job;
}

namespace {

// The name of a statistic in its value line's text: the text without the
// arrows (or "=") and blanks that end it.
std::string statistic_name(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && (text[n - 1] == '>' || text[n - 1] == '=' || text[n - 1] == ' ')) --n;
  return std::string(text.substr(0, n));
}

// A statistic that is not a finite number is not printed as one: its line
// says that it is incalculable, as the probability's does.
void incalculable(std::string_view text) { write_list(kStdout, {statistic_name(text) + " incalculable"}); }

// The block's value and integer lines; the value format is chosen once per
// fit from F.
struct Lines {
  const char* vfmt;
  void value(const char* text, double v) const {
    if (std::isfinite(v))
      write_fmt_full(kStdout, vfmt, {text, v});
    else
      incalculable(text);
  }
  static void integer(const char* text, long long v) { write_fmt_full(kStdout, "(A,5X,I5)", {text, v}); }
};

// The probability lines of a chi-squared statistic: incalculable for df < 1
// or a value that is negative or not finite (then nothing is computed), else
// the upper tail.  Returns false when incalculable.
bool probability(const Lines& out, double x, double df, double& prob) {
  if (!(df >= 1.0) || !(x >= 0.0) || !std::isfinite(x)) {
    write_list(kStdout, {" Probability incalculable"});
    return false;
  }
  prob = upper_tail(x, df);
  out.value(" Probability >>>>>>>>>>>>>>>>>>>>", prob);
  return true;
}

void null_model(const Statin& in, double d, double ntot) {
  auto& o = jobbase::FITOPT;
  auto& res = FITRES;
  const double F = in.F;
  const double F0 = o.NUCHI, d0 = o.NUDF;
  if (F0 == 0.0) {
    res.NFI = 0.0;
    write_list(kStdout, {" Null Model fit is zero; NFI not computed"});
  } else {
    res.NFI = (F0 - F) / F0;
  }
  if (F0 == d) {
    res.NFI2 = res.TLI = res.RNI = 0.0;
    write_list(kStdout, {" Null Model fit equals Null Model df; RNFI, TLI & RNI not", " computed"});
  } else {
    res.NFI2 = (F0 - F) / (F0 - d);
    if (F0 == d0) {
      res.TLI = res.RNI = 0.0;
    } else {
      // A model without degrees of freedom (either one) has no ratio F/df.
      res.TLI = (d == 0.0 || d0 == 0.0) ? 0.0 : (F0 / d0 - F / d) / (F0 / d0 - 1.0);
      res.RNI = ((F0 - d0) - (F - d)) / (F0 - d0);
    }
  }
  if (d0 == 0.0) {
    res.PFI = 0.0;
    write_list(kStdout, {" Null Model df equals zero; PFI not computed"});
  } else {
    res.PFI = d / d0 * res.NFI;
  }
  if (in.NPAR < 2) {
    res.PFI2 = 0.0;
    write_list(kStdout, {" True model has less than two parameters; PFI2 not computed"});
  } else {
    res.PFI2 = 2.0 * d / (static_cast<double>(in.NPAR - 1) * in.NPAR) * res.NFI2;
  }
  if (ntot == 0.0) {
    res.CI = 0.0;
    write_list(kStdout, {" Sample size appears to be zero; CI not computed"});
  } else {
    res.CI = std::exp(-0.5 * (F - d) / ntot);
  }

  const std::array<std::string, 11> labels = {
      " Tested Model fit >>>>>>>>>>>>>", " Tested Model df >>>>>>>>>>>>>>", " Null Model fit* >>>>>>>>>>>>>>",
      " Null Model df* >>>>>>>>>>>>>>>", " Normed fit Index >>>>>>>>>>>>>", " Normed fit Index 2 >>>>>>>>>>>",
      " Tucker Lewis Index >>>>>>>>>>>", " Parsimonious Fit Index>>>>>>>>", " Parsimonious Fit Index 2 >>>>>",
      " Relative Non-centrality Index>", " Centrality Index >>>>>>>>>>>>>"};
  // An entry that is not a finite number is incalculable: its line says so
  // and the table (and an index's cell) holds 0, as under the guards above.
  std::array<double*, 11> cells = {nullptr,  nullptr,   nullptr,  nullptr,   &res.NFI, &res.NFI2,
                                   &res.TLI, &res.PFI, &res.PFI2, &res.RNI, &res.CI};
  std::array<double, 11> v = {F, d, F0, d0, res.NFI, res.NFI2, res.TLI, res.PFI, res.PFI2, res.RNI, res.CI};
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (std::isfinite(v[k])) continue;
    incalculable(labels[k]);
    v[k] = 0.0;
    if (cells[k] != nullptr) *cells[k] = 0.0;
  }

  write_list(kStdout, {});
  write_list(kStdout, {"Fit statistic                     Estimate"});
  std::array<std::string, 11> rlabs;
  for (std::size_t k = 0; k < labels.size(); ++k) rlabs[k] = runtime::fpad(labels[k], 32);
  const auto& m = jobbase::MAINPR;
  int ifail = -1;
  numlib::X04CBF('G', 'N', 11, 1, v, 11, m.PRTFMT, "", 'C', rlabs, 'N', {}, m.OUTWID, m.INDENT, ifail);
  write_list(kStdout, {});
  if (o.ISNULL || o.NUCALC)
    write_list(kStdout, {"* Automatically calculated null-model statistic"});
  else
    write_list(kStdout, {"* User-supplied null-model statistic"});
}

// The comparison's counts are whole numbers in 64 bits: the df of either
// model may lie anywhere in the int range (a DF adjustment of +-2^30, a df
// computed by a job), and a typed saturated df anywhere in the range of the
// whole reals (the options line refuses one beyond it), so that neither the
// difference nor the printed figures wrap round.
void saturated_model(const Lines& out, double F, long long DF) {
  auto& o = jobbase::FITOPT;
  auto& c = FITCMP;
  const double Fs = o.SATFIT;
  const long long ds = jobbase::whole_count(o.SATDF);
  const long long difdf = DF - ds;
  write_list(kStdout, {});
  c.DIFDF = static_cast<double>(difdf);
  c.DIFCHI = F - Fs;
  out.value(" Saturated model fit* >>>>>>>>>>>", Fs);
  Lines::integer(" Saturated model df*  >>>>>>>>>>>", ds);
  out.value(" Difference Chi-squared  >>>>>>>>", c.DIFCHI);
  Lines::integer(" Difference d.f.  >>>>>>>>>>>>>>>", difdf);
  if (!probability(out, c.DIFCHI, c.DIFDF, c.DIFPRB)) c.DIFPRB = 1.0;
  c.DIFAIC = c.DIFCHI - 2.0 * c.DIFDF;
  out.value(" Akaike's Information Criterion >", c.DIFAIC);
  if (o.SATCALC)
    write_list(kStdout, {"* Saturated model statistic computed earlier in this job"});
  else
    write_list(kStdout, {"* Saturated model statistic supplied by user"});
}

}  // namespace

void FITSTS(Vec1<double> X, const Statin& in) {
  auto& m = jobbase::MAINPR;
  auto& o = jobbase::FITOPT;
  auto& res = FITRES;
  const int NG = icell(X(1));
  const double F = in.F;

  // 1. HTML heading with the links to the neighbouring jobs' statistics.
  if (m.HTMLON) {
    HTPRE(0);
    runtime::write_record(kStdout, " <A NAME=Fit" + HTANCH(m.JOBNO, 0) + "><H2> Fit Statistics </A>");
    runtime::write_record(kStdout, std::string(" <A HREF=\"#Fit") + HTANCH(m.JOBNO - 1, 0) + "\"> Previous </A>");
    runtime::write_record(kStdout, std::string(" <A HREF=\"#Fit") + HTANCH(m.JOBNO + 1, 0) + "\"> Next </A></H2>");
    HTPRE(1);
  }

  // 2. The counts.
  write_fmt_full(kStdout, "(a,i8,a,i8,a)",
                 {" Your model has ", in.NPAR, " estimated parameters and   ", in.NSTAT, " Observed statistics"});
  if (in.NNLCON > 0)
    write_fmt_full(kStdout, "(a,i4,a,i4,a)", {" Observed statistics include", in.NNLCON, " constraints."});
  if (o.DF != 0) write_list(kStdout, {" Note that Observed statistics includes your DF= adjustment of", o.DF});

  // 3. Degrees of freedom and the total sample size.
  const long long DF = in.NSTAT - in.NPAR;
  const double d = static_cast<double>(DF);
  double ntot = 0.0;
  for (int g = 1; g <= NG; ++g)
    if (counts_observations(icell(jobbase::GRPTAB(X, NG, gcol::kFitCode, g))))
      ntot += jobbase::GRPTAB(X, NG, gcol::kNobs, g);
  res.F = F;
  res.DF = d;
  res.INFORM = in.INFORM;
  res.NPAR = in.NPAR;
  res.NNLCON = in.NNLCON;

  // 4. The front end's records.
  if (jobbase::FESTAT.FEACTV && jobbase::FESTAT.MACHOUT) {
    res.FITTYP = FITTYP(X, NG);
    FEMATS(X, jobbase::IWORKS.ix(), femode::kFit);
  }

  // 5. The statistics of the job's fit code.
  const Lines out{F > 1.0e6 ? "(A,D16.8)" : "(A,F10.3)"};
  write_list(kStdout, {});
  switch (o.OPTFIT) {
    case 0:
      out.value(" The Least Squares function value is ", F);
      break;
    case 1:
    case 2:
      out.value(" Chi-squared fit of model >>>>>>>", F);
      Lines::integer(" Degrees of freedom >>>>>>>>>>>>>", DF);
      if (!probability(out, F, d, res.PROB)) res.PROB = 1.0;
      res.AIC = F - 2.0 * d;
      out.value(" Akaike's Information Criterion >", res.AIC);
      if (o.OPTFIT == 2) {
        write_list(kStdout, {});
        write_list(kStdout, {" Please note that under DWLS this is approximate"});
      }
      DFOBS(X, NG, in.NPAR, 1.0, res.RMSEA);
      out.value(" RMSEA >>>>>>>>>>>>>>>>>>>>>>>>>>", res.RMSEA);
      break;
    case 4:
      out.value(" -2 times log-likelihood of data >>>", F);
      Lines::integer(" Degrees of freedom >>>>>>>>>>>>>>>>", DF);
      break;
    case 3:
      out.value(" User defined function value =", F);
      Lines::integer(" 'Degrees of freedom' >>>>>>>>>>>>>>>>", DF);
      if (o.ISCHI) {
        probability(out, F, d, res.PROB);
        res.AIC = F - 2.0 * d;
        out.value(" Akaike's Information Criterion >", res.AIC);
      }
      break;
    default:
      break;
  }

  // 6. Intervals on the statistics.
  if (o.CI) {
    FITCI(X, NG, o.CIPCT, F, d, ntot, in.NPAR, res.CHILO, res.CHIHI, res.AICLO, res.AICHI, res.RMSLO, res.RMSHI);
  } else {
    res.CHILO = res.CHIHI = -1.0;
    res.AICLO = res.AICHI = -99999.0;
    res.RMSLO = res.RMSHI = -1.0;
  }

  // 7. Indices against the null model: figures typed for this job, or those
  // of an earlier job that was the null model, which hold for every later
  // job until one types its own or is itself the null model.
  if (o.NU || (o.NUCALC && !o.ISNULL)) {
    null_model(in, d, ntot);
  } else {
    o.NUCHI = o.NUDF = -1.0;
    res.NFI = res.NFI2 = res.TLI = res.PFI = res.PFI2 = res.RNI = res.CI = -1.0;
  }
  // 8. This job as the null model of the jobs that follow: the fit of its
  // last pass (a two-stage or Try Hard job reports a block after each pass;
  // until its last, it is the null model of nothing, itself included).
  if (o.ISNULL && in.FINAL) {
    o.NUCHI = F;
    o.NUDF = d;
    o.NU = true;
    o.ISNULL = false;
    o.NUCALC = true;
  }

  // 9. Comparison with the saturated model: typed figures, or those of an
  // earlier job that was the saturated model (kept as the null model's are).
  if (o.SAT || (o.SATCALC && !o.ISSAT)) {
    saturated_model(out, F, DF);
  } else {
    if (!o.ISSAT) o.SATFIT = o.SATDF = -1.0;
    FITCMP.reset();
  }
  // 10. This job as the saturated model of the jobs that follow, after its
  // last pass, as the null model's are.
  if (o.ISSAT && in.FINAL) {
    o.SATFIT = F;
    o.SATDF = d;
    o.SAT = true;
    o.ISSAT = false;
    o.SATCALC = true;
  }

  // 11. Power of the test and the sample sizes it would need.
  if (o.PO) POWER(X, F);
}

}  // namespace qv::fit
