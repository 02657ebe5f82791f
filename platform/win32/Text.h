// UTF-8 inside the wizard, UTF-16 at the Windows boundary.
#pragma once

#include <string>

namespace kelp::win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16);  // null gives an empty text

}  // namespace kelp::win32
