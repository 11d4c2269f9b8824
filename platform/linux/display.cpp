// The native window on SDL2: a borderless GL window whose events are translated into the
// window-procedure messages the engine handles. The primary monitor, the global cursor and
// the centring of other windows (error boxes) go through Xlib on one connection of their own,
// shared under a lock, so any thread may ask.
#include "platform/display.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <GL/glew.h>

#include <mutex>

#include "platform/error.h"

namespace Platform
{
    namespace
    {
        // Error boxes are centred from a thread of their own; Xlib must be told before any
        // connection exists.
        const bool x_threads_ready = XInitThreads() != 0;

        void initialise_video()
        {
            static const bool ready = []
            {
                // Everything else here speaks Xlib: a user's SDL_VIDEODRIVER=wayland (often set
                // for games) would refuse the window or put it where Xlib cannot see it.
                SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
                SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
                SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
                return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            }();
            if (!ready)
                throw Error("Could not open a window: \"" + std::string(SDL_GetError()) + "\".");
        }

        SDL_Window* sdl(const Display_Window& window)
        {
            return static_cast<SDL_Window*>(window.native);
        }

        bool create(Display_Window& window, const std::string& title, int32_t x, int32_t y, int32_t width,
                    int32_t height, int32_t samples)
        {
            SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
            SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
            SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
            SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
            // Nothing Corvane draws tests depth or stencil, so the window has neither: each
            // would only be cleared every frame, which costs a software rasteriser (Mesa's
            // llvmpipe) about a third of an idle frame; clearing the depth bit then does nothing.
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
            const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
            SDL_Window* native = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
            if (!native)
                return false;
            SDL_GLContext context = SDL_GL_CreateContext(native);
            if (!context)
            {
                SDL_DestroyWindow(native);
                return false;
            }
            window.native = native;
            window.gl_context = context;
            window.samples = samples;
            window.rect = {x, y, x + width, y + height};
            return true;
        }

        // SDL asks for no decorations only where a window manager already made the Motif
        // atom; ask for it always, so any window manager that comes later leaves it bare.
        void request_no_decorations(SDL_Window* native)
        {
            SDL_SysWMinfo info;
            SDL_VERSION(&info.version);
            if (!SDL_GetWindowWMInfo(native, &info) || info.subsystem != SDL_SYSWM_X11)
                return;
            Display* display = info.info.x11.display;
            const Atom hints_atom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
            const long hints[5] = {2, 0, 0, 0, 0}; // flags: decorations; decorations: none
            XChangeProperty(display, info.info.x11.window, hints_atom, hints_atom, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(hints), 5);
        }

        // Windows virtual-key codes for the SDL keys Corvane can meet; 0 for the rest. Letters
        // follow a Latin layout (AZERTY's A is A); a layout of another script (Cyrillic,
        // Greek) gives its letter keys the codes of the US keys in their place, as Windows does.
        int32_t virtual_key(const SDL_Keysym& keysym)
        {
            const SDL_Keycode key = keysym.sym;
            if (key >= SDLK_a && key <= SDLK_z)
                return 'A' + (key - SDLK_a);
            const bool other_script = key >= 128 && (key & SDLK_SCANCODE_MASK) == 0;
            if (other_script && keysym.scancode >= SDL_SCANCODE_A && keysym.scancode <= SDL_SCANCODE_Z)
                return 'A' + (keysym.scancode - SDL_SCANCODE_A);
            if (key >= SDLK_0 && key <= SDLK_9)
                return '0' + (key - SDLK_0);
            if (key >= SDLK_F1 && key <= SDLK_F12)
                return 112 + (key - SDLK_F1);
            switch (key)
            {
            case SDLK_BACKSPACE: return 8;
            case SDLK_TAB: return 9;
            case SDLK_RETURN: return 13;
            case SDLK_LSHIFT:
            case SDLK_RSHIFT: return 16;
            case SDLK_LCTRL:
            case SDLK_RCTRL: return 17;
            case SDLK_LALT:
            case SDLK_RALT: return 18;
            case SDLK_PAUSE: return 19;
            case SDLK_ESCAPE: return 27;
            case SDLK_SPACE: return 32;
            case SDLK_PAGEUP: return 33;
            case SDLK_PAGEDOWN: return 34;
            case SDLK_END: return 35;
            case SDLK_HOME: return 36;
            case SDLK_LEFT: return 37;
            case SDLK_UP: return 38;
            case SDLK_RIGHT: return 39;
            case SDLK_DOWN: return 40;
            case SDLK_INSERT: return 45;
            case SDLK_DELETE: return 46;
            default: return 0;
            }
        }

        uint32_t button_message(uint8_t button, bool down)
        {
            switch (button)
            {
            case SDL_BUTTON_LEFT: return down ? message_left_down : message_left_up;
            case SDL_BUTTON_RIGHT: return down ? message_right_down : message_right_up;
            case SDL_BUTTON_MIDDLE: return down ? message_middle_down : message_middle_up;
            default: return 0;
            }
        }

