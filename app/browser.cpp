// The library browser: one folder at a time under the chain of folders leading to it, as
// centred lines of text that scroll with inertia and turn clicks into a new selection.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/browser.h"
#include "engine/font.h"
#include "engine/text.h"
#include "engine/window.h"
#include "library/directory.h"

namespace Corvane
{
    Browser_List browser_list(const std::shared_ptr<File>& selection)
    {
        const bool on_folder = selection->type == File::FOLDER;
        Browser_List list{lineage(selection), nullptr};
        list.path.erase(list.path.begin()); // the root is never listed
        if (!on_folder)
            list.path.pop_back();
        list.children = &(on_folder ? selection : selection->parent)->children;
        return list;
    }

    void Directory::scroll(int32_t content_height, int32_t area_height, int32_t line_height)
    {
        const int32_t h = area_height, L = line_height, E = content_height;
        if (E <= h - 2 * L)
        {
            scroll_offset = 0.0f;
            return;
        }
        const float dt = window->delta_time;
        float v = scroll_velocity - float(window->wheel) * scroll_impulse;
        if (std::abs(v) > scroll_speed_limit)
            v = v > 0.0f ? scroll_speed_limit : -scroll_speed_limit;
        if (std::abs(v) - dt * scroll_friction <= 0.0f)
            v = 0.0f;
        else
            v -= std::copysign(dt * scroll_friction, v);
        scroll_velocity = v;
        const float o = scroll_offset + dt * v;
        const int32_t top = int32_t(float(h / 2 - E / 2) - o);
        const int32_t bottom = int32_t(float(E / 2 + h / 2) - o);
        if (top > L)
            scroll_offset = o - float(L - top);
        else if (bottom < h - L)
            scroll_offset = o + float(bottom - (h - L));
        else
            scroll_offset = o;
        if (top > L || bottom < h - L)
            scroll_velocity = 0.0f;
    }

    bool Directory::inside(Kestrane::Int2 point, Kestrane::Int2 position, Kestrane::Int2 size)
    {
        return point.x >= position.x && point.x <= position.x + size.x && point.y >= position.y &&
               point.y <= position.y + size.y;
    }

    // The entry's label in `font` showing its display name; shaped only when it is new or
    // its name or font changed, so the labels of a long list cost nothing until seen.
    static Kestrane::Text& label_of(File& entry, Kestrane::Window* window, Kestrane::Font& font)
    {
        std::string name = display_name(entry);
        if (entry.label.font != &font)
        {
            const float marquee = entry.label.scroll;
            entry.label = Kestrane::Text(window, &font, name, {}, {}, Kestrane::align_marquee, {0, 0}, {1, 1});
            entry.label.scroll = marquee;
        }
        else
            entry.label.set_string(name);
        return entry.label;
    }

    void Directory::draw(Kestrane::Font& font, Kestrane::Int2 position, Kestrane::Int2 size,
                         Kestrane::Color highlight_colour, Kestrane::Color folder_colour, Kestrane::Color track_colour,
                         std::shared_ptr<File> playing_file)
    {
        selection_changed = false;
        const bool started_on_folder = selection->type == File::FOLDER;
        const Browser_List list = browser_list(selection);
        const size_t path_length = list.path.size();
        if (list.size() == 0)
            return;
        const int32_t n = int32_t(list.size());
        const int32_t L = font.height;
        const int32_t A = label_of(*list[0], window, font).measured.ascent;
        const int32_t B = label_of(*list[list.size() - 1], window, font).measured.descent;
        scroll((n - 1) * L + A + B, size.y, L);

        const int32_t y0 = -(int32_t(std::trunc(scroll_offset)) + ((n - 1) * L + B - A) / 2);
        const Kestrane::Int2 cursor = window->cursor_in_window;
        // Only what is seen can be picked: the click must land in the browser's area.
        const bool left_click = window->pressed[Kestrane::button_left] && !window->held[Kestrane::key_ctrl] &&
                                inside(cursor, position, size);
        // Entries whose baseline lies more than two lines beyond the area cannot reach into it.
        const int32_t reach = 2 * std::max(L, int32_t(font.pixel_size));
        Kestrane::Text_Pass pass(window, position, size); // the labels share one clip box and the GL state
        for (int32_t i = 0; i < n; ++i)
        {
            const int32_t y = y0 + i * L;
            if (y < -size.y / 2 - reach || y > size.y - size.y / 2 + reach)
                continue;
            File& entry = *list[size_t(i)];
            const bool highlighted = size_t(i) < path_length || list[size_t(i)] == playing_file;
            Kestrane::Text& label = label_of(entry, window, font);
            label.position = {0.0f, float(y)};
            label.color = highlighted ? highlight_colour : entry.type == File::FOLDER ? folder_colour : track_colour;
            label.clip_position = position;
            label.clip_size = size;
            pass.draw(label); // the label keeps its sideways scroll, so long names keep moving

            if (!left_click)
                continue;
            const Kestrane::Measurement& m = label.measured;
            const int32_t left = position.x + size.x / 2 - m.width / 2;
            const int32_t top = position.y + size.y / 2 + y - m.ascent;
            if (inside(cursor, {left, top}, {m.width, m.height}))
            {
                selection = list[size_t(i)];
                selection_changed = true;
                if (started_on_folder)
                    scroll_offset = 0.0f;
            }
        }

        const Kestrane::Int2 window_size = window->size;
        const bool right_click = window->pressed[Kestrane::button_right] && !window->held[Kestrane::key_ctrl] &&
                                 inside(cursor, {0, 0}, window_size);
        if (right_click)
            go_up();
    }

    void Directory::go_up()
    {
        const std::shared_ptr<File> shown = selection->type == File::FOLDER ? selection : selection->parent;
        if (!shown->parent)
            return;
        selection = shown->parent;
        scroll_offset = 0.0f;
    }
}
