#include "optim_alt/upcase.hpp"

#include <string_view>

namespace qv::optim_alt {

void E4UPCS(std::string& text) {
  constexpr std::string_view lower = "abcdefghijklmnopqrstuvwxyz";
  constexpr std::string_view upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (char& ch : text) {
    if (ch < 'a' || ch > 'z') continue;
    const std::size_t pos = lower.find(ch);
    if (pos != std::string_view::npos) ch = upper[pos];
  }
}

}  // namespace qv::optim_alt
