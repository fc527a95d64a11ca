# Writes the data file of the FIML benchmark: n cases (default 10000) of ten
# indicators of one factor, y_j = j + (0.6 + 0.04 j) f + e_j with residual
# variance 0.5, each value missing (".") with probability 0.1, from a fixed
# linear congruential generator (exact in double arithmetic), so that every
# machine writes the same file.
#   awk -v n=10000 -f fiml_data.awk > fiml10k.dat
function u() { s = (s * 16807) % 2147483647; return s / 2147483647 }
function gauss(  a, b) { a = u(); b = u(); return sqrt(-2 * log(a)) * cos(6.283185307179586 * b) }
BEGIN {
  if (n == "") n = 10000
  s = 20261211
  for (i = 1; i <= n; i++) {
    f = gauss(); line = ""; any = 0
    for (j = 1; j <= 10; j++) {
      y = j + (0.6 + 0.04 * j) * f + sqrt(0.5) * gauss()
      if (u() < 0.1) v = "."; else { v = sprintf("%.4f", y); any = 1 }
      line = line (j > 1 ? " " : "") v
    }
    if (!any) line = sprintf("%.4f", j) substr(line, 2)
    print line
  }
}
