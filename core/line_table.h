// The project file's lines, in file order, indexed from 0.
//
// Lines are kept in one arena (runtime/line_arena.h): a line whose units all
// fit in one byte is stored one byte per unit, any other line as UTF-16
// units. This keeps the table near the size of the file for the usual ASCII
// project, and lets the reader store a line straight from its file buffer.
//
// One of the program's two readers of project files. This one, the report's,
// keeps every line as text (the model holds them) and reads fixed character
// positions of single lines, as the report has always read them; the
// inventory's (core/block_reader.h) streams each file of an archive once, in
// memory bounded by its longest line, and follows the block structure. Both
// stand on one byte layer (runtime/text_bytes.h).
#pragma once

#include "runtime/line_arena.h"
#include "runtime/text.h"

#include <cstdint>
#include <string_view>

class LineTable {
 public:
  void clear() { arena_.clear(); }
  void append(TextView line) { arena_.append(line); }
  std::int64_t count() const { return arena_.count(); }
  // The line's text, copied into `scratch`; the view lives as long as it.
  TextView at(std::int64_t index, Text& scratch) const;
  Text at(std::int64_t index) const;
  // The line's bytes when it is stored one byte per unit (each byte is the
  // unit), so that it can be looked at without widening; false otherwise.
  bool narrow(std::int64_t index, std::string_view& bytes) const {
    if (index < 0 || index >= count() || arena_.isWide(index)) return false;
    bytes = arena_.stored(index);
    return true;
  }

  // The storage, for the reader that fills it.
  LineArena& arena() { return arena_; }

 private:
  LineArena arena_;
};
