#include "relocation/session/status_text.h"

#include <string>

#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/session/offer_texts.h"

namespace picrelink {
namespace {

bool Zh(Language language) { return language == Language::Chinese; }

std::u16string N(int64_t number) { return GroupedNumber(number); }

std::u16string NameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"/\\");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string SeveralCsvs(const std::vector<std::u16string>& candidates, Language language) {
  std::u16string others;
  for (size_t i = 1; i < candidates.size() && i <= 3; ++i) {
    if (i > 1) others += Zh(language) ? u"、" : u", ";
    others += NameOf(candidates[i]);
  }
  if (candidates.size() > 4) others += Zh(language) ? u"……" : u", ...";
  if (Zh(language)) {
    return u"程序旁有 " + N(static_cast<int64_t>(candidates.size())) + u" 个 CSV 文件，使用的是“" +
           NameOf(candidates[0]) + u"”（其余：" + others + u"）。";
  }
  return u"There are " + N(static_cast<int64_t>(candidates.size())) +
         u" CSV files beside the program; using \"" + NameOf(candidates[0]) + u"\" (others: " +
         others + u").";
}

// The census's spelling names as the seller reads them.
std::u16string SpellingName(const std::string& name, Language language) {
  return SpellingLabel(name, language);
}

std::u16string CensusLine(const CheckResult& check, Language language) {
  const Census& c = check.census;
  const int64_t folders = static_cast<int64_t>(c.folders.size()) + (c.foldersNotListed > 0 ? 1 : 0);
  std::u16string line;
  if (Zh(language)) {
    line = u"CSV 中共 " + N(c.references) + u" 处图片引用（路径 " + N(c.byForm[kPathForm]) +
           u"，网址 " + N(c.byForm[kUrlForm]) + u"），指向 " + N(folders) + u" 个目录";
  } else {
    line = u"The CSV holds " + N(c.references) + u" picture references (path " +
           N(c.byForm[kPathForm]) + u", URL " + N(c.byForm[kUrlForm]) + u") to " + N(folders) +
           (folders == 1 ? u" folder" : u" folders");
  }
  if (!check.pictures) return line + (Zh(language) ? u"。" : u".");
  const PictureTally& p = *check.pictures;
  if (!p.folderExists) {
    return line + (Zh(language) ? u"；当前描述图片位置“" + p.folder + u"”不存在。"
                                : u"; the new folder \"" + p.folder + u"\" does not exist.");
  }
  const int64_t found = p.found + p.foundIgnoringCase;
  if (Zh(language)) {
    line += u"；当前描述图片位置下找到 " + N(found) + u" 张，缺少 " + N(p.missing) + u" 张";
    if (p.notChecked > 0) line += u"，其他目录的 " + N(p.notChecked) + u" 处未检查";
    return line + u"。";
  }
  line += u"; in the new folder " + N(found) + u" found, " + N(p.missing) + u" missing";
  if (p.notChecked > 0) line += u", " + N(p.notChecked) + u" to other folders not checked";
  return line + u".";
}

}  // namespace

std::u16string StatusText(const StatusInput& input, Language language) {
  std::u16string text;
  if (input.csv.empty()) {
    return Zh(language) ? u"程序所在的文件夹里没有 CSV 文件：请点“…”选择 CSV 文件，或把程序放到 "
                          u"CSV 文件旁边。"
                        : u"No CSV file beside the program: choose one with \"...\", or put the "
                          u"program beside the CSV file.";
  }
  if (input.candidates.size() > 1) text = SeveralCsvs(input.candidates, language) + u"\n";
  if (!input.error.empty()) return text + input.error;
  if (input.encoding && *input.encoding != CsvEncoding::Utf16Le) {
    return text + (Zh(language) ? EncodingAdviceChinese(*input.encoding)
                                : FromUtf8(EncodingAdviceEnglish(*input.encoding)));
  }
  if (!input.check) return text;
  if (input.check->census.references == 0) {
    return text + (Zh(language)
                       ? u"CSV 中没有找到图片引用（查找的是 src=\"\"D:\\…\"\" 和 "
                         u"src=\"\"file:///D:/…\"\" 等写法）。"
                       : u"The CSV holds no picture reference (looked for src=\"\"D:\\...\"\", "
                         u"src=\"\"file:///D:/...\"\" and their other spellings).");
  }
  // The offer first: of two lines, it is what the seller can act on.
  if (input.search && input.search->suggestion) {
    text += SuggestionLine(*input.search->suggestion, CsvFolder(input.csv),
                           input.check->census.level, language) +
            u"\n";
  }
  text += CensusLine(*input.check, language);
  return text;
}

