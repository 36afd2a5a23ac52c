#include "cli/report.h"

#include <algorithm>
#include <ostream>
#include <set>

#include "core/platform.h"
#include "core/utf.h"
#include "relocation/references/reference_forms.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink::cli {
namespace {

// How many folders the human form lists; the JSON object lists all.
constexpr size_t kListedFolders = 20;

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

Json Utf8List(const std::vector<std::u16string>& texts) {
  Json list = Json::array();
  for (const auto& text : texts) list.push_back(ToUtf8(text));
  return list;
}

// Columns a terminal gives the text: East Asian wide letters take two.
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

size_t Columns(std::u16string_view text) {
  size_t columns = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    columns += IsWide(c) ? 2 : 1;
  }
  return columns;
}

std::string Padded(std::string text, size_t columns, size_t width, bool right) {
  const std::string pad(width > columns ? width - columns : 0, ' ');
  return right ? pad + text : text + pad;
}

// The per-form counts under the forms' report names, after the total.
Json FormsJson(int64_t total, const std::array<int64_t, kFormCount>& byForm,
               std::string_view totalKey = "total") {
  Json object;
  object[std::string(totalKey)] = total;
  for (size_t i = 0; i < kFormCount; ++i) object[std::string(kReferenceForms[i].name)] = byForm[i];
  return object;
}

// A form's name for people: its report name in English.
std::string FormName(size_t form, Language language) {
  static_assert(kPathForm == 0 && kUrlForm == 1 && kFormCount == 2);
  return Say(language, form == kPathForm ? Text::FormPath : Text::FormUrl);
}

}  // namespace

// "path 9,876, url 2,469"
std::string FormsText(const std::array<int64_t, kFormCount>& byForm, Language language) {
  std::string text;
  for (size_t i = 0; i < kFormCount; ++i) {
    if (i > 0) text += Say(language, Text::ListComma);
    text += FormName(i, language) + " " + Grouped(byForm[i]);
  }
  return text;
}

namespace {

// Every known spelling name, the standard one first, then any further name
// the counts hold; a name not counted is 0.
std::vector<std::pair<std::string, int64_t>> Spellings(const std::map<std::string, int64_t>& counts,
                                                       bool withStandard) {
  std::vector<std::pair<std::string, int64_t>> list;
  std::set<std::string> named;
  const auto add = [&](std::string_view name) {
    const auto it = counts.find(std::string(name));
    list.emplace_back(name, it == counts.end() ? 0 : it->second);
    named.emplace(name);
  };
  if (withStandard) add(kStandardSpelling);
  for (const auto& [bit, name] : kSpellingNames) add(name);
  for (const auto& [name, count] : counts) {
    if (!named.contains(name)) list.emplace_back(name, count);
  }
  return list;
}

Json SpellingsJson(const std::map<std::string, int64_t>& counts, bool withStandard) {
  Json object = Json::object();
  for (const auto& [name, count] : Spellings(counts, withStandard)) object[name] = count;
  return object;
}

// "standard 12,000, percent-encoded 345": the names counted at least once.
std::string SpellingsText(const std::map<std::string, int64_t>& counts, bool withStandard,
                          Language language) {
  std::string text;
  for (const auto& [name, count] : Spellings(counts, withStandard)) {
    if (count == 0) continue;
    if (!text.empty()) text += Say(language, Text::ListComma);
    text += ToUtf8(SpellingLabel(name, language)) + " " + Grouped(count);
  }
  return text;
}

void PrintFolders(std::ostream& out, const Census& census, Language language) {
  if (census.folders.empty() && census.foldersNotListed == 0) {
    out << Say(language, Text::FoldersNamedNone) << '\n';
    return;
  }
  out << Say(language, Text::FoldersNamed) << '\n';
  const size_t listed = std::min(census.folders.size(), kListedFolders);
  size_t nameWidth = 0;
  size_t countWidth = 0;
  for (size_t i = 0; i < listed; ++i) {
    nameWidth = std::max(nameWidth, Columns(census.folders[i].folder));
    countWidth = std::max(countWidth, Grouped(census.folders[i].references).size());
  }
  for (size_t i = 0; i < listed; ++i) {
    const CensusFolder& folder = census.folders[i];
    const std::string count = Grouped(folder.references);
    out << (folder.detected ? "  * " : "    ")
        << Padded(Utf8(folder.folder), Columns(folder.folder), nameWidth, false) << "  "
        << Padded(count, count.size(), countWidth, true) << " ("
        << FormsText(folder.byForm, language) << ")"
        << (folder.local ? Say(language, Text::LocalFolder) : "")
        << (folder.detected ? Say(language, Text::DetectedMark) : "")
        << (folder.inNewFolder ? Say(language, Text::InNewFolderMark) : "") << '\n';
  }
  if (census.folders.size() > listed) {
    int64_t references = 0;
    for (size_t i = listed; i < census.folders.size(); ++i) {
      references += census.folders[i].references;
    }
    out << Say(language, Text::MoreFolders,
               {Grouped(static_cast<int64_t>(census.folders.size() - listed)), Grouped(references)})
        << '\n';
  }
  if (census.foldersNotListed > 0) {
    out << Say(language, Text::FurtherFolders, {Grouped(census.foldersNotListed)}) << '\n';
  }
}

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::NoCsv:
      return "no_csv";
    case RunOutcome::NoText:
      return "no_text";
    case RunOutcome::EmptyNewText:
      return "empty_new_text";
    case RunOutcome::NothingToChange:
      return "nothing_to_change";
    case RunOutcome::Written:
      return "written";
    case RunOutcome::DryRun:
      return "dry_run";
  }
  return "unknown";
}

}  // namespace

