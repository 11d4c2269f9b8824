// The Win32 window with its GL context, icon and messages, the frame clock, and the error
// boxes, on a real desktop (Wine's, in the test run): messages a user's keys, buttons and
// wheel send come out as the engine's, moving takes effect at once, sleeps end on time, boxes
// are centred and carry any name.
#include "assets/assets.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/system_fonts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/windows/wide.h"

#include <GL/glew.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace
{
    using namespace std::chrono_literals;

    HWND hwnd(const Platform::Display_Window& window)
    {
        return static_cast<HWND>(window.native);
    }

    std::vector<Platform::Message> drain(Platform::Display_Window& window)
    {
        std::vector<Platform::Message> messages;
        Platform::Message message;
        while (Platform::poll_message(window, message))
            messages.push_back(message);
        return messages;
    }

    bool has(const std::vector<Platform::Message>& messages, uint32_t id, int32_t value = 0)
    {
        for (const auto& m : messages)
            if (m.id == id && m.value == value)
                return true;
        return false;
    }

    TEST(Windows_Display, BorderlessHiddenWindowWithACurrentContext)
    {
        Platform::Display_Window window("Corvane display test", 100, 120, 333, 666, 8);
        EXPECT_FALSE(IsWindowVisible(hwnd(window)));
        RECT client{};
        GetClientRect(hwnd(window), &client);
        EXPECT_EQ(client.right - client.left, 333); // no caption, no border: all of it is client
        EXPECT_EQ(client.bottom - client.top, 666);
        const Platform::Rect rect = Platform::get_window_rect(window);
        EXPECT_EQ(rect.left, 100);
        EXPECT_EQ(rect.top, 120);
        EXPECT_EQ(rect.right, 433);
        EXPECT_EQ(rect.bottom, 786);
        GLint major = 0, minor = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        glGetIntegerv(GL_MINOR_VERSION, &minor);
        EXPECT_GE(major * 10 + minor, 33) << glGetString(GL_VERSION);
        EXPECT_NE(glCreateProgram, nullptr); // GLEW loaded the entry points
        EXPECT_TRUE(window.samples == 0 || window.samples == 8);
        Platform::show_window(window);
        EXPECT_TRUE(IsWindowVisible(hwnd(window)));
    }

    // The context draws into the whole window from the start: the drawing surface is made
    // for the borderless window, not for the client area the window had with its caption.
    TEST(Windows_Display, BackBufferCoversTheWholeWindowFromTheStart)
    {
        constexpr int width = 200, height = 300;
        Platform::Display_Window window("Corvane buffer test", 0, 0, width, height, 0);
        glViewport(0, 0, width, height);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        std::vector<unsigned char> pixels(width * height * 4); // bottom row first
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        for (int row : {0, height / 2, height - 1})
            EXPECT_EQ(pixels[(size_t(row) * width + width / 2) * 4], 255) << (height - 1 - row) << " rows from the top";
    }

    // The 32 x 32 pixels of an icon as bottom-up BGRA rows, as in a BMP; empty on failure.
    std::vector<unsigned char> icon_pixels(HICON icon)
    {
        ICONINFO info{};
        if (!icon || !GetIconInfo(icon, &info))
            return {};
        BITMAPINFO format{};
        format.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, 32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<unsigned char> pixels(32 * 32 * 4);
        HDC screen = GetDC(nullptr);
        const int rows = GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return rows == 32 ? pixels : std::vector<unsigned char>{};
    }

    // corvane.exe, beside this program's folder in the build.
    std::wstring player_executable()
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        folder.resize(folder.find_last_of(L'\\'));
        folder.resize(folder.find_last_of(L'\\') + 1);
        return folder + L"corvane.exe";
    }

    // Resource 101 of corvane.exe, and of this program, which embeds the assets as the
    // player does, is the embedded icon image, alpha and all; the window class shows it.
    TEST(Windows_Display, WindowClassShowsTheProgramsIconResource)
    {
        uint32_t offset = 0; // where the BMP's pixels start
        std::memcpy(&offset, Corvane::Assets::icon.data + 10, sizeof(offset));
        ASSERT_EQ(offset + 32 * 32 * 4, Corvane::Assets::icon.size);
        const std::vector<unsigned char> image(Corvane::Assets::icon.data + offset,
                                               Corvane::Assets::icon.data + Corvane::Assets::icon.size);

        EXPECT_EQ(icon_pixels(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101))), image);
        const HMODULE player = LoadLibraryExW(player_executable().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(player, nullptr) << "no corvane.exe beside the tests";
        const auto icon = static_cast<HICON>(LoadImageW(player, MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, 0));
        EXPECT_EQ(icon_pixels(icon), image) << "corvane.exe";
        FreeLibrary(player);

        Platform::Display_Window window("Corvane icon test", 0, 0, 100, 100, 0);
        EXPECT_NE(GetClassLongPtrW(hwnd(window), GCLP_HICON), 0);
    }

    TEST(Windows_Display, InputArrivesAsTheEngineMessages)
    {
        Platform::Display_Window window("Corvane input test", 0, 0, 200, 200, 0);
        drain(window);
        const HWND h = hwnd(window);
        PostMessageW(h, WM_KEYDOWN, 'X', 0);
        PostMessageW(h, WM_KEYUP, VK_ESCAPE, 0);
        PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(h, WM_RBUTTONUP, 0, 0);
        PostMessageW(h, WM_MBUTTONDOWN, MK_MBUTTON, 0);
        PostMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-240)), 0);
        PostMessageW(h, WM_CLOSE, 0, 0);
        const auto messages = drain(window);
        EXPECT_TRUE(has(messages, Platform::message_key_down, 'X'));
        EXPECT_TRUE(has(messages, Platform::message_key_up, 27));
        EXPECT_TRUE(has(messages, Platform::message_left_down));
        EXPECT_TRUE(has(messages, Platform::message_right_up));
        EXPECT_TRUE(has(messages, Platform::message_middle_down));
        EXPECT_TRUE(has(messages, Platform::message_wheel, -240));
        EXPECT_TRUE(has(messages, Platform::message_close));
        EXPECT_TRUE(IsWindow(h)); // closing is the engine's decision

        // Whatever is still down when the focus goes (X, Ctrl, the left and middle buttons)
        // is let go before the focus message: Windows sends those releases to the window
        // that took the focus.
        PostMessageW(h, WM_KEYDOWN, VK_CONTROL, 0);
        PostMessageW(h, WM_KILLFOCUS, 0, 0);
        auto lost = drain(window);
        ASSERT_FALSE(lost.empty());
        EXPECT_EQ(lost.back().id, Platform::message_kill_focus);
        EXPECT_TRUE(has(lost, Platform::message_key_up, 'X'));
        EXPECT_TRUE(has(lost, Platform::message_key_up, VK_CONTROL));
        EXPECT_TRUE(has(lost, Platform::message_left_up));
        EXPECT_TRUE(has(lost, Platform::message_middle_up));
        EXPECT_FALSE(has(lost, Platform::message_right_up)) << "the right button was let go before";
        PostMessageW(h, WM_KILLFOCUS, 0, 0);
        lost = drain(window);
        ASSERT_EQ(lost.size(), 1u) << "nothing is down any more";
        EXPECT_EQ(lost[0].id, Platform::message_kill_focus);
    }

    TEST(Windows_Display, MoveAndSizeTakeEffectBeforeTheCallReturns)
    {
        Platform::Display_Window window("Corvane move test", 10, 10, 200, 300, 0);
        drain(window);
        Platform::move_window(window, 50, 60, 250, 350);
        const Platform::Rect rect = Platform::get_window_rect(window);
        EXPECT_EQ(rect.left, 50);
        EXPECT_EQ(rect.top, 60);
        EXPECT_EQ(rect.right, 300);
        EXPECT_EQ(rect.bottom, 410);
        const auto messages = drain(window);
        EXPECT_TRUE(has(messages, Platform::message_move));
        EXPECT_TRUE(has(messages, Platform::message_size));
    }

    TEST(Windows_Display, ScreenIsThePrimaryMonitor)
    {
        int32_t width = 0, height = 0, x = -1, y = -1;
        Platform::get_screen_size(width, height);
        Platform::get_screen_position(x, y);
        EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN));
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
    }

    // The frame loop waits one refresh period a frame: the rate is the monitor's, or 60 where
    // the system does not say (0 and 1 Hz mean the hardware's default), never 0.
    TEST(Windows_Display, RefreshRateIsTheMonitorsOrSixtyWhereUnknown)
    {
        Platform::Display_Window window("Corvane refresh test", 0, 0, 200, 200, 0);
        DEVMODEW mode{};
        mode.dmSize = sizeof(mode);
        ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)); // the primary monitor's
        const DWORD hertz = mode.dmDisplayFrequency;
        EXPECT_EQ(Platform::refresh_rate(window), hertz > 1 ? static_cast<int32_t>(hertz) : 60) << hertz << " Hz";
    }

    // Sleeps of a few milliseconds on two threads at once, as long as the clock and an
    // independent one tell: none returns before its deadline, and none is left waiting (each
    // thread needs a timer of its own). A deadline already past returns at once.
    TEST(Windows_Clock, SleepUntilReturnsAtTheDeadlineNeverBeforeOnAnyThread)
    {
        struct Run
        {
            std::atomic<int> early{0};
            std::atomic<int> done{0};
        };
        auto run = std::make_shared<Run>();
        auto sleeper = [run](double period, int count)
        {
            for (int i = 0; i < count; ++i)
            {
                const auto start = std::chrono::steady_clock::now();
                const double deadline = Platform::now_seconds() + period;
                Platform::sleep_until(deadline);
                const std::chrono::duration<double> slept = std::chrono::steady_clock::now() - start;
                if (Platform::now_seconds() < deadline || slept.count() < period - 0.0002)
                    ++run->early;
            }
            ++run->done;
        };
        std::thread(sleeper, 0.003, 40).detach(); // detached: a stuck sleep must not hang the suite
        std::thread(sleeper, 0.007, 20).detach();
        for (int i = 0; i < 2000 && run->done < 2; ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(run->done, 2) << "a sleep did not end within twenty seconds";
        EXPECT_EQ(run->early, 0);

        const double before = Platform::now_seconds();
        Platform::sleep_until(before - 1.0);
        EXPECT_LT(Platform::now_seconds() - before, 0.5);
    }

    HWND wait_for_box()
    {
        for (int i = 0; i < 5000; ++i)
        {
            HWND box = FindWindowW(nullptr, L"Corvane Error");
            if (box && IsWindowVisible(box))
                return box;
            std::this_thread::sleep_for(1ms);
        }
        return nullptr;
    }

    // A box for the window, from another thread (as the play thread shows one) while the
    // window's own thread answers no messages: it shows, centred on the screen, with the whole
    // message however far it lies from ASCII.
    TEST(Windows_Display, ErrorBoxFromAnotherThreadIsCentredAndCarriesAnyName)
    {
        Platform::Display_Window window("Corvane box test", 0, 0, 200, 200, 0);
        Platform::show_window(window);
        const std::string message = "Could not load \"Björk/日本語.flac\".";
        std::thread shower([&] { Platform::show_error_box("Corvane Error", message, &window); });
        const HWND box = wait_for_box();
        ASSERT_NE(box, nullptr);
        RECT r{};
        GetWindowRect(box, &r);
        const int width = r.right - r.left, height = r.bottom - r.top;
        EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2);
        EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2);
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256); // the box's message control
        EXPECT_STREQ(text, L"Could not load \"Bj\u00f6rk/\u65e5\u672c\u8a9e.flac\".");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        shower.join();
        // The window is still usable afterwards: the box did not leave it disabled.
        EXPECT_TRUE(IsWindowEnabled(hwnd(window)));
    }

    // A character the program's fonts lack is found in a font the system has registered;
    // one that no font has is not.
    TEST(Windows_System_Fonts, FindARegisteredFileThatHasTheCharacter)
    {
        const auto latin = Platform::system_font_for(U'A');
        ASSERT_TRUE(latin.has_value());
        const std::wstring path = Platform::to_wide(latin->path);
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << latin->path;
        EXPECT_FALSE(Platform::system_font_for(0x10FFFD).has_value()); // private use, beyond GDI's plane
    }
}
