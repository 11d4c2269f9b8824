// Text: one textured quad per character, drawn with the shared text program, clipped by the
// scissor box and blended as premultiplied coverage.
#include "engine/text.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <GL/glew.h>

#include "engine/drawing_kind.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        // The unit square with texture coordinates: (x, y, u, v) per corner.
        Drawing_Kind& text_kind()
        {
            static Drawing_Kind kind{
                {{text_vertex_source, GL_VERTEX_SHADER}, {text_fragment_source, GL_FRAGMENT_SHADER}},
                {0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0},
                4};
            return kind;
        }

        // Blending and the scissor box for one glyph pass, switched off again however the
        // pass ends.
        struct Clipped_Blending
        {
            Clipped_Blending(const Int2& position, const Int2& size, int32_t window_height)
            {
                glEnable(GL_BLEND);
                glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); // coverage x colour is premultiplied
                glEnable(GL_SCISSOR_TEST);
                // Scissor rows count from the bottom; a negative side would keep the old box.
                glScissor(position.x, window_height - size.y - position.y, std::max(size.x, 0), std::max(size.y, 0));
            }
            ~Clipped_Blending()
            {
                glDisable(GL_SCISSOR_TEST);
                glDisable(GL_BLEND);
            }
        };
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
            measured = font->measure(new_string);
        string = new_string;
    }

    void Text::draw()
    {
        if (!window || !font)
            return;
        const int32_t w = measured.width;
        const int32_t a = measured.ascent;
        switch (alignment)
        {
        case align_top_left: draw_glyphs({0.0f, static_cast<float>(a)}); break;
        case align_baseline_middle: draw_glyphs({static_cast<float>(-(w / 2)), 0.0f}); break;
        case align_centre:
            draw_glyphs({static_cast<float>(-(w / 2)), static_cast<float>(a - measured.height / 2)});
            break;
        case align_marquee: draw_marquee(false); break;
        case align_marquee_lowered: draw_marquee(true); break;
        default: draw_glyphs({0.0f, 0.0f}); break;
        }
    }

    void Text::draw_marquee(bool lowered)
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
        draw_glyphs({x, static_cast<float>(y)});
        if (!fits)
            draw_glyphs({x - period, static_cast<float>(y)}); // the copy entering from the left
    }

    void Text::draw_glyphs(Float2 offset) const
    {
        const float baseline = offset.y + position.y;
        const bool above = static_cast<float>(clip_position.y) > baseline + static_cast<float>(measured.descent);
        const bool below =
            baseline - static_cast<float>(measured.ascent) > static_cast<float>(clip_position.y + clip_size.y);
        if (above || below)
            return;
        Drawing_Kind& kind = text_kind();
        glUseProgram(kind.program.name());
        kind.quad.bind();
        glActiveTexture(GL_TEXTURE0);
        glUniform1i(kind.program.uniform_location("image"), 0);
        glUniform4f(kind.program.uniform_location("color"), color.r, color.g, color.b, color.a);
        Clipped_Blending clipped(clip_position, clip_size, window->size.y);
        float pen = 0.0f;
        for (char c : string)
        {
            const Character& record = font->character(c);
            glBindTexture(GL_TEXTURE_2D, record.texture.name());
            const Matrix model =
                window->projection *
                Matrix::translation(offset.x + position.x + pen + static_cast<float>(record.bearing.x),
                                    static_cast<float>(record.bearing.y) + position.y + offset.y, 0.0f) *
                Matrix::scale(static_cast<float>(record.size.x), static_cast<float>(record.size.y), 0.0f);
            glUniformMatrix4fv(kind.program.uniform_location("matrix"), 1, GL_FALSE, model.data());
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
            pen += static_cast<float>(record.advance);
        }
    }
}
