# Writes the data file of the ordinal benchmark: n cases (default 500) of four
# ordinal items of one factor, y_j* = l_j f + sqrt(1 - l_j^2) e_j with
# loadings l_j = 0.5, 0.6, 0.7, 0.8, cut at -0.5 and 0.7 into categories 0, 1
# and 2, from a fixed linear congruential generator (exact in double
# arithmetic), so that every machine writes the same file.  The records come
# in the order drawn (random); sort the output for the sorted variant.
#   awk -v n=500 -f ord_data.awk > ord500.dat
function u() { s = (s * 16807) % 2147483647; return s / 2147483647 }
function gauss(  a, b) { a = u(); b = u(); return sqrt(-2 * log(a)) * cos(6.283185307179586 * b) }
BEGIN {
  if (n == "") n = 500
  s = 20261211
  for (i = 1; i <= n; i++) {
    f = gauss(); line = ""
    for (j = 1; j <= 4; j++) {
      l = 0.4 + 0.1 * j
      y = l * f + sqrt(1 - l * l) * gauss()
      c = y < -0.5 ? 0 : (y < 0.7 ? 1 : 2)
      line = line (j > 1 ? " " : "") c
    }
    print line
  }
}
