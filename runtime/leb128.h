// Unsigned numbers as LEB128, the form the program's records set aside use:
// seven bits a byte, the lowest first, the high bit set on every byte but
// the last. AppendLeb128 adds one to `out`. ReadLeb128 reads one from `in` at
// `at` and moves `at` past it; a number cut short by the end of `in` gives
// what was read of it (the caller's records never are).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline void AppendLeb128(std::string& out, std::uint64_t n) {
  while (n >= 0x80) {
    out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
    n >>= 7;
  }
  out.push_back(static_cast<char>(n));
}

inline std::uint64_t ReadLeb128(std::string_view in, std::size_t& at) {
  std::uint64_t n = 0;
  for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
    const auto b = static_cast<unsigned char>(in[at++]);
    n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) break;
  }
  return n;
}
