// The DES block cipher of FIPS 46, encryption only, in its fast form: eight tables of 64 words
// that merge each S-box with the permutation P, the initial and final permutations done by
// masked bit swaps, and the round keys built from eight tables indexed by 7-bit pieces of the
// key halves. Every table is generated at compile time from the standard's own definitions
// below, and the static_asserts prove each fast step equal to its definition, so no table here
// has to be taken on trust. Internal to the engine (ctr.cpp).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace qelo::des {

using KeySchedule = std::array<std::uint64_t, 16>;

// ---- The definitions of FIPS 46. Bits are numbered from 1 at the most significant end.

inline constexpr std::array<std::uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

inline constexpr std::array<std::uint8_t, 48> kExpansion = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

inline constexpr std::array<std::uint8_t, 32> kPermutation = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// S1 to S8, each four rows of sixteen.
inline constexpr std::array<std::array<std::uint8_t, 64>, 8> kSBoxes = {{
    {14, 4,  13, 1,  2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0,  7,
     0,  15, 7,  4,  14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3,  8,
     4,  1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5,  0,
     15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0,  5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0,  1,  10, 6,  9,  11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8,  12, 6,  9,  3,  2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3,  4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15,
     13, 8,  11, 5,  6,  15, 0,  3,  4,  7,  2,  12, 1,  10, 14, 9,
     10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14, 5,  2,  8,  4,
     3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9,  8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3,  0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7,  12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,
     13, 0,  11, 7,  4,  9,  1,  10, 14, 3,  5,  12, 2,  15, 8,  6,
     1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,  0,  5,  9,  2,
     6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8,  10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
}};

inline constexpr std::array<std::uint8_t, 56> kPermutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

inline constexpr std::array<std::uint8_t, 48> kPermutedChoice2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

inline constexpr std::array<std::uint8_t, 16> kRotations = {1, 1, 2, 2, 2, 2, 2, 2,
                                                            1, 2, 2, 2, 2, 2, 2, 1};

// Output bit i is input bit table[i]; the input has `inWidth` bits.
template <std::size_t N>
constexpr std::uint64_t Select(std::uint64_t in, int inWidth,
                               const std::array<std::uint8_t, N>& table) {
  std::uint64_t out = 0;
  for (std::uint8_t bit : table) out = (out << 1) | ((in >> (inWidth - bit)) & 1);
  return out;
}

inline constexpr auto kFinalPermutation = [] {
  std::array<std::uint8_t, 64> inverse{};
  for (int i = 0; i < 64; ++i) inverse[kInitialPermutation[i] - 1] = static_cast<std::uint8_t>(i + 1);
  return inverse;
}();

constexpr std::uint32_t SBox(int box, std::uint32_t six) {
  const std::uint32_t row = ((six >> 4) & 2) | (six & 1);
  const std::uint32_t column = (six >> 1) & 15;
  return kSBoxes[box][row * 16 + column];
}

constexpr std::uint32_t Rotate28(std::uint32_t half, int count) {
  return ((half << count) | (half >> (28 - count))) & 0x0FFFFFFF;
}

// ---- The fast form.
//
// The rounds hold both halves rotated left by one bit. Then the six input bits of S-boxes
// 2, 4, 6, 8 stand at bits 29-24, 21-16, 13-8, 5-0 of the half, and those of S-boxes 1, 3, 5, 7
// at the same places of the half rotated right by four: the expansion E costs one rotation.
// A round key is kept "cooked" to match: the six key bits of S-box 1, 3, 5, 7 at bits 29-24,
// 21-16, 13-8, 5-0 of its high word, those of S-box 2, 4, 6, 8 likewise in its low word.

constexpr std::uint64_t Cook(std::uint64_t subkey48) {
  std::uint64_t high = 0, low = 0;
  for (int box = 0; box < 8; ++box) {
    const std::uint64_t six = (subkey48 >> (42 - 6 * box)) & 63;
    (box % 2 == 0 ? high : low) |= six << (24 - 8 * (box / 2));
  }
  return high << 32 | low;
}

// S-box and P merged, the result in the rotated form.
inline constexpr auto kSp = [] {
  std::array<std::array<std::uint32_t, 64>, 8> sp{};
  for (int box = 0; box < 8; ++box)
    for (std::uint32_t six = 0; six < 64; ++six) {
      const std::uint64_t sOut = std::uint64_t{SBox(box, six)} << (28 - 4 * box);
      sp[box][six] = std::rotl(static_cast<std::uint32_t>(Select(sOut, 32, kPermutation)), 1);
    }
  return sp;
}();

// Entry v of table t: the cooked round-key bits that the 7-bit piece t of C (t 0-3) or D
// (t 4-7), holding v, gives through PC-2.
inline constexpr auto kKeyTables = [] {
  std::array<std::array<std::uint64_t, 128>, 8> tables{};
  for (int t = 0; t < 8; ++t)
    for (std::uint64_t v = 0; v < 128; ++v)
      tables[t][v] = Cook(Select(v << (49 - 7 * t), 56, kPermutedChoice2));
  return tables;
}();

// Exchanges the bits of `a` selected by mask << shift with the bits of `b` selected by mask.
constexpr void SwapBits(std::uint32_t& a, std::uint32_t& b, int shift, std::uint32_t mask) {
  const std::uint32_t t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

// IP of the block (l, r), each half left rotated by one bit for the rounds.
constexpr void InitialPermutation(std::uint32_t& l, std::uint32_t& r) {
  SwapBits(l, r, 4, 0x0F0F0F0F);
  SwapBits(l, r, 16, 0x0000FFFF);
  SwapBits(r, l, 2, 0x33333333);
  SwapBits(r, l, 8, 0x00FF00FF);
  r = std::rotl(r, 1);
  SwapBits(l, r, 0, 0xAAAAAAAA);
  l = std::rotl(l, 1);
}

// The exact inverse of InitialPermutation, which is the standard's IP^-1.
constexpr void FinalPermutation(std::uint32_t& l, std::uint32_t& r) {
  l = std::rotr(l, 1);
  SwapBits(l, r, 0, 0xAAAAAAAA);
  r = std::rotr(r, 1);
  SwapBits(r, l, 8, 0x00FF00FF);
  SwapBits(r, l, 2, 0x33333333);
  SwapBits(l, r, 16, 0x0000FFFF);
  SwapBits(l, r, 4, 0x0F0F0F0F);
}

// f(R, K) with R and the result in the rotated form.
constexpr std::uint32_t F(std::uint32_t r, std::uint64_t cookedKey) {
  const std::uint32_t odd = std::rotr(r, 4) ^ static_cast<std::uint32_t>(cookedKey >> 32);
  const std::uint32_t even = r ^ static_cast<std::uint32_t>(cookedKey);
  return kSp[0][(odd >> 24) & 63] | kSp[2][(odd >> 16) & 63] | kSp[4][(odd >> 8) & 63] |
         kSp[6][odd & 63] | kSp[1][(even >> 24) & 63] | kSp[3][(even >> 16) & 63] |
         kSp[5][(even >> 8) & 63] | kSp[7][even & 63];
}

// One round on each of N independent blocks. The rounds of one block form a chain of dependent
// table lookups; interleaving other blocks keeps the processor busy while it waits.
template <std::size_t N>
constexpr void Round(std::array<std::uint32_t, N>& target,
                     const std::array<std::uint32_t, N>& source, std::uint64_t cookedKey) {
#pragma GCC unroll 8
  for (std::size_t i = 0; i < N; ++i) target[i] ^= F(source[i], cookedKey);
}

// Encrypts N blocks, each with its first byte in the most significant position.
template <std::size_t N>
constexpr std::array<std::uint64_t, N> EncryptBlocks(std::array<std::uint64_t, N> blocks,
                                                     const KeySchedule& ks) {
  std::array<std::uint32_t, N> l{}, r{};
  for (std::size_t i = 0; i < N; ++i) {
    l[i] = static_cast<std::uint32_t>(blocks[i] >> 32);
    r[i] = static_cast<std::uint32_t>(blocks[i]);
    InitialPermutation(l[i], r[i]);
  }
  Round(l, r, ks[0]);
  Round(r, l, ks[1]);
  Round(l, r, ks[2]);
  Round(r, l, ks[3]);
  Round(l, r, ks[4]);
  Round(r, l, ks[5]);
  Round(l, r, ks[6]);
  Round(r, l, ks[7]);
  Round(l, r, ks[8]);
  Round(r, l, ks[9]);
  Round(l, r, ks[10]);
  Round(r, l, ks[11]);
  Round(l, r, ks[12]);
  Round(r, l, ks[13]);
  Round(l, r, ks[14]);
  Round(r, l, ks[15]);
  // The last round does not exchange the halves: the output is IP^-1(R16 L16).
  for (std::size_t i = 0; i < N; ++i) {
    FinalPermutation(r[i], l[i]);
    blocks[i] = std::uint64_t{r[i]} << 32 | l[i];
  }
  return blocks;
}

constexpr std::uint64_t EncryptBlock(std::uint64_t block, const KeySchedule& ks) {
  return EncryptBlocks<1>({block}, ks)[0];
}

// PC-1 reads the key bytes as the rows of an 8 x 8 bit matrix and takes its columns, each from
// the last byte to the first: C is columns 1, 2, 3 and the first half of 4, D columns 7, 6, 5
// and the second half of 4; column 8 (parity) is dropped. So it is a transpose of the matrix
// with its rows reversed, done in three masked swaps.
constexpr std::uint64_t PermutedChoice1(std::uint64_t key) {
  std::uint64_t x = __builtin_bswap64(key);
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AA;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCC;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0;
  x ^= t ^ (t << 28);
  const auto column = [x](int n) { return (x >> (64 - 8 * n)) & 0xFF; };
  const std::uint64_t c = column(1) << 20 | column(2) << 12 | column(3) << 4 | column(4) >> 4;
  const std::uint64_t d = column(7) << 20 | column(6) << 12 | column(5) << 4 | (column(4) & 0x0F);
  return c << 28 | d;
}

// The sixteen cooked round keys; the low bit of each key byte (parity) takes no part.
constexpr KeySchedule MakeKeySchedule(std::uint64_t key) {
  const std::uint64_t cd = PermutedChoice1(key);
  std::uint32_t c = static_cast<std::uint32_t>(cd >> 28);
  std::uint32_t d = static_cast<std::uint32_t>(cd & 0x0FFFFFFF);
  KeySchedule ks{};
  for (int round = 0; round < 16; ++round) {
    c = Rotate28(c, kRotations[round]);
    d = Rotate28(d, kRotations[round]);
    ks[round] = kKeyTables[0][c >> 21] | kKeyTables[1][(c >> 14) & 127] |
                kKeyTables[2][(c >> 7) & 127] | kKeyTables[3][c & 127] |
                kKeyTables[4][d >> 21] | kKeyTables[5][(d >> 14) & 127] |
                kKeyTables[6][(d >> 7) & 127] | kKeyTables[7][d & 127];
  }
  return ks;
}

// ---- Proofs. The permutations, the expansion and the key schedule are linear over GF(2), so
// agreeing with the definition on every single-bit input means agreeing on every input.

constexpr bool SBoxRowsArePermutations() {
  for (const auto& box : kSBoxes)
    for (int row = 0; row < 4; ++row) {
      unsigned seen = 0;
      for (int column = 0; column < 16; ++column) seen |= 1u << box[row * 16 + column];
      if (seen != 0xFFFF) return false;
    }
  return true;
}

constexpr bool PermutationsMatchStandard() {
  for (int bit = 0; bit < 64; ++bit) {
    const std::uint64_t block = std::uint64_t{1} << bit;
    std::uint32_t l = static_cast<std::uint32_t>(block >> 32);
    std::uint32_t r = static_cast<std::uint32_t>(block);
    InitialPermutation(l, r);
    const std::uint64_t ip = std::uint64_t{std::rotr(l, 1)} << 32 | std::rotr(r, 1);
    if (ip != Select(block, 64, kInitialPermutation)) return false;

    l = std::rotl(static_cast<std::uint32_t>(block >> 32), 1);
    r = std::rotl(static_cast<std::uint32_t>(block), 1);
    FinalPermutation(l, r);
    if ((std::uint64_t{l} << 32 | r) != Select(block, 64, kFinalPermutation)) return false;
  }
  return true;
}

constexpr bool ExpansionMatchesStandard() {
  for (int bit = 0; bit < 32; ++bit) {
    const std::uint32_t half = std::uint32_t{1} << bit;
    const std::uint32_t rotated = std::rotl(half, 1);
    const std::uint64_t fast = std::uint64_t{std::rotr(rotated, 4) & 0x3F3F3F3F} << 32 |
                               (rotated & 0x3F3F3F3F);
    if (fast != Cook(Select(half, 32, kExpansion))) return false;
  }
  return true;
}

constexpr bool KeyScheduleMatchesStandard() {
  for (int bit = 0; bit < 64; ++bit) {
    const std::uint64_t key = std::uint64_t{1} << bit;
    const KeySchedule fast = MakeKeySchedule(key);
    const std::uint64_t cd = Select(key, 64, kPermutedChoice1);
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28);
    std::uint32_t d = static_cast<std::uint32_t>(cd & 0x0FFFFFFF);
    for (int round = 0; round < 16; ++round) {
      c = Rotate28(c, kRotations[round]);
      d = Rotate28(d, kRotations[round]);
      const std::uint64_t subkey = Select(std::uint64_t{c} << 28 | d, 56, kPermutedChoice2);
      if (fast[round] != Cook(subkey)) return false;
    }
  }
  return true;
}

static_assert(SBoxRowsArePermutations());
static_assert(PermutationsMatchStandard());
static_assert(ExpansionMatchesStandard());
static_assert(KeyScheduleMatchesStandard());
// A published vector through the whole cipher checks the S-box values as well.
static_assert(EncryptBlock(0x0123456789ABCDEF, MakeKeySchedule(0x133457799BBCDFF1)) ==
              0x85E813540F0AB405);

}  // namespace qelo::des
