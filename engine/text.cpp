// Text: the glyphs of the string are put together into one coverage image when it is first
// drawn after a change and kept in the text atlas; each frame queues that image as a quad
// (one per strip of a very long line), and a pass draws its queue with the shared text program
// in as few calls as the colours and filters allow, clipped by the scissor box and blended as
// premultiplied coverage. Drawing thus costs the same for a name of any length and script.
#include "engine/text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include <GL/glew.h>

#include "engine/program.h"
#include "engine/vertex_array.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        // The process-wide text program and the buffer the passes stream their quads through,
        // made by the first text in each GL context.
        struct Text_Kind
        {
            Program program;
            Vertex_Array stream; // one buffer of corners (x, y, u, v as floats), refilled at each draw

            void build(Window* window)
            {
                if (program.built())
                    return;
                stream = Vertex_Array();
                build_shared_program(
                    program, window,
                    {{text_vertex_source, GL_VERTEX_SHADER}, {text_fragment_source, GL_FRAGMENT_SHADER}});
                stream.add_buffer(GL_ARRAY_BUFFER, nullptr, 0);
                const GLint location = program.attribute_location("vertex");
                glEnableVertexAttribArray(location);
                glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
            }
        };

        Text_Kind& text_kind()
        {
            static Text_Kind kind;
            return kind;
        }
    }

    Text::Text(Window* host, Font* text_font, const std::string& initial_string, Float2 initial_position,
               Color initial_color, uint32_t initial_alignment, Int2 initial_clip_position, Int2 initial_clip_size)
        : window(host), font(text_font), position(initial_position), color(initial_color),
          clip_position(initial_clip_position), clip_size(initial_clip_size), alignment(initial_alignment)
    {
        set_string(initial_string);
        if ((clip_size.x == 0 || clip_size.y == 0) && window)
            this->clip_size = window->size;
        if (window)
            text_kind().build(window);
    }

    void Text::set_string(const std::string& new_string)
    {
        if (new_string == string)
            return;
        if (font)
        {
            Shaped_Text shaped = font->shape(new_string);
            measured = shaped.measured;
            glyphs = std::move(shaped.glyphs);
        }
        string = new_string;
        image.clear();
        image_stale = true;
    }

    Text_Pass::Text_Pass(Window* host, Int2 position, Int2 size)
        : window(host), clip_position(position), clip_size(size)
    {
    }

    Text_Pass::~Text_Pass()
    {
        flush();
        if (!started)
            return;
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
    }

    void Text_Pass::draw(Text& text)
    {
        text.draw_in(*this);
    }

    void Text_Pass::queue(const Text_Atlas::Slot& slot, Float2 corner, const Color& text_color, bool nearest)
    {
        if (!vertices.empty() && (!(text_color == queued_color) || nearest != queued_nearest))
            flush();
        queued_color = text_color;
        queued_nearest = nearest;
        const float side = static_cast<float>(Text_Atlas::current().side);
        const float u0 = static_cast<float>(slot.corner.x) / side, v0 = static_cast<float>(slot.corner.y) / side;
        const float u1 = static_cast<float>(slot.corner.x + slot.size.x) / side;
        const float v1 = static_cast<float>(slot.corner.y + slot.size.y) / side;
        const float x0 = corner.x, y0 = corner.y;
        const float x1 = x0 + static_cast<float>(slot.size.x), y1 = y0 + static_cast<float>(slot.size.y);
        // Two triangles sharing a diagonal, as a software rasteriser recognises a rectangle.
        vertices.insert(vertices.end(), {x0, y0, u0, v0, x0, y1, u0, v1, x1, y1, u1, v1,
                                         x0, y0, u0, v0, x1, y1, u1, v1, x1, y0, u1, v0});
    }

    void Text_Pass::flush()
    {
        if (vertices.empty())
            return;
        Text_Kind& kind = text_kind();
        Text_Atlas& atlas = Text_Atlas::current();
        glUseProgram(kind.program.name());
        kind.stream.bind();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, atlas.texture.name());
        if (!started)
        {
            started = true;
            glUniform1i(kind.program.uniform_location("image"), 0);
            color_location = kind.program.uniform_location("color");
            glUniformMatrix4fv(kind.program.uniform_location("matrix"), 1, GL_FALSE, window->projection.data());
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); // coverage x colour is premultiplied
            glEnable(GL_SCISSOR_TEST);
            // Scissor rows count from the bottom; a negative side would keep the old box.
            glScissor(clip_position.x, window->size.y - clip_size.y - clip_position.y, std::max(clip_size.x, 0),
                      std::max(clip_size.y, 0));
        }
        if (!(queued_color == color))
        {
            color = queued_color;
            glUniform4f(color_location, color.r, color.g, color.b, color.a);
        }
        atlas.use_nearest(queued_nearest);
        glBindBuffer(GL_ARRAY_BUFFER, kind.stream.names->buffers.front());
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
                     GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size() / 4));
        vertices.clear();
    }

    void Text::draw()
    {
        if (!window || !font)
            return;
        Text_Pass pass(window, clip_position, clip_size);
        draw_in(pass);
    }

    void Text::draw_in(Text_Pass& pass)
    {
        if (!window || !font)
            return;
        const int32_t w = measured.width;
        const int32_t a = measured.ascent;
        switch (alignment)
        {
        case align_top_left: draw_glyphs(pass, {0.0f, static_cast<float>(a)}); break;
        case align_baseline_middle: draw_glyphs(pass, {static_cast<float>(-(w / 2)), 0.0f}); break;
        case align_centre:
            draw_glyphs(pass, {static_cast<float>(-(w / 2)), static_cast<float>(a - measured.height / 2)});
            break;
        case align_marquee: draw_marquee(pass, false); break;
        case align_marquee_lowered: draw_marquee(pass, true); break;
        default: draw_glyphs(pass, {0.0f, 0.0f}); break;
        }
    }

    void Text::draw_marquee(Text_Pass& pass, bool lowered)
    {
        const int32_t w = measured.width;
        // One repetition is the text plus a gap as wide as the font's pixel size.
        const float period = static_cast<float>(static_cast<int64_t>(font->pixel_size) + w);
        const bool fits = !(clip_size.x < w);
        scroll = fits ? 0.0f : std::fmod(window->delta_time * 60.0f + scroll, period);
        const float x = static_cast<float>(clip_size.x / 2 + clip_position.x) - (static_cast<float>(w / 2) - scroll);
        int32_t y = clip_size.y / 2 + clip_position.y;
        if (lowered)
            y += measured.ascent / 2;
        draw_glyphs(pass, {x, static_cast<float>(y)});
        if (!fits)
            draw_glyphs(pass, {x - period, static_cast<float>(y)}); // the copy entering from the left
    }

    namespace
    {
        // The box around the glyphs' images from the pen origin, y down; empty if none has ink.
        void ink_box(const std::vector<Placed_Glyph>& glyphs, Int2& low, Int2& high)
        {
            low = {INT32_MAX, INT32_MAX};
            high = {INT32_MIN, INT32_MIN};
            for (const Placed_Glyph& placed : glyphs)
            {
                const Character& c = *placed.character;
                if (c.size.x == 0 || c.size.y == 0)
                    continue;
                low = {std::min(low.x, placed.pen.x + c.bearing.x), std::min(low.y, placed.pen.y + c.bearing.y)};
                high = {std::max(high.x, placed.pen.x + c.bearing.x + c.size.x),
                        std::max(high.y, placed.pen.y + c.bearing.y + c.size.y)};
            }
        }

        // The glyphs' coverage composed as GL would blend them ("over"), in one image that
        // starts at `corner` from the pen origin.
        std::vector<unsigned char> compose(const std::vector<Placed_Glyph>& glyphs, Int2 corner, Int2 size)
        {
            std::vector<unsigned char> pixels(static_cast<size_t>(size.x) * static_cast<size_t>(size.y), 0);
            for (const Placed_Glyph& placed : glyphs)
            {
                const Character& c = *placed.character;
                const int32_t left = placed.pen.x + c.bearing.x - corner.x;
                const int32_t top = placed.pen.y + c.bearing.y - corner.y;
                for (int32_t row = 0; row < c.size.y; ++row)
                    for (int32_t x = 0; x < c.size.x; ++x)
                    {
                        unsigned char& target = pixels[static_cast<size_t>(top + row) * size.x + left + x];
                        const unsigned a = c.image[static_cast<size_t>(row) * c.size.x + x];
                        target = static_cast<unsigned char>(a + target - (a * target + 127) / 255);
                    }
            }
            return pixels;
        }

        // Puts the image, in strips as wide as a slot allows, into the atlas; false when one
        // did not fit.
        bool put_strips(Text_Atlas& atlas, std::vector<Text::Strip>& strips, const std::vector<unsigned char>& pixels,
                        Int2 low, Int2 size)
        {
            strips.clear();
            const int32_t widest = atlas.largest_image();
            for (int32_t column = 0; column < size.x; column += widest)
            {
                const Int2 strip_size{std::min(widest, size.x - column), size.y};
                const Text_Atlas::Slot slot = atlas.put(pixels.data() + column, size.x, strip_size);
                if (!atlas.holds(slot))
                    return false;
                strips.push_back({slot, {low.x + column, low.y}});
            }
            return true;
        }
    }

    bool Text::image_held() const
    {
        if (image_stale)
            return false;
        const Text_Atlas& atlas = Text_Atlas::current();
        return std::all_of(image.begin(), image.end(), [&](const Strip& strip) { return atlas.holds(strip.slot); });
    }

    void Text_Pass::put_image(Text& text)
    {
        text.image.clear();
        text.image_stale = false;
        Int2 low, high;
        ink_box(text.glyphs, low, high);
        Text_Atlas& atlas = Text_Atlas::current();
        // Text taller than the atlas (a font thousands of pixels high) is not drawn.
        if (high.x <= low.x || high.y <= low.y || high.y - low.y > atlas.largest_image())
            return;
        const Int2 size{high.x - low.x, high.y - low.y};
        const std::vector<unsigned char> pixels = compose(text.glyphs, low, size);
        if (put_strips(atlas, text.image, pixels, low, size))
            return;
        flush(); // the queue samples what starting over gives away
        atlas.start_over();
        put_strips(atlas, text.image, pixels, low, size);
    }

    void Text::draw_glyphs(Text_Pass& pass, Float2 offset)
    {
        const float baseline = offset.y + position.y;
        const bool above = static_cast<float>(clip_position.y) > baseline + static_cast<float>(measured.descent);
        const bool below =
            baseline - static_cast<float>(measured.ascent) > static_cast<float>(clip_position.y + clip_size.y);
        if (above || below)
            return;
        if (!image_held())
            pass.put_image(*this);
        // Only strips that reach into the clip box: the copy of a scrolling name that has not
        // yet entered costs nothing.
        const float origin = offset.x + position.x;
        // On whole pixels every pixel centre falls on a texel centre, where nearest sampling
        // gives the same coverage as linear and costs a software rasteriser less; a marquee
        // between pixels needs linear.
        const bool whole = origin == std::floor(origin) && baseline == std::floor(baseline);
        for (const Strip& strip : image)
        {
            const float left = origin + static_cast<float>(strip.corner.x);
            if (left < static_cast<float>(clip_position.x + clip_size.x) &&
                left + static_cast<float>(strip.slot.size.x) > static_cast<float>(clip_position.x))
                pass.queue(strip.slot, {left, baseline + static_cast<float>(strip.corner.y)}, color, whole);
        }
    }
}
