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
