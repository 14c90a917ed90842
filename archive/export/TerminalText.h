// Text for the terminal from the archive and the command line: keys, folder
// and file names, paths. Whatever could move the cursor, change colours,
// retitle the window, end a line or reorder what follows is shown as an
// escape instead, so that a line printed is exactly one line of plain text:
//   a byte that is not part of valid UTF-8          -> \xNN (the byte)
//   a control character U+0000..U+001F, U+007F       -> \xNN
//   a C1 control U+0080..U+009F, a line or paragraph separator, a
//   direction mark, embedding, override or isolate   -> \uNNNN
//   "\"                                              -> "\\" (so that an escape is never ambiguous)
// Everything else passes unchanged. Text that is Windows-1252 on the wire is
// converted to UTF-8 first (platform/TextCodec.h).
#pragma once

#include <string>
#include <string_view>

namespace archive {

std::string terminalText(std::string_view utf8);

} // namespace archive
