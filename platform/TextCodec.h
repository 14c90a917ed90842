// Conversion between the wire's 8-bit Windows-1252 text and the UTF-8 that
// terminals, command lines and file names on this system use. Convert at the
// edges only: text stays Windows-1252 while it travels.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Windows-1252 bytes to UTF-8. The five byte values that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of
// the same number, as Windows maps them, so that no byte is lost.
std::string windows1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. A character with no Windows-1252 form becomes '?', and
// so does every byte that is not part of a valid UTF-8 sequence. U+0081, U+008D,
// U+008F, U+0090 and U+009D go back to their single bytes.
std::string utf8ToWindows1252(std::string_view text);

} // namespace platform
