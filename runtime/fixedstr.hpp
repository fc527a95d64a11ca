// Fixed-length, blank-padded character helpers.
//
// Character cells of the program have a fixed length and are padded with
// blanks on the right.  They are held in std::string; these helpers keep the
// padding rules in one place.
#pragma once

#include <string>
#include <string_view>

namespace qv::runtime {

// A copy of s cut or blank-padded to exactly n characters.
std::string fpad(std::string_view s, std::size_t n);

// Assigns src to dst keeping dst's length: longer text is cut, shorter text is
// padded with blanks.
void fassign(std::string& dst, std::string_view src);

// Assigns src into characters [first, last] (1-based, inclusive) of dst,
// padding or cutting to that width; dst keeps its length.
void fassign_sub(std::string& dst, std::size_t first, std::size_t last, std::string_view src);

// Equality of two texts as if the shorter were padded with blanks.
bool feq(std::string_view a, std::string_view b);

// Ordering of two texts with blank padding: negative, zero or positive.
int fcompare(std::string_view a, std::string_view b);

// Length without trailing blanks.
std::size_t len_trim(std::string_view s);

// s without trailing blanks.
std::string_view trim_right(std::string_view s);

// 1-based position of the first occurrence of sub in s, 0 when absent.
std::size_t findex(std::string_view s, std::string_view sub);

// Characters [first, last] of s, 1-based inclusive (an empty text when last < first).
std::string_view fsub(std::string_view s, std::size_t first, std::size_t last);

// Upper-case copy (ASCII letters only).
std::string upper(std::string_view s);

}  // namespace qv::runtime