        Rect read_rect(SDL_Window* native)
        {
            int x = 0, y = 0, width = 0, height = 0;
            SDL_GetWindowPosition(native, &x, &y);
            SDL_GetWindowSize(native, &width, &height);
            return {x, y, x + width, y + height};
        }

        // One SDL window event as a message, or id 0 for events the window ignores.
        Message window_message(Display_Window& window, const SDL_WindowEvent& event)
        {
            switch (event.event)
            {
            case SDL_WINDOWEVENT_MOVED: window.rect = read_rect(sdl(window)); return {message_move, 0};
            case SDL_WINDOWEVENT_SIZE_CHANGED: window.rect = read_rect(sdl(window)); return {message_size, 0};
            case SDL_WINDOWEVENT_FOCUS_GAINED: return {message_set_focus, 0};
            case SDL_WINDOWEVENT_FOCUS_LOST: return {message_kill_focus, 0};
            case SDL_WINDOWEVENT_CLOSE: return {message_close, 0};
            default: return {};
            }
        }

        Message translate(Display_Window& window, const SDL_Event& event)
        {
            switch (event.type)
            {
            case SDL_QUIT: return {message_close, 0};
            case SDL_WINDOWEVENT: return window_message(window, event.window);
            case SDL_KEYDOWN:
            case SDL_KEYUP:
            {
                const int32_t key = virtual_key(event.key.keysym);
                if (key == 0)
                    return {};
                return {event.type == SDL_KEYDOWN ? uint32_t(message_key_down) : uint32_t(message_key_up), key};
            }
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: return {button_message(event.button.button, event.type == SDL_MOUSEBUTTONDOWN), 0};
            case SDL_MOUSEWHEEL:
            {
                const int32_t notches =
                    event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
                return {message_wheel, notches * 120};
            }
            default: return {};
            }
        }

        // An Xlib connection, opened by its user and closed when its holder goes.
        struct X_Connection
        {
            X_Connection() = default;
            ~X_Connection()
            {
                if (display)
                    XCloseDisplay(display);
            }
            X_Connection(const X_Connection&) = delete;
            X_Connection& operator=(const X_Connection&) = delete;
            Display* display = nullptr;
        };

        // The one Xlib connection of the process outside SDL's, opened once and shared under a
        // lock. Opening connections while SDL forks its message-box process could leave
        // Xlib's global lock held in the child, which then never shows the box. A refused
        // open (a busy server turns clients away) is tried again at the next use, rather than
        // leaving the cursor and the screen unknown for the rest of the run.
        struct Shared_Connection
        {
            Shared_Connection() : guard(lock()), display(open(connection())) {}

            static Display* open(X_Connection& c)
            {
                if (!c.display)
                    c.display = XOpenDisplay(nullptr);
                return c.display;
            }

            static std::mutex& lock()
            {
                static std::mutex m;
                return m;
            }

            static X_Connection& connection()
            {
                static X_Connection c;
                return c;
            }

            std::lock_guard<std::mutex> guard;
            Display* display;
        };

        // WM_NAME may be STRING or UTF8_STRING (SDL's boxes): compare its bytes either way.
        bool has_title(Display* display, ::Window window, const std::string& title)
        {
            XTextProperty name{};
            if (!XGetWMName(display, window, &name) || !name.value)
                return false;
            const bool same =
                name.format == 8 && std::string(reinterpret_cast<const char*>(name.value), name.nitems) == title;
            XFree(name.value);
            return same;
        }

        bool has_monitor_list(Display* display)
        {
            int event_base = 0, error_base = 0, major = 0, minor = 0;
            return XRRQueryExtension(display, &event_base, &error_base) && XRRQueryVersion(display, &major, &minor) &&
                   (major > 1 || (major == 1 && minor >= 5));
        }

        // The monitor marked primary in the server's monitor list, if any.
        bool marked_primary(Display* display, Rect& found)
        {
            if (!has_monitor_list(display))
                return false;
            int count = 0;
            XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
            bool marked = false;
            for (int i = 0; i < count && !marked; ++i)
                if ((marked = monitors[i].primary))
                    found = {monitors[i].x, monitors[i].y, monitors[i].x + monitors[i].width,
                             monitors[i].y + monitors[i].height};
            if (monitors)
                XRRFreeMonitors(monitors);
            return marked;
        }

        // The monitor the user made primary; else the first head (where desktops without
        // a primary put the main one); else, with a single screen, the whole root.
        Rect primary_monitor(Display* display)
        {
            Rect found{};
            if (marked_primary(display, found))
                return found;
            int heads = 0;
            if (XineramaScreenInfo* screens =
                    XineramaIsActive(display) ? XineramaQueryScreens(display, &heads) : nullptr)
            {
                const Rect first{screens[0].x_org, screens[0].y_org, screens[0].x_org + screens[0].width,
                                 screens[0].y_org + screens[0].height};
                XFree(screens);
                if (heads > 0)
                    return first;
            }
            const int screen = DefaultScreen(display);
            return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
        }

