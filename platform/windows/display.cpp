// The native window on Win32 and WGL: a borderless window whose procedure queues the
// messages the engine handles, with a double-buffered GL context, multisampled where the
// driver offers such a pixel format. Names and captions are UTF-8 in the program and go to
// the wide functions.
#include "platform/display.h"

#include <windows.h>

#include <GL/glew.h>
#include <GL/wglew.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/error.h"
#include "platform/windows/placement.h"
#include "platform/windows/wide.h"

namespace Platform
{
    namespace
    {
        // What the window procedure reaches through GWLP_USERDATA.
        struct Native_Window
        {
            Display_Window* window = nullptr;
            std::vector<Message> queue;    // messages not yet taken by poll_message
            size_t next = 0;               // the first of them
            std::array<bool, 256> down{};  // keys whose key-down was queued and key-up not yet
            std::array<bool, 3> buttons{}; // left, right, middle, likewise
        };

        HWND hwnd(const Display_Window& window)
        {
            return static_cast<HWND>(window.native);
        }

        Rect read_rect(HWND handle)
        {
            RECT r{};
            GetWindowRect(handle, &r);
            return {r.left, r.top, r.right, r.bottom};
        }

        void queue(Native_Window& native, uint32_t id, int32_t value = 0)
        {
            native.queue.push_back({id, value});
        }

        // Keys and buttons let go after the focus has gone are released over the window that
        // took it, which gets their messages: they are released here, as SDL does on Linux,
        // so that none stays held (a stuck Ctrl turns every click into a window drag).
        void release_everything_down(Native_Window& native)
        {
            for (size_t key = 0; key < native.down.size(); ++key)
                if (native.down[key])
                    queue(native, message_key_up, int32_t(key));
            const uint32_t ups[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
            for (size_t b = 0; b < native.buttons.size(); ++b)
                if (native.buttons[b])
                    queue(native, ups[b]);
            native.down.fill(false);
            native.buttons.fill(false);
        }

        // Keeps `down` and `buttons` with what is queued.
        void note_key_or_button(Native_Window& native, UINT id, WPARAM w)
        {
            switch (id)
            {
            case WM_KEYDOWN: native.down[w & 0xFF] = true; break;
            case WM_KEYUP: native.down[w & 0xFF] = false; break;
            case WM_LBUTTONDOWN: native.buttons[0] = true; break;
            case WM_LBUTTONUP: native.buttons[0] = false; break;
            case WM_RBUTTONDOWN: native.buttons[1] = true; break;
            case WM_RBUTTONUP: native.buttons[1] = false; break;
            case WM_MBUTTONDOWN: native.buttons[2] = true; break;
            case WM_MBUTTONUP: native.buttons[2] = false; break;
            default: break;
            }
        }

        // The messages the engine handles become queued Messages; the rest keep their default.
        bool answer(Native_Window& native, HWND handle, UINT id, WPARAM w, LPARAM l, LRESULT& result)
        {
            result = 0;
            note_key_or_button(native, id, w);
            switch (id)
            {
            case WM_MOVE:
                native.window->rect = read_rect(handle);
                queue(native, message_move);
                return true;
            case WM_SIZE:
                native.window->rect = read_rect(handle);
                queue(native, message_size);
                return true;
            case WM_SETFOCUS: queue(native, message_set_focus); return true;
            case WM_KILLFOCUS:
                release_everything_down(native);
                queue(native, message_kill_focus);
                return true;
            case WM_CLOSE: queue(native, message_close); return true; // closing is the engine's call
            case WM_KEYDOWN: queue(native, message_key_down, int32_t(w & 0xFF)); return true;
            case WM_KEYUP: queue(native, message_key_up, int32_t(w & 0xFF)); return true;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONUP:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONUP: queue(native, id); return true;
            case WM_MOUSEWHEEL: queue(native, message_wheel, GET_WHEEL_DELTA_WPARAM(w)); return true;
            case WM_SETCURSOR:
                if (LOWORD(l) != HTCLIENT)
                    return false;
                SetCursor(nullptr); // the engine draws its own cursor
                result = TRUE;
                return true;
            default: return false;
            }
        }

        LRESULT CALLBACK window_procedure(HWND handle, UINT id, WPARAM w, LPARAM l)
        {
            // The whole window is client area, no caption or border, from its creation on: a
            // GL surface made while it had a frame could keep the smaller client size (Wine's does).
            if (id == WM_NCCALCSIZE)
                return 0; // the proposed client rectangle stays the window's
            auto native = reinterpret_cast<Native_Window*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
            LRESULT result = 0;
            if (native && answer(*native, handle, id, w, l, result))
                return result;
            return DefWindowProcW(handle, id, w, l);
        }

        void register_class(const std::wstring& name)
        {
            WNDCLASSEXW record{};
            record.cbSize = sizeof(record);
            // An own device context: the GL context stays bound to one DC for the window's life.
            record.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
            record.lpfnWndProc = window_procedure;
            record.hInstance = GetModuleHandleW(nullptr);
            // The program's icon resource; a program built without one keeps the system's.
            record.hIcon = LoadIconW(record.hInstance, MAKEINTRESOURCEW(101));
            record.lpszClassName = name.c_str();
            RegisterClassExW(&record); // fails harmlessly when a window of this title came before
        }

        HWND create_native(const std::wstring& title, int32_t x, int32_t y, int32_t width, int32_t height)
        {
            return CreateWindowExW(0, title.c_str(), title.c_str(), WS_MINIMIZEBOX, x, y, width, height, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
        }

        PIXELFORMATDESCRIPTOR pixel_format_descriptor()
        {
            PIXELFORMATDESCRIPTOR descriptor{};
            descriptor.nSize = sizeof(descriptor);
            descriptor.nVersion = 1;
            descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
            descriptor.iPixelType = PFD_TYPE_RGBA;
            descriptor.cColorBits = 32;
            descriptor.cDepthBits = 24;
            descriptor.cStencilBits = 8;
            return descriptor;
        }

        // Sets the format on the window's DC and makes a context current there; null on failure.
        HGLRC make_context(HWND handle, int format)
        {
            HDC dc = GetDC(handle);
            const PIXELFORMATDESCRIPTOR descriptor = pixel_format_descriptor();
            if (!dc || format <= 0 || !SetPixelFormat(dc, format, &descriptor))
                return nullptr;
            HGLRC context = wglCreateContext(dc);
            if (context && !wglMakeCurrent(dc, context))
            {
                wglDeleteContext(context);
                return nullptr;
            }
            return context;
        }

        void destroy(HWND handle, HGLRC context)
        {
            wglMakeCurrent(nullptr, nullptr);
            if (context)
                wglDeleteContext(context);
            if (handle)
                DestroyWindow(handle);
        }

        // A multisampled format with `samples` samples, asked of the driver through the context
        // that is current; 0 when the driver has no such format or no way to ask.
        int multisampled_format(HWND handle, int32_t samples)
        {
            const auto choose = reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(
                reinterpret_cast<void*>(wglGetProcAddress("wglChoosePixelFormatARB")));
            if (!choose || samples <= 0)
                return 0;
            const int attributes[] = {WGL_DRAW_TO_WINDOW_ARB,
                                      1,
                                      WGL_SUPPORT_OPENGL_ARB,
                                      1,
                                      WGL_DOUBLE_BUFFER_ARB,
                                      1,
                                      WGL_ACCELERATION_ARB,
                                      WGL_FULL_ACCELERATION_ARB,
                                      WGL_PIXEL_TYPE_ARB,
                                      WGL_TYPE_RGBA_ARB,
                                      WGL_COLOR_BITS_ARB,
                                      32,
                                      WGL_DEPTH_BITS_ARB,
                                      24,
                                      WGL_STENCIL_BITS_ARB,
                                      8,
                                      WGL_SAMPLE_BUFFERS_ARB,
                                      1,
                                      WGL_SAMPLES_ARB,
                                      samples,
                                      0};
            int format = 0;
            UINT count = 0;
            if (!choose(GetDC(handle), attributes, nullptr, 1, &format, &count) || count == 0)
                return 0;
            return format;
        }

        void disable_vertical_sync()
        {
            const auto swap_interval = reinterpret_cast<PFNWGLSWAPINTERVALEXTPROC>(
                reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
            if (swap_interval)
                swap_interval(0);
        }

        // The primary monitor's rectangle on the desktop (its top-left corner is the origin of
        // screen coordinates, the other monitors lie around it).
        RECT primary_monitor()
        {
            MONITORINFO info{};
            info.cbSize = sizeof(info);
            if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info))
                return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            return info.rcMonitor;
        }

        [[noreturn]] void raise_no_window()
        {
            throw Error("Could not create an OpenGL window.");
        }
    }

