#include "runtime/codepage.h"

#include <windows.h>

#include <climits>

void DecodeAnsi(std::string_view bytes, Text& out) {
  // Each byte gives at most one UTF-16 unit; convert in slices that fit an int.
  while (!bytes.empty()) {
    const int n = static_cast<int>(bytes.size() > INT_MAX / 2 ? INT_MAX / 2 : bytes.size());
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n));
    const int got = MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(&out[old]), n);
    out.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void EncodeAnsi(TextView text, std::string& out) {
  while (!text.empty()) {
    int n = static_cast<int>(text.size() > INT_MAX / 4 ? INT_MAX / 4 : text.size());
    if (static_cast<std::size_t>(n) < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    const auto wide = reinterpret_cast<const wchar_t*>(text.data());
    const int need = WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr);
    if (need > 0) {
      const std::size_t old = out.size();
      out.resize(old + static_cast<std::size_t>(need));
      const int got = WideCharToMultiByte(CP_ACP, 0, wide, n, &out[old], need, nullptr, nullptr);
      out.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}
