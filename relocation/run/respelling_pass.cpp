#include "relocation/run/respelling_pass.h"

#include <algorithm>

#include "core/path_helpers.h"
#include "relocation/references/reference_forms.h"

namespace picrelink {
namespace {

// A reference longer than any path cannot be rewritten; it is still counted.
constexpr size_t kLongestPath = 32768;

bool IsUnreserved(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'.' || c == u'_' || c == u'~' || c == u':';
}

void AppendEscaped(std::u16string& out, uint32_t byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

// Every character but the unreserved ones and the separator as UTF-8 escapes
// with upper-case hex digits.
void AppendPercentEncoded(std::u16string& out, std::u16string_view text, char16_t separator) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == u'\\' || c == u'/') {
      out += separator;
      continue;
    }
    if (IsUnreserved(static_cast<char16_t>(c))) {
      out += static_cast<char16_t>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      AppendEscaped(out, c);
    } else if (c < 0x800) {
      AppendEscaped(out, 0xC0 | (c >> 6));
      AppendEscaped(out, 0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      AppendEscaped(out, 0xE0 | (c >> 12));
      AppendEscaped(out, 0x80 | ((c >> 6) & 0x3F));
      AppendEscaped(out, 0x80 | (c & 0x3F));
    } else {
      AppendEscaped(out, 0xF0 | (c >> 18));
      AppendEscaped(out, 0x80 | ((c >> 12) & 0x3F));
      AppendEscaped(out, 0x80 | ((c >> 6) & 0x3F));
      AppendEscaped(out, 0x80 | (c & 0x3F));
    }
  }
}

}  // namespace

RespellingPass::RespellingPass(std::u16string_view oldFolder, std::u16string_view newFolder,
                               TextSink& next, RunReport& report, PictureChecker* checker,
                               bool rememberFolders)
    : oldFolder_(kReferenceForms[kPathForm].folderText(oldFolder)),
      newFolder_(TrimTrailingChar(kReferenceForms[kPathForm].folderText(newFolder), u'/')),
      next_(next),
      report_(report),
      checker_(checker),
      leftAlone_(oldFolder),
      scanner_(ClassifyHead{}, TakeFound{this}, kLongestPath),
      rememberFolders_(rememberFolders) {
  const std::array<FormTexts, kFormCount> texts = FindAndReplacementTexts(oldFolder, newFolder);
  for (size_t form = 0; form < kFormCount; ++form) {
    newTexts_[form] = texts[form].replacement;
    for (char16_t& c : newTexts_[form]) c = FoldAscii(c);
  }
  foldersApart_ = !newFolder_.empty() && !PathBeginsWithFolder(newFolder_, oldFolder_, false) &&
                  !PathBeginsWithFolder(oldFolder_, newFolder_, false);
  // When the two folders are apart (neither begins the other) and no
  // picture is looked for, a value that begins with what the passes wrote
  // needs no further reading. Most references are such after the passes.
  newTextsFirst_ = foldersApart_ && checker_ == nullptr;
}

bool RespellingPass::Take(const FoundReference& found) {
  size_t nameStart = 0;
  if (!rememberFolders_ || found.truncated || !FolderVerdicts::SplitName(found.value, nameStart)) {
    TakeParsed(found, nullptr, 0);
    return false;
  }
  const std::u16string_view folderPart = found.value.substr(0, nameStart);
  const std::u16string_view name = found.value.substr(nameStart);
  if (const FolderVerdict* verdict = verdicts_.Find(folderPart)) {
    Apply(*verdict, name);
    return false;
  }
  if (!NewTextsDecidedBy(folderPart)) {
    TakeParsed(found, nullptr, 0);
    return false;
  }
  FolderVerdict& verdict = verdicts_.Begin(folderPart);
  if (TakeParsed(found, &verdict, name.size())) verdicts_.Keep();
  return false;
}

bool RespellingPass::NewTextsDecidedBy(std::u16string_view folderPart) const {
  if (!newTextsFirst_) return true;
  // A text that ends within the part, or that the part already differs from.
  for (const std::u16string& text : newTexts_) {
    if (text.size() > folderPart.size() &&
        BeginsWithSmall(folderPart, std::u16string_view(text).substr(0, folderPart.size()))) {
      return false;
    }
  }
  return true;
}

