#include "runtime/numbered_file.h"

#include "runtime/codepage.h"
#include "runtime/line_arena.h"
#include "runtime/os_file.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

enum Mode : std::int32_t { WriteBehind = 0, ReadAhead = 1 };

// One open file: the numbered table holds these, a TextFileReader owns one.
struct TextFileRecord {
  OsHandle handle = kInvalidHandle;
  std::unique_ptr<unsigned char[]> buffer;
  std::int32_t bufferSize = 4096;
  std::int32_t remaining = 0;
  std::int32_t filled = 0;
  std::int32_t mode = ReadAhead;
  TextFormat defaultFormat = TextFormat::Utf8;
  std::int32_t readOnly = 0;
  bool failed = false;          // a write or flush did not store everything
  bool malformedUtf8 = false;   // a line read with kCheckUtf8 was not UTF-8
  std::string raw;              // the raw bytes of the line being read
};

namespace {

using FileRecord = TextFileRecord;

std::vector<std::unique_ptr<FileRecord>>& FileTable() {
  static std::vector<std::unique_ptr<FileRecord>> table(16);
  return table;
}

FileRecord* Find(std::int64_t number) {
  auto& table = FileTable();
  if (number < 0 || static_cast<std::uint64_t>(number) >= table.size()) return nullptr;
  return table[static_cast<std::size_t>(number)].get();
}

bool Flush(FileRecord& r) {
  if (r.mode != WriteBehind) return true;
  const std::int64_t pending = r.bufferSize - r.remaining;
  bool ok = pending == 0 || OsWrite(r.handle, r.buffer.get(), pending) == pending;
  if (!ok) r.failed = true;
  r.remaining = r.bufferSize;
  return ok;
}

void EnterReadAhead(FileRecord& r) {
  if (r.mode == WriteBehind) {
    Flush(r);
    r.mode = ReadAhead;
    r.remaining = 0;
  }
}

// Refills an empty read-ahead buffer; false at the end of the file.
bool Refill(FileRecord& r) {
  std::int64_t k = OsRead(r.handle, r.buffer.get(), r.bufferSize);
  r.filled = r.remaining = static_cast<std::int32_t>(k > 0 ? k : 0);
  return r.remaining > 0;
}

std::int64_t BufferedRead(FileRecord& r, void* destination, std::int64_t n) {
  EnterReadAhead(r);
  auto* out = static_cast<unsigned char*>(destination);
  if (n <= r.remaining) {
    std::memcpy(out, r.buffer.get() + (r.filled - r.remaining), static_cast<std::size_t>(n));
    r.remaining -= static_cast<std::int32_t>(n);
    return n;
  }
  const std::int64_t a = r.remaining;
  std::memcpy(out, r.buffer.get() + (r.filled - r.remaining), static_cast<std::size_t>(a));
  r.remaining = 0;
  const std::int64_t rest = n - a;
  if (rest >= r.bufferSize) {
    std::int64_t got = OsRead(r.handle, out + a, rest);
    return a + (got > 0 ? got : 0);
  }
  if (!Refill(r)) return a;
  const std::int64_t take = std::min<std::int64_t>(rest, r.remaining);
  std::memcpy(out + a, r.buffer.get(), static_cast<std::size_t>(take));
  r.remaining -= static_cast<std::int32_t>(take);
  return a + take;
}

bool ReadByte(FileRecord& r, unsigned char& byte) { return BufferedRead(r, &byte, 1) == 1; }
void UnreadByte(FileRecord& r) { ++r.remaining; }

std::int64_t BufferedWrite(FileRecord& r, const void* source, std::int64_t n) {
  if (r.readOnly) return 0;
  if (r.mode == ReadAhead) {
    if (r.remaining > 0) OsSeek(r.handle, -static_cast<std::int64_t>(r.remaining), SeekFrom::Current);
    r.remaining = r.bufferSize;
    r.mode = WriteBehind;
  }
  if (n < r.remaining) {
    std::memcpy(r.buffer.get() + (r.bufferSize - r.remaining), source, static_cast<std::size_t>(n));
    r.remaining -= static_cast<std::int32_t>(n);
    return n;
  }
  Flush(r);
  if (n >= r.bufferSize) {
    std::int64_t got = OsWrite(r.handle, source, n);
    if (got != n) r.failed = true;
    return got > 0 ? got : 0;
  }
  std::memcpy(r.buffer.get(), source, static_cast<std::size_t>(n));
  r.remaining -= static_cast<std::int32_t>(n);
  return n;
}

// The buffer keeps kScanSlack bytes after its end, for the scans of 64 bytes at a time.
std::unique_ptr<FileRecord> NewRecord(OsHandle handle, bool readOnly, std::int32_t bufferSize = 4096) {
  auto record = std::make_unique<FileRecord>();
  record->handle = handle;
  record->bufferSize = bufferSize;
  record->buffer = std::make_unique<unsigned char[]>(static_cast<std::size_t>(bufferSize) + kScanSlack);
  record->readOnly = readOnly ? 1 : 0;
  return record;
}

std::intptr_t Install(std::int64_t number, OsHandle handle, bool readOnly) {
  if (handle == kInvalidHandle) return 0;
  auto& table = FileTable();
  if (static_cast<std::uint64_t>(number) >= table.size()) table.resize(static_cast<std::size_t>(number) + 16);
  table[static_cast<std::size_t>(number)] = NewRecord(handle, readOnly);
  return handle;
}

// --- line reading -------------------------------------------------------

bool HasHighByte(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  return SkipAscii(p, p + s.size()) != p + s.size();
}

// After a CR: an LF that follows is part of the terminator, anything else is
// left for the next line.
void SkipLfAfterCr(FileRecord& r) {
  unsigned char next;
  if (ReadByte(r, next) && next != 0x0A) UnreadByte(r);
}

// Collects (the rest of) one line of single bytes (ANSI) or UTF-8 sequences
// at the end of r.raw. Returns true when a UTF-8 line holds bytes of 0x80 and
// above.
// With stopWhenMalformed, collecting ends at the first byte that shows the
// line is not UTF-8 (a bad lead byte, a lead byte not followed by its
// continuation bytes), with `malformed` set.
bool CollectByteLine(FileRecord& r, bool utf8, bool& malformed, bool stopWhenMalformed = false) {
  std::string& raw = r.raw;
  bool high = false;
  EnterReadAhead(r);
  for (;;) {
    if (r.remaining == 0 && !Refill(r)) return high;
    const unsigned char* p = r.buffer.get() + (r.filled - r.remaining);
    const unsigned char* end = r.buffer.get() + r.filled;
    const unsigned char* stop = FindLineStop(p, end, utf8);
    raw.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p));
    r.remaining -= static_cast<std::int32_t>(stop - p);
    if (stop == end) continue;
    const unsigned char lead = *stop;
    --r.remaining;
    if (lead == 0 || lead == 0x0A) return high;
    if (lead == 0x0D) {
      SkipLfAfterCr(r);
      return high;
    }
    // A UTF-8 lead byte: the bytes that follow are taken as they come.
    high = true;
    int more = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0) {
      malformed = true;
      if (stopWhenMalformed) return high;
      raw.push_back('?');
      continue;
    }
    char sequence[4] = {static_cast<char>(lead)};
    int got = 1;
    unsigned char byte;
    while (got <= more && ReadByte(r, byte)) {
      sequence[got++] = static_cast<char>(byte);
      if (stopWhenMalformed && (byte & 0xC0) != 0x80) {
        malformed = true;
        return high;
      }
    }
    if (got <= more) {  // cut short by the end of the file: dropped
      malformed = true;
      return high;
    }
    raw.append(sequence, static_cast<std::size_t>(got));
  }
}

