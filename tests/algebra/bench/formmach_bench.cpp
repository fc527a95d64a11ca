// One evaluation of a model formula, as the objective makes it for every
// trial point: the covariance formula A*S*A' + D of a data group with 20
// observed variables (A full, S symmetric, D diagonal), placed as the packed
// lower triangle of the expected matrix; and a chain of one-operand
// functions on 4 x 4 matrices, where the dispatch of each function weighs
// more than its arithmetic.
#include <benchmark/benchmark.h>

#include <string>

#include "algebra/formmach.hpp"
#include "algebra/ftoken.hpp"
#include "jobbase/areas.hpp"
#include "jobbase/rdline.hpp"
#include "jobbase/workspace.hpp"

namespace {

using namespace qv;

// Lays out one data group of n variables with A, S and D of order n and the
// covariance formula f compiled, its result area after it.
void setup(int n, const std::string& f) {
  auto X = jobbase::WORKSP.x();
  X(1) = 1;
  jobbase::MAINPR.NG = 1;
  jobbase::MAINPR.IGRP = 1;
  const int B = 46;
  auto col = [&](int k) -> double& { return jobbase::GRPTAB(X, 1, k, 1); };
  col(7) = B;
  col(2) = n;
  col(11) = 1;
  col(18) = 0;
  for (int L = 1; L <= 26; ++L) X(B + L - 1) = 99;
  int p = B + 162;
  auto add = [&](int L, int type, int stored) {
    X(B + L - 1) = type;
    X(B + 26 + L - 1) = n;
    X(B + 52 + L - 1) = n;
    X(B + 78 + L - 1) = p;
    for (int k = 0; k < stored; ++k) X(p + stored + k) = 0.01 * ((k * 7) % 13 + 1);
    p += 2 * stored;
  };
  add(1, 9, n * n);            // A
  add(19, 8, n * (n + 1) / 2);  // S
  add(4, 5, n);                // D
  // The compiled formula and its result area.
  jobbase::LINBUF.LINE = f + std::string(jobbase::LINMAX - f.size(), ' ');
  jobbase::CURSOR.LLEN = static_cast<int>(f.size());
  jobbase::CURSOR.ICOL = 0;
  int status = 0, slot = 1;
  algebra::POSTFIX(status, jobbase::LABTAB, slot);
  const int codes = algebra::FMSTAK.NOUT - 1;
  col(8) = p;
  X(p) = codes;
  for (int k = 1; k <= codes; ++k) X(p + k) = algebra::FMSTAK.val(k);
  const int r = p + codes + 1;
  X(r) = 9;
  X(r + 1) = n;
  X(r + 2) = n;
  col(9) = r + 3;
  jobbase::MAINPR.WSTOP = r + 3 + n * n + 10;
}

void evform(benchmark::State& state) {
  auto X = jobbase::WORKSP.x();
  int status = 0;
  for (auto _ : state) {
    algebra::EVFORM(X, 0, 1, 1, status);
    benchmark::DoNotOptimize(X(static_cast<int>(jobbase::GRPTAB(X, 1, 9, 1))));
  }
  if (status != 1) state.SkipWithError("the formula was not evaluated");
}

void BM_Evform20(benchmark::State& state) {
  setup(20, "A*S*A' + D /");
  evform(state);
}
BENCHMARK(BM_Evform20);

// Negation, transpose, ABS, LN, EXP, D2V, V2D and STND: eight functions.
void BM_UnaryChain4(benchmark::State& state) {
  setup(4, "\\V2D(\\D2V(\\EXP(\\LN(\\ABS(-A'))))) + \\STND(S) /");
  evform(state);
}
BENCHMARK(BM_UnaryChain4);

}  // namespace

BENCHMARK_MAIN();
