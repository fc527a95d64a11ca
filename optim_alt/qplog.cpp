// The edition's QP iteration log, final table of variables and constraints,
// and input check; all their records go to the advisory unit.
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "numlib/errexit.hpp"
#include "optim_alt/permcheck.hpp"
#include "optim_alt/qpsolve.hpp"
#include "optim_alt/records.hpp"
#include "runtime/fixedstr.hpp"
#include "runtime/format.hpp"
#include "runtime/items.hpp"
#include "runtime/view1.hpp"

namespace qv::optim_alt {

using runtime::Mat1;
using runtime::Vec1;

namespace {

// The kind letters of the log by state index: 0 blank, 1 L, 2 U, 3 E, 4 T,
// 5 Z (an artificial constraint); the first character of each two.
constexpr std::string_view kKinds = "  L U E T Z ";

std::string_view kind_letter(int k) {
  if (k < 0 || k > 5) return " ";
  return kKinds.substr(static_cast<std::size_t>(2 * k), 1);
}

void write_items(int unit, std::string_view fmt, const std::vector<runtime::Out>& items) {
  const std::vector<std::string> recs = runtime::format_records(fmt, std::span<const runtime::Out>(items));
  numlib::WRTRECS(unit, static_cast<int>(recs.size()), recs);
}

// Values with their states, five pairs to a record.
void value_state_pairs(int nout, std::span<const double> v, std::span<const int> st, int m) {
  if (m <= 0) return;
  std::vector<runtime::Out> items;
  for (int j = 0; j < m; ++j) {
    items.emplace_back(v[static_cast<std::size_t>(j)]);
    items.emplace_back(st[static_cast<std::size_t>(j)]);
  }
  write_items(nout, "(1x,5(1p,d15.6,i5))", items);
}

// The state word of the final table.
std::string_view state_word(int is) {
  switch (is) {
    case -2: return "--";
    case -1: return "++";
    case 0: return "FR";
    case 1: return "LL";
    case 2: return "UL";
    case 3: return "EQ";
    case 4: return "TB";
    default: return "  ";
  }
}

}  // namespace

void E4LSPR(std::string_view prbtyp, bool header, const E4lsline& L, int msglvl, int n, int nclin, int nfree,
            int nrank, int ldT, int ldR, std::span<const int> istate, std::span<const double> x,
            std::span<const double> ax, std::span<const double> t, std::span<const double> r) {
  const int nout = advisory_unit();
  const std::string type = runtime::fpad(prbtyp, 2);

  if (msglvl > 14) put_records(nout, "(//1x,a2,' iteration',i5/' =================')", {type, L.iter});

  if (msglvl > 4) {
    if (header || msglvl > 14) {
      if (nrank > 0)
        put_records(nout, "(//a)",
                    {"  Itn Jdel  Jadd      Step Ninf  Sinf/Objective  Bnd  Lin    Nz   Nz1   Norm Gf  Norm Gz1"
                     "   Cond T Cond Rz1"});
      else
        put_records(nout, "(//a)",
                    {"  Itn Jdel  Jadd      Step Ninf  Sinf/Objective  Bnd  Lin    Nz   Nz1   Norm Gf  Norm Gz1"
                     "   Cond T"});
    }
    // An artificial constraint deleted shows its column with the kind Z.
    const int jdel = L.jdel < 0 ? -L.jdel : L.jdel;
    const int kdel = L.jdel < 0 ? 5 : (L.jdel > 0 ? L.kdel : 0);
    const int kadd = L.jadd > 0 ? L.kadd : 0;
    if (nrank > 0)
      put_records(nout, "(i5,i5,a1,i5,a1,1p,d9.1,i5,1x,1p,d15.6,2i5,2i6,1p,2d10.2,1p,2d9.1)",
                  {L.iter, jdel, kind_letter(kdel), L.jadd, kind_letter(kadd), L.alfa, L.ninf, L.obj, L.nfixed,
                   L.nactiv, L.nZ, L.nZ1, L.gfnorm, L.gz1norm, L.condt, L.condrz});
    else
      put_records(nout, "(i5,i5,a1,i5,a1,1p,d9.1,i5,1x,1p,d15.6,2i5,2i6,1p,2d10.2,1p,d9.1)",
                  {L.iter, jdel, kind_letter(kdel), L.jadd, kind_letter(kadd), L.alfa, L.ninf, L.obj, L.nfixed,
                   L.nactiv, L.nZ, L.nZ1, L.gfnorm, L.gz1norm, L.condt});
  }

  if (msglvl >= 20) {
    put_records(nout, "(/' Values and status of the ',a2,' constraints'/' ---------------------------------------')",
                {type});
    put_records(nout, "(/' Variables...')");
    value_state_pairs(nout, x, istate, n);
    if (nclin > 0) {
      put_records(nout, "(/' General linear constraints...')");
      value_state_pairs(nout, ax, istate.subspan(static_cast<std::size_t>(n)), nclin);
    }
    if (msglvl >= 30) {
      const int nactiv = L.nactiv;
      if (nactiv > 0) {
        const Mat1<const double> T(t, ldT);
        std::vector<double> d;
        for (int i = 1; i <= nactiv; ++i) d.push_back(T(i, nfree - i + 1));
        put_records(nout, "(/' Diagonals of ',a2,' working set factor T'/(1p,5d15.6))",
                    {type, std::span<const double>(d)});
      }
      if (nrank > 0) {
        const Mat1<const double> R(r, ldR);
        std::vector<double> d;
        for (int i = 1; i <= nrank; ++i) d.push_back(R(i, i));
        put_records(nout, "(/' Diagonals of ',a2,' triangle R          '/(1p,5d15.6))",
                    {type, std::span<const double>(d)});
      }
    }
    put_records(nout, "(/' ---------------------------------------')");
  }
}

void E4PRSL(int lprint, int nfree, int ldA, int n, int nclin, int nctotl, double bigbnd, bool named,
            std::span<const std::string> names, int nactiv, std::span<const int> istate,
            std::span<const int> wslist, std::span<const int> kx, std::span<const double> a,
            std::span<const double> bl, std::span<const double> bu, std::span<const double> c,
            std::span<double> mult, std::span<const double> rlamda, std::span<const double> x) {
  const Vec1<double> MU(mult);
  const Vec1<const int> IS(istate), WS(wslist), KX(kx);
  const Vec1<const double> RL(rlamda), BL(bl), BU(bu), C(c), X(x);

  // The working-set multipliers spread over the rows.
  for (int j = 1; j <= nctotl; ++j) MU(j) = 0.0;
  const int nfixed = n - nfree;
  const int nZ = nfree - nactiv;
  for (int k = 1; k <= nactiv + nfixed; ++k) {
    const int row = k <= nactiv ? n + WS(k) : KX(nZ + k);
    MU(row) = RL(k);
  }

  if (!(lprint == 1 || lprint > 9)) return;
  const int nout = advisory_unit();
  const Mat1<const double> A(a, ldA);
  for (int j = 1; j <= nctotl; ++j) {
    double value = 0.0;
    std::string_view kind = "V";
    int num = j;
    if (j <= n) {
      if (j == 1)
        put_records(nout, "(//1x,'Varbl',1x,'State',5x,'Value',5x,'Lower Bound',3x,'Upper Bound',4x,'Lagr Mult',"
                          "3x,'Residual',/)");
      value = X(j);
    } else if (j <= n + nclin) {
      if (j == n + 1)
        put_records(nout, "(//1x,'L Con',1x,'State',5x,'Value',5x,'Lower Bound',3x,'Upper Bound',4x,'Lagr Mult',"
                          "3x,'Residual',/)");
      kind = "L";
      num = j - n;
      for (int k = 1; k <= n; ++k) value += A(num, k) * X(k);
    } else {
      if (j == n + nclin + 1)
        put_records(nout, "(//1x,'N Con',1x,'State',5x,'Value',5x,'Lower Bound',3x,'Upper Bound',4x,'Lagr Mult',"
                          "3x,'Residual',/)");
      kind = "N";
      num = j - n - nclin;
      value = C(num);
    }
    const double b1 = BL(j), b2 = BU(j);
    double res = value - b1;
    if (std::abs(b2 - value) < std::abs(res)) res = b2 - value;
    const bool haslo = b1 > -bigbnd, hasup = b2 < bigbnd;
    const std::string_view ls = state_word(IS(j));
    const double lm = MU(j);

    // The row label: the name's first four characters, or the kind and the
    // number in the same four columns.
    std::string label;
    if (named) {
      label = runtime::fpad(names[static_cast<std::size_t>(j - 1)], 8).substr(0, 4);
    } else {
      label = runtime::format_records("(a1,i3)", std::vector<runtime::Out>{kind, num}).front();
      label = runtime::fpad(label, 4);
    }
    if (haslo && hasup)
      put_records(nout, "(1x,a4,3x,a2,1p,3g14.6,1p,2g12.4)", {label, ls, value, b1, b2, lm, res});
    else if (hasup)
      put_records(nout, "(1x,a4,3x,a2,1p,g14.6,10x,'None',g14.6,1p,2g12.4)", {label, ls, value, b2, lm, res});
    else if (haslo && named)
      put_records(nout, "(1x,a4,3x,a2,1p,2g14.6,10x,'None',1p,2g14.6)", {label, ls, value, b1, lm, res});
    else if (haslo)
      put_records(nout, "(1x,a4,3x,a2,1p,2g14.6,10x,'None',1p,2g12.4)", {label, ls, value, b1, lm, res});
    else
      put_records(nout, "(1x,a4,3x,a2,1p,g14.6,10x,'None',10x,'None',1p,2g12.4)", {label, ls, value, lm, res});
  }
}

void E4CHKI(int& nerror, int msglvl, bool cold, bool userkx, int liwork, int lwork, int litotl, int lwtotl, int n,
            int nclin, int ncnln, std::span<const int> istate, std::span<int> kx, bool named,
            std::span<const std::string> names, std::span<const double> bl, std::span<const double> bu) {
  const int nout = advisory_unit();
  nerror = 0;

  // Workspace.
  const bool shortws = liwork < litotl || lwork < lwtotl;
  if ((shortws && msglvl >= 0) || msglvl > 0)
    put_records(nout,
                "(/' Workspace provided is     IW(',i6,'),  W(',i6,').'/' To solve problem we need  IW(',i6,'),  "
                "W(',i6,').')",
                {liwork, lwork, litotl, lwtotl});
  if (shortws) {
    ++nerror;
    if (msglvl >= 0) put_records(nout, "(/' XXX  Not enough workspace to solve problem.')");
  }

  // The permutation kx, checked silently.
  if (userkx) {
    int ifail = 1;
    M01ZBF(kx, 1, n, ifail);
    if (ifail != 0) {
      ++nerror;
      if (msglvl >= 0) put_records(nout, "(/' XXX  KX has not been supplied as a valid  permutation.')");
    }
  }

  // Bounds: reported whatever the print level.
  const Vec1<const double> BL(bl), BU(bu);
  const int nctotl = n + nclin + ncnln;
  for (int j = 1; j <= nctotl; ++j) {
    if (!(BU(j) < BL(j))) continue;
    ++nerror;
    if (named) {
      put_records(nout, "(/' XXX  The bounds on  ',a8,'  are inconsistent.'/'BL =',g16.7,'   BU =',g16.7)",
                  {runtime::fpad(names[static_cast<std::size_t>(j - 1)], 8), BL(j), BU(j)});
    } else {
      const std::string_view kind = j <= n ? "VARBL" : (j <= n + nclin ? "LNCON" : "NLCON");
      const int num = j <= n ? j : (j <= n + nclin ? j - n : j - n - nclin);
      put_records(nout, "(/' XXX  The bounds on  ',a5,i3,'  are inconsistent.'/'BL =',g16.7,'   BU =',g16.7)",
                  {kind, num, BL(j), BU(j)});
    }
  }

  // States, on a warm start only.
  if (!cold) {
    const Vec1<const int> IS(istate);
    for (int j = 1; j <= nctotl; ++j) {
      const int is = IS(j);
      if (is >= -2 && is <= 4) continue;
      ++nerror;
      put_records(nout, "(/' XXX  Component',i5,'  of  ISTATE  is out of range...',i10)", {j, is});
    }
  }
}

}  // namespace qv::optim_alt
