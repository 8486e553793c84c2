#include "runtime/printable_name.h"

Text PrintableName(TextView name) {
  static constexpr char kHex[] = "0123456789abcdef";
  Text out;
  out.reserve(name.size());
  for (char16_t c : name) {
    const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
    const bool controlByte = c >= 0xDC80 && c <= 0xDC9F;  // such a byte of a name that is not UTF-8
    if (c == u'\n') out += u"\\n";
    else if (c == u'\t') out += u"\\t";
    else if (c == u'\r') out += u"\\r";
    else if (control || controlByte) {
      const unsigned value = controlByte ? c - 0xDC00u : c;
      out += controlByte || value < 0x80 ? u"\\x" : u"\\u00";
      out.push_back(static_cast<char16_t>(kHex[value >> 4]));
      out.push_back(static_cast<char16_t>(kHex[value & 15]));
    } else {
      out.push_back(c);
    }
  }
  return out;
}
