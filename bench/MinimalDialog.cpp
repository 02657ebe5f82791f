// The smallest dialog program: one modal dialog from the resource script,
// closed by OK, Cancel or the close box. The start-up benchmark's baselines:
//
//   minimal_dialog.exe  just that: no manifest, user32 and kernel32 only
//   fair_dialog.exe     (KELP_BENCH_FAIR) the same dialog with what any
//                       program like Kelp's first page has to pay for too:
//                       Kelp's manifest (common controls 6, DPI awareness,
//                       highestAvailable), the common-controls
//                       initialisation with Kelp's classes, and imports of
//                       the DLLs Kelp.exe imports plus comctl32
#include <windows.h>
#ifdef KELP_BENCH_FAIR
#include <commctrl.h>
#include <shellapi.h>
#endif

namespace {

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

#ifdef KELP_BENCH_FAIR
// Referenced so that the linker keeps the imports of shell32, advapi32 and
// gdi32; never called.
void* volatile keptImports[] = {reinterpret_cast<void*>(&ShellExecuteW), reinterpret_cast<void*>(&RegCloseKey),
                                reinterpret_cast<void*>(&GetStockObject)};
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#ifdef KELP_BENCH_FAIR
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof(classes);
    classes.dwICC =
        ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    if (!InitCommonControlsEx(&classes)) return 1;
#endif
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(1), nullptr, dialogProc, 0);
    return result == -1 ? 1 : 0;
}
