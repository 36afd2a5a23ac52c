#pragma once
// What check, relocate and auto print: for people, aligned lines with
// grouped digits in the user's language; for programs, one JSON object
// (UTF-8 strings, plain numbers, keys in a fixed order, keys and names in
// English whatever the language).
#include <array>
#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_texts.h"
#include "relocation/census/census.h"
#include "relocation/census/picture_check.h"
#include "relocation/census/picture_search.h"
#include "relocation/form_values.h"
#include "relocation/references/csv_encoding.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink::cli {

// Keys stay in the order they are set, so the object reads like the lines.
using Json = nlohmann::ordered_json;

// The object indented by two spaces, then a line end.
void WriteJson(std::ostream& out, const Json& object);

// "path 9,876, url 2,469": the counts per form, after the forms' names.
std::string FormsText(const std::array<int64_t, kFormCount>& byForm, Language language);

// The encoding's name in the JSON objects: "utf-16le", "utf-8", "ansi", ...
const char* EncodingName(CsvEncoding encoding);

Json PicturesJson(const PictureTally& tally);
// "Pictures: …" and the lines that qualify it, then the first missing ones.
void PrintPictures(std::ostream& out, const PictureTally& tally, Language language);

// csv and newFolder as the check used them (on a CSV that holds UTF-16LE).
Json CheckJson(const CheckResult& result, std::u16string_view csv, std::u16string_view newFolder);
void PrintCheck(std::ostream& out, const CheckResult& result, std::u16string_view csv,
                std::u16string_view newFolder, Language language);

// The search's suggestion: null, or new_folder, level, checked, found.
Json SuggestionJson(const PictureSearch& search);
// One line naming where the pictures are (with hint, how auto takes it), and
// one more when the search stopped short; nothing without a suggestion and a
// complete search.
void PrintSuggestion(std::ostream& out, const PictureSearch& search, int32_t level, bool hint,
                     Language language);

// values: the three folder values the run was given; messages: what it
// showed (the success message, or why nothing changed); encoding: what the
// CSV holds (null when there is no CSV).
Json RunJson(const RunReport& report, const FormValues& values,
             const std::vector<std::u16string>& messages, const Json& encoding);
// The lines after the count of rewritten references: the backup, the
// occurrences outside picture references (a warning), respelled URLs,
// leftovers, other folders and the picture check, each only when it has
// something to say.
void PrintRunDetails(std::ostream& out, const RunReport& report, Language language);

}  // namespace picrelink::cli
