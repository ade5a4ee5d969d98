#include "ctr.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "reference_des.h"

namespace qelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

CTR_BLOCK Block(std::string_view hex) {
  CTR_BLOCK block{};
  const Bytes bytes = FromHex(hex);
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

Bytes AsBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

const char* OpenSslName(std::int32_t mode) {
  switch (mode) {
    case CTR_MODE_ECB: return "DES-ECB";
    case CTR_MODE_CBC: return "DES-CBC";
    case CTR_MODE_OFB: return "DES-OFB";
    default: return "DES-CFB";
  }
}

// Runs the whole calling order, feeding `data` in pieces of the sizes given (the rest in one
// last piece), each update into an output area of exactly the size it needs.
Bytes EngineEncrypt(std::int32_t mode, std::int32_t padding, const Bytes& key,
                    const CTR_BLOCK& iv, const Bytes& data, const std::vector<std::size_t>& pieces = {}) {
  CTR_CONTEXT context;
  CTR_Init(mode, padding, &iv, context);
  EXPECT_EQ(CTR_SetKey(key, context), 0);
  EXPECT_EQ(CTR_Start(context), 0);
  Bytes out;
  std::size_t done = 0;
  const auto feed = [&](std::size_t size) {
    const std::span<const std::uint8_t> piece = std::span(data).subspan(done, size);
    Bytes area((context.pendingCount + size) / 8 * 8);
    std::size_t written = 99;
    EXPECT_EQ(CTR_Update(context, piece, area, written), 0);
    EXPECT_EQ(written, area.size());
    out.insert(out.end(), area.begin(), area.end());
    done += size;
  };
  for (std::size_t size : pieces) feed(size);
  feed(data.size() - done);
  Bytes last(8);
  std::size_t written = 99;
  EXPECT_EQ(CTR_Final(context, last, written), 0);
  out.insert(out.end(), last.begin(), last.begin() + static_cast<std::ptrdiff_t>(written));
  return out;
}

TEST(CtrEngine, PublishedVectors) {
  const Bytes nowIsTheTime = AsBytes("Now is the time for all ");
  struct Case {
    std::int32_t mode;
    std::string_view key, iv;
    Bytes plain;
    std::string_view cipher;
  };
  const Case cases[] = {
      {CTR_MODE_ECB, "133457799BBCDFF1", "", FromHex("0123456789ABCDEF"), "85E813540F0AB405"},
      {CTR_MODE_ECB, "0E329232EA6D0D73", "", FromHex("8787878787878787"), "0000000000000000"},
      {CTR_MODE_ECB, "0123456789ABCDEF", "", nowIsTheTime,
       "3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53"},
      {CTR_MODE_CBC, "0123456789ABCDEF", "1234567890ABCDEF", nowIsTheTime,
       "E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6"},
      {CTR_MODE_CFB, "0123456789ABCDEF", "1234567890ABCDEF", nowIsTheTime,
       "F3096249C7F46E51A69E839B1A92F78403467133898EA622"},
      {CTR_MODE_OFB, "0123456789ABCDEF", "1234567890ABCDEF", nowIsTheTime,
       "F3096249C7F46E5135F24A242EEB3D3F3D6D5BE3255AF8C3"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(EngineEncrypt(c.mode, CTR_PAD_NONE, FromHex(c.key), Block(c.iv), c.plain),
              FromHex(c.cipher))
        << OpenSslName(c.mode) << " " << c.key;
}

TEST(CtrEngine, EqualsOpenSslInEveryModeWholeAndInPieces) {
  std::mt19937 random(20240611);
  const auto randomBytes = [&random](std::size_t size) {
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
  };
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(), {1000, 4099, 65541});

  for (std::int32_t mode : {CTR_MODE_ECB, CTR_MODE_CBC, CTR_MODE_OFB, CTR_MODE_CFB}) {
    for (std::size_t length : lengths) {
      CTR_CONTEXT probe;
      Bytes key;
      do key = randomBytes(8);
      while (CTR_SetKey(key, probe) != 0);
      CTR_BLOCK iv;
      for (auto& b : iv) b = static_cast<std::uint8_t>(random());
      const Bytes data = randomBytes(length);
      std::vector<std::size_t> pieces;
      for (std::size_t fed = 0; fed < length;) {
        pieces.push_back(std::min<std::size_t>(random() % 21, length - fed));
        fed += pieces.back();
      }
      const bool blockMode = mode == CTR_MODE_ECB || mode == CTR_MODE_CBC;
      const Bytes expected = reference::Encrypt(OpenSslName(mode), key, iv, data, blockMode);
      SCOPED_TRACE(testing::Message() << OpenSslName(mode) << " length " << length);
      EXPECT_EQ(EngineEncrypt(mode, CTR_PAD_PKCS5, key, iv, data), expected);
      EXPECT_EQ(EngineEncrypt(mode, CTR_PAD_PKCS5, key, iv, data, pieces), expected);
      if (blockMode && length % 8 == 0) {
        EXPECT_EQ(EngineEncrypt(mode, CTR_PAD_NONE, key, iv, data, pieces),
                  reference::Encrypt(OpenSslName(mode), key, iv, data, false));
      }
    }
  }
}

TEST(CtrEngine, Pkcs5PaddingAddsOneToEightBytes) {
  const Bytes key = FromHex("0123456789ABCDEF");
  const Bytes padOnly = EngineEncrypt(CTR_MODE_ECB, CTR_PAD_NONE, key, {}, Bytes(8, 8));
  EXPECT_EQ(EngineEncrypt(CTR_MODE_ECB, CTR_PAD_PKCS5, key, {}, {}), padOnly);
  EXPECT_EQ(EngineEncrypt(CTR_MODE_ECB, CTR_PAD_PKCS5, key, {}, Bytes(7, 'a')).size(), 8u);
  const Bytes eight = EngineEncrypt(CTR_MODE_ECB, CTR_PAD_PKCS5, key, {}, Bytes(8, 'a'));
  ASSERT_EQ(eight.size(), 16u);
  EXPECT_EQ(Bytes(eight.begin() + 8, eight.end()), padOnly);
}

TEST(CtrEngine, KeyChecks) {
  struct Case {
    std::string_view key;
    int expected;
  };
  const Case cases[] = {
      {"0123456789ABCD", CTR_INVALID_USERKEYLEN},      // 7 bytes
      {"0123456789ABCDEF01", CTR_INVALID_USERKEYLEN},  // 9 bytes
      {"", CTR_INVALID_USERKEYLEN},
      {"0101010101010101", CTR_WEAK_KEY_ERROR},  // entry 1
      {"1F1F1F1F0E0E0E0E", CTR_WEAK_KEY_ERROR},  // entry 3
      {"FEE0FEE0FEF1FEF1", CTR_WEAK_KEY_ERROR},  // entry 16
      {"0101010101010100", 0},                   // entry 1 with one parity bit changed
      {"1E1E1E1E0F0F0F0F", 0},                   // entry 3 likewise, on every byte
      {"0123456789ABCDEF", 0},
  };
  for (const Case& c : cases) {
    CTR_CONTEXT context;
    EXPECT_EQ(CTR_SetKey(FromHex(c.key), context), c.expected) << c.key;
  }
}

TEST(CtrEngine, ParityBitsTakeNoPart) {
  const Bytes data = AsBytes("parity bits are ignored");
  EXPECT_EQ(EngineEncrypt(CTR_MODE_ECB, CTR_PAD_PKCS5, FromHex("0123456789ABCDEF"), {}, data),
            EngineEncrypt(CTR_MODE_ECB, CTR_PAD_PKCS5, FromHex("0022446688AACCEE"), {}, data));
}

TEST(CtrEngine, EcbWithoutPaddingRefusesAPartialLastBlock) {
  CTR_CONTEXT context;
  CTR_Init(CTR_MODE_ECB, CTR_PAD_NONE, nullptr, context);
  ASSERT_EQ(CTR_SetKey(FromHex("0123456789ABCDEF"), context), 0);
  CTR_Start(context);
  const Bytes data(13, 'x');
  Bytes out(8);
  std::size_t written = 0;
  EXPECT_EQ(CTR_Update(context, data, out, written), 0);
  EXPECT_EQ(written, 8u);
  EXPECT_EQ(CTR_Final(context, out, written), CTR_DATA_LEN_ERROR);
  EXPECT_EQ(written, 0u);
}

TEST(CtrEngine, UnknownModeOrPaddingIsFatalOnlyWhenUsed) {
  const Bytes key = FromHex("0123456789ABCDEF");
  Bytes out(16);
  std::size_t written = 0;

  CTR_CONTEXT context;
  CTR_Init(5, CTR_PAD_PKCS5, nullptr, context);
  ASSERT_EQ(CTR_SetKey(key, context), 0);
  CTR_Start(context);
  EXPECT_EQ(CTR_Update(context, Bytes(7, 'x'), out, written), 0);  // nothing to process yet
  EXPECT_EQ(CTR_Update(context, Bytes(1, 'x'), out, written), CTR_FATAL_ERROR);
  EXPECT_EQ(CTR_Final(context, out, written), CTR_FATAL_ERROR);

  CTR_Init(CTR_MODE_CBC, 3, nullptr, context);
  CTR_Start(context);
  EXPECT_EQ(CTR_Update(context, Bytes(8, 'x'), out, written), 0);
  EXPECT_EQ(CTR_Final(context, out, written), CTR_FATAL_ERROR);

  // Stream modes ignore the padding value.
  CTR_Init(CTR_MODE_OFB, 3, nullptr, context);
  CTR_Start(context);
  EXPECT_EQ(CTR_Update(context, Bytes(3, 'x'), out, written), 0);
  EXPECT_EQ(CTR_Final(context, out, written), 0);
  EXPECT_EQ(written, 3u);
}

TEST(CtrEngine, RefusesOverlappingInputAndOutput) {
  CTR_CONTEXT context;
  CTR_Init(CTR_MODE_ECB, CTR_PAD_PKCS5, nullptr, context);
  ASSERT_EQ(CTR_SetKey(FromHex("0123456789ABCDEF"), context), 0);
  CTR_Start(context);
  Bytes buffer(32, 'x');
  const std::span<std::uint8_t> all(buffer);
  std::size_t written = 0;
  EXPECT_EQ(CTR_Update(context, all.first(16), all.first(16), written), CTR_FATAL_ERROR);
  EXPECT_EQ(CTR_Update(context, all.first(16), all.subspan(8), written), CTR_FATAL_ERROR);
  EXPECT_EQ(CTR_Update(context, all.subspan(8, 16), all.first(16), written), CTR_FATAL_ERROR);
  EXPECT_EQ(CTR_Update(context, all.first(16), all.subspan(16), written), 0);  // adjacent
  EXPECT_EQ(written, 16u);
  // Nothing is written while the bytes stay pending, so the same area is harmless there.
  EXPECT_EQ(CTR_Update(context, all.first(5), all.first(5), written), 0);
}

TEST(CtrEngine, TooSmallOutputIsRefusedAndChangesNothing) {
  const Bytes key = FromHex("0123456789ABCDEF");
  const CTR_BLOCK iv = Block("1234567890ABCDEF");
  const Bytes data = AsBytes("twenty-one bytes here");

  CTR_CONTEXT context;
  CTR_Init(CTR_MODE_CBC, CTR_PAD_PKCS5, &iv, context);
  ASSERT_EQ(CTR_SetKey(key, context), 0);
  CTR_Start(context);
  Bytes out(24);
  std::size_t written = 0;
  EXPECT_EQ(CTR_Update(context, std::span(data).first(3), out, written), 0);
  EXPECT_EQ(CTR_Update(context, std::span(data).subspan(3), std::span(out).first(15), written),
            CTR_USAGE_ERROR);
  ASSERT_EQ(CTR_Update(context, std::span(data).subspan(3), out, written), 0);
  ASSERT_EQ(written, 16u);
  EXPECT_EQ(CTR_Final(context, std::span(out).subspan(16, 7), written), CTR_USAGE_ERROR);
  ASSERT_EQ(CTR_Final(context, std::span(out).subspan(16), written), 0);
  EXPECT_EQ(out, reference::Encrypt("DES-CBC", key, iv, data, true));

  CTR_Init(CTR_MODE_OFB, CTR_PAD_NONE, &iv, context);
  CTR_Start(context);
  ASSERT_EQ(CTR_Update(context, std::span(data).first(3), out, written), 0);
  EXPECT_EQ(CTR_Final(context, std::span(out).first(2), written), CTR_USAGE_ERROR);
  ASSERT_EQ(CTR_Final(context, out, written), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3),
            reference::Encrypt("DES-OFB", key, iv, std::span(data).first(3), false));
}

// The text laid out as the line rule wants it: 72 characters, then lines of 71, and a final
// line feed even after a full line.
std::string Lines(std::string_view oneLine) {
  std::string text;
  std::size_t width = 72;
  while (oneLine.size() >= width) {
    text.append(oneLine.substr(0, width)).push_back('\n');
    oneLine.remove_prefix(width);
    width = 71;
  }
  text.append(oneLine).push_back('\n');
  return text;
}

TEST(CtrBase64, LineRule) {
  CTR_OUTPUT_BUFFER buffer;
  const auto encode = [&buffer](const Bytes& data) {
    EXPECT_EQ(CTR_Base64Encode(buffer, data), 0);
    return buffer.data;
  };
  EXPECT_EQ(encode(Bytes(8, 0xFF)), "//////////8=\n");
  EXPECT_EQ(encode(Bytes(16, 0)), std::string(22, 'A') + "==\n");
  EXPECT_EQ(encode(Bytes(54, 0)), std::string(72, 'A') + "\n\n");
  EXPECT_EQ(encode({}), "\n");
  EXPECT_EQ(encode(AsBytes("f")), "Zg==\n");
  EXPECT_EQ(encode(AsBytes("fo")), "Zm8=\n");
  EXPECT_EQ(encode(AsBytes("foobar")), "Zm9vYmFy\n");

  for (std::size_t length = 0; length <= 400; ++length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_EQ(encode(data), Lines(reference::Base64(data))) << "length " << length;
  }
}

}  // namespace
}  // namespace qelo
