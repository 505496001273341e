#include <gtest/gtest.h>

#include <cstddef>

#include "format/PowersOfTen_p.h"

namespace korvalen {
namespace {

// The expected significands come from exact rational arithmetic; a power
// function that misrounds by one unit in the last place would fail here.
TEST(PowersOfTen, AreTheNearest64BitSignificandValues) {
  struct Row {
    int power;
    long double value;
  };
  const Row low[] = {{27, 0xCECB8F27F4200F3Ap+26L},
                     {28, 0x813F3978F8940984p+30L},
                     {29, 0xA18F07D736B90BE5p+33L},
                     {30, 0xC9F2C9CD04674EDFp+36L},
                     {31, 0xFC6F7C4045812296p+39L}};
  for (const Row& row : low) {
    EXPECT_EQ(kPowersLow[static_cast<std::size_t>(row.power)], row.value) << row.power;
  }
  const Row high[] = {{32, 0x9DC5ADA82B70B59Ep+43L},    {64, 0xC2781F49FFCFA6D5p+149L},
                      {96, 0xEFB3AB16C59B14A3p+255L},   {128, 0x93BA47C980E98CE0p+362L},
                      {160, 0xB616A12B7FE617AAp+468L},  {192, 0xE070F78D3927556Bp+574L},
                      {224, 0x8A5296FFE33CC930p+681L},  {256, 0xAA7EEBFB9DF9DE8Ep+787L},
                      {288, 0xD226FC195C6A2F8Cp+893L},  {320, 0x81842F29F2CCE376p+1000L},
                      {352, 0x9FA42700DB900AD2p+1106L}, {384, 0xC4C5E310AEF8AA17p+1212L},
                      {416, 0xF28A9C07E9B09C59p+1318L}, {448, 0x957A4AE1EBF7F3D4p+1425L},
                      {480, 0xB83ED8DC0795A262p+1531L}};
  for (const Row& row : high) {
    EXPECT_EQ(kPowersHigh[static_cast<std::size_t>(row.power / 32)], row.value) << row.power;
  }
}

TEST(PowersOfTen, AreExactUpToTenToTheTwentySeven) {
  long double power = 1;
  for (std::size_t n = 0; n <= 27; ++n) {
    EXPECT_EQ(kPowersLow[n], power) << n;
    power *= 10;
  }
}

}  // namespace
}  // namespace korvalen
