#pragma once
// The run's last stage: after the passes of each form, the text streams
// through here. File URLs that still name the old folder in another spelling
// (percent-encoded, localhost, file:/) get the new folder in their own style;
// every reference is counted for the run's report (leftovers of the old
// folder, other folders left alone) and, when the new folder exists, the
// pictures of the rewritten references are looked for there.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/stream_replace.h"
#include "relocation/census/picture_check.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/folder_verdicts.h"
#include "relocation/run/left_alone.h"

namespace picrelink {

class RespellingPass : public TextSink {
 public:
  // oldFolder, newFolder: the run's folder values (btn2, btn3). report
  // receives the counts; checker, when given, the references to the new
  // folder. rememberFolders off decides every reference on its own, as the
  // plain version that the remembered verdicts are checked against.
  RespellingPass(std::u16string_view oldFolder, std::u16string_view newFolder, TextSink& next,
                 RunReport& report, PictureChecker* checker, bool rememberFolders = true);
  void Append(const char16_t* units, size_t count) override;
  // The end of the text. Call it once, last.
  void Finish();

 private:
  bool Take(const FoundReference& found);
  // Decides a reference from its parse. With learn, also fills in the
  // verdict for its folder part (nameUnits: the units of the value behind
  // it) and says whether the verdict holds for every value with that
  // folder part.
  bool TakeParsed(const FoundReference& found, FolderVerdict* learn, size_t nameUnits);
  bool CheckParsed(FolderVerdict* learn, size_t pathFolderUnits);
  void Apply(const FolderVerdict& verdict, std::u16string_view name);
  // Whether the comparison with newTexts_ is decided by a folder part alone.
  bool NewTextsDecidedBy(std::u16string_view folderPart) const;
  // The value with its folder part replaced by the new folder in the style
  // of the old one; empty when it cannot be.
  std::u16string Respell(std::u16string_view value);
  void CheckPicture(std::u16string_view value);
  // Hands on the text up to position, with the edits that lie before it.
  void HandOn(uint64_t position);
  void HandOnRange(uint64_t from, uint64_t to);

  std::u16string oldFolder_;  // as the path-form pass looks for it
  std::u16string newFolder_;  // as the path-form pass puts it in
  // What the passes write for the new folder, in each form: a value that
  // begins with one of them names the new folder, and when the two folders
  // are apart (neither begins the other) and no picture is looked for, it
  // needs no further reading. Most references are such after the passes.
  // Kept with ASCII letters small, as they are compared.
  std::array<std::u16string, kFormCount> newTexts_;
  bool foldersApart_ = false;
  TextSink& next_;
  RunReport& report_;
  PictureChecker* checker_;
  LeftAloneCheck leftAlone_;
  // The scan with its classifier and sink inlined: it calls them for every
  // reference of the text.
  struct ClassifyHead {
    int operator()(std::u16string_view head) const { return ClassifySpelledHead(head); }
  };
  struct TakeFound {
    RespellingPass* pass;
    bool operator()(const FoundReference& found) const { return pass->Take(found); }
  };
  BasicReferenceScanner<ClassifyHead, TakeFound> scanner_;
  ParsedReference parsed_;
  // Whether a value is compared with newTexts_ before it is parsed.
  bool newTextsFirst_ = false;
  bool rememberFolders_;
  FolderVerdicts verdicts_;

  struct Edit {
    uint64_t position;
    uint64_t length;
    std::u16string text;
  };
  std::vector<Edit> edits_;
  // Text not yet handed on: held_ from heldStart_, then the piece being
  // appended from pieceStart_.
  std::u16string held_;
  uint64_t heldStart_ = 0;
  const char16_t* piece_ = nullptr;
  uint64_t pieceStart_ = 0;
};

}  // namespace picrelink