void RespellingPass::Apply(const FolderVerdict& verdict, std::u16string_view name) {
  report_.otherFolderReferences += verdict.otherFolderReferences;
  report_.leftAlone.inMissingFolders += verdict.inMissingFolders;
  report_.leftAlone.inOtherKind += verdict.inOtherKind;
  switch (verdict.picture) {
    case FolderVerdict::Picture::None:
      return;
    case FolderVerdict::Picture::NotChecked:
      checker_->CountNotChecked();
      return;
    case FolderVerdict::Picture::Look:
      checker_->CheckName(*verdict.index, verdict.folder, name);
      return;
  }
}

bool RespellingPass::TakeParsed(const FoundReference& found, FolderVerdict* learn,
                                size_t nameUnits) {
  if (newTextsFirst_) {
    for (const std::u16string& text : newTexts_) {
      if (!text.empty() && BeginsWithSmall(found.value, text)) return learn != nullptr;
    }
  }
  if (!ParseReference(found.value, parsed_)) return learn != nullptr;
  // The units of the path before the name; every decision below must be
  // made from them for the verdict to hold for the folder part.
  const size_t pathFolderUnits = parsed_.path.size() - std::min(nameUnits, parsed_.path.size());
  if (learn != nullptr &&
      (parsed_.browserLength != parsed_.path.size() ||
       !FolderDecidedBy(parsed_.path, newFolder_, pathFolderUnits) ||
       !FolderDecidedBy(parsed_.path, oldFolder_, pathFolderUnits) ||
       (checker_ != nullptr && !checker_->ResolvedBy(parsed_, pathFolderUnits)))) {
    learn = nullptr;
  }
  // Like the passes, a folder is matched as the beginning of the path. When
  // a path begins with both folders (one lies inside the other), the longer
  // one is what it names: a reference that a pass rewrote to the new folder
  // inside the old one is not the old folder's.
  const bool beginsNew =
      !newFolder_.empty() && PathBeginsWithFolder(parsed_.path, newFolder_, false);
  const bool beginsOld = PathBeginsWithFolder(parsed_.path, oldFolder_, false);
  if (beginsNew && (!beginsOld || newFolder_.size() >= oldFolder_.size())) {
    if (checker_ != nullptr && PathBeginsWithFolder(parsed_.path, newFolder_, true)) {
      return CheckParsed(learn, pathFolderUnits);
    }
    return learn != nullptr;
  }
  if (beginsOld) {
    // Not remembered: what is done here depends on the whole value.
    if (parsed_.form == kUrlForm && !found.truncated) {
      const unsigned spelling = parsed_.spelling;
      std::u16string respelled = Respell(found.value);
      if (!respelled.empty()) {
        CountSpellings(report_.respelled, spelling);
        ++report_.respelledTotal;
        CheckPicture(respelled);
        edits_.push_back({found.position, found.length, std::move(respelled)});
        return false;
      }
    }
    ++report_.leftovers;
    if (report_.leftoverExamples.size() < kReportExamples) {
      report_.leftoverExamples.emplace_back(found.value);
    }
    return false;
  }
  ++report_.otherFolderReferences;
  const std::u16string folder(parsed_.path.substr(0, PictureFolderLength(parsed_, true)));
  if (report_.otherFolders.size() < kReportExamples &&
      std::find(report_.otherFolders.begin(), report_.otherFolders.end(), folder) ==
          report_.otherFolders.end()) {
    report_.otherFolders.push_back(folder);
  }
  const int64_t inMissingFolders = report_.leftAlone.inMissingFolders;
  const int64_t inOtherKind = report_.leftAlone.inOtherKind;
  leftAlone_.Take(parsed_, folder, report_.leftAlone);
  if (learn != nullptr) {
    learn->otherFolderReferences = 1;
    learn->inMissingFolders = report_.leftAlone.inMissingFolders - inMissingFolders;
    learn->inOtherKind = report_.leftAlone.inOtherKind - inOtherKind;
  }
  // A folder of this machine: its picture is looked for where it points, so
  // that one left behind is counted missing, never passed over.
  if (checker_ != nullptr && (parsed_.spelling & kSpellingLocal) != 0) {
    return CheckParsed(learn, pathFolderUnits);
  }
  return learn != nullptr;
}

bool RespellingPass::CheckParsed(FolderVerdict* learn, size_t pathFolderUnits) {
  if (learn == nullptr) {
    checker_->Check(parsed_);
    return false;
  }
  // The whole path is followed here (TakeParsed makes sure of it).
  const PictureChecker::Target target = checker_->Resolve(parsed_);
  checker_->CheckAt(target, parsed_);
  if (target.index == nullptr) {
    learn->picture = FolderVerdict::Picture::NotChecked;
    return true;
  }
  if (target.restStart > pathFolderUnits) return false;
  const std::u16string_view below =
      std::u16string_view(parsed_.path)
          .substr(target.restStart, pathFolderUnits - target.restStart);
  // A character reference would be decoded before the lookup.
  if (below.find(u'&') != std::u16string_view::npos) return false;
  learn->picture = FolderVerdict::Picture::Look;
  learn->index = target.index;
  PictureIndex::MakeFolder(below, learn->folder);
  return true;
}

