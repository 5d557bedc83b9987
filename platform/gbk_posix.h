// GBK to UTF-8 for the POSIX backends (console and terminal), through
// iconv's CP936: the Windows code page, GBK with the euro sign at 0x80.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Appends bytes to *utf8 as UTF-8. Where bytes hold something that is not
// GBK, keepOthers keeps it byte for byte and goes on; else the conversion
// stops there with false. False too when iconv has no CP936 or memory is
// short (what was appended so far stays).
bool AppendGbkAsUtf8(std::string_view bytes, bool keepOthers, std::string* utf8);

}  // namespace platform
