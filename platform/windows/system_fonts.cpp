// System fonts on Windows: the TrueType and OpenType fonts registered with the system, each
// asked through GDI once which characters it has. Sans-serif faces that Windows ships for
// many scripts are asked first, then every other registered face in the registry's order.
#include "platform/system_fonts.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/windows/wide.h"

namespace Platform
{
    namespace
    {
        struct Registered_Font
        {
            std::wstring face;
            std::string path;                            // UTF-8
            std::vector<std::pair<WCHAR, WCHAR>> ranges; // characters it has, first and last
            bool asked = false;                          // ranges read
        };

        const wchar_t* const preferred[] = {L"Segoe UI",      L"Arial",      L"Microsoft YaHei", L"Yu Gothic UI",
                                            L"Malgun Gothic", L"Nirmala UI", L"Segoe UI Symbol"};

        std::wstring fonts_folder()
        {
            wchar_t windows[MAX_PATH] = {};
            GetWindowsDirectoryW(windows, MAX_PATH);
            return std::wstring(windows) + L"\\Fonts\\";
        }

        // "Segoe UI Bold (TrueType)" -> "Segoe UI Bold"; a collection's first face; empty for
        // bitmap fonts and colour emoji.
        std::wstring face_of(const std::wstring& name)
        {
            const size_t kind = name.rfind(L" (");
            if (kind == std::wstring::npos || (name.compare(kind, std::wstring::npos, L" (TrueType)") != 0 &&
                                               name.compare(kind, std::wstring::npos, L" (OpenType)") != 0))
                return {};
            const std::wstring face = name.substr(0, std::min(kind, name.find(L" & ")));
            return face.find(L"Emoji") == std::wstring::npos ? face : std::wstring();
        }

        std::vector<Registered_Font> read_registered_fonts()
        {
            std::vector<Registered_Font> fonts;
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0,
                              KEY_READ, &key) != ERROR_SUCCESS)
                return fonts;
            for (DWORD i = 0;; ++i)
            {
                wchar_t name[512] = {}, file[MAX_PATH] = {};
                DWORD name_length = 512, file_bytes = sizeof(file) - sizeof(wchar_t), type = 0;
                const LSTATUS status = RegEnumValueW(key, i, name, &name_length, nullptr, &type,
                                                     reinterpret_cast<BYTE*>(file), &file_bytes);
                if (status == ERROR_NO_MORE_ITEMS)
                    break;
                const std::wstring face = status == ERROR_SUCCESS && type == REG_SZ ? face_of(name) : L"";
                if (face.empty())
                    continue;
                const std::wstring path = wcschr(file, L'\\') ? file : fonts_folder() + file;
                fonts.push_back({face, to_utf8(path), {}, false});
            }
            RegCloseKey(key);
            const auto rank = [](const Registered_Font& font)
            { return std::find(std::begin(preferred), std::end(preferred), font.face) - std::begin(preferred); };
            std::stable_sort(fonts.begin(), fonts.end(),
                             [&](const Registered_Font& a, const Registered_Font& b) { return rank(a) < rank(b); });
            return fonts;
        }

        // The characters of the face GDI finds under this name; none when it substitutes another.
        void ask_ranges(Registered_Font& font)
        {
            font.asked = true;
            HDC dc = CreateCompatibleDC(nullptr);
            HFONT handle = CreateFontW(0, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_ONLY_PRECIS,
                                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, font.face.c_str());
            HGDIOBJ previous = SelectObject(dc, handle);
            wchar_t selected[LF_FACESIZE] = {};
            GetTextFaceW(dc, LF_FACESIZE, selected);
            const DWORD bytes = _wcsicmp(selected, font.face.c_str()) == 0 ? GetFontUnicodeRanges(dc, nullptr) : 0;
            if (bytes >= sizeof(GLYPHSET))
            {
                std::vector<BYTE> buffer(bytes);
                auto* set = reinterpret_cast<GLYPHSET*>(buffer.data());
                if (GetFontUnicodeRanges(dc, set))
                    for (DWORD r = 0; r < set->cRanges; ++r)
                        font.ranges.push_back(
                            {set->ranges[r].wcLow, WCHAR(set->ranges[r].wcLow + set->ranges[r].cGlyphs - 1)});
            }
            SelectObject(dc, previous);
            DeleteObject(handle);
            DeleteDC(dc);
        }

        bool has(const Registered_Font& font, char32_t c)
        {
            return std::any_of(font.ranges.begin(), font.ranges.end(),
                               [c](const auto& range) { return c >= range.first && c <= range.second; });
        }
    }

    std::optional<Font_File> system_font_for(char32_t c)
    {
        if (c > 0xFFFF)
            return std::nullopt; // GDI's character ranges cover the basic plane only
        static std::vector<Registered_Font> fonts = read_registered_fonts();
        for (Registered_Font& font : fonts)
        {
            if (!font.asked)
                ask_ranges(font);
            if (has(font, c))
                return Font_File{font.path, 0};
        }
        return std::nullopt;
    }
}
