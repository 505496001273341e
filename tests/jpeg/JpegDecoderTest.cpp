#include "platform/jpeg/JpegDecoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

TEST(JpegDecoder, DecodesSizeAndColours) {
  const auto data = EncodeSample(64, 16);
  const TDecodedPicture picture = DecodeJpeg(data, "sample.jpg");
  ASSERT_EQ(picture.Width, 64);
  ASSERT_EQ(picture.Height, 16);
  ASSERT_EQ(picture.Rgb.size(), 64u * 16u * 3u);
  const auto pixel = [&](int x, int y) {
    return &picture.Rgb[(static_cast<std::size_t>(y) * 64 + static_cast<std::size_t>(x)) * 3];
  };
  EXPECT_GT(pixel(4, 8)[0], 200);  // red on the left
  EXPECT_LT(pixel(4, 8)[2], 60);
  EXPECT_GT(pixel(60, 8)[2], 200);  // blue on the right
  EXPECT_LT(pixel(60, 8)[0], 60);
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

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecodeJpeg(c.bytes, "welcome.jpg");
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