std::u16string RespellingPass::Respell(std::u16string_view value) {
  if (newFolder_.empty()) return {};
  const size_t pathStart = parsed_.pathStart;
  const std::u16string_view raw = value.substr(pathStart);
  std::basic_string<uint32_t> rawEnds;
  DecodePercentLeniently(raw, &rawEnds);
  const std::u16string_view folder =
      oldFolder_.size() > 1 && (oldFolder_.back() == u'\\' || oldFolder_.back() == u'/')
          ? std::u16string_view(oldFolder_).substr(0, oldFolder_.size() - 1)
          : std::u16string_view(oldFolder_);
  if (folder.empty() || rawEnds.size() < folder.size()) return {};
  const size_t rawEnd = rawEnds[folder.size() - 1];
  // The folder part must end with a whole character, not inside an escape
  // sequence of one.
  if (folder.size() < rawEnds.size() && rawEnds[folder.size()] == rawEnd) return {};
  const std::u16string_view oldPart = raw.substr(0, rawEnd);
  const bool backslashes = oldPart.find(u'\\') != std::u16string_view::npos;
  const char16_t separator = backslashes ? u'\\' : u'/';
  std::u16string result(value.substr(0, pathStart));
  // A local folder's own "/" would make a host of its first component behind
  // file:/ or file://localhost/: the scheme part's "/" stands for it.
  std::u16string_view folderText = newFolder_;
  if (folderText.starts_with(u'/') && !result.empty() && result.back() == u'/') {
    folderText.remove_prefix(1);
  }
  if (oldPart.find(u'%') != std::u16string_view::npos) {
    AppendPercentEncoded(result, folderText, separator);
  } else {
    std::u16string plain = EscapeUrlPath(folderText);
    for (char16_t& c : plain) {
      if (c == u'\\' || c == u'/') c = separator;
    }
    result += plain;
  }
  result += raw.substr(rawEnd);
  return result;
}

void RespellingPass::CheckPicture(std::u16string_view value) {
  if (checker_ == nullptr) return;
  ParsedReference parsed;
  if (ParseReference(value, parsed)) checker_->Check(parsed);
}

void RespellingPass::HandOnRange(uint64_t from, uint64_t to) {
  if (from < pieceStart_) {
    const uint64_t end = std::min(to, pieceStart_);
    next_.Append(held_.data() + (from - heldStart_), static_cast<size_t>(end - from));
    from = end;
  }
  if (from < to) next_.Append(piece_ + (from - pieceStart_), static_cast<size_t>(to - from));
}

void RespellingPass::HandOn(uint64_t position) {
  uint64_t at = heldStart_;
  size_t done = 0;
  for (; done < edits_.size() && edits_[done].position < position; ++done) {
    const Edit& edit = edits_[done];
    if (at < edit.position) HandOnRange(at, edit.position);
    next_.Append(edit.text.data(), edit.text.size());
    at = edit.position + edit.length;
  }
  edits_.erase(edits_.begin(), edits_.begin() + static_cast<std::ptrdiff_t>(done));
  if (at < position) HandOnRange(at, position);
  at = std::max(at, position);
  // Keep what is still held: the end of held_ and of the piece from at on.
  const uint64_t end = scanner_.Position();
  std::u16string rest;
  if (at < pieceStart_) rest.assign(held_, static_cast<size_t>(at - heldStart_));
  const uint64_t pieceFrom = std::max(at, pieceStart_);
  if (pieceFrom < end)
    rest.append(piece_ + (pieceFrom - pieceStart_), static_cast<size_t>(end - pieceFrom));
  held_ = std::move(rest);
  heldStart_ = at;
}

void RespellingPass::Append(const char16_t* units, size_t count) {
  if (count == 0) return;
  piece_ = units;
  pieceStart_ = scanner_.Position();
  scanner_.Feed(std::u16string_view(units, count));
  HandOn(scanner_.HeldFrom());
  piece_ = nullptr;
  pieceStart_ = scanner_.Position();
}

void RespellingPass::Finish() {
  scanner_.Finish();
  HandOn(scanner_.Position());
}

}  // namespace picrelink