void WriteJson(std::ostream& out, const Json& object) {
  // Texts are UTF-8 already (ToUtf8 never leaves an invalid sequence).
  out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

const char* EncodingName(CsvEncoding encoding) {
  switch (encoding) {
    case CsvEncoding::Utf16Le:
      return "utf-16le";
    case CsvEncoding::Empty:
      return "empty";
    case CsvEncoding::Utf16Be:
      return "utf-16be";
    case CsvEncoding::Utf16LeNoMark:
      return "utf-16le-without-mark";
    case CsvEncoding::Utf16BeNoMark:
      return "utf-16be-without-mark";
    case CsvEncoding::Utf8Bom:
      return "utf-8-with-mark";
    case CsvEncoding::Utf8:
      return "utf-8";
    case CsvEncoding::Ascii:
      return "ascii";
    case CsvEncoding::Ansi:
      return "ansi";
  }
  return "unknown";
}

Json PicturesJson(const PictureTally& tally) {
  Json object;
  object["folder"] = Utf8(tally.folder);
  object["folder_exists"] = tally.folderExists;
  object["checked"] = tally.checked;
  object["found"] = tally.found;
  object["found_ignoring_case"] = tally.foundIgnoringCase;
  object["missing"] = tally.missing;
  object["missing_elsewhere"] = tally.missingElsewhere;
  object["not_checked"] = tally.notChecked;
  object["missing_examples"] = Utf8List(tally.missingExamples);
  object["unreadable_folders"] = tally.unreadableFolders;
  return object;
}

void PrintPictures(std::ostream& out, const PictureTally& tally, Language language) {
  out << Say(language, Text::Pictures,
             {Grouped(tally.checked), Grouped(tally.found), Grouped(tally.missing)});
  if (tally.notChecked > 0) {
    out << Say(language, Text::PicturesNotChecked, {Grouped(tally.notChecked)});
  }
  out << '\n';
  if (!tally.folderExists) out << Say(language, Text::PicturesNoFolder) << '\n';
  if (tally.foundIgnoringCase > 0) {
    out << Say(language, Text::PicturesIgnoringCase, {Grouped(tally.foundIgnoringCase)}) << '\n';
  }
  if (tally.unreadableFolders > 0) {
    out << Say(language, Text::PicturesUnreadable, {Grouped(tally.unreadableFolders)}) << '\n';
  }
  if (!tally.missingExamples.empty()) {
    out << Say(language, Text::Missing);
    if (static_cast<int64_t>(tally.missingExamples.size()) < tally.missing) {
      out << Say(language, Text::MissingFirst,
                 {std::to_string(tally.missingExamples.size()), Grouped(tally.missing)});
    }
    out << Say(language, Text::Colon) << '\n';
    for (const auto& path : tally.missingExamples) out << "  " << Utf8(path) << '\n';
  }
}

Json CheckJson(const CheckResult& result, std::u16string_view csv, std::u16string_view newFolder) {
  const Census& census = result.census;
  Json object;
  object["csv"] = Utf8(csv);
  object["level"] = census.level;
  object["has_text"] = census.hasText;
  object["encoding"] = EncodingName(CsvEncoding::Utf16Le);
  object["references"] = FormsJson(census.references, census.byForm);
  object["spellings"] = SpellingsJson(census.spellings, true);
  Json folders = Json::array();
  for (const CensusFolder& folder : census.folders) {
    Json entry;
    entry["folder"] = Utf8(folder.folder);
    entry.update(FormsJson(folder.references, folder.byForm, "references"));
    entry["detected"] = folder.detected;
    entry["local"] = folder.local;
    entry["in_new_folder"] = folder.inNewFolder;
    folders.push_back(std::move(entry));
  }
  object["folders"] = std::move(folders);
  object["folders_not_listed"] = census.foldersNotListed;
  object["not_rewritable"] = {{"count", census.notRewritable},
                              {"examples", Utf8List(census.notRewritableExamples)}};
  object["detected_folder"] = Utf8(census.detected);
  object["new_folder"] = Utf8(newFolder);
  object["pictures"] = result.pictures ? PicturesJson(*result.pictures) : Json();
  return object;
}

Json SuggestionJson(const PictureSearch& search) {
  if (!search.suggestion) return Json();
  const PictureSuggestion& suggestion = *search.suggestion;
  return Json{{"new_folder", Utf8(suggestion.newFolder)},
              {"level", suggestion.level},
              {"checked", suggestion.checked},
              {"found", suggestion.found}};
}

void PrintSuggestion(std::ostream& out, const PictureSearch& search, int32_t level, bool hint,
                     Language language) {
  if (search.suggestion) {
    const PictureSuggestion& suggestion = *search.suggestion;
    out << Say(
        language, Text::Suggestion,
        {Utf8(suggestion.newFolder), Grouped(suggestion.found), Grouped(suggestion.checked)});
    if ((suggestion.level > 0) != (level > 0)) {
      out << Say(language, Text::SuggestionLevel, {std::to_string(suggestion.level)});
    }
    if (hint) out << Say(language, Text::SuggestionHint);
    out << '\n';
  }
  switch (search.stop) {
    case SearchStop::Complete:
      break;
    case SearchStop::EntryLimit:
      out << Say(language, Text::SearchStoppedEntries, {Grouped(search.entries)}) << '\n';
      break;
    case SearchStop::TimeLimit:
      out << Say(language, Text::SearchStoppedTime,
                 {std::to_string(PictureSearchLimits{}.time.count() / 1000)})
          << '\n';
      break;
  }
}

void PrintCheck(std::ostream& out, const CheckResult& result, std::u16string_view csv,
                std::u16string_view newFolder, Language language) {
  const Census& census = result.census;
  out << Say(language, Text::CheckCsvLine, {Utf8(csv), std::to_string(census.level)}) << '\n';
  out << Say(language, Text::References, {Grouped(census.references)});
  if (census.references > 0) {
    out << Say(
        language, Text::Spellings,
        {FormsText(census.byForm, language), SpellingsText(census.spellings, true, language)});
  }
  out << '\n';
  PrintFolders(out, census, language);
  if (census.detected.empty()) out << Say(language, Text::DetectedNone) << '\n';
  if (census.notRewritable > 0) {
    out << Say(language, Text::NotRewritableLine, {Grouped(census.notRewritable)})
        << Say(language, Text::Colon) << '\n';
    for (const auto& value : census.notRewritableExamples) out << "  " << Utf8(value) << '\n';
  }
  out << Say(language, Text::NewFolderLine, {Utf8(newFolder)}) << '\n';
  if (result.pictures) PrintPictures(out, *result.pictures, language);
}

Json RunJson(const RunReport& report, const FormValues& values,
             const std::vector<std::u16string>& messages, const Json& encoding) {
  Json object;
  object["outcome"] = OutcomeName(report.outcome);
  object["encoding"] = encoding;
  object["csv"] = Utf8(values.Btn1());
  object["old_folder"] = Utf8(values.Btn2());
  object["new_folder"] = Utf8(values.Btn3());
  std::u16string message;
  for (const auto& text : messages) message += (message.empty() ? u"" : u"\n") + text;
  object["message"] = messages.empty() ? Json() : Json(Utf8(message));
  int64_t rewritten = 0;
  for (const int64_t count : report.occurrences) rewritten += count;
  object["rewritten"] = FormsJson(rewritten, report.occurrences);
  object["outside_references"] =
      report.occurrencesOutsideReferences ? Json(*report.occurrencesOutsideReferences) : Json();
  object["backup"] =
      report.backup.empty() ? Json() : Json(Utf8(platform::AbsolutePath(report.backup)));
  // The command that undoes a written run: it puts the backup back.
  object["undo"] = report.outcome == RunOutcome::Written && !report.backup.empty()
                       ? Json("picrelink-cli restore \"" + Utf8(report.csv) + "\"")
                       : Json();
  Json respelled;
  respelled["total"] = report.respelledTotal;
  respelled.update(SpellingsJson(report.respelled, false));
  object["respelled"] = std::move(respelled);
  object["leftovers"] = {{"count", report.leftovers},
                         {"examples", Utf8List(report.leftoverExamples)}};
  object["other_folders"] = {{"references", report.otherFolderReferences},
                             {"folders", Utf8List(report.otherFolders)}};
  object["left_alone"] = {{"in_missing_folders", report.leftAlone.inMissingFolders},
                          {"missing_folders", Utf8List(report.leftAlone.missingFolders)},
                          {"in_other_form", report.leftAlone.inOtherKind},
                          {"other_form_folders", Utf8List(report.leftAlone.otherKindFolders)}};
  object["new_folder_missing"] = report.newFolderMissing;
  object["pictures"] = report.pictures ? PicturesJson(*report.pictures) : Json();
  return object;
}

void PrintRunDetails(std::ostream& out, const RunReport& report, Language language) {
  const bool dry = report.outcome == RunOutcome::DryRun;
  if (!report.backup.empty()) {
    out << Say(language, dry ? Text::BackupDryRun : Text::Backup,
               {Utf8(platform::AbsolutePath(report.backup))})
        << '\n';
  }
  if (report.outcome == RunOutcome::Written && !report.backup.empty()) {
    out << Say(language, Text::UndoLine,
               {Utf8(report.csv), Utf8(platform::AbsolutePath(report.backup))})
        << '\n';
  }
  if (report.occurrencesOutsideReferences.value_or(0) > 0) {
    out << Say(language, dry ? Text::OutsideDryRun : Text::Outside,
               {Grouped(*report.occurrencesOutsideReferences)})
        << '\n';
  }
  if (report.respelledTotal > 0) {
    out << SayCounted(language, report.respelledTotal,
                      dry ? Text::RespelledDryRunOne : Text::RespelledOne,
                      dry ? Text::RespelledDryRunMore : Text::RespelledMore,
                      {SpellingsText(report.respelled, false, language)})
        << '\n';
  }
  if (report.leftovers > 0) {
    out << SayCounted(language, report.leftovers, dry ? Text::LeftOverDryRunOne : Text::LeftOverOne,
                      dry ? Text::LeftOverDryRunMore : Text::LeftOverMore);
    if (static_cast<int64_t>(report.leftoverExamples.size()) < report.leftovers) {
      out << Say(language, Text::FirstBelow, {std::to_string(report.leftoverExamples.size())});
    }
    out << Say(language, Text::Colon) << '\n';
    for (const auto& text : report.leftoverExamples) out << "  " << Utf8(text) << '\n';
  }
  if (report.otherFolderReferences > 0) {
    out << SayCounted(language, report.otherFolderReferences, Text::LeftAloneOne,
                      Text::LeftAloneMore)
        << '\n';
    for (const auto& folder : report.otherFolders) out << "  " << Utf8(folder) << '\n';
  }
  const auto listed = [&](const std::vector<std::u16string>& folders) {
    std::string text;
    for (const auto& folder : folders) {
      if (!text.empty()) text += Say(language, Text::ListComma);
      text += Utf8(folder);
    }
    return text;
  };
  const LeftAloneTally& alone = report.leftAlone;
  if (alone.inMissingFolders > 0) {
    out << Say(language, Text::LeftAloneMissing,
               {Grouped(alone.inMissingFolders), listed(alone.missingFolders)})
        << '\n';
  }
  if (alone.inOtherKind > 0) {
    out << Say(language, Text::LeftAloneOtherKind,
               {Grouped(alone.inOtherKind), listed(alone.otherKindFolders)})
        << '\n';
  }
  if (report.newFolderMissing) {
    out << Say(language, Text::NewFolderMissingLine) << '\n';
  }
  if (report.pictures) PrintPictures(out, *report.pictures, language);
}

}  // namespace picrelink::cli
