// Items of formatted and list-directed transfers.
//
// An output item is a number, a logical or a text; an array of numbers stands
// for its elements in order.  An input item refers to the variable that
// receives the value; a text variable is read into its current length.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv::runtime {

class Out {
 public:
  enum class Kind { Int, Real, Logical, Text, IntArray, RealArray };

  Out(int v) : kind_(Kind::Int), i_(v) {}
  Out(long v) : kind_(Kind::Int), i_(v) {}
  Out(long long v) : kind_(Kind::Int), i_(v) {}
  Out(unsigned v) : kind_(Kind::Int), i_(v) {}
  Out(unsigned long v) : kind_(Kind::Int), i_(static_cast<long long>(v)) {}
  Out(double v) : kind_(Kind::Real), r_(v) {}
  Out(bool v) : kind_(Kind::Logical), i_(v ? 1 : 0) {}
  Out(const char* s) : kind_(Kind::Text), s_(s) {}
  Out(const std::string& s) : kind_(Kind::Text), s_(s) {}
  Out(std::string_view s) : kind_(Kind::Text), s_(s) {}
  Out(std::span<const int> a) : kind_(Kind::IntArray), ia_(a) {}
  Out(std::span<const double> a) : kind_(Kind::RealArray), ra_(a) {}

  Kind kind() const { return kind_; }
  long long int_value() const { return i_; }
  double real_value() const { return r_; }
  bool logical_value() const { return i_ != 0; }
  std::string_view text() const { return s_; }
  std::span<const int> ints() const { return ia_; }
  std::span<const double> reals() const { return ra_; }

 private:
  Kind kind_;
  long long i_ = 0;
  double r_ = 0.0;
  std::string_view s_;
  std::span<const int> ia_;
  std::span<const double> ra_;
};

class In {
 public:
  enum class Kind { Int, Real, Logical, Text, IntArray, RealArray };

  In(int& v) : kind_(Kind::Int), ip_(&v) {}
  In(double& v) : kind_(Kind::Real), rp_(&v) {}
  In(bool& v) : kind_(Kind::Logical), bp_(&v) {}
  In(std::string& s) : kind_(Kind::Text), sp_(&s) {}
  In(std::span<int> a) : kind_(Kind::IntArray), ia_(a) {}
  In(std::span<double> a) : kind_(Kind::RealArray), ra_(a) {}

  Kind kind() const { return kind_; }
  int* int_ptr() const { return ip_; }
  double* real_ptr() const { return rp_; }
  bool* logical_ptr() const { return bp_; }
  std::string* text_ptr() const { return sp_; }
  std::span<int> ints() const { return ia_; }
  std::span<double> reals() const { return ra_; }

 private:
  Kind kind_;
  int* ip_ = nullptr;
  double* rp_ = nullptr;
  bool* bp_ = nullptr;
  std::string* sp_ = nullptr;
  std::span<int> ia_;
  std::span<double> ra_;
};

// Status of a transfer, as the callers that handle it see it.
enum class IoStat { Ok = 0, End = -1, Error = 1 };

}  // namespace qv::runtime
