#pragma once
// How every text of the windows writes a count: 12345 as "12,345".
#include <cstdint>
#include <string>

namespace picrelink {

std::u16string GroupedNumber(int64_t number);

}  // namespace picrelink
