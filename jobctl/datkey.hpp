// The data keywords of a data group: dispatch, selection of variables, the
// missing-value string, and the checks of the observed data before the
// matrix section.
#pragma once

#include <array>
#include <string_view>

namespace qv::jobctl {

// The data keywords, compared with the first two characters at the cursor
// in this order (first match).
inline constexpr std::array<std::string_view, 23> DATKEY = {"CM", "PM", "KM", "AC", "RA", "ME", "SK", "KU",
                                                            "LA", "SE", "MA", "AV", "VL", "CT", "VC", "AI",
                                                            "DE", "MI", "RE", "#D", "BE", "OR", "HI"};

// State of the dispatch that outlives a group.
struct Datkst {
  char MATLET = ' ';  // first letter of the last matrix keyword (CM, PM, KM), kept from group to group
  int NAV = 0;        // number of diagonal weights read by AV in the current group
  void reset() { *this = Datkst(); }
};
inline Datkst DATKST;

// Reads the data keywords of the current data group, entered with the first
// line after the group line current.  Returns with the line that begins MA
// or BE current (the matrix section starts there), after the checks of the
// observed data; or, after a select-if, with the line after it current.
void DATDSP();

}  // namespace qv::jobctl