// Reads one 16-bit little-endian unit; the number of bytes obtained.
int ReadUnit16(FileRecord& r, char16_t& unit) {
  unsigned char two[2];
  auto got = BufferedRead(r, two, 2);
  unit = static_cast<char16_t>(two[0] | (two[1] << 8));
  return static_cast<int>(got);
}

// After a CR unit: an LF unit that follows is part of the terminator, any
// other unit is stepped back over and begins the next line.
void SkipLfUnitAfterCr(FileRecord& r) {
  char16_t next;
  int got = ReadUnit16(r, next);
  if (got == 2 && next != 0x0A) {
    if (r.filled - r.remaining >= 2) {
      r.remaining += 2;
    } else {
      std::int64_t position = OsSeek(r.handle, 0, SeekFrom::Current) - r.remaining;
      r.remaining = 0;
      OsSeek(r.handle, position - 2, SeekFrom::Begin);
    }
  }
}

// Appends the units of one UTF-16 line to `line`. Whole units in the buffer
// are searched in bulk; a unit split by the buffer's end, and the end of the
// file, go through the buffered read.
void ReadUtf16Line(FileRecord& r, Text& line) {
  for (;;) {
    char16_t unit;
    if (r.remaining >= 2) {
      const unsigned char* p = r.buffer.get() + (r.filled - r.remaining);
      const std::int32_t units = r.remaining / 2;
      std::int32_t i = 0;
      for (; i < units; ++i) {
        unit = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (unit == 0 || unit == 0x0A || unit == 0x0D) break;
      }
      const std::size_t old = line.size();
      line.resize(old + static_cast<std::size_t>(i));
      for (std::int32_t k = 0; k < i; ++k) line[old + k] = static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8));
      if (i == units) {
        r.remaining -= 2 * units;
        continue;
      }
      r.remaining -= 2 * (i + 1);
    } else {
      if (ReadUnit16(r, unit) < 2) return;  // end of file; an odd last byte is dropped
      if (unit != 0 && unit != 0x0A && unit != 0x0D) {
        line.push_back(unit);
        continue;
      }
    }
    if (unit == 0x0D) SkipLfUnitAfterCr(r);
    return;
  }
}

