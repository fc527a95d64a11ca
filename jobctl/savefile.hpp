// The binary save file: a model read completely is written with "!@SAVE"
// and restored by a group line GE, so that a later job or run continues
// from it without reading the script again.
//
// The file is direct-access and unformatted with 8-byte records, one value
// per record:
//   1        version stamp                    (integer)
//   2        NX, doubles in use               (integer)
//   3..8     options FE, OP, LI, STE, FU, TH   (real)
//   9..13    options IT, NA, DE, fit-function code, NFREE (integer)
//   14       NS, next free label slot         (integer)
//   15       NIW, integers in use             (integer)
//   15+k                     X(k), k = 1..NX   (real)
//   NX+4k+12 .. NX+4k+15     label slot k in four 8-character pieces, k = 1..NS-1
//   NX+4NS+12 .. NX+4NS+15   never written (the place of slot NS)
//   NX+4NS+15+k              IX(k), k = 1..NIW (integer)
//   NX+4NS+NIW+16            NUNCNT, the next number of UN elements (integer)
// An integer fills the first 4 bytes of its record as a two's-complement
// value in little-endian byte order, the other 4 bytes are zero; a real is
// an IEEE double in little-endian byte order.  The byte order is fixed, so a
// file reads the same on every machine.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/view1.hpp"

namespace qv::jobctl {

// The record length of the binary save file (unit runtime::kSaveUnit) in bytes.
constexpr int BINRECL = 8;
// The program's own version stamp; files with stamps from BINOLD + 1 up to
// it are read, older ones are refused.
constexpr int BINCUR = 144;
constexpr int BINOLD = 134;

// Stamp of the run: the program's own, or that of an older file restored in
// this run (a later save in the run writes it).
struct Binsav {
  int BINVER = BINCUR;
  void reset() { *this = Binsav(); }
};
inline Binsav BINSAV;

using BinRec = std::array<std::uint8_t, BINRECL>;

// One record's bytes from a value, and back (fixed little-endian order).
BinRec BINPUTI(int v);             // an integer as a record
BinRec BINPUTR(double v);          // a double as a record
int BINGETI(const BinRec& r);      // the integer of a record
double BINGETR(const BinRec& r);   // the double of a record

// Saves (MODE 1) or restores (MODE 0) the model.  X is WORKSP and IX
// IWORKS; NX, NIW and NS are the doubles in use, the integers in use and the
// next free label slot.  The file name is the rest of the current line after
// the current word.  Both modes set MULFIT := 1.  A restore also sets NX,
// NIW, NS, the option cells, NFREE, NUNCNT, IGRP := NG := X(1), TOP := NX
// and the end of the stored model in the group table (column 6 of group 1).
void BINOPN(runtime::Vec1<double> X, int& NX, runtime::Vec1<int> IX, int& NIW, int MODE, int& MULFIT,
            int& IGRP, int& NG, int& NS, int& TOP);

}  // namespace qv::jobctl
