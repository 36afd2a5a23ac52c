#pragma once
// The main window's fixed texts, the same in every language and in every
// front end: the caption, the thirteen controls' texts and the open-file
// dialog's filters.
#include <array>
#include <string_view>

#include "relocation/run/adjustment_run.h"

namespace picrelink {

// The caption is kWindowCaption, which the run's message boxes share.

inline constexpr std::u16string_view kTipText =  // cxLabel4, in blue
    u"温馨提示：程序打开会自动检测当前目录下第一个『CSV文件』和『该CSV中描述图片位置』，"
    u"找不到时请手动选择！";
inline constexpr std::u16string_view kCsvLabelText = u"请选择CSV文件";  // cxLabel2
inline constexpr std::u16string_view kLevelLabelText =
    u"CSV中描述图片位置倒推几层目录：";                                           // Label8
inline constexpr std::u16string_view kRedetectText = u"重新检测";                 // cxButton1
inline constexpr std::u16string_view kOldFolderLabelText = u"CSV中描述图片位置";  // cxLabel3
inline constexpr std::u16string_view kNewFolderLabelText = u"当前描述图片位置";   // cxLabel30
inline constexpr std::u16string_view kBackupText = u"调整之前备份CSV文件";        // CheckBox1
inline constexpr std::u16string_view kStartText = u"开始调整";                    // cxButton30
inline constexpr std::u16string_view kStartHintText =                             // cxLabel1
    u"该操作会将 CSV中描述图片位置 修改 为当前实际的位置，导入助理后可以正常显示描述图片";
// The browse buttons inside the three path edits.
inline constexpr std::u16string_view kBrowseText = u"...";

// One entry of the open-file dialog's type list: the name it shows and the
// pattern of the files it lists.
struct FileFilter {
  std::u16string_view name;
  std::u16string_view pattern;
};

// The CSV dialog's type list, the first selected.
inline constexpr std::array<FileFilter, 2> kCsvFileFilters = {{
    {u"CSV文件", u"*.csv"},
    {u"所有文件 (*.*)", u"*.*"},
}};

}  // namespace picrelink