void Widen(std::string_view ascii, Text& line) {
  std::size_t old = line.size();
  line.resize(old + ascii.size());
  char16_t* out = line.data() + old;
  for (std::size_t i = 0; i < ascii.size(); ++i) out[i] = static_cast<unsigned char>(ascii[i]);
}

// The format a line is read in: the low five bits, 0 for the file's default;
// the UTF-8 check reads UTF-8.
TextFormat FormatOf(const FileRecord& r, std::int32_t formatFlags) {
  if (formatFlags & kCheckUtf8) return TextFormat::Utf8;
  if ((formatFlags & 0x1F) == 0) return r.defaultFormat;
  return static_cast<TextFormat>(formatFlags & 0x1F);
}

// Turns the raw line in r.raw into text. With the UTF-8 check a line that is
// not well-formed UTF-8 is remembered in the record.
void DecodeRawLine(FileRecord& r, bool utf8, bool check, bool high, bool malformed, Text& line) {
  if (utf8) {
    if (check && !malformed && high && !IsWellFormedUtf8(r.raw)) malformed = true;
    if (check && malformed) r.malformedUtf8 = true;
    if (high) {
      // A NUL taken into a sequence comes out of the conversion as a NUL
      // unit; a text ends there, as it does at a NUL byte.
      const std::size_t old = line.size();
      AppendUtf8Decoded(r.raw, line);
      const std::size_t nul = line.find(u'\0', old);
      if (nul != Text::npos) line.resize(nul);
    } else {
      Widen(r.raw, line);
    }
  } else if (HasHighByte(r.raw)) {
    DecodeAnsi(r.raw, line);
  } else {
    Widen(r.raw, line);
  }
}

std::int64_t Position(FileRecord& r) {
  std::int64_t os = OsSeek(r.handle, 0, SeekFrom::Current);
  return r.mode == ReadAhead ? os - r.remaining : os + (r.bufferSize - r.remaining);
}

void SetPosition(FileRecord& r, std::int64_t position) {
  if (r.mode == WriteBehind) Flush(r);
  r.mode = ReadAhead;
  r.remaining = 0;
  OsSeek(r.handle, position, SeekFrom::Begin);
}

