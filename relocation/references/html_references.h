#pragma once
// HTML character references in a value, as a browser reads them before it
// follows the reference: &amp; and the other named references of Latin-1
// (&lt;, &gt;, &quot;, &apos;, &nbsp; to &yuml;), and numeric ones (&#38;,
// &#x26;). Used only to look a picture up; the CSV's text is never
// rewritten for them.
#include <string>
#include <string_view>

namespace picrelink {

// The text with every complete character reference decoded (the ";" is
// required); anything else, an unknown name or a number that is no
// character, stays as written.
std::u16string DecodeHtmlReferences(std::u16string_view text);

}  // namespace picrelink
