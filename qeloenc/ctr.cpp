#include "ctr.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

#include "des.h"

namespace qelo {

namespace {

// The four weak and twelve semi-weak keys of DES, parity bits set as published.
constexpr CTR_BLOCK kWeakKeys[16] = {
    {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
    {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x0E, 0x0E, 0x0E, 0x0E},
    {0xE0, 0xE0, 0xE0, 0xE0, 0xF1, 0xF1, 0xF1, 0xF1},
    {0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE},
    {0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01},
    {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1},
    {0xE0, 0x1F, 0xE0, 0x1F, 0xF1, 0x0E, 0xF1, 0x0E},
    {0x01, 0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1},
    {0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1, 0x01},
    {0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E, 0xFE},
    {0xFE, 0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E},
    {0x01, 0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E},
    {0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E, 0x01},
    {0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1, 0xFE},
    {0xFE, 0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1},
};

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static_assert(sizeof kBase64Alphabet == 64 + 1);

std::uint64_t LoadBlock(const std::uint8_t* bytes) {
  std::uint64_t value;
  std::memcpy(&value, bytes, 8);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

void StoreBlock(std::uint64_t value, std::uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  std::memcpy(bytes, &value, 8);
}

bool IsMode(std::int32_t mode) { return mode >= CTR_MODE_ECB && mode <= CTR_MODE_CFB; }

bool Overlap(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.data() == b.data()) return true;
  const std::less<const std::uint8_t*> before;
  return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

// Encrypts `count` whole blocks from `in` to `out`; `chain` is the mode's register.
template <std::int32_t Mode>
void ProcessBlocks(const des::KeySchedule& ks, std::uint64_t& chain, const std::uint8_t* in,
                   std::uint8_t* out, std::size_t count) {
  if constexpr (Mode == CTR_MODE_ECB) {
    // Blocks are independent here, so they go through the rounds side by side.
    constexpr std::size_t kSideBySide = 4;
    for (; count >= kSideBySide; count -= kSideBySide) {
      std::array<std::uint64_t, kSideBySide> blocks;
      for (std::size_t i = 0; i < kSideBySide; ++i, in += 8) blocks[i] = LoadBlock(in);
      blocks = des::EncryptBlocks(blocks, ks);
      for (std::size_t i = 0; i < kSideBySide; ++i, out += 8) StoreBlock(blocks[i], out);
    }
  }
  for (; count > 0; --count, in += 8, out += 8) {
    const std::uint64_t plain = LoadBlock(in);
    std::uint64_t cipher;
    if constexpr (Mode == CTR_MODE_ECB) {
      cipher = des::EncryptBlock(plain, ks);
    } else if constexpr (Mode == CTR_MODE_CBC) {
      cipher = chain = des::EncryptBlock(plain ^ chain, ks);
    } else if constexpr (Mode == CTR_MODE_OFB) {
      chain = des::EncryptBlock(chain, ks);
      cipher = plain ^ chain;
    } else {
      cipher = chain = des::EncryptBlock(chain, ks) ^ plain;
    }
    StoreBlock(cipher, out);
  }
}

// `mode` must be a valid mode.
void ProcessBlocks(std::int32_t mode, const des::KeySchedule& ks, std::uint64_t& chain,
                   const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
  switch (mode) {
    case CTR_MODE_ECB: return ProcessBlocks<CTR_MODE_ECB>(ks, chain, in, out, count);
    case CTR_MODE_CBC: return ProcessBlocks<CTR_MODE_CBC>(ks, chain, in, out, count);
    case CTR_MODE_OFB: return ProcessBlocks<CTR_MODE_OFB>(ks, chain, in, out, count);
    default: return ProcessBlocks<CTR_MODE_CFB>(ks, chain, in, out, count);
  }
}

// The last block of ECB and CBC.
int FinalBlock(CTR_CONTEXT& context, std::span<std::uint8_t> output, std::size_t& outputLength) {
  const std::uint32_t count = context.pendingCount;
  if (context.padding == CTR_PAD_NONE) return count == 0 ? 0 : CTR_DATA_LEN_ERROR;
  if (context.padding != CTR_PAD_PKCS5) return CTR_FATAL_ERROR;
  if (output.size() < 8) return CTR_USAGE_ERROR;
  CTR_BLOCK last = context.pending;
  std::fill(last.begin() + count, last.end(), static_cast<std::uint8_t>(8 - count));
  std::uint64_t chain = LoadBlock(context.chain.data());
  ProcessBlocks(context.mode, context.keySchedule, chain, last.data(), output.data(), 1);
  StoreBlock(chain, context.chain.data());
  outputLength = 8;
  return 0;
}

// The tail of OFB and CFB: the pending bytes, encrypted as the first bytes of a block.
int FinalTail(CTR_CONTEXT& context, std::span<std::uint8_t> output, std::size_t& outputLength) {
  const std::uint32_t count = context.pendingCount;
  if (output.size() < count) return CTR_USAGE_ERROR;
  const std::uint64_t stream =
      des::EncryptBlock(LoadBlock(context.chain.data()), context.keySchedule);
  const std::uint64_t feedback = stream ^ LoadBlock(context.pending.data());
  // Both modes write the pending bytes combined with E(R); they differ in what R becomes.
  CTR_BLOCK tail;
  StoreBlock(feedback, tail.data());
  std::copy_n(tail.begin(), count, output.begin());
  StoreBlock(context.mode == CTR_MODE_OFB ? stream : feedback, context.chain.data());
  outputLength = count;
  return 0;
}

}  // namespace

void CTR_Init(std::int32_t mode, std::int32_t padding, const CTR_BLOCK* iv, CTR_CONTEXT& context) {
  context.mode = mode;
  context.padding = padding;
  context.initialVector = iv != nullptr ? *iv : CTR_BLOCK{};
}

int CTR_SetKey(std::span<const std::uint8_t> key, CTR_CONTEXT& context) {
  if (key.size() != 8) return CTR_INVALID_USERKEYLEN;
  const std::uint64_t value = LoadBlock(key.data());
  for (const CTR_BLOCK& weak : kWeakKeys)
    if (LoadBlock(weak.data()) == value) return CTR_WEAK_KEY_ERROR;
  context.keySchedule = des::MakeKeySchedule(value);
  return 0;
}

int CTR_Start(CTR_CONTEXT& context) {
  context.pendingCount = 0;
  if (context.mode != CTR_MODE_ECB) context.chain = context.initialVector;
  return 0;
}

int CTR_Update(CTR_CONTEXT& context, std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output, std::size_t& outputLength) {
  outputLength = 0;
  const std::uint32_t pendingCount = context.pendingCount;
  if (pendingCount > 7) return CTR_FATAL_ERROR;
  const std::size_t total = pendingCount + input.size();
  if (total < 8) {
    std::copy(input.begin(), input.end(), context.pending.begin() + pendingCount);
    context.pendingCount = static_cast<std::uint32_t>(total);
    return 0;
  }
  // Blocks are written while later input is still to be read, so no overlap can be allowed.
  if (Overlap(input, output)) return CTR_FATAL_ERROR;
  if (!IsMode(context.mode)) return CTR_FATAL_ERROR;
  const std::size_t whole = total - total % 8;
  if (output.size() < whole) return CTR_USAGE_ERROR;

  std::uint64_t chain = LoadBlock(context.chain.data());
  const std::uint8_t* in = input.data();
  std::uint8_t* out = output.data();
  if (pendingCount > 0) {
    const std::size_t head = 8 - pendingCount;
    std::copy_n(in, head, context.pending.begin() + pendingCount);
    ProcessBlocks(context.mode, context.keySchedule, chain, context.pending.data(), out, 1);
    in += head;
    out += 8;
  }
  const std::size_t blocks = (output.data() + whole - out) / 8;
  ProcessBlocks(context.mode, context.keySchedule, chain, in, out, blocks);
  const std::size_t rest = total % 8;
  std::copy_n(in + blocks * 8, rest, context.pending.begin());
  context.pendingCount = static_cast<std::uint32_t>(rest);
  StoreBlock(chain, context.chain.data());
  outputLength = whole;
  return 0;
}

int CTR_Final(CTR_CONTEXT& context, std::span<std::uint8_t> output, std::size_t& outputLength) {
  outputLength = 0;
  if (context.pendingCount > 7) return CTR_FATAL_ERROR;
  switch (context.mode) {
    case CTR_MODE_ECB:
    case CTR_MODE_CBC: return FinalBlock(context, output, outputLength);
    case CTR_MODE_OFB:
    case CTR_MODE_CFB: return FinalTail(context, output, outputLength);
    default: return CTR_FATAL_ERROR;
  }
}

int CTR_Base64Encode(CTR_OUTPUT_BUFFER& buffer, std::span<const std::uint8_t> data) {
  const std::size_t characters = (data.size() + 2) / 3 * 4;
  const std::size_t lineFeeds = (characters >= 72 ? (characters - 72) / 71 + 1 : 0) + 1;
  std::string& text = buffer.data;
  text.resize(characters + lineFeeds);
  std::size_t count = 0;
  // The count that decides a line break includes the line feeds already written, so the
  // first line holds 72 characters and every later one 71.
  const auto put = [&text, &count](char c) {
    text.at(count++) = c;
    if (count % 72 == 0) text.at(count++) = '\n';
  };
  const auto putGroup = [&put](std::uint32_t group, std::size_t bytes) {
    put(kBase64Alphabet[group >> 18]);
    put(kBase64Alphabet[(group >> 12) & 63]);
    put(bytes > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=');
    put(bytes > 2 ? kBase64Alphabet[group & 63] : '=');
  };
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3)
    putGroup(std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8 | data[i + 2], 3);
  if (data.size() - i == 2) putGroup(std::uint32_t{data[i]} << 16 | std::uint32_t{data[i + 1]} << 8, 2);
  if (data.size() - i == 1) putGroup(std::uint32_t{data[i]} << 16, 1);
  text.at(count) = '\n';
  return 0;
}

}  // namespace qelo
