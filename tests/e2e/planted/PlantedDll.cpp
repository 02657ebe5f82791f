// A stand-in for a DLL planted next to Kelp.exe: when any process loads it,
// it leaves "<its own path>.loaded" beside itself, naming the process in
// UTF-8, and
// does nothing else. Copied under the name of each DLL the wizard loads.
// Built without the C runtime so that it imports kernel32 alone.

#include <windows.h>

extern "C" BOOL WINAPI PlantedDllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t marker[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcpyW(marker + length, L".loaded");
    wchar_t process[MAX_PATH];
    const DWORD processLength = GetModuleFileNameW(nullptr, process, MAX_PATH);
    char text[3 * MAX_PATH];
    const int textLength =
        WideCharToMultiByte(CP_UTF8, 0, process, static_cast<int>(processLength), text, sizeof(text), nullptr, nullptr);
    const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(textLength > 0 ? textLength : 0), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}