TextFormat DetectFormat(FileRecord& r) {
  const std::int64_t start = Position(r);
  unsigned char b[4] = {};
  const std::int64_t k = BufferedRead(r, b, 4);
  const ByteOrderMark mark = DetectByteOrderMark(b, k > 0 ? static_cast<std::size_t>(k) : 0);
  const TextFormat format = mark.format;
  const auto skip = static_cast<std::int64_t>(mark.length);
  // The bytes just read are still in the buffer when it was filled from the
  // start; step back inside it instead of asking the OS to seek.
  if (r.mode == ReadAhead && r.filled - r.remaining == k && start == 0) {
    r.remaining += static_cast<std::int32_t>(k - skip);
  } else {
    SetPosition(r, start + skip);
  }
  return format;
}

bool AtEnd(FileRecord& r) {
  unsigned char byte;
  if (!ReadByte(r, byte)) return true;
  UnreadByte(r);
  return false;
}

void ReadLineInto(FileRecord& r, std::int32_t formatFlags, Text& line) {
  line.clear();
  const TextFormat format = FormatOf(r, formatFlags);
  const bool check = (formatFlags & kCheckUtf8) != 0;
  if (format == TextFormat::Utf16Le) {
    EnterReadAhead(r);
    ReadUtf16Line(r, line);
    return;
  }
  bool malformed = false;
  const bool utf8 = format == TextFormat::Utf8;
  r.raw.clear();
  const bool high = CollectByteLine(r, utf8, malformed);
  DecodeRawLine(r, utf8, check, high, malformed, line);
}

bool IsLineEnd(unsigned char b) { return b == 0 || b == 0x0A || b == 0x0D; }

// Collects the rest of a line up to its end (LF, CR, CR LF, NUL or the end
// of the file) at the end of r.raw, byte by byte as the file has them. With
// `check`, each piece is checked as UTF-8 as it comes: false as soon as a
// byte shows the line is not UTF-8, or when a sequence is cut by its end.
bool CollectToLineEnd(FileRecord& r, Utf8Check* check) {
  for (;;) {
    if (r.remaining == 0 && !Refill(r)) return !check || check->complete();
    const unsigned char* p = r.buffer.get() + (r.filled - r.remaining);
    const unsigned char* end = r.buffer.get() + r.filled;
    const unsigned char* stop = FindLineStop(p, end, false);
    if (check && !check->feed(p, stop)) return false;
    r.raw.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p));
    r.remaining -= static_cast<std::int32_t>(stop - p);
    if (stop == end) continue;
    --r.remaining;
    if (*stop == 0x0D) SkipLfAfterCr(r);
    return !check || check->complete();
  }
}

