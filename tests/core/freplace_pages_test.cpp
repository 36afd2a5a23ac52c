#include "core/freplace_pages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace picrelink {
namespace {

// The hint may change how memory is backed, never what it holds: a buffer
// written before the hint reads the same after it, whatever its size and
// alignment, and stays writable.
TEST(AdviseLargePages, KeepsTheContentsOfTheBuffer) {
  constexpr size_t kUnits = (size_t{20} << 20) / sizeof(char16_t);
  std::vector<char16_t> buffer(kUnits + 3);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<char16_t>(i * 7919);
  const struct {
    size_t offset;
    size_t units;
  } ranges[] = {{0, kUnits}, {3, kUnits}, {1, 4096}, {0, 0}, {5, kUnits / 2 + 1}};
  for (const auto& r : ranges) {
    AdviseLargePages(buffer.data() + r.offset, r.units * sizeof(char16_t));
  }
  AdviseLargePages(nullptr, 1 << 30);
  for (size_t i = 0; i < buffer.size(); ++i) {
    ASSERT_EQ(buffer[i], static_cast<char16_t>(i * 7919)) << "unit " << i;
  }
  for (size_t i = 0; i < buffer.size(); i += 4096) buffer[i] = u'x';
  EXPECT_EQ(buffer[4096], u'x');
}

}  // namespace
}  // namespace picrelink
