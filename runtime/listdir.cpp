#include "runtime/listdir.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <optional>

namespace qv::runtime {

std::string list_real(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Infinity" : "-Infinity";
  if (x == 0.0) return std::signbit(x) ? "-0.00000000" : "0.00000000";
  char buf[64];
  // Round to 9 significant digits first; the decimal exponent of the rounded
  // value decides between fixed and exponent form.
  std::snprintf(buf, sizeof buf, "%.8E", x);
  const char* e = std::strchr(buf, 'E');
  const int exp10 = std::atoi(e + 1);
  if (exp10 >= -1 && exp10 < 9) {
    std::snprintf(buf, sizeof buf, "%.*f", 8 - exp10, x);
    std::string s(buf);
    if (exp10 == 8) s += '.';
    return s;
  }
  std::string mant(buf, static_cast<std::size_t>(e - buf));
  char ebuf[16];
  std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
  return mant + ebuf;
}

std::string list_int(long long v) { return std::to_string(v); }

namespace {

struct RecordBuilder {
  std::vector<std::string> records;
  std::string cur;
  bool started = false;

  void begin() {
    cur.clear();
    started = true;
  }
  bool has_content() const { return !cur.empty() && cur != " "; }
  void flush() {
    records.push_back(cur);
    cur.clear();
    started = false;
  }
  void text(std::string_view t) {
    if (!started) {
      begin();
      // The record's leading blank: a text that begins with one supplies it.
      if (t.empty() || t.front() != ' ') cur = " ";
    } else if (has_content() && cur.size() + t.size() > kListWidth) {
      flush();
      begin();
      if (t.empty() || t.front() != ' ') cur = " ";
    }
    cur.append(t);
  }
  void number(const std::string& tok) {
    if (!started) {
      begin();
      cur = " ";
    }
    bool sep = !(cur.empty() || cur.back() == ' ');
    if (has_content() && cur.size() + (sep ? 1 : 0) + tok.size() > kListWidth) {
      flush();
      begin();
      cur = " ";
      sep = false;
    }
    if (sep) cur.push_back(' ');
    cur.append(tok);
  }
};

}  // namespace

std::vector<std::string> list_records(std::span<const Out> items) {
  RecordBuilder b;
  for (const Out& it : items) {
    switch (it.kind()) {
      case Out::Kind::Int: b.number(list_int(it.int_value())); break;
      case Out::Kind::Real: b.number(list_real(it.real_value())); break;
      case Out::Kind::Logical: b.number(it.logical_value() ? "T" : "F"); break;
      case Out::Kind::Text: b.text(it.text()); break;
      case Out::Kind::IntArray:
        for (int v : it.ints()) b.number(list_int(v));
        break;
      case Out::Kind::RealArray:
        for (double v : it.reals()) b.number(list_real(v));
        break;
    }
  }
  if (b.started || b.records.empty()) b.records.push_back(b.cur);
  return b.records;
}

namespace {

// Splits the input into value fields on demand.
class FieldScanner {
 public:
  explicit FieldScanner(const std::function<bool(std::string&)>& next) : next_(next) {}

  enum class Tok { Value, Null, Slash, End };
  struct Field {
    Tok tok;
    std::string text;
    long repeat = 1;
  };

  // Next field; text of a quoted string has its quotes removed.
  Field next() {
    bool after_comma = false;
    for (;;) {
      if (!have_) {
        if (!next_(rec_)) return {Tok::End, {}, 1};
        have_ = true;
        pos_ = 0;
        // A line end separates values like a blank.
      }
      while (pos_ < rec_.size() && (rec_[pos_] == ' ' || rec_[pos_] == '\t' || rec_[pos_] == '\r')) ++pos_;
      if (pos_ >= rec_.size()) {
        have_ = false;
        continue;
      }
      const char c = rec_[pos_];
      if (c == ',') {
        ++pos_;
        if (after_comma || first_) {
          first_ = false;
          return {Tok::Null, {}, 1};
        }
        after_comma = true;
        continue;
      }
      first_ = false;
      if (c == '/') {
        ++pos_;
        return {Tok::Slash, {}, 1};
      }
      if (c == '\'' || c == '"') return quoted(c, 1);
      // An unquoted token runs to the next separator.
      std::size_t end = pos_;
      while (end < rec_.size() && rec_[end] != ' ' && rec_[end] != ',' && rec_[end] != '/' &&
             rec_[end] != '\t' && rec_[end] != '\r')
        ++end;
      std::string tok = rec_.substr(pos_, end - pos_);
      pos_ = end;
      const auto star = tok.find('*');
      if (star != std::string::npos && star > 0 &&
          tok.find_first_not_of("0123456789") == star) {
        const long r = std::strtol(tok.c_str(), nullptr, 10);
        std::string rest = tok.substr(star + 1);
        if (rest.empty()) {
          // "r*" followed directly by a quote continues the token.
          if (pos_ < rec_.size() && (rec_[pos_] == '\'' || rec_[pos_] == '"')) return quoted(rec_[pos_], r);
          return {Tok::Null, {}, r};
        }
        return {Tok::Value, rest, r};
      }
      return {Tok::Value, tok, 1};
    }
  }

