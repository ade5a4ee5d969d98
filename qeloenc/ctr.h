// The block cipher engine: DES encryption (FIPS 46) in the modes ECB, CBC, OFB and CFB with
// 64-bit feedback (FIPS 81), PKCS #5 padding for ECB and CBC, and a Base64 encoder. Encryption
// only. Plain functions over a context that the caller owns; nothing is allocated except the
// encoder's output, and no state is kept outside the context.
//
// Calling order: CTR_Init, CTR_SetKey, CTR_Start, any number of CTR_Update, one CTR_Final.
// Every operation but CTR_Init returns 0 or one of the error codes below. A call that fails
// leaves the context as it was. A context is used by one thread at a time; different contexts
// are independent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qelo {

inline constexpr std::int32_t CTR_MODE_ECB = 1;
inline constexpr std::int32_t CTR_MODE_CBC = 2;
inline constexpr std::int32_t CTR_MODE_OFB = 3;
inline constexpr std::int32_t CTR_MODE_CFB = 4;

inline constexpr std::int32_t CTR_PAD_NONE = 1;
inline constexpr std::int32_t CTR_PAD_PKCS5 = 2;

// Unknown mode or padding, input and output areas that overlap, or a context whose pending
// count was corrupted.
inline constexpr int CTR_FATAL_ERROR = 0x1001;
inline constexpr int CTR_INVALID_USERKEYLEN = 0x1002;
inline constexpr int CTR_PAD_CHECK_ERROR = 0x1003;   // reserved for decryption
inline constexpr int CTR_DATA_LEN_ERROR = 0x1004;    // no padding and bytes left pending
inline constexpr int CTR_CIPHER_LEN_ERROR = 0x1005;  // reserved for decryption
inline constexpr int CTR_WEAK_KEY_ERROR = 0x1006;
// The output area is too small for what the call has to write.
inline constexpr int CTR_USAGE_ERROR = 0x2001;
inline constexpr int CTR_KEYFILE_ERROR = 0x2002;  // not used by the engine

using CTR_BLOCK = std::array<std::uint8_t, 8>;

struct CTR_CONTEXT {
  std::int32_t mode = 0;
  std::int32_t padding = 0;   // used by ECB and CBC only
  CTR_BLOCK initialVector{};
  CTR_BLOCK chain{};          // the CBC chaining or OFB/CFB feedback register
  CTR_BLOCK pending{};        // input bytes not yet forming a whole block
  std::uint32_t pendingCount = 0;  // 0 to 7
  std::array<std::uint64_t, 16> keySchedule{};
};

// The Base64 text of CTR_Base64Encode, line feeds included; the size of `data` is the count.
struct CTR_OUTPUT_BUFFER {
  std::string data;
};

// Stores mode and padding as given (they are checked where used) and the initial vector, or
// zeros when `iv` is null.
void CTR_Init(std::int32_t mode, std::int32_t padding, const CTR_BLOCK* iv, CTR_CONTEXT& context);

// The key must be 8 bytes and none of the sixteen weak and semi-weak keys, compared byte for
// byte. Parity bits are neither checked nor used.
int CTR_SetKey(std::span<const std::uint8_t> key, CTR_CONTEXT& context);

// Starts a message: nothing pending, the register loaded from the initial vector.
int CTR_Start(CTR_CONTEXT& context);

// Encrypts every whole block that the pending bytes and `input` make up into the start of
// `output` and keeps the rest pending; `outputLength` gets the number of bytes written, a
// multiple of 8. `output` needs room for (pending count + input size) rounded down to a
// multiple of 8, and must not overlap `input`.
int CTR_Update(CTR_CONTEXT& context, std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output, std::size_t& outputLength);

// Ends the message. ECB and CBC: with PKCS #5 padding writes the last block (8 bytes); without
// padding writes nothing and fails if bytes are pending. OFB and CFB: writes the pending
// bytes encrypted (0 to 7). An output area of 8 bytes is always enough.
int CTR_Final(CTR_CONTEXT& context, std::span<std::uint8_t> output, std::size_t& outputLength);

// Replaces the buffer's content with the Base64 text (RFC 4648 alphabet, "=" padding) of
// `data`: a line feed after every character that brings the count of bytes written to a
// multiple of 72, and one more at the end.
int CTR_Base64Encode(CTR_OUTPUT_BUFFER& buffer, std::span<const std::uint8_t> data);

}  // namespace qelo
