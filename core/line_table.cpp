#include "core/line_table.h"

#include <cstring>

void LineTable::clear() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  starts_.clear();
  starts_.shrink_to_fit();
}

void LineTable::reserve(std::int64_t bytes) {
  if (bytes > 0) bytes_.reserve(static_cast<std::size_t>(bytes));
}

void LineTable::append(TextView line) {
  bool narrow = true;
  for (char16_t c : line)
    if (c > 0xFF) { narrow = false; break; }
  std::size_t offset = bytes_.size();
  if (narrow) {
    bytes_.resize(offset + line.size());
    unsigned char* out = bytes_.data() + offset;
    for (std::size_t i = 0; i < line.size(); ++i) out[i] = static_cast<unsigned char>(line[i]);
    starts_.push_back(offset);
  } else {
    bytes_.resize(offset + line.size() * 2);
    std::memcpy(bytes_.data() + offset, line.data(), line.size() * 2);
    starts_.push_back(offset | kWide);
  }
}

std::uint64_t LineTable::endOf(std::int64_t index) const {
  auto next = static_cast<std::size_t>(index) + 1;
  return next < starts_.size() ? (starts_[next] & ~kWide) : bytes_.size();
}

TextView LineTable::at(std::int64_t index, Text& scratch) const {
  scratch.clear();
  if (index < 0 || index >= count()) return scratch;
  const std::uint64_t start = starts_[static_cast<std::size_t>(index)];
  const std::uint64_t begin = start & ~kWide;
  const std::uint64_t size = endOf(index) - begin;
  const unsigned char* in = bytes_.data() + begin;
  if (start & kWide) {
    scratch.resize(size / 2);
    std::memcpy(scratch.data(), in, size);
  } else {
    scratch.resize(size);
    for (std::size_t i = 0; i < size; ++i) scratch[i] = in[i];
  }
  return scratch;
}

Text LineTable::at(std::int64_t index) const {
  Text line;
  at(index, line);
  return line;
}

char16_t LineTable::firstUnit(std::int64_t index) const {
  if (index < 0 || index >= count()) return 0;
  const std::uint64_t start = starts_[static_cast<std::size_t>(index)];
  const std::uint64_t begin = start & ~kWide;
  if (endOf(index) == begin) return 0;
  if (!(start & kWide)) return bytes_[begin];
  char16_t unit;
  std::memcpy(&unit, bytes_.data() + begin, 2);
  return unit;
}
