#include "platform/runtime/Exceptions.h"

#include <array>
#include <charconv>

namespace korvalen {

std::string Format(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(text.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == 's' || text[i + 1] == 'f') {
        if (next != args.end()) {
          out.append(*next++);
        }
        ++i;
        continue;
      }
      if (text[i + 1] == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string FormatHexId(std::uint32_t id) {
  std::array<char, 8> digits{};
  auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), id, 16);
  const auto length = static_cast<std::size_t>(end - digits.data());
  std::string out = "[";
  out.append(length < 8 ? 8 - length : 0, '0');
  for (std::size_t i = 0; i < length; ++i) {
    const char c = digits[i];
    out.push_back(c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  out.push_back(']');
  return out;
}

}  // namespace korvalen
