#pragma once
// What check, relocate and auto print: for people, aligned lines with
// grouped digits; for programs, one JSON object (UTF-8 strings, plain
// numbers, keys in a fixed order).
#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "relocation/adjustment_run.h"
#include "relocation/census.h"
#include "relocation/form_values.h"
#include "relocation/picture_check.h"

namespace picrelink::cli {

// Keys stay in the order they are set, so the object reads like the lines.
using Json = nlohmann::ordered_json;

// The object indented by two spaces, then a line end.
void WriteJson(std::ostream& out, const Json& object);

// 12345 as "12,345".
std::string Grouped(int64_t number);
// The count and the words for one or for more: "1 picture is", "2 pictures are".
std::string Counted(int64_t count, std::string_view one, std::string_view more);

Json PicturesJson(const PictureTally& tally);
// "Pictures: …" and the lines that qualify it, then the first missing ones.
void PrintPictures(std::ostream& out, const PictureTally& tally);

// csv and newFolder as the check used them.
Json CheckJson(const CheckResult& result, std::u16string_view csv, std::u16string_view newFolder);
void PrintCheck(std::ostream& out, const CheckResult& result, std::u16string_view csv,
                std::u16string_view newFolder);

// values: the three folder values the run was given; messages: what it
// showed (the success message).
Json RunJson(const RunReport& report, const FormValues& values,
             const std::vector<std::u16string>& messages);
// The lines after the count of rewritten references: respelled URLs,
// leftovers, other folders and the picture check, each only when it has
// something to say.
void PrintRunDetails(std::ostream& out, const RunReport& report);

}  // namespace picrelink::cli
