#include "relocation/references/csv_encoding.h"

#include <string>

#include "core/platform.h"

namespace picrelink {
namespace {

enum class Utf8Verdict { Invalid, AsciiOnly, NonAscii };

// Checks bytes as UTF-8: no overlong forms, no surrogates, nothing beyond
// U+10FFFF. When the bytes are not complete, a sequence that is valid as far
// as it goes may stop at their end.
Utf8Verdict CheckUtf8(std::string_view bytes, bool complete) {
  bool nonAscii = false;
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    nonAscii = true;
    // The second byte's range depends on the lead byte; the later ones are
    // always 80..BF.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong below
      if (lead == 0xED) high = 0x9F;  // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong below
      if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF above
    } else {
      return Utf8Verdict::Invalid;
    }
    for (size_t k = 1; k < length; ++k) {
      if (i + k == bytes.size()) return complete ? Utf8Verdict::Invalid : Utf8Verdict::NonAscii;
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      const bool inRange = k == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
      if (!inRange) return Utf8Verdict::Invalid;
    }
    i += length;
  }
  return nonAscii ? Utf8Verdict::NonAscii : Utf8Verdict::AsciiOnly;
}

// Zero bytes on one side of the code units: at least one unit in 32 has one
// there (an ASCII character in UTF-16), and the other side has at most a
// quarter as many (characters such as U+4E00 whose other byte is zero). A
// stray zero byte in a longer 8-bit text is not enough.
bool ZerosOnOneSide(size_t here, size_t there, size_t units) {
  return here > 0 && here * 32 >= units && there * 4 <= here;
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark;
}

}  // namespace

CsvEncoding SniffCsvBytes(std::string_view bytes, bool complete) {
  struct Mark {
    std::string_view bytes;
    CsvEncoding encoding;
  };
  static constexpr Mark kMarks[] = {
      {"\xFF\xFE", CsvEncoding::Utf16Le},
      {"\xFE\xFF", CsvEncoding::Utf16Be},
      {"\xEF\xBB\xBF", CsvEncoding::Utf8Bom},
  };
  if (bytes.empty()) return CsvEncoding::Empty;
  for (const Mark& mark : kMarks) {
    if (!StartsWith(bytes, mark.bytes)) continue;
    return complete && bytes.size() == mark.bytes.size() ? CsvEncoding::Empty : mark.encoding;
  }

  size_t evenZeros = 0, oddZeros = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') ++(i % 2 == 0 ? evenZeros : oddZeros);
  }
  const size_t units = bytes.size() / 2;
  if (ZerosOnOneSide(oddZeros, evenZeros, units)) return CsvEncoding::Utf16LeNoMark;
  if (ZerosOnOneSide(evenZeros, oddZeros, units)) return CsvEncoding::Utf16BeNoMark;

  switch (CheckUtf8(bytes, complete)) {
    case Utf8Verdict::NonAscii:
      return CsvEncoding::Utf8;
    case Utf8Verdict::AsciiOnly:
      return CsvEncoding::Ascii;
    case Utf8Verdict::Invalid:
      break;
  }
  return CsvEncoding::Ansi;
}

CsvEncoding SniffCsvEncoding(std::u16string_view path) {
  // One byte beyond the limit tells whether the file goes on after it.
  std::string bytes(kCsvSniffBytes + 1, '\0');
  size_t got = 0;
  {
    platform::InputFile file(path, platform::Sharing::ReadersAllowed);
    got = file.Read(bytes.data(), bytes.size());
  }
  const bool complete = got <= kCsvSniffBytes;
  bytes.resize(complete ? got : kCsvSniffBytes);
  return SniffCsvBytes(bytes, complete);
}

std::u16string EncodingAdviceChinese(CsvEncoding encoding) {
  const std::u16string_view resave =
      u"请在表格软件中用“另存为 → Unicode 文本”重新保存，或恢复备份。文件未作任何改动。";
  const std::u16string_view notReadable = u"，不是本程序能读的 Unicode（UTF-16LE）文本。";
  std::u16string what;
  switch (encoding) {
    case CsvEncoding::Utf16Le:
      return {};
    case CsvEncoding::Empty:
      return u"CSV 文件中没有任何文本。请确认选的是正确的文件，或恢复备份。文件未作任何改动。";
    case CsvEncoding::Utf16Be:
      what = u"CSV 文件是 UTF-16 大端序（big-endian）文本" + std::u16string(notReadable);
      break;
    case CsvEncoding::Utf16LeNoMark:
      what = u"CSV 文件像是 UTF-16LE 文本，但开头缺少本程序读取所需的字节顺序标记（FF FE）。";
      break;
    case CsvEncoding::Utf16BeNoMark:
      what = u"CSV 文件像是没有字节顺序标记的 UTF-16 大端序（big-endian）文本" +
             std::u16string(notReadable);
      break;
    case CsvEncoding::Utf8Bom:
      what = u"CSV 文件是带 BOM 的 UTF-8 编码" + std::u16string(notReadable);
      break;
    case CsvEncoding::Utf8:
      what = u"CSV 文件是 UTF-8 编码" + std::u16string(notReadable);
      break;
    case CsvEncoding::Ascii:
      what = u"CSV 文件是纯 ASCII 文本" + std::u16string(notReadable);
      break;
    case CsvEncoding::Ansi:
      what = u"CSV 文件可能是 GBK 等 ANSI 编码" + std::u16string(notReadable);
      break;
  }
  return what + std::u16string(resave);
}

std::string EncodingAdviceEnglish(CsvEncoding encoding) {
  const std::string_view resave =
      " Save it again from the spreadsheet as \"Unicode text\" (UTF-16), or restore the backup. "
      "The file was not changed.";
  const std::string_view notReadable = ", not the Unicode (UTF-16LE) text this program reads.";
  std::string what;
  switch (encoding) {
    case CsvEncoding::Utf16Le:
      return {};
    case CsvEncoding::Empty:
      return "The CSV file holds no text. Check that it is the right file, or restore the backup. "
             "The file was not changed.";
    case CsvEncoding::Utf16Be:
      what = "The CSV file is UTF-16 big-endian text" + std::string(notReadable);
      break;
    case CsvEncoding::Utf16LeNoMark:
      what =
          "The CSV file looks like UTF-16LE text but lacks the byte-order mark (FF FE) this "
          "program needs to read it.";
      break;
    case CsvEncoding::Utf16BeNoMark:
      what = "The CSV file looks like UTF-16 big-endian text without a byte-order mark" +
             std::string(notReadable);
      break;
    case CsvEncoding::Utf8Bom:
      what = "The CSV file is UTF-8 text with a byte-order mark" + std::string(notReadable);
      break;
    case CsvEncoding::Utf8:
      what = "The CSV file is UTF-8 text" + std::string(notReadable);
      break;
    case CsvEncoding::Ascii:
      what = "The CSV file is plain ASCII text" + std::string(notReadable);
      break;
    case CsvEncoding::Ansi:
      what = "The CSV file is probably GBK or another ANSI code page" + std::string(notReadable);
      break;
  }
  return what + std::string(resave);
}

}  // namespace picrelink
