// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "common/crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace quorvane {

namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78u;  // reflected

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

std::uint32_t TableCrc(std::uint32_t crc, const unsigned char* p, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) std::uint32_t HardwareCrc(std::uint32_t crc,
                                                            const unsigned char* p,
                                                            std::size_t length) {
  std::uint64_t c = crc;
  for (; length >= 8; length -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    c = _mm_crc32_u64(c, word);
  }
  auto c32 = static_cast<std::uint32_t>(c);
  for (; length > 0; --length, ++p) c32 = _mm_crc32_u8(c32, *p);
  return c32;
}

bool HasHardwareCrc() {
  static const bool has = __builtin_cpu_supports("sse4.2");
  return has;
}
#endif

}  // namespace

std::uint32_t Crc32c(std::uint32_t crc, const void* bytes, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  crc = ~crc;
#if defined(__x86_64__)
  if (HasHardwareCrc()) return ~HardwareCrc(crc, p, length);
#endif
  return ~TableCrc(crc, p, length);
}

}  // namespace quorvane
