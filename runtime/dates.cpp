#include "runtime/dates.h"

#include <array>

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kEpochSeconds1601 = 11644473600;  // 1601-01-01 to 1970-01-01

struct Civil { std::int64_t year, month, day, hour, minute, second; };

// Days since 1970-01-01 to a proleptic Gregorian date.
Civil FromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) { rest += 86400; --days; }
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (month <= 2), month, day, rest / 3600, rest / 60 % 60, rest % 60};
}

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool TokenAt(TextView pattern, std::size_t i, std::u16string_view token) {
  if (pattern.size() - i < token.size()) return false;
  for (std::size_t k = 0; k < token.size(); ++k)
    if (Lower(pattern[i + k]) != token[k]) return false;
  return true;
}

void AppendDigits(Text& out, std::int64_t value, int width) {
  Text digits = IntegerToText(value);
  for (auto n = static_cast<int>(digits.size()); n < width; ++n) out.push_back(u'0');
  out += digits;
}

}  // namespace

Text FormatTimestamp(TextView pattern, Timestamp timestamp) {
  if (pattern.empty() || timestamp == -1) return {};
  // The platform's file times span 1601 to 30827 (ticks below 2^63).
  constexpr std::int64_t kLast = 0x7FFFFFFFFFFFFFFF / kTicksPerSecond - kEpochSeconds1601;
  if (timestamp < -kEpochSeconds1601 || timestamp > kLast) return {};
  const Civil c = FromSeconds(timestamp);
  struct Field { std::u16string_view token; std::int64_t value; int width; };
  const std::array<Field, 7> fields = {{{u"yyyy", c.year, 4}, {u"yy", c.year % 100, 2}, {u"mm", c.month, 2},
                                        {u"dd", c.day, 2},    {u"hh", c.hour, 2},       {u"ii", c.minute, 2},
                                        {u"ss", c.second, 2}}};
  Text out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%') {
      const Field* hit = nullptr;
      for (const Field& f : fields)
        if (TokenAt(pattern, i + 1, f.token)) { hit = &f; break; }
      if (hit) {
        AppendDigits(out, hit->value, hit->width);
        i += hit->token.size();
        continue;
      }
    }
    out.push_back(pattern[i]);
  }
  return out;
}

Text FileDateText(TextView path) {
  return FormatTimestamp(u"%dd/%mm/%yyyy %hh:%ii", FileTimestamp(path, TimestampKind::Modified));
}