        ::Window find_window(Display* display, ::Window parent, const std::string& title)
        {
            ::Window root_return = 0, parent_return = 0;
            ::Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display, parent, &root_return, &parent_return, &children, &count))
                return 0;
            ::Window found = 0;
            for (unsigned int i = 0; i < count && !found; ++i)
                if (has_title(display, children[i], title))
                    found = children[i];
            for (unsigned int i = 0; i < count && !found; ++i)
                found = find_window(display, children[i], title);
            if (children)
                XFree(children);
            return found;
        }
    }

    Display_Window::Display_Window(const std::string& title, int32_t x, int32_t y, int32_t width, int32_t height,
                                   int32_t wanted_samples)
    {
        initialise_video();
        // Some servers (Xvfb among them) offer no multisampled visual.
        if (!create(*this, title, x, y, width, height, wanted_samples) && !create(*this, title, x, y, width, height, 0))
            throw Error("Could not create an OpenGL window: \"" + std::string(SDL_GetError()) + "\".");
        request_no_decorations(sdl(*this));
        SDL_GL_SetSwapInterval(0);
        SDL_ShowCursor(SDL_DISABLE);
        glewExperimental = GL_TRUE;
        glewInit();
    }

    Display_Window::~Display_Window()
    {
        SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(gl_context));
        SDL_DestroyWindow(sdl(*this));
    }

    void set_window_icon(Display_Window& window, const unsigned char* bmp, std::size_t size)
    {
        SDL_Surface* icon = SDL_LoadBMP_RW(SDL_RWFromConstMem(bmp, int(size)), 1);
        if (!icon)
            return;
        SDL_SetWindowIcon(sdl(window), icon);
        SDL_FreeSurface(icon);
    }

    void show_window(Display_Window& window)
    {
        SDL_ShowWindow(sdl(window));
    }

    void hide_window(Display_Window& window)
    {
        SDL_HideWindow(sdl(window));
        SDL_PumpEvents();
    }

    void move_window(Display_Window& window, int32_t x, int32_t y, int32_t width, int32_t height)
    {
        SDL_SetWindowPosition(sdl(window), x, y);
        SDL_SetWindowSize(sdl(window), width, height);
        window.rect = {x, y, x + width, y + height};
    }

    Rect get_window_rect(const Display_Window& window)
    {
        return window.rect;
    }

    void swap_buffers(Display_Window& window)
    {
        SDL_GL_SwapWindow(sdl(window));
    }

    int32_t refresh_rate(const Display_Window& window)
    {
        constexpr int32_t unknown = 60;
        const int index = SDL_GetWindowDisplayIndex(sdl(window)); // the monitor holding its centre
        SDL_DisplayMode mode;
        if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0 || mode.refresh_rate <= 0)
            return unknown;
        return mode.refresh_rate;
    }

    bool poll_message(Display_Window& window, Message& message)
    {
        SDL_Event event;
        while (SDL_PollEvent(&event))
        {
            message = translate(window, event);
            if (message.id != 0)
                return true;
        }
        return false;
    }

    void capture_mouse(Display_Window&, bool on)
    {
        SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
        SDL_ShowCursor(SDL_DISABLE);
    }

    void get_global_cursor(int32_t& x, int32_t& y)
    {
        // SDL caches the global cursor and misses synthetic (XTest) motion; ask the server.
        Shared_Connection shared;
        x = y = 0;
        if (!shared.display)
            return;
        ::Window root = 0, child = 0;
        int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
        unsigned int mask = 0;
        if (XQueryPointer(shared.display, DefaultRootWindow(shared.display), &root, &child, &root_x, &root_y, &window_x,
                          &window_y, &mask))
        {
            x = root_x;
            y = root_y;
        }
    }

    void get_screen_size(int32_t& width, int32_t& height)
    {
        Shared_Connection shared;
        const Rect monitor = shared.display ? primary_monitor(shared.display) : Rect{};
        width = monitor.right - monitor.left;
        height = monitor.bottom - monitor.top;
    }

    void get_screen_position(int32_t& x, int32_t& y)
    {
        Shared_Connection shared;
        const Rect monitor = shared.display ? primary_monitor(shared.display) : Rect{};
        x = monitor.left;
        y = monitor.top;
    }

    bool center_window_by_title(const std::string& title)
    {
        Shared_Connection shared;
        Display* display = shared.display;
        if (!display)
            return false;
        const ::Window found = find_window(display, DefaultRootWindow(display), title);
        XWindowAttributes attributes{};
        if (!found || !XGetWindowAttributes(display, found, &attributes) || attributes.map_state != IsViewable)
            return false;
        const Rect monitor = primary_monitor(display);
        XMoveWindow(display, found, monitor.left + (monitor.right - monitor.left) / 2 - attributes.width / 2,
                    monitor.top + (monitor.bottom - monitor.top) / 2 - attributes.height / 2);
        XSync(display, False);
        return true;
    }
}
