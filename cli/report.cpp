#include "cli/report.h"

#include <algorithm>
#include <ostream>
#include <set>

#include "core/utf.h"
#include "relocation/reference_forms.h"
#include "relocation/reference_spelling.h"

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

// "path 9,876, url 2,469"
std::string FormsText(const std::array<int64_t, kFormCount>& byForm) {
  std::string text;
  for (size_t i = 0; i < kFormCount; ++i) {
    if (i > 0) text += ", ";
    text += std::string(kReferenceForms[i].name) + " " + Grouped(byForm[i]);
  }
  return text;
}

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
std::string SpellingsText(const std::map<std::string, int64_t>& counts, bool withStandard) {
  std::string text;
  for (const auto& [name, count] : Spellings(counts, withStandard)) {
    if (count == 0) continue;
    if (!text.empty()) text += ", ";
    text += name + " " + Grouped(count);
  }
  return text;
}

void PrintFolders(std::ostream& out, const Census& census) {
  if (census.folders.empty() && census.foldersNotListed == 0) {
    out << "Folders named: none\n";
    return;
  }
  out << "Folders named:\n";
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
        << Padded(count, count.size(), countWidth, true) << " (" << FormsText(folder.byForm) << ")"
        << (folder.local ? "   (a folder of this machine)" : "")
        << (folder.detected ? "   <- detected" : "") << '\n';
  }
  if (census.folders.size() > listed) {
    int64_t references = 0;
    for (size_t i = listed; i < census.folders.size(); ++i) {
      references += census.folders[i].references;
    }
    out << "    ... " << Grouped(static_cast<int64_t>(census.folders.size() - listed))
        << " more folders with " << Grouped(references) << " references\n";
  }
  if (census.foldersNotListed > 0) {
    out << "    ... " << Grouped(census.foldersNotListed)
        << " references to further folders, too many to count one by one\n";
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

std::string Grouped(int64_t number) {
  const uint64_t magnitude =
      number < 0 ? uint64_t{0} - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
  std::string digits = std::to_string(magnitude);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, ',');
  return number < 0 ? "-" + digits : digits;
}

std::string Counted(int64_t count, std::string_view one, std::string_view more) {
  return Grouped(count) + " " + std::string(count == 1 ? one : more);
}

Json PicturesJson(const PictureTally& tally) {
  Json object;
  object["folder"] = Utf8(tally.folder);
  object["folder_exists"] = tally.folderExists;
  object["checked"] = tally.checked;
  object["found"] = tally.found;
  object["found_ignoring_case"] = tally.foundIgnoringCase;
  object["missing"] = tally.missing;
  object["not_checked"] = tally.notChecked;
  object["missing_examples"] = Utf8List(tally.missingExamples);
  object["unreadable_folders"] = tally.unreadableFolders;
  return object;
}

void PrintPictures(std::ostream& out, const PictureTally& tally) {
  out << "Pictures: " << Grouped(tally.checked) << " checked, " << Grouped(tally.found)
      << " found, " << Grouped(tally.missing) << " missing";
  if (tally.notChecked > 0)
    out << ", " << Grouped(tally.notChecked) << " not checked (other folders)";
  out << '\n';
  if (!tally.folderExists) out << "  the new folder does not exist or cannot be listed\n";
  if (tally.foundIgnoringCase > 0) {
    out << "  " << Grouped(tally.foundIgnoringCase)
        << " more found only when letter case is ignored\n";
  }
  if (tally.unreadableFolders > 0) {
    out << "  " << Grouped(tally.unreadableFolders) << " folders below it could not be read\n";
  }
  if (!tally.missingExamples.empty()) {
    out << "Missing";
    if (static_cast<int64_t>(tally.missingExamples.size()) < tally.missing) {
      out << " (first " << tally.missingExamples.size() << " of " << Grouped(tally.missing) << ")";
    }
    out << ":\n";
    for (const auto& path : tally.missingExamples) out << "  " << Utf8(path) << '\n';
  }
}

