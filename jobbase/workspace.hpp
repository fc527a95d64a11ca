// The two workspaces of a job, the label table, and the routines that keep
// the group table, the matrix tables and the per-group link lists in them.
//
// WORKSP holds, per job: X(1) = NG, the group table GRPTAB (attribute column
// k of group g at X(1 + k*NG + g), 43 columns), then each group's matrix table
// MATTAB, matrix storage, data, formulas and lists, then free space from
// WSTOP.  IWORKS holds the integer per-group columns IX(2 + k*NG + g) and the
// integer blocks of record data and of the optimizer.  Both are checked
// against WSLIM by CHKMEM/CHKIMEM before words are used.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/view1.hpp"

namespace qv::jobbase {

using runtime::Vec1;

// Size of each workspace in words.
constexpr int kWsWords = 1000000;

struct Worksp {
  std::array<double, kWsWords> X{};
  // One-based view: x()(1) is the first word.
  Vec1<double> x() { return Vec1<double>(X.data(), kWsWords); }
  // Every word back to 0.  Any word may have been written through a view, so
  // the whole array is cleared, as one memset (all-zero bytes are 0.0): a
  // per-word loop is what a coverage-instrumented build makes slow.
  void reset() { std::memset(X.data(), 0, sizeof X); }
};
inline Worksp WORKSP;

struct Iworks {
  std::array<int, kWsWords> IX{};
  Vec1<int> ix() { return Vec1<int>(IX.data(), kWsWords); }
  // Every word back to 0, as one memset (see Worksp::reset).
  void reset() { std::memset(IX.data(), 0, sizeof IX); }
};
inline Iworks IWORKS;

// Label table: 32-character slots numbered from 1 (group titles in four
// pieces, variable and element labels, formula texts, output-file names).
constexpr int kLabSlots = 20000;
constexpr int kLabLen = 32;

// Every slot starts blank.  The table is blanked lazily: slots 1..NFILL hold
// their text, and a slot past NFILL reads as blank whatever its bytes are.
// put blanks the slots between NFILL and its own before writing, so a job
// writes only the front of the table that it uses, and a process that never
// stores a label never touches the table's 640 KB (they stay untouched zero
// pages).  reset is NFILL := 0.
struct Labtab {
  // Slot k (1..kLabSlots) as its 32 characters.
  std::string get(int k) const;
  // Stores text into slot k, cut or blank-padded to 32 characters.  A slot
  // past the table is error 119 (after the memory lines of CHKLAB).
  void put(int k, std::string_view text);
  void reset() { NFILL = 0; }

 private:
  std::array<char, static_cast<std::size_t>(kLabSlots) * kLabLen> T{};
  int NFILL = 0;  // slots 1..NFILL are valid; the rest are blank
};
inline Labtab LABTAB;

// Stops with error 119 when label slot k lies past the table.
void CHKLAB(int k);

// Workspace cells that hold integers (codes, counts, addresses) are doubles;
// icell reads one back as an int (truncated).  Values beyond the integers,
// and values that are not numbers, are clamped so that the conversion is
// defined.
inline int icell(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

// Group-table cell: column k (0..42, named in tabnames.hpp) of group g (1..NG).
inline double& GRPTAB(Vec1<double> X, int NG, int k, int g) { return X(1 + k * NG + g); }
inline const double& GRPTAB(Vec1<const double> X, int NG, int k, int g) { return X(1 + k * NG + g); }
// Integer group column k (named in tabnames.hpp) of group g in IWORKS.
inline int& IGRPTB(Vec1<int> IX, int NG, int k, int g) { return IX(2 + k * NG + g); }

// Number of columns of the group table.
constexpr int kGrpCols = 43;
// Words of one group's matrix table; the group's matrix storage follows it.
constexpr int kMattabWords = 162;

// Checks that WORKSP position top may be used: past WSLIM it writes the
// available and needed sizes and raises error 119; otherwise it raises the
// high-water mark WSMAXD.
void CHKMEM(int top);
// The same for IWORKS and WSMAXI.
void CHKIMEM(int top);
// CHKMEM for a last word computed in 64 bits, so that a product of sizes
// cannot wrap: a last word past WSLIM is reported as it is (error 119).
void check_room(long long last);

// Sets the integer group columns of all NG groups (6 and 7 := 0, 1 := 1)
// and IWSTOP := 11*NG + 3.
void INITGP(Vec1<int> IX, int NG);

// Number of stored elements of a matrix of the given type and order.  The
// type is changed in place first: -11, -10 and -1 become 9 (full), 0 becomes
// 8 (symmetric).
int NELEM(int& type, int rows, int cols);

// Reads letter L's matrix-table words of group g.  With keep 0 the type
// returned is the stored code; otherwise the code as NELEM changed it.
void MATDSC(Vec1<double> X, int g, int NG, int L, int& addr, int& type, int& rows, int& cols,
            int& nel, int& fifth, int keep);

// Stores group g's parameter-matrix list at WSTOP (count, then the letters
// of types DI..LO, except the letter in column 28) and advances WSTOP.
void GRPLST(Vec1<double> X, int g, int NG, int& WSTOP);

// Places a formula head at RDPTR for formula slot code of group g: the
// slot word of MATTAB := RDPTR, two words := slot, RDPTR += 2.
void ADDMAT(Vec1<double> X, int g, int NG, int& RDPTR, int slot, int code, int& where);

// Equality links of group g: a count and up to 26 entries (key, v1, v2).
constexpr int kMaxLinks = 26;
constexpr int kLinkWords = 1 + 3 * kMaxLinks;
// Records the link (key, v1, v2) of group g, in place when the key is there;
// the list is made at IWSTOP on first use; a 27th entry is error 212.
void ALLOCI(Vec1<int> IX, int NG, int g, int key, int v1, int v2, int& IWSTOP);
// Removes the entry with that key from group g's link list, if any.
void DELENT(Vec1<int> IX, int NG, int g, int key);

}  // namespace qv::jobbase
