// Detection over any UTF-16 text: the two reference patterns find what a
// plain scan finds (the earliest reference, up to the first quote after its
// drive), reading the text in pieces finds the same, and the folder helpers
// take any result without harm.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/path_helpers.h"
#include "fuzz/fuzz_text.h"
#include "relocation/references/detection.h"
#include "relocation/references/detection_stream.h"

namespace {

using picrelink::fuzz::Fail;

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The capture of src=""(<head>.*?)" where head is the literal prefix, a
// letter, then the drive's separator: the earliest start that has a quote
// somewhere after its head, up to that first quote.
std::u16string Reference(const std::u16string& text, std::u16string_view prefix,
                         std::u16string_view drive) {
  static constexpr std::u16string_view kSrc = u"src=\"\"";
  for (size_t i = 0; i + kSrc.size() <= text.size(); ++i) {
    const std::u16string_view rest = std::u16string_view(text).substr(i);
    if (!rest.starts_with(kSrc)) continue;
    const std::u16string_view value = rest.substr(kSrc.size());
    if (!value.starts_with(prefix) || value.size() < prefix.size() + 1 + drive.size() ||
        !IsLetter(value[prefix.size()]) || value.substr(prefix.size() + 1, drive.size()) != drive) {
      continue;
    }
    const size_t quote = value.find(u'"', prefix.size() + 1 + drive.size());
    if (quote != std::u16string_view::npos) return std::u16string(value.substr(0, quote));
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = picrelink::fuzz::WholeText(data, size);

  const std::u16string path = picrelink::CollectMatches(text, picrelink::kPathPattern, u"$1");
  if (path != Reference(text, u"", u":\\")) Fail("path-form detection differs");
  const std::u16string url = picrelink::CollectMatches(text, picrelink::kUrlPattern, u"$1");
  if (url != Reference(text, u"file:///", u":/")) Fail("URL-form detection differs");

  // The same text in pieces whose sizes the input's bytes choose.
  size_t given = 0;
  size_t piece = 0;
  const picrelink::TextSource source = [&](char16_t* units, size_t maxUnits) {
    const size_t wanted = size == 0 ? 1 : 1 + data[piece++ % size] % 16;
    const size_t count = std::min({maxUnits, wanted, text.size() - given});
    std::copy_n(text.data() + given, count, units);
    given += count;
    return count;
  };
  const picrelink::FirstReferences found = picrelink::FindFirstReferences(source, 16);
  if (found.first[picrelink::kPathForm] != path) Fail("piecewise path-form detection differs");
  if (path.empty() && found.first[picrelink::kUrlForm] != url)
    Fail("piecewise URL-form detection differs");
  if (found.hasText == text.empty()) Fail("piecewise reading lost the text");

  // What detection does with a result; these must not crash on any of it.
  const std::u16string folder = picrelink::ExtractFileDir(picrelink::ExtractFileDir(path));
  if (folder.size() > path.size()) Fail("a folder longer than its path");
  const std::u16string parent = picrelink::UrlParentDir(picrelink::UrlParentDir(url));
  if (parent.size() > url.size()) Fail("a parent longer than its URL");
  return 0;
}
