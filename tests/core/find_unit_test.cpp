// FindUnit against a plain unit-by-unit search, wherever the unit stands
// relative to the eight-unit blocks.
#include "core/find_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace picrelink {
namespace {

TEST(FindUnitProperty, AgreesWithAPlainSearch) {
  std::mt19937 rng(31u);
  for (int round = 0; round < 20000; ++round) {
    std::u16string text(rng() % 40, u'a');
    for (char16_t& c : text)
      c = static_cast<char16_t>(u'"' + rng() % 3 * 0x2000);  // ", U+2022, U+4022
    const size_t from = text.empty() ? 0 : rng() % (text.size() + 1);
    const size_t expected = static_cast<size_t>(
        std::find(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), u'"') -
        text.begin());
    ASSERT_EQ(FindUnit(text.data(), text.size(), u'"', from), expected) << round;
  }
  // The unit's high byte counts: U+2222 is not "\"".
  const std::u16string look = u"\u2222\u2222\u2222\u2222\u2222\u2222\u2222\u2222\"";
  EXPECT_EQ(FindUnit(look.data(), look.size(), u'"', 0), 8u);
  EXPECT_EQ(FindUnit(look.data(), 0, u'"', 0), 0u);
}

}  // namespace
}  // namespace picrelink
