#include "core/line_table.h"

#include <cstring>

TextView LineTable::at(std::int64_t index, Text& scratch) const {
  scratch.clear();
  if (index < 0 || index >= count()) return scratch;
  const std::string_view stored = arena_.stored(index);
  if (arena_.isWide(index)) {
    scratch.resize(stored.size() / 2);
    std::memcpy(scratch.data(), stored.data(), stored.size());
  } else {
    scratch.resize(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) scratch[i] = static_cast<unsigned char>(stored[i]);
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
  const std::string_view stored = arena_.stored(index);
  if (stored.empty()) return 0;
  if (!arena_.isWide(index)) return static_cast<unsigned char>(stored[0]);
  char16_t unit;
  std::memcpy(&unit, stored.data(), 2);
  return unit;
}