// The lines of a byte format (ANSI, UTF-8, UTF-8 on trial) into the arena.
// Line ends and bytes of 0x80 and above are found 64 bytes at a time, as
// bit masks that serve every line in those bytes; an ASCII line goes from
// the buffer straight into the arena, a line with other bytes is decoded.
void ReadByteLines(FileRecord& r, bool utf8, bool check, LineArena& lines) {
  unsigned char* const buffer = r.buffer.get();
  std::size_t at = static_cast<std::size_t>(r.filled - r.remaining);  // the next byte to read
  LineStops stops;
  stops.restart(at);
  // Refills the empty buffer; false at the end of the file.
  auto refill = [&] {
    r.remaining = 0;
    if (!Refill(r)) return false;
    at = 0;
    stops.restart(0);
    return true;
  };
  // After reading through the record: the buffer may have been refilled.
  auto resync = [&] {
    at = static_cast<std::size_t>(r.filled - r.remaining);
    stops.restart(at);
  };
  Text decoded;
  for (;;) {
    if (at == static_cast<std::size_t>(r.filled) && !refill()) return;  // no line begins at the end
    // Leading spaces are dropped as bytes: a space unit comes only from a
    // space byte, and the first other byte never decodes to a space.
    for (;;) {
      at = static_cast<std::size_t>(SkipSpaces(buffer + at, buffer + r.filled) - buffer);
      if (at < static_cast<std::size_t>(r.filled)) break;
      if (!refill()) {
        lines.endNarrowLine();
        return;
      }
    }
    // ASCII runs go straight into the arena until the line's end.
    for (;;) {
      std::size_t stop = 0;
      bool found = stops.next(at, stop);
      std::uint64_t high;
      while (!found && stops.scan(buffer, static_cast<std::size_t>(r.filled), high, true)) found = stops.next(at, stop);
      if (!found) {  // the buffer ends inside the line
        lines.addNarrow(buffer + at, static_cast<std::size_t>(r.filled) - at);
        if (!refill()) {
          lines.endNarrowLine();
          return;
        }
        continue;
      }
      lines.addNarrow(buffer + at, stop - at);
      const unsigned char b = buffer[stop];
      if (IsLineEnd(b)) {
        at = stop + 1;
        if (b == 0x0D) {
          if (at < static_cast<std::size_t>(r.filled)) {
            if (buffer[at] == 0x0A) ++at;
          } else {
            r.remaining = 0;
            SkipLfAfterCr(r);
            resync();
          }
        }
        lines.endNarrowLine();
        break;
      }
      // A byte of 0x80 or above: the line needs decoding. Its ASCII start
      // comes back out of the arena and the rest is collected from here.
      r.remaining = static_cast<std::int32_t>(static_cast<std::size_t>(r.filled) - stop);
      r.raw.clear();
      lines.takeOpenLine(r.raw);
      bool high8 = true, malformed = false;
      if (utf8 && !check) {
        // As ReadTextLine reads it: a lead byte takes its sequence's bytes as they come.
        high8 = CollectByteLine(r, true, malformed);
      } else {
        // On trial, reading ends at the first sign that the file is not
        // UTF-8 and that line is not stored: its bytes can be anything, a
        // whole file that never holds a line end as UTF-8 reads it.
        Utf8Check trial;
        if (!CollectToLineEnd(r, check ? &trial : nullptr)) {
          r.malformedUtf8 = true;
          return;
        }
      }
      decoded.clear();
      DecodeRawLine(r, utf8, false, high8, malformed, decoded);
      lines.append(decoded);
      resync();
      break;
    }
  }
}

void ReadLines(FileRecord& r, std::int32_t formatFlags, LineArena& lines) {
  const TextFormat format = FormatOf(r, formatFlags);
  EnterReadAhead(r);
  if (format != TextFormat::Utf16Le) {
    ReadByteLines(r, format == TextFormat::Utf8, (formatFlags & kCheckUtf8) != 0, lines);
    return;
  }
  Text line;
  while (r.remaining > 0 || Refill(r)) {
    line.clear();
    ReadUtf16Line(r, line);
    std::size_t spaces = 0;
    while (spaces < line.size() && line[spaces] == u' ') ++spaces;
    lines.append(TextView(line).substr(spaces));
  }
}

}  // namespace

std::intptr_t OpenFileForReading(std::int64_t number, TextView path) {
  if (number < 0) return 0;
  CloseNumberedFile(number);
  return Install(number, OsOpenExisting(path), true);
}

std::intptr_t CreateOutputFile(std::int64_t number, TextView path) {
  if (number < 0) return 0;
  CloseNumberedFile(number);
  OsHandle handle = OsCreateAlways(path);
  if (handle == kInvalidHandle) handle = OsTruncateExisting(path);
  return Install(number, handle, false);
}

std::int64_t NumberedFilePosition(std::int64_t number) {
  FileRecord* r = Find(number);
  return r ? Position(*r) : 0;
}

void SetNumberedFilePosition(std::int64_t number, std::int64_t position) {
  if (FileRecord* r = Find(number)) SetPosition(*r, position);
}

TextFormat DetectTextFormat(std::int64_t number) {
  FileRecord* r = Find(number);
  return r ? DetectFormat(*r) : TextFormat::Ansi;
}

