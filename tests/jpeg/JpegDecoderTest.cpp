#include "platform/jpeg/JpegDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/runtime/Exceptions.h"

namespace korvalen {
namespace {

// A small picture encoded here, so the tests need no file: left half red,
// right half blue.
std::vector<std::uint8_t> EncodeSample(int width, int height) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    const bool left = x < width / 2;
    row[static_cast<std::size_t>(x) * 3] = left ? 255 : 0;
    row[static_cast<std::size_t>(x) * 3 + 1] = 0;
    row[static_cast<std::size_t>(x) * 3 + 2] = left ? 0 : 255;
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// The decoded picture, in rows padded past the width as an image's may be.
struct TDecoded {
  int Width = 0;
  int Height = 0;
  static constexpr std::size_t Stride = 70 * 4;
  std::vector<std::uint32_t> Pixels;
  std::uint32_t At(int x, int y) const {
    return Pixels[static_cast<std::size_t>(y) * (Stride / 4) + static_cast<std::size_t>(x)];
  }
};

TDecoded Decode(const std::vector<std::uint8_t>& data, const std::string& name) {
  TDecoded decoded;
  DecodeJpeg(data, name, [&decoded](int width, int height) {
    decoded.Width = width;
    decoded.Height = height;
    // A marker the decoder must overwrite in every pixel and leave in the padding.
    decoded.Pixels.assign(TDecoded::Stride / 4 * static_cast<std::size_t>(height), 0x12345678u);
    return TPixelRows{reinterpret_cast<std::uint8_t*>(decoded.Pixels.data()), TDecoded::Stride};
  });
  return decoded;
}

TEST(JpegDecoder, DecodesSizeAndColoursIntoOpaque32BitRows) {
  const TDecoded picture = Decode(EncodeSample(64, 16), "sample.jpg");
  ASSERT_EQ(picture.Width, 64);
  ASSERT_EQ(picture.Height, 16);
  const auto red = [](std::uint32_t p) { return (p >> 16) & 0xFF; };
  const auto blue = [](std::uint32_t p) { return p & 0xFF; };
  EXPECT_GT(red(picture.At(4, 8)), 200u);  // red on the left
  EXPECT_LT(blue(picture.At(4, 8)), 60u);
  EXPECT_GT(blue(picture.At(60, 8)), 200u);  // blue on the right
  EXPECT_LT(red(picture.At(60, 8)), 60u);
  for (int y = 0; y < picture.Height; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      ASSERT_EQ(picture.At(x, y) >> 24, 0xFFu) << x << "," << y;
    }
    EXPECT_EQ(picture.At(64, y), 0x12345678u);
  }
}

TEST(JpegDecoder, NoRowsEndTheDecodingQuietly) {
  int asked = 0;
  DecodeJpeg(EncodeSample(16, 16), "sample.jpg", [&asked](int, int) {
    ++asked;
    return TPixelRows{};
  });
  EXPECT_EQ(asked, 1);
}

struct BadInput {
  const char* name;
  std::vector<std::uint8_t> bytes;
};

// Every damaged input is an Exception naming the picture, never a crash or a
// half-grey picture passed off as good.
TEST(JpegDecoder, RejectsDamagedData) {
  const auto good = EncodeSample(64, 64);
  std::vector<BadInput> cases = {
      {"empty", {}},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 20)},
      {"cut in the middle",
       std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
      {"cut before the end marker", std::vector<std::uint8_t>(good.begin(), good.end() - 2)},
  };
  std::vector<std::uint8_t> scrambled = good;
  for (std::size_t i = good.size() / 3; i < good.size() - 2; i += 7) {
    scrambled[i] = static_cast<std::uint8_t>(scrambled[i] ^ 0x5A);
  }
  cases.push_back({"scrambled entropy data", scrambled});

  // The check stands in for decoding when a picture is loaded: it must fail
  // on exactly what decoding fails on, with the same message.
  const auto outcome = [](auto&& read) {
    try {
      read();
      return std::string("read");
    } catch (const Exception& e) {
      return std::string(e.what());
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(outcome([&] { CheckJpeg(c.bytes, "welcome.jpg"); }),
              outcome([&] { Decode(c.bytes, "welcome.jpg"); }));
  }
  for (const int width : {1, 7, 64, 67}) {
    const TJpegSize size = CheckJpeg(EncodeSample(width, 9), "sample.jpg");
    EXPECT_EQ(size.Width, width);
    EXPECT_EQ(size.Height, 9);
  }

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Decode(c.bytes, "welcome.jpg");
      // Scrambled entropy data can still decode to a (wrong) picture of the
      // right size; what matters is that nothing crashes.
      EXPECT_STREQ(c.name, "scrambled entropy data");
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find("Cannot read picture welcome.jpg: "), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace korvalen
