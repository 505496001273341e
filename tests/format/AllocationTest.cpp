// Counts every allocation of the process, so it runs in a binary of its own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "format/FormatResult.h"
#include "tests/format/TestSupport.h"

namespace {
thread_local long gAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace korvalen {
namespace {

// 1 when the text lives outside the string object, 0 when it fits inside.
long HeapBlocksOf(const std::string& text) {
  const auto* object = reinterpret_cast<const char*>(&text);
  const char* data = text.data();
  return data >= object && data < object + sizeof text ? 0 : 1;
}

template <typename Call>
void ExpectOnlyTheResultAllocated(Call call) {
  const long before = gAllocations;
  const std::string text = call();
  EXPECT_EQ(gAllocations - before, HeapBlocksOf(text)) << text;
}

TEST(Allocation, FormattingAllocatesOnlyTheResult) {
  const test::SeparatorGuard separators('.', ',');
  for (const double value : {2.2046226218487757, -999999999999999872.0, 1e300, -0.0}) {
    ExpectOnlyTheResultAllocated([value] { return FormatResult(value); });
    ExpectOnlyTheResultAllocated([value] { return FormatGeneral(value, 18); });
    ExpectOnlyTheResultAllocated([value] { return FormatFixed(value, 6); });
    ExpectOnlyTheResultAllocated([value] { return FormatByPattern("##0.00", value); });
    ExpectOnlyTheResultAllocated(
        [value] { return FormatByPattern("#,##0.000;(#,##0.000);'zero'", value); });
    ExpectOnlyTheResultAllocated([value] { return FormatByPattern("0.000E+00", value); });
  }
}

}  // namespace
}  // namespace korvalen