 private:
  Field quoted(char q, long r) {
    std::string out;
    ++pos_;
    for (;;) {
      if (pos_ >= rec_.size()) {
        // A quoted string may continue on the next record.
        if (!next_(rec_)) return {Tok::Value, out, r};
        pos_ = 0;
        continue;
      }
      if (rec_[pos_] == q) {
        if (pos_ + 1 < rec_.size() && rec_[pos_ + 1] == q) {
          out.push_back(q);
          pos_ += 2;
          continue;
        }
        ++pos_;
        return {Tok::Value, out, r};
      }
      out.push_back(rec_[pos_++]);
    }
  }

  const std::function<bool(std::string&)>& next_;
  std::string rec_;
  std::size_t pos_ = 0;
  bool have_ = false;
  bool first_ = true;
};

std::optional<double> parse_real(std::string s) {
  for (char& c : s)
    if (c == 'd' || c == 'D') c = 'E';
  // A bare exponent sign ("1.5+3") is accepted as in formatted input.
  for (std::size_t i = 1; i < s.size(); ++i)
    if ((s[i] == '+' || s[i] == '-') && s[i - 1] != 'E' && s[i - 1] != 'e' &&
        (std::isdigit(static_cast<unsigned char>(s[i - 1])) || s[i - 1] == '.')) {
      s.insert(i, "E");
      break;
    }
  if (s.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0') return std::nullopt;
  return v;
}

std::optional<long long> parse_int(const std::string& s) {
  if (s.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != '\0' || errno == ERANGE) return std::nullopt;
  if (v < -2147483648LL || v > 2147483647LL) return std::nullopt;
  return v;
}

std::optional<bool> parse_logical(const std::string& s) {
  std::size_t i = 0;
  if (i < s.size() && s[i] == '.') ++i;
  if (i >= s.size()) return std::nullopt;
  const char c = s[i];
  if (c == 'T' || c == 't') return true;
  if (c == 'F' || c == 'f') return false;
  return std::nullopt;
}

// One scalar destination of the item list.
struct Slot {
  In::Kind kind;
  void* p;
};

bool store(const Slot& s, const std::string& text) {
  switch (s.kind) {
    case In::Kind::Int: {
      auto v = parse_int(text);
      if (!v) return false;
      *static_cast<int*>(s.p) = static_cast<int>(*v);
      return true;
    }
    case In::Kind::Real: {
      auto v = parse_real(text);
      if (!v) return false;
      *static_cast<double*>(s.p) = *v;
      return true;
    }
    case In::Kind::Logical: {
      auto v = parse_logical(text);
      if (!v) return false;
      *static_cast<bool*>(s.p) = *v;
      return true;
    }
    case In::Kind::Text: {
      auto* str = static_cast<std::string*>(s.p);
      const std::size_t n = str->size();
      std::string t = text.substr(0, n);
      t.resize(n, ' ');
      *str = t;
      return true;
    }
    default: return false;
  }
}

}  // namespace

IoStat list_read(std::span<const In> items, const std::function<bool(std::string&)>& next_record) {
  std::vector<Slot> slots;
  for (const In& it : items) {
    switch (it.kind()) {
      case In::Kind::Int: slots.push_back({In::Kind::Int, it.int_ptr()}); break;
      case In::Kind::Real: slots.push_back({In::Kind::Real, it.real_ptr()}); break;
      case In::Kind::Logical: slots.push_back({In::Kind::Logical, it.logical_ptr()}); break;
      case In::Kind::Text: slots.push_back({In::Kind::Text, it.text_ptr()}); break;
      case In::Kind::IntArray:
        for (int& v : it.ints()) slots.push_back({In::Kind::Int, &v});
        break;
      case In::Kind::RealArray:
        for (double& v : it.reals()) slots.push_back({In::Kind::Real, &v});
        break;
    }
  }
  if (slots.empty()) {
    std::string rec;
    return next_record(rec) ? IoStat::Ok : IoStat::End;
  }
  FieldScanner scan(next_record);
  std::size_t k = 0;
  while (k < slots.size()) {
    const auto f = scan.next();
    if (f.tok == FieldScanner::Tok::End) return IoStat::End;
    if (f.tok == FieldScanner::Tok::Slash) return IoStat::Ok;
    if (f.repeat < 1) return IoStat::Error;
    for (long r = 0; r < f.repeat && k < slots.size(); ++r, ++k) {
      if (f.tok == FieldScanner::Tok::Null) continue;
      if (!store(slots[k], f.text)) return IoStat::Error;
    }
  }
  return IoStat::Ok;
}

}  // namespace qv::runtime