bool AtEndOfFile(std::int64_t number) {
  FileRecord* r = Find(number);
  return !r || AtEnd(*r);
}

bool ReadTextLineInto(std::int64_t number, std::int32_t formatFlags, Text& line) {
  line.clear();
  FileRecord* r = Find(number);
  if (!r) return false;
  ReadLineInto(*r, formatFlags, line);
  return true;
}

void ReadLinesWithoutLeadingSpaces(std::int64_t number, std::int32_t formatFlags, LineArena& lines) {
  if (FileRecord* r = Find(number)) ReadLines(*r, formatFlags, lines);
}

Text ReadTextLine(std::int64_t number, std::int32_t formatFlags) {
  Text line;
  ReadTextLineInto(number, formatFlags, line);
  return line;
}

bool NumberedFileSawMalformedUtf8(std::int64_t number) {
  FileRecord* r = Find(number);
  return r && r->malformedUtf8;
}

std::int64_t WriteText(std::int64_t number, TextView text, TextFormat format) {
  FileRecord* r = Find(number);
  if (!r || text.empty()) return 0;
  if (static_cast<std::int32_t>(format) == 0) format = r->defaultFormat;
  if (format == TextFormat::Utf16Le) {
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return BufferedWrite(*r, bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  static thread_local std::string bytes;
  bytes.clear();
  if (format == TextFormat::Utf8) AppendUtf8Encoded(text, bytes);
  else EncodeAnsi(text, bytes);
  if (bytes.empty()) return 0;
  return BufferedWrite(*r, bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void WriteTextLine(std::int64_t number, TextView text) {
  FileRecord* r = Find(number);
  if (!r) return;
  WriteText(number, text, r->defaultFormat);
  WriteText(number, u"\r\n", r->defaultFormat);
}

bool NumberedFileFailed(std::int64_t number) {
  FileRecord* r = Find(number);
  return r && r->failed;
}

bool CloseNumberedFile(std::int64_t number) {
  FileRecord* r = Find(number);
  if (!r) return true;
  if (r->mode == WriteBehind) Flush(*r);
  bool ok = OsClose(r->handle) && !r->failed;
  FileTable()[static_cast<std::size_t>(number)].reset();
  return ok;
}

void CloseAllNumberedFiles() {
  auto& table = FileTable();
  for (std::size_t i = 0; i < table.size(); ++i) CloseNumberedFile(static_cast<std::int64_t>(i));
}

// A reader takes whole files in bulk: fewer, larger reads than the numbered
// files' 4096 bytes.
constexpr std::int32_t kReaderBufferBytes = 1 << 17;

TextFileReader::TextFileReader() = default;
TextFileReader::~TextFileReader() { close(); }

bool TextFileReader::open(TextView path) {
  close();
  const OsHandle handle = OsOpenExisting(path);
  if (handle == kInvalidHandle) return false;
  record_ = NewRecord(handle, true, kReaderBufferBytes);
  return true;
}

void TextFileReader::close() {
  if (record_) OsClose(record_->handle);
  record_.reset();
}

TextFormat TextFileReader::detectFormat() { return record_ ? DetectFormat(*record_) : TextFormat::Ansi; }
bool TextFileReader::atEnd() { return !record_ || AtEnd(*record_); }

void TextFileReader::readLinesWithoutLeadingSpaces(std::int32_t formatFlags, LineArena& lines) {
  if (record_) ReadLines(*record_, formatFlags, lines);
}

bool TextFileReader::sawMalformedUtf8() const { return record_ && record_->malformedUtf8; }
std::int64_t TextFileReader::position() { return record_ ? Position(*record_) : 0; }

void TextFileReader::setPosition(std::int64_t position) {
  if (record_) SetPosition(*record_, position);
}

std::int64_t TextFileReader::size() const { return record_ ? OsFileSize(record_->handle) : -1; }
FileIdentity TextFileReader::identity() const { return record_ ? OsHandleIdentity(record_->handle) : FileIdentity{}; }
