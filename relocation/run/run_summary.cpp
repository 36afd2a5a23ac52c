#include "relocation/run/run_summary.h"

#include <string>

#include "core/platform.h"
#include "core/utf.h"
#include "relocation/grouped_number.h"

namespace picrelink {
namespace {

// Written as the status and the question write them.
std::u16string Number(int64_t n) { return GroupedNumber(n); }

// The first few texts of a list, for a line that names examples.
std::u16string Examples(const std::vector<std::u16string>& texts, Language language) {
  const std::u16string_view comma = language == Language::Chinese ? u"、" : u", ";
  std::u16string out;
  for (size_t i = 0; i < texts.size() && i < 3; ++i) {
    if (i > 0) out += comma;
    out += texts[i];
  }
  if (texts.size() > 3) out += language == Language::Chinese ? u"……" : u", ...";
  return out;
}

// The command that puts the backup back, to be pasted into a terminal.
std::u16string UndoCommand(const RunReport& report) {
  return u"picrelink-cli restore \"" + report.csv + u"\"";
}

std::u16string Chinese(const RunReport& report) {
  // Counted where the old folder occurs, unlike the status, which counts
  // the picture references to every folder: the words say so.
  std::u16string text = u"已改写原目录出现的位置：路径形式 " +
                        Number(report.occurrences[kPathForm]) + u" 处，网址形式 " +
                        Number(report.occurrences[kUrlForm]) + u" 处";
  if (report.respelledTotal > 0) {
    text += u"，另有其他写法的网址 " + Number(report.respelledTotal) + u" 处";
  }
  text += u"（按出现次数计，图片引用之外的文字里的也在内）。";
  if (!report.backup.empty()) {
    text += u"\n备份：" + platform::AbsolutePath(report.backup);
    text += u"\n撤销此次调整：在“详情…”中点“恢复备份”，或运行 " + UndoCommand(report) + u"。";
  }
  if (report.occurrencesOutsideReferences.value_or(0) > 0) {
    text += u"\n注意：其中 " + Number(*report.occurrencesOutsideReferences) +
            u" 处不在图片引用中（在其他文字里），也已替换。";
  }
  if (report.leftovers > 0) {
    text += u"\n注意：仍有 " + Number(report.leftovers) + u" 处引用指向原目录，未能改写（" +
            Examples(report.leftoverExamples, Language::Chinese) + u"）。";
  }
  if (report.otherFolderReferences > 0) {
    text += u"\n注意：另有 " + Number(report.otherFolderReferences) +
            u" 处引用指向其他目录，未作改动（" + Examples(report.otherFolders, Language::Chinese) +
            u"）。";
  }
  const LeftAloneTally& alone = report.leftAlone;
  if (alone.inMissingFolders > 0) {
    text += u"\n注意：其中 " + Number(alone.inMissingFolders) + u" 处引用指向本机不存在的目录（" +
            Examples(alone.missingFolders, Language::Chinese) +
            u"），图片无法显示；请以该目录为“CSV中描述图片位置”再调整一次。";
  }
  if (alone.inOtherKind > 0) {
    text += u"\n注意：其中 " + Number(alone.inOtherKind) + u" 处引用以另一种形式指向原图片目录（" +
            Examples(alone.otherKindFolders, Language::Chinese) +
            u"），未作改动；请以该目录为“CSV中描述图片位置”再调整一次。";
  }
  if (report.newFolderMissing) {
    text +=
        u"\n注意：新目录不存在，引用已改为指向它，但图片无法显示；请把图片放到该目录，"
        u"或选择正确的目录后再调整一次。";
  }
  if (report.pictures) {
    const PictureTally& p = *report.pictures;
    text += u"\n新目录下找到图片 " + Number(p.found + p.foundIgnoringCase) + u" 张";
    if (p.missing > 0) {
      text += u"，缺少 " + Number(p.missing) + u" 张";
      if (p.missingElsewhere > 0)
        text += u"（其中 " + Number(p.missingElsewhere) + u" 张在其他目录）";
      text += u"（" + Examples(p.missingExamples, Language::Chinese) + u"）";
    }
    text += u"。";
  }
  return text;
}

std::u16string English(const RunReport& report) {
  std::u16string text = u"Rewritten where the old folder occurs: " +
                        Number(report.occurrences[kPathForm]) + u" in path form, " +
                        Number(report.occurrences[kUrlForm]) + u" in URL form";
  if (report.respelledTotal > 0) {
    text += u", and " + Number(report.respelledTotal) + u" URLs spelled otherwise";
  }
  text += u" (counted by occurrence, text outside picture references included).";
  if (!report.backup.empty()) {
    text += u"\nBackup: " + platform::AbsolutePath(report.backup);
    text += u"\nTo undo this run: 恢复备份 in the details (详情…), or run " + UndoCommand(report) +
            u".";
  }
  if (report.occurrencesOutsideReferences.value_or(0) > 0) {
    text += u"\nNote: " + Number(*report.occurrencesOutsideReferences) +
            u" of them stood outside picture references (in other text) and were replaced too.";
  }
  if (report.leftovers > 0) {
    text += u"\nNote: " + Number(report.leftovers) +
            u" references still name the old folder and could not be rewritten (" +
            Examples(report.leftoverExamples, Language::English) + u").";
  }
  if (report.otherFolderReferences > 0) {
    text += u"\nNote: " + Number(report.otherFolderReferences) +
            u" references name other folders and were left alone (" +
            Examples(report.otherFolders, Language::English) + u").";
  }
  const LeftAloneTally& alone = report.leftAlone;
  if (alone.inMissingFolders > 0) {
    text += u"\nNote: " + Number(alone.inMissingFolders) +
            u" of them name a folder that does not exist on this machine (" +
            Examples(alone.missingFolders, Language::English) +
            u"), so their pictures cannot load; run again with that folder as the folder named "
            u"in the CSV.";
  }
  if (alone.inOtherKind > 0) {
    text += u"\nNote: " + Number(alone.inOtherKind) +
            u" of them name the pictures' old folder in another form (" +
            Examples(alone.otherKindFolders, Language::English) +
            u") and were left alone; run again with that folder as the folder named in the CSV.";
  }
  if (report.newFolderMissing) {
    text +=
        u"\nNote: the new folder does not exist: the references now point there, but their "
        u"pictures cannot load. Put the pictures there, or choose the right folder and run "
        u"again.";
  }
  if (report.pictures) {
    const PictureTally& p = *report.pictures;
    text += u"\nPictures found in the new folder: " + Number(p.found + p.foundIgnoringCase);
    if (p.missing > 0) {
      text += u", missing: " + Number(p.missing);
      if (p.missingElsewhere > 0)
        text += u" (" + Number(p.missingElsewhere) + u" in other folders)";
      text += u" (" + Examples(p.missingExamples, Language::English) + u")";
    }
    text += u".";
  }
  return text;
}

}  // namespace

std::u16string SuccessMessage(const RunReport& report, Language language) {
  return std::u16string(kSuccessMessage) + u"\n" +
         (language == Language::Chinese ? Chinese(report) : English(report));
}

}  // namespace picrelink
