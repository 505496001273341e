#include "platform/jpeg/JpegDecoder.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <bit>
#include <csetjmp>
#include <cstdio>

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
                std::span<const std::uint8_t> data, const TPixelRowsFor& rowsFor) {
  if (setjmp(errors.Escape) != 0) {
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
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

}  // namespace

void DecodeJpeg(std::span<const std::uint8_t> data, const std::string& name,
                const TPixelRowsFor& rowsFor) {
  if (data.empty()) {
    Fail(name, "the file is empty or missing");
  }
  TErrorManager errors{};
  jpeg_decompress_struct info{};
  info.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = OnFatalError;
  errors.Base.emit_message = OnMessage;

  const bool decoded = DecodeInto(info, errors, data, rowsFor);
  jpeg_destroy_decompress(&info);
  if (!decoded) {
    Fail(name, errors.Message[0] != '\0' ? std::string_view(errors.Message)
                                         : std::string_view("not a 24-bit colour picture"));
  }
}

}  // namespace korvalen
