// Text: the glyphs of the string are put together into one coverage image when it is first
// drawn after a change, and each frame draws that image as a textured quad (one per strip
// of a very long line) with the shared text program, clipped by the scissor box and blended
// as premultiplied coverage. Drawing thus costs the same for a name of any length and script,
// and texts drawn in one pass share the rest of the GL state.
#include "engine/text.h"

#include <algorithm>
#include <climits>
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
        if (!started)
            return;
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
    }

    void Text_Pass::draw(Text& text)
    {
        text.draw_in(*this);
    }

    void Text_Pass::prepare(const Color& text_color)
    {
        Drawing_Kind& kind = text_kind();
        if (!started)
        {
            started = true;
            glUseProgram(kind.program.name());
            kind.quad.bind();
            glActiveTexture(GL_TEXTURE0);
            glUniform1i(kind.program.uniform_location("image"), 0);
            color_location = kind.program.uniform_location("color");
            matrix_location = kind.program.uniform_location("matrix");
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); // coverage x colour is premultiplied
            glEnable(GL_SCISSOR_TEST);
            // Scissor rows count from the bottom; a negative side would keep the old box.
            glScissor(clip_position.x, window->size.y - clip_size.y - clip_position.y, std::max(clip_size.x, 0),
                      std::max(clip_size.y, 0));
        }
        if (!(text_color == color))
        {
            color = text_color;
            glUniform4f(color_location, color.r, color.g, color.b, color.a);
        }
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
        // Widest strip: every OpenGL 3.3 implementation takes textures this wide.
        constexpr int32_t strip_width = 1024;

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

        Texture upload(const std::vector<unsigned char>& pixels, int32_t row_length, int32_t first_column, Int2 size)
        {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
            Texture texture = Texture::generate();
            glBindTexture(GL_TEXTURE_2D, texture.name());
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, size.x, size.y, 0, GL_RED, GL_UNSIGNED_BYTE,
                         pixels.data() + first_column);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            return texture;
        }
    }

    void Text::Strip::use_nearest(bool whole_pixels)
    {
        if (nearest == whole_pixels)
            return;
        nearest = whole_pixels;
        const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    }

    void Text::build_image()
    {
        image.clear();
        image_stale = false;
        Int2 low{INT32_MAX, INT32_MAX}, high{INT32_MIN, INT32_MIN};
        for (const Placed_Glyph& placed : glyphs)
        {
            const Character& c = *placed.character;
            if (c.size.x == 0 || c.size.y == 0)
                continue;
            low = {std::min(low.x, placed.pen.x + c.bearing.x), std::min(low.y, placed.pen.y + c.bearing.y)};
            high = {std::max(high.x, placed.pen.x + c.bearing.x + c.size.x),
                    std::max(high.y, placed.pen.y + c.bearing.y + c.size.y)};
        }
        if (high.x <= low.x || high.y <= low.y)
            return;
        const Int2 size{high.x - low.x, high.y - low.y};
        const std::vector<unsigned char> pixels = compose(glyphs, low, size);
        for (int32_t column = 0; column < size.x; column += strip_width)
        {
            const Int2 strip_size{std::min(strip_width, size.x - column), size.y};
            image.push_back({upload(pixels, size.x, column, strip_size), {low.x + column, low.y}, strip_size});
        }
    }

    void Text::draw_glyphs(Text_Pass& pass, Float2 offset)
    {
        const float baseline = offset.y + position.y;
        const bool above = static_cast<float>(clip_position.y) > baseline + static_cast<float>(measured.descent);
        const bool below =
            baseline - static_cast<float>(measured.ascent) > static_cast<float>(clip_position.y + clip_size.y);
        if (above || below)
            return;
        if (image_stale)
            build_image();
        // Only strips that reach into the clip box: the copy of a scrolling name that has not
        // yet entered costs nothing.
        const float origin = offset.x + position.x;
        const auto reaches = [&](const Strip& strip)
        {
            const float left = origin + static_cast<float>(strip.corner.x);
            return left < static_cast<float>(clip_position.x + clip_size.x) &&
                   left + static_cast<float>(strip.size.x) > static_cast<float>(clip_position.x);
        };
        if (std::none_of(image.begin(), image.end(), reaches))
            return;

        // On whole pixels every pixel centre falls on a texel centre, where nearest sampling
        // gives the same coverage as linear and costs a software rasteriser less; a marquee
        // between pixels needs linear.
        const bool whole = origin == std::floor(origin) && baseline == std::floor(baseline);
        pass.prepare(color);
        for (Strip& strip : image)
        {
            if (!reaches(strip))
                continue;
            glBindTexture(GL_TEXTURE_2D, strip.texture.name());
            strip.use_nearest(whole);
            const Matrix model =
                window->projection *
                Matrix::translation(origin + static_cast<float>(strip.corner.x),
                                    baseline + static_cast<float>(strip.corner.y), 0.0f) *
                Matrix::scale(static_cast<float>(strip.size.x), static_cast<float>(strip.size.y), 0.0f);
            glUniformMatrix4fv(pass.matrix_location, 1, GL_FALSE, model.data());
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
        }
    }
}
