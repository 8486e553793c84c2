#include "reference_reader.h"

#include "runtime/codepage.h"
#include "runtime/utf8.h"

namespace {

struct Cursor {
  std::string_view bytes;
  std::size_t position;
  bool atEnd() const { return position >= bytes.size(); }
  unsigned char next() { return static_cast<unsigned char>(bytes[position++]); }
};

// One line of single bytes or UTF-8 sequences; true when it was cut short or
// held a byte that cannot lead a sequence.
bool ReadByteLine(Cursor& in, bool utf8, std::string& raw) {
  bool malformed = false;
  while (!in.atEnd()) {
    const unsigned char b = in.next();
    if (b == 0x00 || b == 0x0A) break;
    if (b == 0x0D) {
      if (!in.atEnd() && static_cast<unsigned char>(in.bytes[in.position]) == 0x0A) ++in.position;
      break;
    }
    if (!utf8 || b < 0x80) {
      raw.push_back(static_cast<char>(b));
      continue;
    }
    int more = -1;
    if ((b & 0xE0) == 0xC0) more = 1;
    else if ((b & 0xF0) == 0xE0) more = 2;
    else if ((b & 0xF8) == 0xF0) more = 3;
    if (more < 0) {
      raw.push_back('?');
      malformed = true;
      continue;
    }
    if (in.bytes.size() - in.position < static_cast<std::size_t>(more)) {
      in.position = in.bytes.size();  // cut short by the end: dropped
      malformed = true;
      break;
    }
    raw.push_back(static_cast<char>(b));
    for (int k = 0; k < more; ++k) raw.push_back(static_cast<char>(in.next()));
  }
  return malformed;
}

Text ReadUtf16Line(Cursor& in) {
  Text line;
  for (;;) {
    if (in.bytes.size() - in.position < 2) {
      in.position = in.bytes.size();  // an odd last byte is dropped
      break;
    }
    const char16_t unit = static_cast<char16_t>(in.next() | (in.next() << 8));
    if (unit == 0 || unit == 0x0A) break;
    if (unit == 0x0D) {
      if (in.bytes.size() - in.position >= 2) {
        const char16_t after = static_cast<char16_t>(static_cast<unsigned char>(in.bytes[in.position]) |
                                                     (static_cast<unsigned char>(in.bytes[in.position + 1]) << 8));
        if (after == 0x0A) in.position += 2;
      } else {
        in.position = in.bytes.size();
      }
      break;
    }
    line.push_back(unit);
  }
  return line;
}

Text WithoutLeadingSpaces(const Text& line) {
  std::size_t spaces = 0;
  while (spaces < line.size() && line[spaces] == u' ') ++spaces;
  return line.substr(spaces);
}

}  // namespace

TextFormat ReferenceDetectFormat(std::string_view bytes, std::size_t& position) {
  const std::string_view b = bytes.substr(std::min(position, bytes.size()), 4);
  auto is = [&](std::string_view mark) { return b.size() >= mark.size() && b.substr(0, mark.size()) == mark; };
  using namespace std::string_view_literals;
  TextFormat format = TextFormat::Ansi;
  std::size_t skip = 0;
  if (is("\xFF\xFE\x00\x00"sv)) { format = TextFormat::Utf32Le; skip = 4; }
  else if (is("\xFF\xFE"sv)) { format = TextFormat::Utf16Le; skip = 2; }
  else if (is("\xEF\xBB\xBF"sv)) { format = TextFormat::Utf8; skip = 3; }
  else if (is("\xFE\xFF"sv)) { format = TextFormat::Utf16Be; skip = 2; }
  else if (is("\x00\x00\xFE\xFF"sv)) { format = TextFormat::Utf32Be; skip = 4; }
  position += skip;
  return format;
}

std::vector<Text> ReferenceReadLines(std::string_view bytes, std::size_t position, std::int32_t formatFlags,
                                     bool* malformed) {
  const bool check = (formatFlags & kCheckUtf8) != 0;
  std::int32_t format = formatFlags & 0x1F;
  if (format == 0 || check) format = static_cast<std::int32_t>(TextFormat::Utf8);
  if (malformed) *malformed = false;
  std::vector<Text> lines;
  Cursor in{bytes, position};
  while (!in.atEnd()) {
    if (format == static_cast<std::int32_t>(TextFormat::Utf16Le)) {
      lines.push_back(ReadUtf16Line(in));
      continue;
    }
    const bool utf8 = format == static_cast<std::int32_t>(TextFormat::Utf8);
    std::string raw;
    const bool bad = ReadByteLine(in, utf8, raw);
    Text line;
    if (utf8) AppendUtf8Decoded(raw, line);
    else DecodeAnsi(raw, line);
    line = line.substr(0, line.find(u'\0'));  // a text ends at a NUL
    lines.push_back(line);
    if (check && (bad || !IsWellFormedUtf8(raw))) {
      if (malformed) *malformed = true;
      break;
    }
  }
  return lines;
}

std::vector<Text> ReferenceLoadLines(std::string_view bytes) {
  std::size_t start = 0;
  const TextFormat format = ReferenceDetectFormat(bytes, start);
  std::vector<Text> lines;
  if (format == TextFormat::Ansi) {
    bool malformed = false;
    lines = ReferenceReadLines(bytes, start, static_cast<std::int32_t>(TextFormat::Utf8) | kCheckUtf8, &malformed);
    if (malformed) lines = ReferenceReadLines(bytes, start, static_cast<std::int32_t>(TextFormat::Ansi));
  } else {
    lines = ReferenceReadLines(bytes, start, static_cast<std::int32_t>(format));
  }
  for (Text& line : lines) line = WithoutLeadingSpaces(line);
  return lines;
}

bool ReferenceIsProject(const std::vector<Text>& lines) {
  if (lines.empty()) return false;
  const Text& first = lines.front();
  std::size_t at = 0;
  while (at < first.size() && (first[at] == u' ' || first[at] == u'\t')) ++at;
  const TextView rest = TextView(first).substr(at);
  const TextView word = u"<REAPER_PROJECT";
  if (rest.substr(0, word.size()) != word) return false;
  return rest.size() == word.size() || rest[word.size()] == u' ' || rest[word.size()] == u'\t';
}

std::string WithProjectHeader(std::string_view bytes) {
  std::size_t start = 0;
  const TextFormat format = ReferenceDetectFormat(bytes, start);
  std::string header = "<REAPER_PROJECT";
  header.resize(kProjectHeaderBytes - 1, ' ');
  header += '\n';
  if (format == TextFormat::Utf16Le) {
    std::string units;
    for (std::size_t i = 0; i < kProjectHeaderBytes / 2; ++i) {
      units.push_back(i + 1 < kProjectHeaderBytes / 2 ? header[i] : '\n');
      units.push_back('\0');
    }
    header = units;
  }
  return std::string(bytes.substr(0, start)) + header + std::string(bytes.substr(start));
}
