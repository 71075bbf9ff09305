// SHA-256 against the published test vectors, fed whole and in pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/sha256.h"

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Vector {
  std::string message;
  const char* digest;
};

const Vector kVectors[] = {
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
};

TEST(Sha256, PublishedVectors) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.message.substr(0, 60));
    EXPECT_EQ(Sha256Hex(Bytes(v.message)), v.digest);
  }
}

// Pieces that straddle the 64-byte blocks and the 56-byte padding limit give
// the digest of the whole.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
  for (const Vector& v : kVectors) {
    for (std::size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 1000u}) {
      SCOPED_TRACE(piece);
      Sha256 hash;
      for (std::size_t at = 0; at < v.message.size(); at += piece) hash.Update(Bytes(v.message.substr(at, piece)));
      std::string hex;
      for (std::uint8_t b : hash.Finish()) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
      }
      EXPECT_EQ(hex, v.digest);
    }
  }
}

// Messages of 55 to 120 bytes cross the case where the length needs a block of its own.
TEST(Sha256, LengthsAroundTheLastBlock) {
  EXPECT_EQ(Sha256Hex(Bytes(std::string(55, 'a'))), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(Sha256Hex(Bytes(std::string(56, 'a'))), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(Sha256Hex(Bytes(std::string(64, 'a'))), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

}  // namespace
