// The project file's lines, in file order, indexed from 0.
//
// Lines are kept in one arena: a line whose units all fit in one byte is
// stored one byte per unit, any other line as UTF-16 units. This keeps the
// table near the size of the file for the usual ASCII project.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <vector>

class LineTable {
 public:
  void clear();
  void reserve(std::int64_t bytes);
  void append(TextView line);
  std::int64_t count() const { return static_cast<std::int64_t>(starts_.size()); }
  // The line's text, copied into `scratch`; the view lives as long as it.
  TextView at(std::int64_t index, Text& scratch) const;
  Text at(std::int64_t index) const;
  // The line's first unit, 0 for an empty line.
  char16_t firstUnit(std::int64_t index) const;

 private:
  static constexpr std::uint64_t kWide = std::uint64_t{1} << 63;
  std::uint64_t endOf(std::int64_t index) const;
  std::vector<unsigned char> bytes_;
  std::vector<std::uint64_t> starts_;  // offset into bytes_, kWide for UTF-16 lines
};
