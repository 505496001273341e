// Input: 1 byte choosing the locale's separators (one-byte, grouping with
// the point, multi-byte) and the result form, 1 byte for the chunk size,
// then the stream's bytes as a user or a script might send them. Whatever
// comes in, every input line must give exactly one output line, and nothing
// may escape but the converter's own errors.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "cli/Conversion.h"
#include "cli/UnitIndex.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/runtime/FloatSteps.h"

namespace {

const korvalen::cli::TUnitIndex& Index() {
  static const korvalen::cli::TUnitIndex* index = [] {
    korvalen::fpu::InitEnvironment();
    korvalen::RegisterStandardUnits();
    return new korvalen::cli::TUnitIndex();
  }();
  return *index;
}

std::size_t InputLines(std::string_view text) {
  std::size_t lines = 0;
  for (const char c : text) {
    lines += c == '\n' ? 1 : 0;
  }
  return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  static const korvalen::cli::TNumberSeparators Locales[] = {
      {".", ""}, {".", ","}, {",", "."}, {",", "\u202F"}, {"\u066B", "\u066C"}};
  const std::size_t choice = data[0];
  korvalen::cli::TResultForm form;
  switch (choice / std::size(Locales) % 3) {
    case 1:
      form.Kind = korvalen::cli::TResultForm::TKind::General;
      form.Digits = 1 + static_cast<int>(choice / 15 % 17);
      break;
    case 2:
      form.Kind = korvalen::cli::TResultForm::TKind::Pattern;
      form.Pattern = "#,##0.###;(0.00E+00);'zero'";
      break;
    default:
      break;
  }
  const std::size_t chunk = 1 + data[1];
  const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);

  korvalen::cli::TConverter converter(Index(), form, Locales[choice % std::size(Locales)]);
  korvalen::cli::TStreamConverter stream(converter);
  std::string out;
  for (std::size_t i = 0; i < input.size(); i += chunk) {
    stream.Feed(input.substr(i, chunk), out);
  }
  stream.Finish(out);
  if (InputLines(input) != InputLines(out) || (!out.empty() && out.back() != '\n')) {
    __builtin_trap();
  }
  return 0;
}
