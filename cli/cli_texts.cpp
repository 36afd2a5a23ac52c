#include "cli/cli_texts.h"

#include <cstddef>
#include <iterator>
#include <vector>

namespace picrelink::cli {
namespace {

struct Entry {
  Text text;
  std::string_view english;
  std::string_view chinese;
};

constexpr Entry kTexts[] = {
    {Text::Usage,
     "usage: picrelink-cli detect [--level TEXT] CSV\n"
     "       picrelink-cli check [--level TEXT] [--json] CSV [NEW]\n"
     "       picrelink-cli relocate [--backup] [--dry-run] [--json] CSV OLD NEW\n"
     "       picrelink-cli auto [--level TEXT] [--backup] [--dry-run] [--force] "
     "[--find-pictures] [--json] FOLDER...\n"
     "       picrelink-cli restore CSV\n"
     "       picrelink-cli --help\n",
     "用法：picrelink-cli detect [--level TEXT] CSV\n"
     "      picrelink-cli check [--level TEXT] [--json] CSV [NEW]\n"
     "      picrelink-cli relocate [--backup] [--dry-run] [--json] CSV OLD NEW\n"
     "      picrelink-cli auto [--level TEXT] [--backup] [--dry-run] [--force] "
     "[--find-pictures] [--json] FOLDER...\n"
     "      picrelink-cli restore CSV\n"
     "      picrelink-cli --help\n"},
    {Text::Help,
     "Rewrites the picture references of a listing CSV (UTF-16LE behind FF FE)\n"
     "when the CSV and its picture folder have moved.\n"
     "\n"
     "  detect CSV             print the picture folder that the CSV names\n"
     "                         (an empty line, and status 3, when it names none)\n"
     "  check CSV [NEW]        count every reference in every spelling, by the\n"
     "                         folder it names (the detected one marked), and\n"
     "                         look for the pictures under NEW (by default the\n"
     "                         folder that auto would propose beside the CSV);\n"
     "                         writes nothing\n"
     "  relocate CSV OLD NEW   replace the folder OLD by NEW in every reference,\n"
     "                         in path form and in file-URL form; a relative NEW\n"
     "                         is taken from the current folder, a Windows path\n"
     "                         (D:\\...) stays as it is\n"
     "  auto FOLDER...         find the CSV in FOLDER as the window does at start,\n"
     "                         print the CSV, the folder it names and the proposed\n"
     "                         new folder, then relocate with them; with several\n"
     "                         folders, one summary line each and a total\n"
     "  restore CSV            put the newest backup of the CSV back; the CSV's\n"
     "                         bytes before it are kept as the next backup\n"
     "\n"
     "options:\n"
     "  --level TEXT   how many folders above the pictures' own folder the CSV's\n"
     "                 folder is taken (\"0\" or \"1\"; default \"1\")\n"
     "  --backup       copy the CSV to <name>_备份.csv first\n"
     "  --dry-run      count the references that would change; write nothing\n"
     "  --force        auto: write even when the proposed new folder does not exist\n"
     "  --find-pictures  auto: search the folder for the pictures and take the\n"
     "                 folder (and level) where most of them are, when that finds\n"
     "                 more than the proposal (check always says where they are)\n"
     "  --json         print JSON (UTF-8) in place of the lines\n"
     "\n"
     "A CSV that is not UTF-16LE behind FF FE is never changed: the program says\n"
     "which text it holds and what to do about it.\n"
     "\n"
     "exit status: 0 done (check: every reference resolves to a picture), 1 error,\n"
     "2 usage, 3 nothing to do (no CSV, a CSV in another encoding, no picture\n"
     "reference, or every character would be removed), 4 something needs a look,\n"
     "said on stderr (check: pictures missing, other folders named or the new\n"
     "folder missing; relocate, auto: pictures missing or references still naming\n"
     "the old folder). Several folders: the worst of theirs, 1 before 4 before 3\n"
     "before 0.\n"
     "\n"
     "Messages are in Chinese when LC_ALL, LC_MESSAGES or LANG (the first one set)\n"
     "names a Chinese locale, in English otherwise.\n",
     "当 CSV 文件及其图片目录移动后，改写商品 CSV（FF FE 开头的 UTF-16LE 文本）\n"
     "中的图片引用。\n"
     "\n"
     "  detect CSV             显示 CSV 中的图片目录（没有图片引用时显示空行，\n"
     "                         退出状态为 3）\n"
     "  check CSV [NEW]        按所指目录统计各种写法的全部引用（标出检测到的\n"
     "                         目录），并在 NEW 下查找图片（默认为 auto 会在\n"
     "                         CSV 旁边建议的目录）；不写入任何内容\n"
     "  relocate CSV OLD NEW   在所有引用中把目录 OLD 替换为 NEW，包括路径形式\n"
     "                         和网址形式；相对的 NEW 以当前目录为准，Windows\n"
     "                         路径（D:\\…）保持原样\n"
     "  auto FOLDER...         像窗口启动时那样在 FOLDER 中查找 CSV，显示 CSV、\n"
     "                         其中的图片目录和建议的新目录，然后据此改写；\n"
     "                         给出多个目录时，每个目录一行摘要，最后一行合计\n"
     "  restore CSV            放回 CSV 最新的备份；恢复前的内容另存为下一个备份\n"
     "\n"
     "选项：\n"
     "  --level TEXT   CSV 中的图片目录取图片所在目录往上几级（\"0\" 或 \"1\"；\n"
     "                 默认 \"1\"）\n"
     "  --backup       先把 CSV 复制为 <名称>_备份.csv\n"
     "  --dry-run      只统计将要改写的引用，不写入任何内容\n"
     "  --force        auto：建议的新目录不存在时仍然写入\n"
     "  --find-pictures  auto：在目录中查找图片，若比建议的目录找到更多，\n"
     "                 就用图片最多的目录（及层级）（check 总会说明图片在哪里）\n"
     "  --json         以 JSON（UTF-8）代替文字行输出\n"
     "\n"
     "不是 FF FE 开头的 UTF-16LE 文本的 CSV 不会被改动：程序会说明它是什么文本、\n"
     "该怎么办。\n"
     "\n"
     "退出状态：0 完成（check：每处引用都找到了图片），1 出错，2 用法错误，\n"
     "3 无需处理（没有 CSV、CSV 是其他编码、没有图片引用，或所有字符都会被删除），\n"
     "4 需要查看，原因见标准错误输出（check：缺少图片、引用了其他目录或新目录\n"
     "不存在；relocate、auto：缺少图片或仍有引用指向原目录）。多个目录时取其中\n"
     "最严重的：1，其次 4，再次 3，最后 0。\n"
     "\n"
     "LC_ALL、LC_MESSAGES、LANG 中第一个有值的是中文区域设置时，提示为中文，\n"
     "否则为英文。\n"},
    {Text::LevelNeedsValue, "--level needs a value", "--level 需要一个值"},
    {Text::UnknownOption, "unknown option {}", "未知选项 {}"},
    {Text::NoCommand, "no command given", "没有给出命令"},
    {Text::UnknownCommand, "unknown command {}", "未知命令 {}"},
    {Text::TakesOperandOne, "{} takes {} operand", "{} 需要 {} 个参数"},
    {Text::TakesOperandMore, "{} takes {} operands", "{} 需要 {} 个参数"},
    {Text::TakesOperandsRange, "{} takes {} or {} operands", "{} 需要 {} 或 {} 个参数"},
    {Text::TakesFolders, "{} takes one or more folders", "{} 需要一个或多个目录"},
    {Text::TakesNoLevel, "{} takes no --level", "{} 不接受 --level"},
    {Text::TakesNoRunOptions, "{} takes neither --backup nor --dry-run",
     "{} 不接受 --backup 和 --dry-run"},
    {Text::TakesNoJson, "{} takes no --json", "{} 不接受 --json"},
    {Text::TakesNoForce, "{} takes no --force", "{} 不接受 --force"},
    {Text::TakesNoFindPictures, "{} takes no --find-pictures", "{} 不接受 --find-pictures"},

    {Text::NothingDone, "Nothing done: {}.", "未作处理：{}。"},
    {Text::NothingFound, "Nothing found: {}.", "未找到：{}。"},
    {Text::NothingToCheck, "Nothing to check: {}.", "无可检查：{}。"},
    {Text::NeedsALook, "Needs a look: {}.", "需要查看：{}。"},
    {Text::ReasonsJoint, "; ", "；"},
    {Text::Colon, ":", "："},
    {Text::NoCsvGiven, "no CSV file", "没有 CSV 文件"},
    {Text::NoCsvInFolder, "no CSV file in {}", "{} 中没有 CSV 文件"},
    {Text::NoUtf16Text, "the CSV holds no UTF-16 text (no FF FE mark, or nothing after it)",
     "CSV 中没有 UTF-16 文本（没有 FF FE 标记，或标记后没有内容）"},
    {Text::EverythingRemoved, "every character of the CSV would be removed",
     "CSV 的所有字符都会被删除"},
    {Text::NamesNoPicture,
     "the CSV names no picture (looked for references in path form src=\"\"D:\\...\"\" and in "
     "URL form src=\"\"file:///D:/...\"\")",
     "CSV 中没有图片引用（查找的是路径形式 src=\"\"D:\\…\"\" 和网址形式 "
     "src=\"\"file:///D:/…\"\"）"},
    {Text::PictureMissingOne, "{} picture is missing", "缺少 {} 张图片"},
    {Text::PictureMissingMore, "{} pictures are missing", "缺少 {} 张图片"},
    {Text::PictureMissingUnderOne, "{} picture is missing under {}", "缺少 {} 张图片（在 {} 下）"},
    {Text::PictureMissingUnderMore, "{} pictures are missing under {}",
     "缺少 {} 张图片（在 {} 下）"},
    {Text::NewFolderMissing, "the new folder {} does not exist", "新目录 {} 不存在"},
    {Text::OtherFolderOne, "{} reference names another folder than the detected one",
     "{} 处引用指向检测到的目录以外的目录"},
    {Text::OtherFolderMore, "{} references name another folder than the detected one",
     "{} 处引用指向检测到的目录以外的目录"},
    {Text::NotCheckedOne, "{} reference was not checked", "{} 处引用未检查"},
    {Text::NotCheckedMore, "{} references were not checked", "{} 处引用未检查"},
    {Text::NotRewritableOne, "{} reference names a picture in a way no run rewrites here",
     "{} 处引用的写法无法在此改写"},
    {Text::NotRewritableMore, "{} references name pictures in a way no run rewrites here",
     "{} 处引用的写法无法在此改写"},
    {Text::StillNamesOldOne, "{} reference still names the old folder", "{} 处引用仍指向原目录"},
    {Text::StillNamesOldMore, "{} references still name the old folder", "{} 处引用仍指向原目录"},
    {Text::MissingFolderRefsOne, "{} reference names a folder that does not exist",
     "{} 处引用指向不存在的目录"},
    {Text::MissingFolderRefsMore, "{} references name folders that do not exist",
     "{} 处引用指向不存在的目录"},
    {Text::OtherKindOne, "{} reference names the pictures' old folder in another form",
     "{} 处引用以另一种形式指向原图片目录"},
    {Text::OtherKindMore, "{} references name the pictures' old folder in another form",
     "{} 处引用以另一种形式指向原图片目录"},
    {Text::PictureMissingElsewhereOne, "{} picture is missing in other folders",
     "其他目录中缺少 {} 张图片"},
    {Text::PictureMissingElsewhereMore, "{} pictures are missing in other folders",
     "其他目录中缺少 {} 张图片"},

    {Text::LevelNextStep,
     "The level is a whole number: use 0 (the pictures' own folder) or 1 (the folder above "
     "it), as in --level 1",
     "层级须为整数：请用 0（图片所在的目录）或 1（其上一级目录），例如 --level 1"},
    {Text::CannotWriteFolder,
     "The folder \"{}\" cannot be written to (it is read-only, or you may not write there), and "
     "the new CSV is made beside the old one. Nothing was changed. Make the folder writable, or "
     "copy the whole package to a folder you can write to, and run again",
     "无法写入目录“{}”（目录只读，或没有写入权限），而新的 CSV 要在原 CSV 旁边生成。"
     "CSV 未作改动。请让该目录可写，或把整个目录复制到可写的位置后再运行"},
    {Text::CannotWriteFile,
     "The CSV \"{}\" is read-only. Nothing was changed. Clear its read-only mark (or give "
     "yourself the right to write it) and run again",
     "CSV 文件“{}”是只读的。CSV 未作改动。请取消它的只读属性（或取得写入权限）后再运行"},
    {Text::AutoEmptyOperand,
     "The folder operand is empty: auto takes the folder that holds the CSV",
     "目录参数为空：auto 需要 CSV 所在的目录"},
    {Text::AutoOnFile,
     "\"{}\" is a file, not a folder: auto takes the folder that holds the CSV (relocate takes "
     "the CSV itself)",
     "“{}”是文件，不是目录：auto 需要 CSV 所在的目录（relocate 才接受 CSV 文件本身）"},
    {Text::AutoFolderMissing, "The folder \"{}\" does not exist", "目录“{}”不存在"},
    {Text::AutoNewFolderMissing,
     "The proposed new folder \"{}\" does not exist, so nothing was written. The CSV names "
     "\"{}\"; auto proposes the folder of that name beside the CSV. Put the pictures there, "
     "give the right folder to relocate, or add --force to write anyway",
     "建议的新目录“{}”不存在，未写入任何内容。CSV 中的图片目录是“{}”，auto 建议的是 CSV "
     "旁边的同名目录。请把图片放到那里、用 relocate 指定正确的目录，或加 --force 仍然写入"},
    // The window's own names of the three values, in Chinese.
    {Text::LabelCsv, "CSV: {}", "CSV 文件：{}"},
    {Text::LabelOldFolder, "Folder named in the CSV: {}", "CSV中描述图片位置：{}"},
    {Text::LabelNewFolder, "New folder: {}", "当前描述图片位置：{}"},
    {Text::NoValue, "(none)", "（无）"},
    {Text::OtherCsvFiles,
     "Other CSV files in the folder, not taken:", "目录中的其他 CSV 文件（未采用）："},

    {Text::DryRunCounts, "Dry run: {} path-form and {} URL-form references would be rewritten.",
     "试运行：将改写路径形式 {} 处，网址形式 {} 处。"},
    {Text::RewrittenCounts, "Rewritten: {} path-form and {} URL-form references.",
     "已改写：路径形式 {} 处，网址形式 {} 处。"},
    {Text::Backup, "Backup: {}", "备份：{}"},
    {Text::BackupDryRun, "Backup would go to: {}", "备份将保存为：{}"},
    {Text::Outside,
     "Warning: {} of the rewritten occurrences stood outside picture references (in other "
     "text); check that they were meant to change.",
     "注意：其中 {} 处不在图片引用中（在其他文字里），也已替换；请确认它们应当修改。"},
    {Text::OutsideDryRun,
     "Warning: {} of the occurrences to rewrite stand outside picture references (in other "
     "text); check that they are meant to change.",
     "注意：其中 {} 处不在图片引用中（在其他文字里），也将被替换；请确认它们应当修改。"},
    {Text::RespelledOne, "Respelled: {} file URL in other spellings ({}).",
     "另改写其他写法的网址 {} 处（{}）。"},
    {Text::RespelledMore, "Respelled: {} file URLs in other spellings ({}).",
     "另改写其他写法的网址 {} 处（{}）。"},
    {Text::RespelledDryRunOne, "Dry run: {} file URL in other spellings would be rewritten ({}).",
     "试运行：将另改写其他写法的网址 {} 处（{}）。"},
    {Text::RespelledDryRunMore, "Dry run: {} file URLs in other spellings would be rewritten ({}).",
     "试运行：将另改写其他写法的网址 {} 处（{}）。"},
    {Text::LeftOverOne, "Left over: {} reference still names the old folder",
     "遗留：{} 处引用仍指向原目录"},
    {Text::LeftOverMore, "Left over: {} references still name the old folder",
     "遗留：{} 处引用仍指向原目录"},
    {Text::LeftOverDryRunOne, "Left over: {} reference would still name the old folder",
     "遗留：{} 处引用将仍指向原目录"},
    {Text::LeftOverDryRunMore, "Left over: {} references would still name the old folder",
     "遗留：{} 处引用将仍指向原目录"},
    {Text::FirstBelow, " (the first {} below)", "（下面列出前 {} 处）"},
    {Text::LeftAloneOne,
     "Left alone: {} reference to other folders:", "未改动：{} 处引用指向其他目录："},
    {Text::LeftAloneMore,
     "Left alone: {} references to other folders:", "未改动：{} 处引用指向其他目录："},
    {Text::LeftAloneMissing,
     "  of them, {} name a folder that does not exist here ({}): their pictures cannot load; "
     "rewrite them with relocate CSV <that folder> NEW",
     "  其中 {} 处指向本机不存在的目录（{}），图片无法显示；请用 relocate CSV <该目录> NEW "
     "改写"},
    {Text::LeftAloneOtherKind,
     "  of them, {} name the pictures' old folder in another form ({}); rewrite them with "
     "relocate CSV <that folder> NEW",
     "  其中 {} 处以另一种形式指向原图片目录（{}）；请用 relocate CSV <该目录> NEW 改写"},
    {Text::NewFolderMissingLine,
     "Warning: the new folder does not exist: the references now point there, but their "
     "pictures cannot load. Put the pictures there, or relocate again with the right folder.",
     "注意：新目录不存在：引用已改为指向它，但图片无法显示。请把图片放到那里，或用正确的"
     "目录再运行 relocate。"},

    {Text::CheckCsvLine, "CSV: {} (level {})", "CSV 文件：{}（层级 {}）"},
    {Text::References, "References: {}", "引用：{}"},
    {Text::Spellings, " ({}); spellings: {}", "（{}）；写法：{}"},
    {Text::FoldersNamedNone, "Folders named: none", "引用的目录：无"},
    {Text::FoldersNamed, "Folders named:", "引用的目录："},
    {Text::LocalFolder, "   (a folder of this machine)", "   （本机目录）"},
    {Text::DetectedMark, "   <- detected", "   <- 检测结果"},
    {Text::InNewFolderMark, "   <- in the new folder", "   <- 在新目录中"},
    {Text::MoreFolders, "    ... {} more folders with {} references",
     "    …… 另有 {} 个目录，共 {} 处引用"},
    {Text::FurtherFolders, "    ... {} references to further folders, too many to count one by one",
     "    …… 另有 {} 处引用指向更多目录，目录太多，未逐一统计"},
    {Text::DetectedNone, "Detected folder: none", "检测到的目录：无"},
    {Text::NotRewritableLine,
     "Not rewritable here: {} (UNC paths \\\\server\\share, file://host/..., D:/... without "
     "file:///); change them in the listing tool",
     "无法在此改写：{} 处（UNC 路径 \\\\server\\share、file://主机/…、不带 file:/// 的 "
     "D:/…）；请在上架工具中修改"},
    {Text::NewFolderLine, "New folder: {}", "新目录：{}"},
    {Text::FormPath, "path", "路径"},
    {Text::FormUrl, "url", "网址"},
    {Text::Pictures, "Pictures: {} checked, {} found, {} missing",
     "图片：检查 {} 张，找到 {} 张，缺少 {} 张"},
    {Text::PicturesNotChecked, ", {} not checked (other folders)", "，未检查 {} 张（其他目录）"},
    {Text::PicturesNoFolder, "  the new folder does not exist or cannot be listed",
     "  新目录不存在或无法列出"},
    {Text::PicturesIgnoringCase, "  {} more found only when letter case is ignored",
     "  另有 {} 张仅在忽略大小写时找到"},
    {Text::PicturesUnreadable, "  {} folders below it could not be read",
     "  其下有 {} 个目录无法读取"},
    {Text::Missing, "Missing", "缺少的图片"},
    {Text::MissingFirst, " (first {} of {})", "（前 {} 张，共 {} 张）"},
    {Text::ListComma, ", ", "，"},

    {Text::BatchDone, "[done] {}: {}", "[完成] {}：{}"},
    {Text::BatchNeedsALook, "[needs a look] {}: {}", "[需要查看] {}：{}"},
    {Text::BatchNothingToDo, "[nothing to do] {}: {}", "[无需处理] {}：{}"},
    {Text::BatchError, "[error] {}: {}", "[出错] {}：{}"},
    {Text::BatchRewritten, "{} rewritten ({})", "已改写 {} 处（{}）"},
    {Text::BatchRewrittenDryRun, "{} would be rewritten ({})", "将改写 {} 处（{}）"},
    {Text::BatchRespelled, ", {} more in other spellings", "，另有其他写法 {} 处"},
    {Text::BatchTotal,
     "Total: {} done, {} need a look, {} nothing to do, {} failed (of {} folders); {} "
     "references rewritten",
     "合计：完成 {}，需要查看 {}，无需处理 {}，出错 {}（共 {} 个目录）；已改写 {} 处引用"},
    {Text::BatchTotalDryRun,
     "Total: {} done, {} need a look, {} nothing to do, {} failed (of {} folders); {} "
     "references would be rewritten",
     "合计：完成 {}，需要查看 {}，无需处理 {}，出错 {}（共 {} 个目录）；将改写 {} 处引用"},

    {Text::Suggestion, "Pictures found under {}: {}/{}", "图片在 {} 下找到 {}/{} 张"},
    {Text::SuggestionLevel, " at level {}", "（层级 {}）"},
    {Text::SuggestionHint, " (auto --find-pictures takes it)", "（auto --find-pictures 会采用）"},
    {Text::SearchStoppedEntries,
     "The search for the pictures stopped after {} entries; the folders past them were not "
     "searched",
     "查找图片在列出 {} 个条目后停止，其余目录未查找"},
    {Text::SearchStoppedTime,
     "The search for the pictures stopped after {} s; the folders not listed by then were not "
     "searched",
     "查找图片 {} 秒后停止，其余目录未查找"},
    {Text::AutoFoundPictures,
     "Found by searching {}: {}/{} pictures there ({} under the proposed folder)",
     "在 {} 中查找图片的结果：此处找到 {}/{} 张（建议的目录下 {} 张）"},
    {Text::LabelLevel, "Level: {}", "CSV中描述图片位置倒推几层目录：{}"},

    {Text::UndoLine, "To undo: picrelink-cli restore \"{}\" (puts {} back)",
     "撤销：picrelink-cli restore \"{}\"（放回 {}）"},
    {Text::RestoreDone, "Restored {} from {}", "{} 已恢复为备份 {} 的内容"},
    {Text::RestoreKept, "Its bytes before the restore are kept in {}", "恢复前的内容已保存为 {}"},
    {Text::RestoreUndo, "To undo the restore: picrelink-cli restore \"{}\"",
     "撤销此次恢复：picrelink-cli restore \"{}\""},
    {Text::RestoreNoBackup, "no backup of {} ({} or a numbered one)",
     "{} 没有备份（{} 或带编号的备份）"},
    {Text::RestoreAlreadySame, "{} already holds the bytes of its newest backup {}",
     "{} 的内容已与最新的备份 {} 相同"},
};

constexpr size_t kTextCount = static_cast<size_t>(Text::Count);
static_assert(std::size(kTexts) == kTextCount, "one entry for every text");

constexpr bool InOrder() {
  for (size_t i = 0; i < kTextCount; ++i) {
    if (static_cast<size_t>(kTexts[i].text) != i) return false;
  }
  return true;
}
static_assert(InOrder(), "the entries in the order of Text");

std::string Fill(Language language, Text text, const std::string_view* args, size_t count) {
  const Entry& entry = kTexts[static_cast<size_t>(text)];
  const std::string_view pattern = language == Language::Chinese ? entry.chinese : entry.english;
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t mark = pattern.find("{}", from);
    if (mark == std::string_view::npos) break;
    out.append(pattern.substr(from, mark - from));
    out.append(args[i]);
    from = mark + 2;
  }
  out.append(pattern.substr(from));
  return out;
}

}  // namespace

std::string Say(Language language, Text text, std::initializer_list<std::string_view> args) {
  return Fill(language, text, args.begin(), args.size());
}

std::string Grouped(int64_t number) {
  const uint64_t magnitude =
      number < 0 ? uint64_t{0} - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
  std::string digits = std::to_string(magnitude);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, ',');
  return number < 0 ? "-" + digits : digits;
}

std::string SayCounted(Language language, int64_t count, Text one, Text more,
                       std::initializer_list<std::string_view> args) {
  const std::string number = Grouped(count);
  std::vector<std::string_view> all{number};
  all.insert(all.end(), args.begin(), args.end());
  return Fill(language, count == 1 ? one : more, all.data(), all.size());
}

}  // namespace picrelink::cli
