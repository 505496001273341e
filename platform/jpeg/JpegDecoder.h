#pragma once

// Decodes a JPEG held in memory through libjpeg's own API.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace korvalen {

// Where a picture of width × height pixels goes: height rows, Stride bytes
// apart from First on, each of width 32-bit pixels 0xffRRGGBB in the
// machine's byte order (the layout of a 32-bit RGB image in memory).
struct TPixelRows {
  std::uint8_t* First = nullptr;
  std::size_t Stride = 0;
};
using TPixelRowsFor = std::function<TPixelRows(int width, int height)>;

// Decodes `data` (a whole JPEG file) straight into the rows rowsFor gives
// once the size is known, so the picture is written once, in its final
// form. `name` only serves the error text. Throws Exception "Cannot read
// picture <name>: <reason>" for data that is empty, not a JPEG, truncated or
// otherwise corrupt; never reads past `data` and never aborts the program.
// Rows with First null end the decoding without an error: the caller who
// gave them knows why.
void DecodeJpeg(std::span<const std::uint8_t> data, const std::string& name,
                const TPixelRowsFor& rowsFor);

struct TJpegSize {
  int Width = 0;
  int Height = 0;
};
// Reads the whole of `data` as DecodeJpeg does, throwing what it would, and
// gives the picture's size; cheap enough to check a picture that is decoded
// only when it is first drawn.
TJpegSize CheckJpeg(std::span<const std::uint8_t> data, const std::string& name);

}  // namespace korvalen
