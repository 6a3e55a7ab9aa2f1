#pragma once

#include <string>

namespace qrx {

// UTF-8 (the core's text) to UTF-16 (the system's text) and back.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

}  // namespace qrx
