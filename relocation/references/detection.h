#pragma once
// Image-folder detection: which picture folder a CSV names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "relocation/form_values.h"
#include "relocation/references/detection_stream.h"

namespace picrelink {

// The template expansion of the first match of pattern in text; the empty
// text when it matches nowhere. One engine object per call.
std::u16string CollectMatches(std::u16string_view text, std::u16string_view pattern,
                              std::u16string_view templ);

// Folder of a Windows path: up to its last "\" or ":", a root keeping its "\".
std::u16string ExtractFileDir(std::u16string_view path);

// The level text as a 32-bit signed integer (decimal, or hexadecimal after
// "$", "x", "X", "0x", "0X"; leading spaces and a sign allowed). Throws
// EConvertError "'<text>' is not a valid integer value".
int32_t LevelToInt(std::u16string_view text);

// The folder that the CSV's first reference names, in path form or else in
// URL form, one level higher when the level text is above 0. Where neither
// form occurs, the same for the local folder that a run on this system wrote
// (a POSIX path, or file:////...), so a package can move again and again. Reads the level
// text (values.LevelText()) at most once and only after a reference was found.
// The file is read once, in pieces of up to kDetectionBufferUnits code units
// (the next one read while the last is searched), and no further than the piece
// after the one that holds the path form's first reference. Besides its two
// buffers only the text of a reference still being matched is held (from its
// src="" to the closing quotation mark, or to the end of the file when none
// follows), so files of any size, 2 GiB and more too, are read in little
// memory.
std::u16string DetectImageFolder(std::u16string_view csvPath, const FormValues& values);

// 2 MB pieces: with pieces of 1 MB and less, handing each one from the
// reading thread to the searching one ate up most of what reading ahead
// gains.
inline constexpr size_t kDetectionBufferUnits = size_t{1} << 20;

// The same over a text given by source in pieces of at most bufferUnits
// code units (the file's text, behind its mark).
std::u16string DetectImageFolderIn(const TextSource& source, size_t bufferUnits,
                                   const FormValues& values);

}  // namespace picrelink
