// A helper of the Windows end-to-end tests, run under the same Wine as the player: waits up
// to ten seconds for the player's error box, prints its message as UTF-8 and its rectangle
// ("left top right bottom"), then presses OK on it. Exits 1 when no box appeared.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

int main()
{
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !box; ++i)
    {
        box = FindWindowW(nullptr, L"Corvane Error");
        if (!box || !IsWindowVisible(box))
        {
            box = nullptr;
            Sleep(10);
        }
    }
    if (!box)
        return 1;
    _setmode(_fileno(stdout), _O_BINARY); // "\n", not "\r\n"
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    RECT r{};
    GetWindowRect(box, &r);
    std::printf("%s\n%ld %ld %ld %ld\n", utf8, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}
