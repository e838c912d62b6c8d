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

// The CRC register is linear in the bytes: the register after A then B is the register
// after A shifted over |B| zero bytes, plus the register of B alone from zero. A shift
// over n bytes is a product with x^(8n) modulo the polynomial.
constexpr std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if (a & m) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// x^(8n) modulo the polynomial, in the reflected order of the register.
constexpr std::uint32_t ShiftOverBytes(std::size_t n) {
  std::uint32_t result = 1u << 31;  // x^0
  std::uint32_t square = 1u << 23;  // x^8: one byte
  for (; n != 0; n >>= 1) {
    if (n & 1) result = MultiplyModP(square, result);
    square = MultiplyModP(square, square);
  }
  return result;
}

#if defined(__x86_64__)
// Each crc32 instruction waits for the one before on the same register; three registers
// over three lanes of a stretch keep the processor's unit busy, about three times the
// speed of one.
constexpr std::size_t kLane = 64u << 10;
constexpr std::uint32_t kShiftLane = ShiftOverBytes(kLane);
constexpr std::uint32_t kShiftTwoLanes = ShiftOverBytes(2 * kLane);

__attribute__((target("sse4.2"))) std::uint32_t HardwareCrc(std::uint32_t crc,
                                                            const unsigned char* p,
                                                            std::size_t length) {
  std::uint64_t c = crc;
  for (; length >= 3 * kLane; length -= 3 * kLane, p += 3 * kLane) {
    std::uint64_t c1 = 0, c2 = 0;
    for (std::size_t i = 0; i < kLane; i += 8) {
      std::uint64_t w0, w1, w2;
      std::memcpy(&w0, p + i, 8);
      std::memcpy(&w1, p + kLane + i, 8);
      std::memcpy(&w2, p + 2 * kLane + i, 8);
      c = _mm_crc32_u64(c, w0);
      c1 = _mm_crc32_u64(c1, w1);
      c2 = _mm_crc32_u64(c2, w2);
    }
    c = MultiplyModP(kShiftTwoLanes, static_cast<std::uint32_t>(c)) ^
        MultiplyModP(kShiftLane, static_cast<std::uint32_t>(c1)) ^ static_cast<std::uint32_t>(c2);
  }
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
