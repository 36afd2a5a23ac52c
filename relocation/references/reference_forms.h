#pragma once
// The two forms in which a CSV's descriptions name their pictures, as one
// table: detection searches them in the table's order, the run replaces the
// old folder in each of them in that order, and the reports count by them.
// A further form is one more row.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace picrelink {

inline constexpr std::u16string_view kPathPattern = u"src=\"\"([A-Za-z]:\\\\.*?)\"";
inline constexpr std::u16string_view kUrlPattern = u"src=\"\"(file:///[A-Za-z]:/.*?)\"";

enum FormIndex : size_t { kPathForm = 0, kUrlForm = 1, kFormCount = 2 };

struct ReferenceForm {
  std::string_view name;        // in reports: "path", "url"
  std::u16string_view pattern;  // detection's pattern: src=""(<prefix><letter>:<sep>.*?)"
  std::u16string_view prefix;   // what stands before the drive letter
  char16_t driveSeparator;      // what follows the drive's colon
  // The folder that a captured reference names: the picture's own folder, or
  // the one above it when oneHigher. A Windows path, as detection returns it.
  std::u16string (*folderOf)(std::u16string_view capture, bool oneHigher);
  // The text that stands for a folder value (btn2 or btn3) in this form,
  // as the run looks for it and puts it in.
  std::u16string (*folderText)(std::u16string_view folder);
};

// In order of precedence: a later form counts for detection only when no
// earlier one occurs anywhere in the text.
extern const std::array<ReferenceForm, kFormCount> kReferenceForms;

// What each form's pass looks for and puts in place of it.
struct FormTexts {
  std::u16string find;
  std::u16string replacement;
};

// The texts of every form from the two folder values (btn2, btn3): each
// form's folderText, the URL form's replacement escaped by EscapeUrlPath (the
// find text stays as the listing tool writes it). When the old folder is a drive root (D:, D:\),
// the find texts keep its separator (D:\ and file:///D:/), so that the "d:" of "Brand: Nike" is
// never taken for it, and the replacements end in a separator as well.
std::array<FormTexts, kFormCount> FindAndReplacementTexts(std::u16string_view oldFolder,
                                                          std::u16string_view newFolder);

// The characters of a folder that a file URL written by the run escapes so
// that a browser follows it: "%" as %25, the space as %20, "#" as %23 and
// "?" as %3F (a browser cuts a URL at "#" and "?"). Every other character
// stays as it is, so a folder without them reads as PathToFileUrl writes it.
std::u16string EscapeUrlPath(std::u16string_view path);

// A folder value's URL form as the run writes it: file:/// and the folder
// with "/" separators, one trailing separator off, escaped by EscapeUrlPath.
std::u16string LoadableUrlFolderText(std::u16string_view folder);

// A drive letter and ":", with or without one separator after it.
bool IsDriveRoot(std::u16string_view folder);

// Whether a value (the text after src="", up to the next quotation mark)
// begins as the form's pattern requires: prefix, an ASCII letter, ":", the
// separator.
bool FitsForm(const ReferenceForm& form, std::u16string_view value);

}  // namespace picrelink
