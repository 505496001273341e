#pragma once

// Decodes a JPEG held in memory through libjpeg's own API.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvalen {

struct TDecodedPicture {
  int Width = 0;
  int Height = 0;
  // Width × Height pixels, 3 bytes each (red, green, blue), rows top to bottom.
  std::vector<std::uint8_t> Rgb;
};

// Decodes `data` (a whole JPEG file) to 24-bit RGB. `name` only serves the
// error text. Throws Exception "Cannot read picture <name>: <reason>" for data
// that is empty, not a JPEG, truncated or otherwise corrupt; never reads past
// `data` and never aborts the program.
TDecodedPicture DecodeJpeg(std::span<const std::uint8_t> data, const std::string& name);

}  // namespace korvalen
