// Numbered text files: every open file sits in a table under a number the
// caller chooses, and moves its bytes through one 4096-byte buffer.
//
// Reading: OpenFileForReading, DetectTextFormat (skips a byte-order mark),
// AtEndOfFile, ReadTextLine (a line ends at LF, CR, CR LF, NUL or the end of
// the file; the terminator is not part of the line), CloseNumberedFile.
// Writing: CreateOutputFile, WriteTextLine (the text, then CR LF, in UTF-8),
// CloseNumberedFile (writes what is pending).
//
// Nothing here shows a message. Opening and creating return 0 on failure and
// leave the number empty; on a number that holds no open file, reads give the
// empty text (DetectTextFormat gives Ansi), writes and closes do nothing.
// A failed write or flush is remembered by the file: NumberedFileFailed tells,
// and CloseNumberedFile returns false, so the caller can discard the file.
//
// TextFileReader reads the same way as a value, without a number: whoever
// holds it owns the open file, and it closes itself when it goes. It reads
// whole files, through a buffer of 128 KiB. The line ends and the byte-order
// mark are found by the byte layer of runtime/text_bytes.h.
#pragma once

#include "runtime/os_file.h"
#include "runtime/text.h"
#include "runtime/text_bytes.h"

class LineArena;
struct TextFileRecord;

#include <cstdint>
#include <memory>
#include <string>

// A flag for ReadTextLine's format flags, beside the format in the low five
// bits: read UTF-8, and remember when the line is not well-formed UTF-8
// (see NumberedFileSawMalformedUtf8).
constexpr std::int32_t kCheckUtf8 = 0x20;

std::intptr_t OpenFileForReading(std::int64_t number, TextView path);
std::intptr_t CreateOutputFile(std::int64_t number, TextView path);

TextFormat DetectTextFormat(std::int64_t number);
bool AtEndOfFile(std::int64_t number);
Text ReadTextLine(std::int64_t number, std::int32_t formatFlags);
// As ReadTextLine, into `line` (replaced), reusing its storage. Returns false
// when the number holds no open file.
bool ReadTextLineInto(std::int64_t number, std::int32_t formatFlags, Text& line);
// True once a line read with kCheckUtf8 was not well-formed UTF-8.
bool NumberedFileSawMalformedUtf8(std::int64_t number);

// Reads every line that remains, each without its leading spaces (U+0020),
// into `lines`: the same lines as ReadTextLine while AtEndOfFile is false,
// with the spaces stripped, but found in bulk in the file buffer, and an ASCII
// line goes from the buffer straight into the arena. With kCheckUtf8 reading
// stops at the first line that is not well-formed UTF-8, as soon as a byte
// shows it, and that line is not stored.
void ReadLinesWithoutLeadingSpaces(std::int64_t number, std::int32_t formatFlags, LineArena& lines);

// The current position and a new one, counted in bytes from the start.
std::int64_t NumberedFilePosition(std::int64_t number);
void SetNumberedFilePosition(std::int64_t number, std::int64_t position);

std::int64_t WriteText(std::int64_t number, TextView text, TextFormat format);
void WriteTextLine(std::int64_t number, TextView text);
bool NumberedFileFailed(std::int64_t number);

// Closes the file; false when a write or the final flush failed.
bool CloseNumberedFile(std::int64_t number);
void CloseAllNumberedFiles();

// A text file opened for reading, as OpenFileForReading opens it (an
// existing regular file, held so that no other program can open it). Every
// call on a reader that is not open reads as at the end of an empty file.
class TextFileReader {
 public:
  TextFileReader();
  ~TextFileReader();
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;

  // False when the file cannot be opened; OsLastError() then tells why.
  bool open(TextView path);
  void close();
  bool isOpen() const { return record_ != nullptr; }

  TextFormat detectFormat();
  bool atEnd();
  void readLinesWithoutLeadingSpaces(std::int32_t formatFlags, LineArena& lines);
  bool sawMalformedUtf8() const;
  std::int64_t position();
  void setPosition(std::int64_t position);
  std::int64_t size() const;  // -1 when unknown
  FileIdentity identity() const;

 private:
  std::unique_ptr<TextFileRecord> record_;
};
