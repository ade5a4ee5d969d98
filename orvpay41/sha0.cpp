// SHA-0 (FIPS 180, 1993): the digest the gateway protocol signs with. OpenSSL 3 dropped it.
// It is SHA-1 without the one-bit rotation in the message schedule.
#include <cstdint>
#include <cstring>

#include "security.h"

namespace orv {

namespace {

constexpr size_t kBlockSize = 64;

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadBigEndian(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void StoreBigEndian(uint32_t x, unsigned char* p) {
  p[0] = static_cast<unsigned char>(x >> 24);
  p[1] = static_cast<unsigned char>(x >> 16);
  p[2] = static_cast<unsigned char>(x >> 8);
  p[3] = static_cast<unsigned char>(x);
}

void CompressBlock(uint32_t state[5], const unsigned char* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];

  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  const auto step = [&](uint32_t f, uint32_t k, uint32_t wt) {
    const uint32_t next = RotateLeft(a, 5) + f + e + k + wt;
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  };
  // Four rounds of 20 steps, each with its own function and constant.
#pragma GCC unroll 20
  for (int t = 0; t < 20; ++t) step(d ^ (b & (c ^ d)), 0x5A827999, w[t]);
#pragma GCC unroll 20
  for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ED9EBA1, w[t]);
#pragma GCC unroll 20
  for (int t = 40; t < 60; ++t) step((b & c) | (d & (b | c)), 0x8F1BBCDC, w[t]);
#pragma GCC unroll 20
  for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xCA62C1D6, w[t]);
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

Sha0Digest Sha0(std::string_view bytes) {
  uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t whole = bytes.size() / kBlockSize * kBlockSize;
  for (size_t i = 0; i < whole; i += kBlockSize) CompressBlock(state, data + i);

  // The tail, a 1 bit, zeros, and the length in bits fill one or two last blocks.
  unsigned char last[2 * kBlockSize] = {};
  const size_t rest = bytes.size() - whole;
  if (rest != 0) std::memcpy(last, data + whole, rest);
  last[rest] = 0x80;
  const size_t lastSize = rest + 1 + 8 <= kBlockSize ? kBlockSize : 2 * kBlockSize;
  const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
  StoreBigEndian(static_cast<uint32_t>(bits >> 32), last + lastSize - 8);
  StoreBigEndian(static_cast<uint32_t>(bits), last + lastSize - 4);
  for (size_t i = 0; i < lastSize; i += kBlockSize) CompressBlock(state, last + i);

  Sha0Digest digest;
  for (int i = 0; i < 5; ++i) StoreBigEndian(state[i], digest.data() + 4 * i);
  return digest;
}

}  // namespace orv
