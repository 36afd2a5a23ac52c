#pragma once
// Writing a CSV's new text (FF FE and UTF-16LE code units) over the file as
// the text is produced, the safe way: the file keeps its old bytes until
// Commit.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/stream_replace.h"

namespace picrelink {

class Utf16ReplacementWriter : public TextSink {
 public:
  // Nothing is created until the first code unit arrives, so a text that
  // turns out empty leaves no trace. original: the target while it is being
  // read (see platform::ReplacementFile).
  Utf16ReplacementWriter(std::u16string_view target, platform::InputFile* original);

  // Writes the units as they come, so callers hand over large pieces (the
  // run does, through a BackgroundSink). Throws Error "Cannot create file
  // ..." or "Stream write error ...".
  void Append(const char16_t* units, size_t count) override;
  // Puts the new file in place of the old one; for a text of no code units,
  // a file that holds the mark alone.
  void Commit();

  uint64_t UnitsWritten() const { return units_; }

 private:
  void OpenReplacement();

  std::u16string target_;
  platform::InputFile* original_;
  std::unique_ptr<platform::ReplacementFile> file_;
  uint64_t units_ = 0;
};

}  // namespace picrelink
