// A streaming reader of a REAPER project's lines, for the inventory.
//
// It reads the file in chunks and hands out one line at a time, without its
// terminator (LF, CR, CR LF or NUL) and without its leading spaces and tabs.
// There is no line table: the reader keeps only its chunk and the line being
// read, so its memory is bounded by the longest line, not the file's size.
//
// Encodings, decided as the loader decides them: a UTF-8 mark gives UTF-8; a
// UTF-16 little-endian mark gives UTF-16, handed out as UTF-8 (an unpaired
// surrogate becomes U+FFFD); the other marks are skipped and the rest read
// as ANSI bytes; without a mark the bytes are UTF-8 when the whole file is
// well-formed UTF-8, else ANSI. That last decision is known only at the end:
// lines are handed out as the file's bytes, and after next() has returned
// false, textIsAnsi() tells how to decode what the caller kept.
//
// A read error ends the file like its end does; readFailed() tells.
//
// One of the program's two readers of project files. This one, the
// inventory's, streams each file of an archive once, in memory bounded by its
// longest line, and follows the block structure; the report's
// (core/line_table.h, core/scanner.h) keeps every line as text and reads fixed
// character positions of single lines. Both stand on one byte layer
// (runtime/text_bytes.h).
#pragma once

#include "runtime/text_bytes.h"
#include "runtime/utf8.h"

#include <cstdint>
#include <memory>
#include <string_view>

// Where the bytes come from. read() returns the number of bytes it put into
// `destination` (at most `count`); 0 means the end of the data or an error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::int64_t read(void* destination, std::int64_t count) = 0;
  virtual bool failed() const { return false; }
};

class BlockReader {
 public:
  explicit BlockReader(ByteSource& source, std::size_t chunkBytes = std::size_t{1} << 16);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next line; the view lives until the next call. False at the end.
  bool next(std::string_view& line);
  // Skips the rest of the block that the last line handed out opened or is
  // in: every line up to and including the `>` line that closes it, blocks
  // opened in it counted. Only lines that start with "<" or ">" matter there,
  // so it looks for those two bytes alone. False when the file ends first.
  bool skipBlock();

  // Valid after next() returned false: the lines were bytes of the ANSI code
  // page (true) or UTF-8 (false; malformed sequences are the caller's to
  // replace when the file had a UTF-8 mark).
  bool textIsAnsi() const { return ansi_ || (undecided_ && !utf8_.complete()); }
  bool readFailed() const;
  // Bytes taken from the source so far.
  std::int64_t bytesRead() const { return bytesRead_; }
  // The largest buffer the reader has held, for measuring.
  std::size_t bufferBytes() const { return capacity_; }

 private:
  bool fill();
  void start();
  // Finds the line ends of the next block of up to 64 bytes into stops_,
  // checking them as UTF-8 while that is undecided; false when no byte is
  // left to look at.
  bool scanBlock();

  ByteSource& original_;
  ByteSource* source_;
  std::unique_ptr<ByteSource> transcoder_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;  // first byte not yet handed out
  std::size_t end_ = 0;    // end of the bytes in the buffer
  LineStops stops_;        // line ends found and not yet handed out
  std::int64_t bytesRead_ = 0;
  bool started_ = false;
  bool atEnd_ = false;
  bool skipLf_ = false;    // the last line ended in a CR at the buffer's end
  bool ansi_ = false;
  bool undecided_ = false; // no mark: UTF-8 while well-formed
  Utf8Check utf8_;
};
