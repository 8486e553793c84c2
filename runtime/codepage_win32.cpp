#include "runtime/codepage.h"

#include <windows.h>

#include <climits>

namespace {

void Decode(UINT codePage, std::string_view bytes, std::u16string& out) {
  // Each byte gives at most one UTF-16 unit; convert in slices that fit an int.
  while (!bytes.empty()) {
    int n = static_cast<int>(bytes.size() > INT_MAX / 2 ? INT_MAX / 2 : bytes.size());
    if (codePage == CP_UTF8 && static_cast<std::size_t>(n) < bytes.size()) {
      while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;  // keep sequences whole
    }
    std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n));
    int got = MultiByteToWideChar(codePage, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(&out[old]), n);
    out.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void Encode(UINT codePage, std::u16string_view text, std::string& out) {
  while (!text.empty()) {
    int n = static_cast<int>(text.size() > INT_MAX / 4 ? INT_MAX / 4 : text.size());
    if (static_cast<std::size_t>(n) < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    auto wide = reinterpret_cast<const wchar_t*>(text.data());
    int need = WideCharToMultiByte(codePage, 0, wide, n, nullptr, 0, nullptr, nullptr);
    if (need > 0) {
      std::size_t old = out.size();
      out.resize(old + static_cast<std::size_t>(need));
      int got = WideCharToMultiByte(codePage, 0, wide, n, &out[old], need, nullptr, nullptr);
      out.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

void DecodeUtf8(std::string_view bytes, std::u16string& out) { Decode(CP_UTF8, bytes, out); }
void DecodeAnsi(std::string_view bytes, std::u16string& out) { Decode(CP_ACP, bytes, out); }
void EncodeUtf8(std::u16string_view text, std::string& out) { Encode(CP_UTF8, text, out); }
void EncodeAnsi(std::u16string_view text, std::string& out) { Encode(CP_ACP, text, out); }