    Display_Window::Display_Window(const std::string& title, int32_t x, int32_t y, int32_t width, int32_t height,
                                   int32_t wanted_samples)
    {
        const std::wstring wide_title = to_wide(title);
        register_class(wide_title);
        // A pixel format can be set only once per window, and the driver's multisampled
        // formats can be asked only through a current context: a first window with a plain
        // format asks, and a second one takes the answer.
        const PIXELFORMATDESCRIPTOR descriptor = pixel_format_descriptor();
        HWND handle = create_native(wide_title, x, y, width, height);
        HGLRC context = handle ? make_context(handle, ChoosePixelFormat(GetDC(handle), &descriptor)) : nullptr;
        if (!context)
        {
            destroy(handle, nullptr);
            raise_no_window();
        }
        if (const int format = multisampled_format(handle, wanted_samples))
        {
            destroy(handle, context);
            handle = create_native(wide_title, x, y, width, height);
            context = handle ? make_context(handle, format) : nullptr;
            if (!context)
            {
                destroy(handle, nullptr);
                raise_no_window();
            }
            samples = wanted_samples;
        }
        native = handle;
        gl_context = context;
        rect = read_rect(handle);
        SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Native_Window{this, {}, 0}));
        disable_vertical_sync();
        glewExperimental = GL_TRUE;
        glewInit();
    }

    Display_Window::~Display_Window()
    {
        HWND handle = hwnd(*this);
        auto state = reinterpret_cast<Native_Window*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
        SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
        delete state;
        destroy(handle, static_cast<HGLRC>(gl_context));
    }

    void set_window_icon(Display_Window& window, const unsigned char* bmp, std::size_t size)
    {
        // A 32-bit BMP: file header, info header, bottom-up BGRA rows.
        if (size < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))
            return;
        BITMAPFILEHEADER file{};
        BITMAPINFOHEADER info{};
        memcpy(&file, bmp, sizeof(file));
        memcpy(&info, bmp + sizeof(file), sizeof(info));
        const LONG width = info.biWidth, height = info.biHeight > 0 ? info.biHeight : -info.biHeight;
        const size_t bytes = size_t(width) * size_t(height) * 4;
        if (file.bfType != 0x4D42 || info.biBitCount != 32 || width <= 0 || width > 256 || height > 256 ||
            file.bfOffBits > size || size - file.bfOffBits < bytes)
            return;
        BITMAPINFO colour_info{};
        colour_info.bmiHeader = info;
        colour_info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        colour_info.bmiHeader.biCompression = BI_RGB;
        void* pixels = nullptr;
        HBITMAP colour = CreateDIBSection(nullptr, &colour_info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
        if (colour && mask && pixels)
        {
            memcpy(pixels, bmp + file.bfOffBits, bytes);
            ICONINFO icon_info{TRUE, 0, 0, mask, colour};
            if (HICON icon = CreateIconIndirect(&icon_info))
            {
                SendMessageW(hwnd(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
                SendMessageW(hwnd(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
            }
        }
        if (colour)
            DeleteObject(colour);
        if (mask)
            DeleteObject(mask);
    }

    void show_window(Display_Window& window)
    {
        ShowWindow(hwnd(window), SW_SHOW);
    }

    void hide_window(Display_Window& window)
    {
        ShowWindow(hwnd(window), SW_HIDE);
    }

    void move_window(Display_Window& window, int32_t x, int32_t y, int32_t width, int32_t height)
    {
        // MoveWindow sends WM_MOVE and WM_SIZE before it returns; the rectangle is current then.
        MoveWindow(hwnd(window), x, y, width, height, TRUE);
        window.rect = read_rect(hwnd(window));
    }

    Rect get_window_rect(const Display_Window& window)
    {
        return window.rect;
    }

    void swap_buffers(Display_Window& window)
    {
        SwapBuffers(GetDC(hwnd(window)));
    }

    int32_t refresh_rate(const Display_Window& window)
    {
        constexpr int32_t unknown = 60;
        MONITORINFOEXW monitor{};
        monitor.cbSize = sizeof(monitor);
        DEVMODEW mode{};
        mode.dmSize = sizeof(mode);
        // The monitor holding most of the window; 0 and 1 Hz mean the hardware's default.
        if (!GetMonitorInfoW(MonitorFromWindow(hwnd(window), MONITOR_DEFAULTTOPRIMARY), &monitor) ||
            !EnumDisplaySettingsW(monitor.szDevice, ENUM_CURRENT_SETTINGS, &mode) || mode.dmDisplayFrequency <= 1)
            return unknown;
        return static_cast<int32_t>(mode.dmDisplayFrequency);
    }

    bool poll_message(Display_Window& window, Message& message)
    {
        auto native = reinterpret_cast<Native_Window*>(GetWindowLongPtrW(hwnd(window), GWLP_USERDATA));
        MSG system_message;
        while (native->next == native->queue.size())
        {
            native->queue.clear();
            native->next = 0;
            if (!PeekMessageW(&system_message, hwnd(window), 0, 0, PM_REMOVE))
                return false;
            DispatchMessageW(&system_message);
        }
        message = native->queue[native->next++];
        return true;
    }

    void capture_mouse(Display_Window& window, bool on)
    {
        if (on)
            SetCapture(hwnd(window));
        else if (GetCapture() == hwnd(window))
            ReleaseCapture();
    }

    void get_global_cursor(int32_t& x, int32_t& y)
    {
        POINT point{};
        GetCursorPos(&point);
        x = point.x;
        y = point.y;
    }

    void get_screen_size(int32_t& width, int32_t& height)
    {
        const RECT r = primary_monitor();
        width = r.right - r.left;
        height = r.bottom - r.top;
    }

    void get_screen_position(int32_t& x, int32_t& y)
    {
        const RECT r = primary_monitor();
        x = r.left;
        y = r.top;
    }

    void center_on_primary_monitor(HWND window)
    {
        RECT r{};
        GetWindowRect(window, &r);
        const int width = r.right - r.left, height = r.bottom - r.top;
        const RECT screen = primary_monitor();
        const int screen_width = screen.right - screen.left, screen_height = screen.bottom - screen.top;
        MoveWindow(window, screen.left + screen_width / 2 - width / 2, screen.top + screen_height / 2 - height / 2,
                   width, height, TRUE);
    }

    bool center_window_by_title(const std::string& title)
    {
        HWND found = FindWindowW(nullptr, to_wide(title).c_str());
        if (!found || !IsWindowVisible(found))
            return false;
        center_on_primary_monitor(found);
        return true;
    }
}