std::u16string DetailsText(const CheckResult& check, Language language) {
  const Census& c = check.census;
  std::u16string text = Zh(language) ? u"目录（按引用数）：\n" : u"Folders (by references):\n";
  for (const CensusFolder& folder : c.folders) {
    text += folder.detected ? u"* " : u"  ";
    text += folder.folder + u"    " + N(folder.references);
    text += Zh(language) ? u"（路径 " + N(folder.byForm[kPathForm]) + u"，网址 " +
                               N(folder.byForm[kUrlForm]) + u"）"
                         : u" (path " + N(folder.byForm[kPathForm]) + u", URL " +
                               N(folder.byForm[kUrlForm]) + u")";
    if (folder.detected) text += Zh(language) ? u"  ← CSV中描述图片位置" : u"  <- detected";
    text += u"\n";
  }
  if (c.foldersNotListed > 0) {
    text +=
        (Zh(language) ? u"  另有 " + N(c.foldersNotListed) + u" 处引用指向更多目录\n"
                      : u"  and " + N(c.foldersNotListed) + u" references to further folders\n");
  }
  if (!c.spellings.empty()) {
    text += Zh(language) ? u"写法：" : u"Spellings: ";
    bool first = true;
    for (const auto& [name, count] : c.spellings) {
      if (!first) text += u", ";
      first = false;
      text += SpellingName(name, language) + u" " + N(count);
    }
    text += u"\n";
  }
  if (check.pictures) {
    const PictureTally& p = *check.pictures;
    text += u"\n";
    text += Zh(language) ? u"当前描述图片位置：" + p.folder + (p.folderExists ? u"" : u"（不存在）")
                         : u"New folder: " + p.folder + (p.folderExists ? u"" : u" (missing)");
    text += u"\n";
    text += Zh(language) ? u"检查 " + N(p.checked) + u" 张：找到 " + N(p.found) + u" 张，缺少 " +
                               N(p.missing) + u" 张"
                         : u"Checked " + N(p.checked) + u": found " + N(p.found) + u", missing " +
                               N(p.missing);
    if (p.foundIgnoringCase > 0) {
      text += Zh(language) ? u"，仅大小写不同而找到 " + N(p.foundIgnoringCase) + u" 张"
                           : u", found only ignoring letter case " + N(p.foundIgnoringCase);
    }
    if (p.notChecked > 0) {
      text += Zh(language) ? u"，未检查（其他目录）" + N(p.notChecked) + u" 处"
                           : u", not checked (other folders) " + N(p.notChecked);
    }
    text += u"\n";
    if (!p.missingExamples.empty()) {
      const int64_t listed = static_cast<int64_t>(p.missingExamples.size());
      if (Zh(language)) {
        text += u"缺少的图片";
        if (p.missing > listed) text += u"（前 " + N(listed) + u" 张）";
        text += u"：\n";
      } else {
        text += u"Missing pictures";
        if (p.missing > listed) text += u" (first " + N(listed) + u")";
        text += u":\n";
      }
      for (const std::u16string& missing : p.missingExamples) text += missing + u"\n";
    }
  }
  return text;
}

std::optional<std::u16string> QuestionBeforeRun(const CheckResult& check, Language language) {
  if (!check.pictures) return std::nullopt;
  const PictureTally& p = *check.pictures;
  if (!p.folderExists) {
    if (Zh(language)) {
      return u"当前描述图片位置“" + p.folder + u"”不存在。\n仍要把 CSV 中的 " +
             N(check.census.references) + u" 处图片引用改写到这个位置吗？";
    }
    return u"The new folder \"" + p.folder + u"\" does not exist.\nRewrite the CSV's " +
           N(check.census.references) + u" picture references to it anyway?";
  }
  if (p.checked > 0 && p.missing * 2 > p.checked) {
    if (Zh(language)) {
      return u"当前描述图片位置“" + p.folder + u"”下缺少 " + N(p.missing) + u" 张图片（共检查 " +
             N(p.checked) + u" 张）。\n仍要改写吗？";
    }
    return u"Of " + N(p.checked) + u" pictures, " + N(p.missing) + u" are missing in \"" +
           p.folder + u"\".\nRewrite anyway?";
  }
  return std::nullopt;
}

}  // namespace picrelink