Json CheckJson(const CheckResult& result, std::u16string_view csv, std::u16string_view newFolder) {
  const Census& census = result.census;
  Json object;
  object["csv"] = Utf8(csv);
  object["level"] = census.level;
  object["has_text"] = census.hasText;
  object["references"] = FormsJson(census.references, census.byForm);
  object["spellings"] = SpellingsJson(census.spellings, true);
  Json folders = Json::array();
  for (const CensusFolder& folder : census.folders) {
    Json entry;
    entry["folder"] = Utf8(folder.folder);
    entry.update(FormsJson(folder.references, folder.byForm, "references"));
    entry["detected"] = folder.detected;
    entry["local"] = folder.local;
    folders.push_back(std::move(entry));
  }
  object["folders"] = std::move(folders);
  object["folders_not_listed"] = census.foldersNotListed;
  object["detected_folder"] = Utf8(census.detected);
  object["new_folder"] = Utf8(newFolder);
  object["pictures"] = result.pictures ? PicturesJson(*result.pictures) : Json();
  return object;
}

void PrintCheck(std::ostream& out, const CheckResult& result, std::u16string_view csv,
                std::u16string_view newFolder) {
  const Census& census = result.census;
  out << "CSV: " << Utf8(csv) << " (level " << census.level << ")\n";
  out << "References: " << Grouped(census.references);
  if (census.references > 0) {
    out << " (" << FormsText(census.byForm)
        << "); spellings: " << SpellingsText(census.spellings, true);
  }
  out << '\n';
  PrintFolders(out, census);
  if (census.detected.empty()) out << "Detected folder: none\n";
  out << "New folder: " << Utf8(newFolder) << '\n';
  if (result.pictures) PrintPictures(out, *result.pictures);
}

Json RunJson(const RunReport& report, const FormValues& values,
             const std::vector<std::u16string>& messages) {
  Json object;
  object["outcome"] = OutcomeName(report.outcome);
  object["csv"] = Utf8(values.Btn1());
  object["old_folder"] = Utf8(values.Btn2());
  object["new_folder"] = Utf8(values.Btn3());
  std::u16string message;
  for (const auto& text : messages) message += (message.empty() ? u"" : u"\n") + text;
  object["message"] = messages.empty() ? Json() : Json(Utf8(message));
  int64_t rewritten = 0;
  for (const int64_t count : report.occurrences) rewritten += count;
  object["rewritten"] = FormsJson(rewritten, report.occurrences);
  Json respelled;
  respelled["total"] = report.respelledTotal;
  respelled.update(SpellingsJson(report.respelled, false));
  object["respelled"] = std::move(respelled);
  object["leftovers"] = {{"count", report.leftovers},
                         {"examples", Utf8List(report.leftoverExamples)}};
  object["other_folders"] = {{"references", report.otherFolderReferences},
                             {"folders", Utf8List(report.otherFolders)}};
  object["pictures"] = report.pictures ? PicturesJson(*report.pictures) : Json();
  return object;
}

void PrintRunDetails(std::ostream& out, const RunReport& report) {
  const bool dry = report.outcome == RunOutcome::DryRun;
  if (report.respelledTotal > 0) {
    out << (dry ? "Dry run: " : "Respelled: ")
        << Counted(report.respelledTotal, "file URL", "file URLs") << " in other spellings"
        << (dry ? " would be rewritten" : "") << " (" << SpellingsText(report.respelled, false)
        << ").\n";
  }
  if (report.leftovers > 0) {
    out << "Left over: "
        << (dry ? Counted(report.leftovers, "reference would still name",
                          "references would still name")
                : Counted(report.leftovers, "reference still names", "references still name"))
        << " the old folder";
    if (static_cast<int64_t>(report.leftoverExamples.size()) < report.leftovers) {
      out << " (the first " << report.leftoverExamples.size() << " below)";
    }
    out << ":\n";
    for (const auto& text : report.leftoverExamples) out << "  " << Utf8(text) << '\n';
  }
  if (report.otherFolderReferences > 0) {
    out << "Left alone: " << Counted(report.otherFolderReferences, "reference", "references")
        << " to other folders:\n";
    for (const auto& folder : report.otherFolders) out << "  " << Utf8(folder) << '\n';
  }
  if (report.pictures) PrintPictures(out, *report.pictures);
}

}  // namespace picrelink::cli
