#include "platform/runtime/TextCompare.h"

#include <gtest/gtest.h>
#include <link.h>

#include <cstring>

namespace korvalen {
namespace {

bool IcuLoaded() {
  bool found = false;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "/libicuuc.so") != nullptr) {
          *static_cast<bool*>(data) = true;
        }
        return 0;
      },
      &found);
  return found;
}

// Loading ICU costs a process more than a whole conversion; texts in ASCII,
// valid or not as UTF-8, are compared without it.
TEST(DescriptionsMatchLoading, IcuOnlyOnceTextGoesBeyondAscii) {
  ASSERT_FALSE(IcuLoaded()) << "ICU is loaded before any comparison";
  EXPECT_TRUE(DescriptionsMatch("LITERS", "liters"));
  EXPECT_FALSE(
      DescriptionsMatch("Gr\xFF"
                        "ams",
                        "grams"));
  EXPECT_FALSE(IcuLoaded());
  EXPECT_TRUE(DescriptionsMatch("STRASSE",
                                "stra\xC3\x9F"
                                "e"));
  EXPECT_TRUE(IcuLoaded());
}

}  // namespace
}  // namespace korvalen
