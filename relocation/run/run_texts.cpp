#include "relocation/run/run_texts.h"

#include "core/utf.h"

namespace picrelink {

std::string NoCsvMessage(Language language) {
  if (language == Language::Chinese) {
    return "没有选择 CSV 文件：请点“…”选择要调整的 CSV 文件，或把程序放到 CSV 文件旁边";
  }
  return "No CSV file is chosen: choose the CSV file to adjust with \"...\", or put the program "
         "beside the CSV file";
}

std::string NoOldFolderMessage(Language language) {
  if (language == Language::Chinese) {
    return "没有要替换的目录：“CSV中描述图片位置”为空。CSV 中没有找到图片引用"
           "（查找的是路径形式 src=\"\"D:\\…\"\" 和网址形式 src=\"\"file:///D:/…\"\"），"
           "CSV 未作改动";
  }
  return "No folder to replace: the CSV names no picture folder (no reference in path form "
         "src=\"\"D:\\...\"\" or URL form src=\"\"file:///D:/...\"\" was found), so the folder "
         "named in the CSV is empty. The CSV file was not changed";
}

std::string NotAFolderMessage(Language language, std::u16string_view folder) {
  if (language == Language::Chinese) {
    return "“" + ToUtf8(folder) + "”不是目录：请选择 CSV 中的图片所在的目录。CSV 未作改动";
  }
  return "\"" + ToUtf8(folder) +
         "\" is no folder: choose the folder the CSV names. The CSV file was not changed";
}

std::string EmptyNewFolderMessage(Language language) {
  if (language == Language::Chinese) {
    return "新的图片目录为空：请选择“当前描述图片位置”。CSV 未作改动";
  }
  return "The new picture folder is empty: choose the folder the pictures are in now. The CSV "
         "file was not changed";
}

std::u16string FolderNotFoundMessage(Language language, std::u16string_view folder) {
  if (language == Language::Chinese) {
    return u"CSV 中没有找到“" + std::u16string(folder) + u"”，无需调整。CSV 未作改动。";
  }
  return u"The folder \"" + std::u16string(folder) +
         u"\" occurs nowhere in the CSV: nothing to change. The CSV file was not changed.";
}

std::u16string SameFolderMessage(Language language, std::u16string_view folder) {
  if (language == Language::Chinese) {
    return u"原目录与新目录相同（" + std::u16string(folder) + u"），无需调整。CSV 未作改动。";
  }
  return u"The old and the new folder are the same (" + std::u16string(folder) +
         u"): nothing to change. The CSV file was not changed.";
}

}  // namespace picrelink
