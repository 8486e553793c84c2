#include "system_utf8.h"

#include <windows.h>

bool SystemUtf8Available() { return true; }

Text SystemUtf8Decoded(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  Text out(bytes.size(), u'\0');
  const int got = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data()), size);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

std::string SystemUtf8Encoded(TextView text) {
  if (text.empty()) return {};
  const auto wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const int need = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
  std::string out(need > 0 ? static_cast<std::size_t>(need) : 0, '\0');
  if (need > 0) WideCharToMultiByte(CP_UTF8, 0, wide, units, out.data(), need, nullptr, nullptr);
  return out;
}
