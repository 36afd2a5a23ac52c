#pragma once
// Path, file-URL and text helpers shared by the relocation logic. Every
// function returns a new text and keeps nothing between calls.
#include <string>
#include <string_view>

#include "core/platform.h"

namespace picrelink {

// text + separator, unless text is empty or already ends in the local
// separator (the test looks for the local separator whatever is appended).
std::u16string AppendSeparator(std::u16string_view text, std::u16string_view separator);
// text without its last character when that equals ch (one character only).
std::u16string TrimTrailingChar(std::u16string_view text, char16_t ch);
// Last component of a path: one trailing separator is removed first, then
// everything after the last separator or ":" is taken. The separator is "\"
// on Windows; on POSIX both "/" and "\" count, since folder values there hold
// local paths as well as Windows folder texts taken from the CSV.
std::u16string LastPathPart(std::u16string_view path);
// The folder value without one trailing separator: "\" on Windows; on POSIX
// "/" or "\", for the same reason as in LastPathPart. The one place where
// that rule lives.
std::u16string TrimFolderSeparator(std::u16string_view folder);
// A name inside a local folder: the folder, the local separator unless the
// folder already ends in a separator, the name. The name alone for an empty
// folder.
std::u16string JoinFolder(std::u16string_view folder, std::u16string_view name);
// Everything before the last "." anywhere in the path; the path when none.
std::u16string StripExtension(std::u16string_view path);
// Parent of the last "/"-separated component of a file URL.
std::u16string UrlParentDir(std::u16string_view url);
// Every U+0020 becomes "%20".
std::u16string EncodeSpaces(std::u16string_view text);
// "file:///" + path with "\" turned into "/" and spaces encoded.
std::u16string PathToFileUrl(std::u16string_view path);
// ECMAScript decodeURI. Throws Error for a malformed escape or invalid UTF-8.
std::u16string DecodeUri(std::u16string_view value);
// DecodeUri, every "file:///" removed (exact case), every "/" turned into "\".
std::u16string FileUrlToPath(std::u16string_view url);

}  // namespace picrelink
