// The welcome picture is read here through libjpeg's own API, as the program
// reads it, so a file that only Qt's plug-in accepts fails.
#include "tests/ui/StoredLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

const std::string kPath = std::string(KORVALEN_ASSETS_DIR) + "/welcome.jpg";

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Rgb {
  int r, g, b;
};

struct DecodedJpeg {
  bool ok = false;
  std::string error;
  int width = 0, height = 0, components = 0, precision = 0;
  bool jfif = false, progressive = false;
  J_COLOR_SPACE colourSpace = JCS_UNKNOWN;
  std::vector<std::uint8_t> rgb;

  Rgb At(int x, int y) const {
    const auto i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)) *
                   3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// libjpeg reports errors through a callback that must not return; jump back
// out of the C library instead of unwinding through it.
[[noreturn]] void JumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

// Only trivially destructible objects live between setjmp and the jump.
bool DecodeInto(const std::vector<std::uint8_t>& data, DecodedJpeg& out, char* message) {
  jpeg_decompress_struct info{};
  ErrorJump errors{};
  info.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JumpOut;
  if (setjmp(errors.jump)) {
    errors.mgr.format_message(reinterpret_cast<j_common_ptr>(&info), message);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  out.jfif = info.saw_JFIF_marker != 0;
  out.progressive = info.progressive_mode != 0;
  out.colourSpace = info.jpeg_color_space;
  out.components = info.num_components;
  out.precision = info.data_precision;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
  out.rgb.resize(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.rgb.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

const DecodedJpeg& Welcome() {
  static const DecodedJpeg decoded = [] {
    DecodedJpeg d;
    char message[JMSG_LENGTH_MAX] = {};
    d.ok = DecodeInto(ReadFile(kPath), d, message);
    d.error = message;
    return d;
  }();
  return decoded;
}

constexpr Rgb kLavender{230, 230, 250};

bool NearLavender(Rgb p, int tolerance) {
  return std::abs(p.r - kLavender.r) <= tolerance && std::abs(p.g - kLavender.g) <= tolerance &&
         std::abs(p.b - kLavender.b) <= tolerance;
}

TEST(WelcomePicture, IsABaselineJfifOfAboutTwentyFiveKilobytes) {
  const auto bytes = ReadFile(kPath);
  ASSERT_GE(bytes.size(), 20u * 1024u) << kPath;
  EXPECT_LE(bytes.size(), 30u * 1024u);
  // Start of image, then the JFIF APP0 segment first.
  ASSERT_GE(bytes.size(), 11u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(bytes[2], 0xFF);
  EXPECT_EQ(bytes[3], 0xE0);
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 11), std::string("JFIF\0", 5));
}

TEST(WelcomePicture, DecodesThroughLibjpegAsA24BitPicture) {
  const DecodedJpeg& p = Welcome();
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.jfif);
  EXPECT_FALSE(p.progressive);
  EXPECT_EQ(p.width, 550);
  EXPECT_EQ(p.height, 500);
  EXPECT_EQ(p.components, 3);
  EXPECT_EQ(p.precision, 8);
  EXPECT_EQ(p.colourSpace, JCS_YCbCr);
}

// Where the window's texts sit, the picture is plain lavender: the headings
// across the top, the text column on the left, and under every control the
// welcome window's stored layout places ("Continue" among them).
TEST(WelcomePicture, IsPlainLavenderUnderTheTextsAndTheButton) {
  const DecodedJpeg& p = Welcome();
  ASSERT_TRUE(p.ok) << p.error;
  struct Area {
    std::string name;
    int x0, y0, x1, y1;
  };
  std::vector<Area> areas = {
      {"headings", 0, 0, 550, 96},
      {"left half", 0, 0, 275, 500},
  };
  const korvalen::test::TStoredLayout layout(
      QStringLiteral(KORVALEN_ASSETS_DIR "/layouts/frmMain.json"));
  const QList<QRect> controls = layout.ControlBoxes();
  ASSERT_FALSE(controls.isEmpty());
  for (const QRect& box : controls) {
    areas.push_back({"control at " + std::to_string(box.x()) + "," + std::to_string(box.y()),
                     box.left(), box.top(), box.right() + 1, box.bottom() + 1});
  }
  for (const Area& a : areas) {
    int off = 0;
    for (int y = a.y0; y < a.y1; ++y) {
      for (int x = a.x0; x < a.x1; ++x) {
        off += NearLavender(p.At(x, y), 6) ? 0 : 1;
      }
    }
    EXPECT_EQ(off, 0) << a.name;
  }
}

// The right half shows the terminal: a dark monitor and stand, and a screen
// of buttons in several colours.
TEST(WelcomePicture, RightHalfShowsADarkTerminalWithColouredButtons) {
  const DecodedJpeg& p = Welcome();
  ASSERT_TRUE(p.ok) << p.error;
  int dark = 0, total = 0;
  double sum = 0, sumSq = 0;
  bool hues[6] = {};
  for (int y = 0; y < p.height; ++y) {
    for (int x = 275; x < p.width; ++x) {
      const Rgb c = p.At(x, y);
      const int hi = std::max({c.r, c.g, c.b});
      const int lo = std::min({c.r, c.g, c.b});
      const double luma = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
      sum += luma;
      sumSq += luma * luma;
      ++total;
      dark += hi < 70 ? 1 : 0;
      if (hi > 150 && hi - lo > 90) {
        // Six hue sectors, as on a colour wheel.
        double h = 0;
        const double d = hi - lo;
        if (hi == c.r) {
          h = (c.g - c.b) / d;
        } else if (hi == c.g) {
          h = 2 + (c.b - c.r) / d;
        } else {
          h = 4 + (c.r - c.g) / d;
        }
        hues[(static_cast<int>(std::floor(h + 6.5)) % 6)] = true;
      }
    }
  }
  const double mean = sum / total;
  const double spread = std::sqrt(sumSq / total - mean * mean);
  EXPECT_GT(dark, total / 10) << "the monitor and its stand";
  EXPECT_GT(spread, 40.0);
  int colours = 0;
  for (bool h : hues) {
    colours += h ? 1 : 0;
  }
  EXPECT_GE(colours, 4) << "buttons in several colours";
}

}  // namespace
