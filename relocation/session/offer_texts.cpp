#include "relocation/session/offer_texts.h"

#include "relocation/session/status_text.h"

namespace picrelink {
namespace {

bool Zh(Language language) { return language == Language::Chinese; }

// The folder below the CSV's folder as the seller sees it there; the whole
// path when it lies elsewhere.
std::u16string Shown(std::u16string_view folder, std::u16string_view csvFolder) {
  if (!csvFolder.empty() && folder.starts_with(csvFolder) && folder.size() > csvFolder.size()) {
    return std::u16string(folder.substr(csvFolder.size()));
  }
  return std::u16string(folder);
}

}  // namespace

std::u16string SuggestionLine(const PictureSuggestion& suggestion, std::u16string_view csvFolder,
                              int32_t currentLevel, Language language) {
  const std::u16string folder = Shown(suggestion.newFolder, csvFolder);
  const std::u16string counts =
      GroupedNumber(suggestion.found) + u"/" + GroupedNumber(suggestion.checked);
  const bool levelChanges = (suggestion.level > 0) != (currentLevel > 0);
  const std::u16string level = GroupedNumber(suggestion.level);
  if (Zh(language)) {
    return u"图片在“" + folder + u"”下找到 " + counts + u" 张" +
           (levelChanges ? u"（层级 " + level + u"）" : u"") + u"：点“" +
           std::u16string(kUseSuggestion) + u"”改用此目录。";
  }
  return u"The pictures are in \"" + folder + u"\": " + counts + u" found" +
         (levelChanges ? u" at level " + level : u"") + u"; \"" + std::u16string(kUseSuggestion) +
         u"\" takes that folder.";
}

std::u16string RestoreQuestion(std::u16string_view csv, std::u16string_view backup,
                               Language language) {
  if (Zh(language)) {
    return u"用备份“" + std::u16string(backup) + u"”替换“" + std::u16string(csv) +
           u"”的内容吗？\n当前的内容会先另存为一个新的备份，恢复之后还可以撤销。";
  }
  return u"Put the backup \"" + std::u16string(backup) + u"\" back in place of \"" +
         std::u16string(csv) +
         u"\"?\nThe CSV's current content is kept first as a new backup, so the restore can be "
         u"undone too.";
}

std::u16string RestoredMessage(std::u16string_view csv, const RestoreReport& report,
                               Language language) {
  if (report.outcome == RestoreOutcome::NoBackup) {
    return Zh(language) ? u"“" + std::u16string(csv) + u"”没有备份，未作改动。"
                        : u"\"" + std::u16string(csv) + u"\" has no backup; nothing was changed.";
  }
  if (report.outcome == RestoreOutcome::AlreadySame) {
    return Zh(language) ? u"“" + std::u16string(csv) + u"”已与最新的备份“" + report.backup +
                              u"”相同，未作改动。"
                        : u"\"" + std::u16string(csv) +
                              u"\" already holds the content of its newest backup \"" +
                              report.backup + u"\"; nothing was changed.";
  }
  if (Zh(language)) {
    return u"已恢复备份：“" + std::u16string(csv) + u"”现为“" + report.backup +
           u"”的内容。\n恢复前的内容已保存为“" + report.kept + u"”；再点“" +
           std::u16string(kRestoreBackup) + u"”或运行 picrelink-cli restore \"" +
           std::u16string(csv) + u"\" 即可撤销。";
  }
  return u"Backup restored: \"" + std::u16string(csv) + u"\" now holds the content of \"" +
         report.backup + u"\".\nIts content before the restore is kept in \"" + report.kept +
         u"\"; " + std::u16string(kRestoreBackup) + u" again, or picrelink-cli restore \"" +
         std::u16string(csv) + u"\", undoes it.";
}

}  // namespace picrelink
