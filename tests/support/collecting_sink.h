#pragma once
// The end of a chain of text sinks in a test: keeps every unit it is given.
#include <cstddef>
#include <string>

#include "core/stream_replace.h"

namespace picrelink::test {

struct CollectingSink : TextSink {
  void Append(const char16_t* units, size_t count) override { text.append(units, count); }
  std::u16string text;
};

}  // namespace picrelink::test
