#include "platform/jpeg/JpegDecoder.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

namespace korvalen {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the decoder writes 0xffRRGGBB as blue, green, red, 0xff");

// libjpeg reports fatal errors through error_exit, which must not return.
// Jumping back to the decoder keeps libjpeg's C frames free of C++ unwinding.
struct TErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Escape;
  char Message[JMSG_LENGTH_MAX];
};

void OnFatalError(j_common_ptr info) {
  auto* manager = reinterpret_cast<TErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->Message);
  std::longjmp(manager->Escape, 1);
}

// Warnings (such as a premature end of data, which libjpeg pads with grey)
// mean the picture is damaged: treat them as fatal.
void OnMessage(j_common_ptr info, int level) {
  if (level < 0) {
    OnFatalError(info);
  }
}

[[noreturn]] void Fail(const std::string& name, std::string_view reason) {
  throw Exception(Format(res::SCannotReadPicture, {name, reason}));
}

// Everything that longjmp may skip lives outside this function's frame, so no
// destructor is bypassed.
bool DecodeInto(jpeg_decompress_struct& info, TErrorManager& errors,
                std::span<const std::uint8_t> data, unsigned scaleDenominator,
                const TPixelRowsFor& rowsFor) {
  if (setjmp(errors.Escape) != 0) {
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = scaleDenominator;
  // Blue, green, red and an opaque fourth byte: 0xffRRGGBB on a
  // little-endian machine, which a 32-bit image takes as it is.
  info.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&info);
  if (info.output_components != 4) {
    errors.Message[0] = '\0';
    return false;
  }
  const TPixelRows rows =
      rowsFor(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  if (rows.First == nullptr) {
    jpeg_abort_decompress(&info);
    return true;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rows.First + rows.Stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

void Decode(std::span<const std::uint8_t> data, const std::string& name, unsigned scaleDenominator,
            const TPixelRowsFor& rowsFor, TJpegSize* fullSize) {
  if (data.empty()) {
    Fail(name, "the file is empty or missing");
  }
  TErrorManager errors{};
  jpeg_decompress_struct info{};
  info.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = OnFatalError;
  errors.Base.emit_message = OnMessage;

  const bool decoded = DecodeInto(info, errors, data, scaleDenominator, rowsFor);
  if (fullSize != nullptr) {
    *fullSize = {static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  }
  jpeg_destroy_decompress(&info);
  if (!decoded) {
    Fail(name, errors.Message[0] != '\0' ? std::string_view(errors.Message)
                                         : std::string_view("not a 24-bit colour picture"));
  }
}

}  // namespace

void DecodeJpeg(std::span<const std::uint8_t> data, const std::string& name,
                const TPixelRowsFor& rowsFor) {
  Decode(data, name, 1, rowsFor, nullptr);
}

TJpegSize CheckJpeg(std::span<const std::uint8_t> data, const std::string& name) {
  // Every coefficient is still read, so damage shows as it would at full
  // size; only the pixels are made at an eighth of it, in a small buffer.
  std::vector<std::uint8_t> pixels;
  TJpegSize size;
  Decode(
      data, name, 8,
      [&pixels](int width, int height) {
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        pixels.resize(stride * static_cast<std::size_t>(height));
        return TPixelRows{pixels.data(), stride};
      },
      &size);
  return size;
}

}  // namespace korvalen
