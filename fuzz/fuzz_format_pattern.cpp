// Input: 8 bytes of a double (any bit pattern: NaNs, infinities, denormals),
// 2 bytes of separators, then the pattern bytes (any length, NULs included).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "format/FormatResult.h"
#include "platform/runtime/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) {
    return 0;
  }
  double value;
  std::memcpy(&value, data, sizeof value);
  korvalen::SetNumberSeparators(static_cast<char>(data[8]), static_cast<char>(data[9]));
  const std::string_view pattern(reinterpret_cast<const char*>(data + 10), size - 10);
  try {
    const std::string text = korvalen::FormatByPattern(pattern, value);
    if (pattern.size() > 224) {
      __builtin_trap();
    }
    // Nothing but the pattern's own text and the value's digits and signs can
    // make it long; a runaway layout would show here.
    if (text.size() > 3 * pattern.size() + 64) {
      __builtin_trap();
    }
  } catch (const korvalen::EConvertError&) {
    if (pattern.size() <= 224) {
      __builtin_trap();
    }
  }
  return 0;
}
