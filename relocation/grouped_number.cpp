#include "relocation/grouped_number.h"

#include "core/utf.h"

namespace picrelink {

std::u16string GroupedNumber(int64_t number) {
  // The magnitude as unsigned: the smallest number has no positive twin.
  const uint64_t magnitude =
      number < 0 ? uint64_t{0} - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
  std::string digits = std::to_string(magnitude);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return FromUtf8((number < 0 ? "-" : "") + digits);
}

}  // namespace picrelink
