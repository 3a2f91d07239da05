// bars.abs: the bar schedule for bending machines, in the exchange format
// of the German reinforcement guideline (BVBS, version 2.0). One record a
// mark, each a line of blocks:
//
//   BF2D@Hj<project>@r<drawing>@i<revision>@p<mark>@l<length>@n<count>@
//        e<kg/m>@d<diameter>@g<steel grade>@s<mandrel>@v@
//   Gl<leg>@w<angle>@l<leg>@w<angle>@...@l<leg>@w0@
//   C<checksum>@ CR LF
//
// "BF2D" says the bar is bent in one plane. The header block (H) holds
// the mark and its count, cut length (mm), mass per metre, diameter, grade
// and the mandrel's diameter (mm); the geometry block (G) the legs in order
// (mm, as the schedule measures them: to the outside of the bar) with the
// angle of the bend after each (degrees, positive turning one way,
// negative the other; 0 after the last leg). The checksum block (C) makes
// the record whole: 96 less the sum of the character codes of the record up
// to and including the "C", modulo 32.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pierhost::bvbs {

// The checksum of a record's text from its first character up to and
// including the "C" that opens the checksum block.
int Checksum(std::string_view text_through_c);

struct Leg {
  double length = 0;  // mm
  double angle = 0;   // degrees, the bend after the leg; 0 after the last
};

struct Record {
  std::string project{};    // j
  std::string drawing{};    // r
  std::string revision{};   // i
  std::string mark{};       // p
  double length = 0;        // l, mm
  long long count = 0;      // n
  double unit_mass = 0;     // e, kg/m
  double diameter = 0;      // d, mm
  std::string grade{};      // g
  double mandrel = 0;       // s, mm
  std::vector<Leg> legs{};  // G
};

// The record as one line, CR LF included. Text fields lose what the format
// uses for itself ("@", control characters) and what is not ASCII, which
// machines do not read.
std::string Format(const Record& record);

}  // namespace pierhost::bvbs
