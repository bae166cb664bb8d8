// The reader's base64 decoder, against the GAML writer's encoder, both with
// the processor's fastest way of decoding runs of digits and by table alone:
// every length of text around the sizes the decoder takes in one round,
// white space and bad characters at every place in a long run of digits,
// padding in the wrong places, and a block that is too small or too large
// for what the text decodes to, which must fail without a byte written
// beyond it.
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/gamlreader/document.h"
#include "examples/gaml_writer.h"

namespace {

constexpr unsigned char kGuard = 0xA5;

std::string bytes_of(size_t count) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 151 + 7) % 256);
  return bytes;
}

// Decodes `text` into a block of `size` bytes followed by guard bytes; the
// decoded bytes, or nothing when the decoder refused the text. The guard
// must be untouched either way.
std::optional<std::string> decoded(const std::string& text, size_t size, gamlreader::Base64Runs runs) {
  std::vector<unsigned char> block(size + 8, kGuard);
  const bool ok = gamlreader::decode_base64(text.data(), text.size(), block.data(), size, runs);
  for (size_t i = size; i < block.size(); ++i) EXPECT_EQ(block[i], kGuard) << "written beyond the block at " << i;
  if (!ok) return std::nullopt;
  return std::string(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
}

class Base64 : public testing::TestWithParam<gamlreader::Base64Runs> {
 protected:
  std::optional<std::string> decoded(const std::string& text, size_t size) const {
    return ::decoded(text, size, GetParam());
  }
};

TEST_P(Base64, DecodesEveryLengthAsTheWriterEncodesIt) {
  for (size_t count = 0; count <= 70; ++count) {
    const std::string bytes = bytes_of(count);
    EXPECT_EQ(decoded(gamlwriter::base64(bytes), count), bytes) << count << " bytes";
  }
}

TEST_P(Base64, WhiteSpaceMayStandAnywhere) {
  const std::string bytes = bytes_of(60);
  const std::string text = gamlwriter::base64(bytes);
  for (const char* space : {" ", "\t", "\r\n", "\n\n\n"}) {
    for (size_t at = 0; at <= text.size(); ++at) {
      EXPECT_EQ(decoded(text.substr(0, at) + space + text.substr(at), bytes.size()), bytes) << "at " << at;
    }
  }
  std::string wrapped;
  for (size_t line = 0; line < text.size(); line += 76) wrapped += "\r\n    " + text.substr(line, 76);
  EXPECT_EQ(decoded(wrapped + "\r\n  ", bytes.size()), bytes);
}

TEST_P(Base64, ACharacterOutsideTheAlphabetFailsWhereverItStands) {
  const std::string text = gamlwriter::base64(bytes_of(60));
  for (char bad : {'*', '-', '_', '.', '\0', '\x80', '\xff', '\v'}) {
    for (size_t at = 0; at < text.size(); ++at) {
      std::string spoiled = text;
      spoiled[at] = bad;
      EXPECT_EQ(decoded(spoiled, 60), std::nullopt) << "0x" << std::hex << int(static_cast<unsigned char>(bad))
                                                     << std::dec << " at " << at;
    }
  }
}

struct PaddingCase {
  const char* text;
  size_t size;
  bool decodes;
};

TEST_P(Base64, PaddingOnlyEndsTheText) {
  const PaddingCase cases[] = {
      {"AACAPw==", 4, true},           {"AACAPwA=", 5, true},          {"AACAPw= =", 4, true},
      {"AACAPw==AAAA", 7, false},      {"AACA=w==", 4, false},         {"A===", 1, false},
      {"AACAPw===", 4, false},         {"AACAPw=", 4, false},          {"AACAPw", 4, false},
      {"AAAAAAAAAAAAAAAA=AAA", 15, false},
  };
  for (const PaddingCase& c : cases) {
    std::vector<unsigned char> block(c.size + 8, kGuard);
    EXPECT_EQ(gamlreader::decode_base64(c.text, std::strlen(c.text), block.data(), c.size, GetParam()), c.decodes)
        << c.text;
  }
}

TEST_P(Base64, TheBlockMustHoldExactlyWhatTheTextDecodesTo) {
  for (size_t count : {1u, 3u, 12u, 13u, 48u, 50u}) {
    const std::string text = gamlwriter::base64(bytes_of(count));
    EXPECT_EQ(decoded(text, count - 1), std::nullopt) << count;
    EXPECT_EQ(decoded(text, count + 1), std::nullopt) << count;
    EXPECT_EQ(decoded(text, 0), std::nullopt) << count;
  }
  EXPECT_EQ(decoded("", 0), std::string());
  EXPECT_EQ(decoded(" \r\n", 0), std::string());
}

INSTANTIATE_TEST_SUITE_P(RunsOfDigits, Base64,
                         testing::Values(gamlreader::Base64Runs::kFastest, gamlreader::Base64Runs::kTable),
                         [](const testing::TestParamInfo<gamlreader::Base64Runs>& info) {
                           return info.param == gamlreader::Base64Runs::kFastest ? "Fastest" : "Table";
                         });

}  // namespace
