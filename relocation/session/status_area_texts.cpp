#include "relocation/session/status_area_texts.h"

namespace picrelink {
namespace {

constexpr StatusAreaTexts kChinese = {
    u"详情…",    u"取消", u"停止并保持 CSV 原样（Esc）", u"已取消，CSV 未作改动", u"详情",
    u"全部复制", u"关闭",
};

constexpr StatusAreaTexts kEnglish = {
    u"Details…",
    u"Cancel",
    u"Stop the work and leave the CSV as it was (Esc)",
    u"Cancelled; the CSV was not changed.",
    u"Details",
    u"Copy All",
    u"Close",
};

std::u16string Percent(int percent) {
  std::u16string digits;
  const std::string ascii = std::to_string(percent);
  digits.assign(ascii.begin(), ascii.end());
  return digits + u"%";
}

}  // namespace

const StatusAreaTexts& StatusAreaTextsFor(Language language) {
  return language == Language::Chinese ? kChinese : kEnglish;
}

std::u16string CheckingText(int percent, Language language) {
  return std::u16string(language == Language::Chinese ? u"正在检查 CSV…" : u"Checking the CSV… ") +
         Percent(percent);
}

std::u16string AdjustingText(int percent, Language language) {
  return std::u16string(language == Language::Chinese ? u"正在调整…" : u"Adjusting… ") +
         Percent(percent);
}

}  // namespace picrelink
