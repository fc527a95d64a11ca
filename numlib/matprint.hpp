// Matrix printing in the report's layout: blocks of columns that fit the
// record width, an automatic element format, and row and column labels by
// number, by text or none.  Records go to the library's advisory unit.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qv::numlib {

// matrix 'G', 'L' or 'U'; diag 'B', 'N' or 'U' (for 'L' and 'U'); labrow and
// labcol 'N', 'I' or 'C' (either case).  a is column-major with leading
// dimension lda; format blank selects the automatic format, "*" full
// precision; ncols is the record width (outside 1..132: 80).
void X04CBF(char matrix, char diag, int m, int n, std::span<const double> a, int lda, std::string_view format,
            std::string_view title, char labrow, std::span<const std::string> rlabs, char labcol,
            std::span<const std::string> clabs, int ncols, int indent, int& ifail);
// The same for an integer matrix.
void X04EBF(char matrix, char diag, int m, int n, std::span<const int> a, int lda, std::string_view format,
            std::string_view title, char labrow, std::span<const std::string> rlabs, char labcol,
            std::span<const std::string> clabs, int ncols, int indent, int& ifail);

// Value of a string of decimal digits (blank counts as 0); 0 when a character
// is neither, or when the value would exceed 2147483647.
int DIGVAL(std::string_view text, int length);

}  // namespace qv::numlib
