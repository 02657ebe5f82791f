// Stand-in for the USB virtual serial port driver installers of a driver
// package. It installs nothing and shows nothing: it leaves a marker file
// beside itself so that a test (or a person) can see which installer the
// wizard started, from where, and with which current directory.
//
// Marker: "<name>.ran" in the folder of the executable, where <name> is the
// executable's name without ".exe" (dpinstx86.ran, dpinstx64.ran,
// dpinst.ran). It holds three UTF-8 lines:
//   <installer name, e.g. dpinstx86.exe>
//   <full path of the running executable>
//   <current directory at start>
// The process ends with exit code 0 when the marker was written, 1 otherwise.

#include <windows.h>

#include <string>

#ifndef KELP_SAMPLE_NAME
#error "KELP_SAMPLE_NAME names the installer this build stands in for"
#endif

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// GetModuleFileNameW truncates silently when the buffer is too small; grow
// until the answer fits.
std::wstring modulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
    std::wstring buffer(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    if (length == 0 || length >= size) return {};
    buffer.resize(length);
    return buffer;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring self = modulePath();
    const size_t slash = self.find_last_of(L"\\/");
    if (self.empty() || slash == std::wstring::npos) return 1;

    std::wstring marker = self;
    const size_t dot = marker.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > slash) marker.resize(dot);
    marker += L".ran";

    const std::string body = std::string(KELP_SAMPLE_NAME) + "\r\n" + utf8(self) + "\r\n" +
                             utf8(currentDirectory()) + "\r\n";

    // Written under a temporary name and renamed, so that whoever waits for
    // the marker never reads it half written.
    const std::wstring partial = marker + L".part";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    if (!ok || !closed || written != body.size()) {
        DeleteFileW(partial.c_str());
        return 1;
    }
    return MoveFileExW(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
