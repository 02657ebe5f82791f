// The smallest dialog program: one modal dialog from the resource script,
// closed by OK, Cancel or the close box. The start-up benchmark's baseline.
#include <windows.h>

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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(1), nullptr, dialogProc, 0);
    return result == -1 ? 1 : 0;
}
