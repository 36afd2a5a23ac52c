#pragma once
// Pieces of CSV text that census tests join at random: references in every
// spelling of one folder, and what could mislead a scan or a count that
// takes shortcuts.
#include <string>

namespace picrelink::test {

inline const std::u16string kCensusParts[] = {
    u"src=\"\"D:\\a\\", u"src=\"\"d:\\A\\", u"src=\"\"file:///D:/a/", u"src=\"\"file:///D:\\a\\",
    u"src=\"\"file:/D:/a/", u"src=\"\"/srv/a/", u"src=\"\"file:///srv/a/", u"src=\"\"D:\\a:", u"b",
    u"c.jpg", u"\\", u"/", u"%41", u"%5C", u":", u"&#92;", u"\"\"", u"\\\\", u"x\"\" ",
    // Whole rests: one folder deep,
    // none, an empty component.
    u"b\\c.jpg\"\" ", u"\\c.jpg\"\" ", u"c.jpg\"\" ",
    // A folder's name going on past the one remembered (D:\ab, /srv/ab),
    // and names long enough that values and their rests run over blocks
    // of 16 units.
    u"src=\"\"D:\\a", u"src=\"\"file:///D:/a", u"src=\"\"/srv/a", u"0123456789abcdefghij",
    // Heads that are nearly a drive's path or its file URL: no letter, no
    // separator, "/" (which no run rewrites), a UNC path.
    u"src=\"\"1:\\", u"src=\"\"D:/a/", u"src=\"\"\\\\srv\\", u"src=\"\"file:///D:",
    u"src=\"\"file:///1:/", u"src=\"\"file://///\\"};

}  // namespace picrelink::test
