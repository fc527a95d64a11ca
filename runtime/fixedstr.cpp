#include "runtime/fixedstr.hpp"

#include <algorithm>

namespace qv::runtime {

std::string fpad(std::string_view s, std::size_t n) {
  std::string out(n, ' ');
  std::copy_n(s.begin(), std::min(n, s.size()), out.begin());
  return out;
}

void fassign(std::string& dst, std::string_view src) {
  const std::size_t n = dst.size();
  std::size_t k = std::min(n, src.size());
  // src may alias dst: copy through a temporary view-safe path.
  std::string tmp(src.substr(0, k));
  std::copy(tmp.begin(), tmp.end(), dst.begin());
  std::fill(dst.begin() + static_cast<std::ptrdiff_t>(k), dst.end(), ' ');
}

void fassign_sub(std::string& dst, std::size_t first, std::size_t last, std::string_view src) {
  if (first < 1 || last < first || last > dst.size()) return;
  const std::size_t width = last - first + 1;
  std::string tmp = fpad(src, width);
  std::copy(tmp.begin(), tmp.end(), dst.begin() + static_cast<std::ptrdiff_t>(first - 1));
}

int fcompare(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    const unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

bool feq(std::string_view a, std::string_view b) { return fcompare(a, b) == 0; }

std::size_t len_trim(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

std::string_view trim_right(std::string_view s) { return s.substr(0, len_trim(s)); }

std::size_t findex(std::string_view s, std::string_view sub) {
  const auto p = s.find(sub);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string_view fsub(std::string_view s, std::size_t first, std::size_t last) {
  if (first < 1) first = 1;
  if (last > s.size()) last = s.size();
  if (last < first) return {};
  return s.substr(first - 1, last - first + 1);
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

}  // namespace qv::runtime
