// Every spelling of a picture reference over any UTF-16 text: reading a
// value never fails or reads past it, and the run's last stage gives the same
// text and counts whether the text comes whole or in pieces that the input's
// bytes choose.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_text.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/respelling_pass.h"

namespace {

using picrelink::fuzz::Fail;

struct Collect : picrelink::TextSink {
  void Append(const char16_t* units, size_t count) override { text.append(units, count); }
  std::u16string text;
};

void CheckValue(std::u16string_view value) {
  picrelink::ParsedReference parsed;
  if (!picrelink::ParseReference(value, parsed)) return;
  if (parsed.pathStart > value.size()) Fail("a path that begins past its value");
  if (picrelink::PictureFolderLength(parsed, false) > parsed.path.size() ||
      picrelink::PictureFolderLength(parsed, true) > parsed.path.size()) {
    Fail("a folder longer than its path");
  }
  std::basic_string<uint32_t> ends;
  const std::u16string decoded = picrelink::DecodePercentLeniently(value, &ends);
  if (ends.size() != decoded.size()) Fail("a decoded unit without its place");
  for (size_t i = 0; i < ends.size(); ++i) {
    if (ends[i] > value.size() || (i > 0 && ends[i] < ends[i - 1])) Fail("places out of order");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  const std::u16string oldFolder = picrelink::fuzz::TakeText(data, size, &at);
  const std::u16string newFolder = picrelink::fuzz::TakeText(data, size, &at);
  const std::u16string text = picrelink::fuzz::TakeText(data, size, &at);

  picrelink::ScanReferences(text, picrelink::ClassifySpelledHead,
                            [](const picrelink::FoundReference& found) {
                              CheckValue(found.value);
                              return false;
                            });

  Collect whole;
  picrelink::RunReport wholeReport;
  {
    picrelink::RespellingPass pass(oldFolder, newFolder, whole, wholeReport, nullptr);
    pass.Append(text.data(), text.size());
    pass.Finish();
  }
  Collect pieces;
  picrelink::RunReport piecesReport;
  {
    picrelink::RespellingPass pass(oldFolder, newFolder, pieces, piecesReport, nullptr);
    size_t given = 0;
    for (size_t piece = 0; given < text.size(); ++piece) {
      const size_t count = std::min<size_t>(text.size() - given, 1 + data[piece % size] % 9);
      pass.Append(text.data() + given, count);
      given += count;
    }
    pass.Finish();
  }
  if (pieces.text != whole.text) Fail("pieces give another text");
  if (piecesReport.respelledTotal != wholeReport.respelledTotal ||
      piecesReport.leftovers != wholeReport.leftovers ||
      piecesReport.otherFolderReferences != wholeReport.otherFolderReferences) {
    Fail("pieces give other counts");
  }
  // Nothing but rewritten references changes.
  if (wholeReport.respelledTotal == 0 && whole.text != text) Fail("text changed with no rewrite");
  return 0;
}
