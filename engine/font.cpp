// Fonts: one FreeType library for the process; each font renders its glyphs into textures at
// construction and keeps only the textures and metrics.
#include "engine/font.h"

#include <algorithm>

#include <GL/glew.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "engine/exception.h"

namespace Kestrane
{
    namespace
    {
        struct Freetype
        {
            FT_Library library = nullptr;
            Freetype() { FT_Init_FreeType(&library); }
            ~Freetype() { FT_Done_FreeType(library); }
        };

        FT_Library freetype_library()
        {
            static Freetype freetype;
            return freetype.library;
        }

        // Uploads the glyph in the face's slot as a single-channel texture.
        Texture upload_glyph(const FT_Bitmap& bitmap)
        {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            // Rows may be padded beyond the width.
            glPixelStorei(GL_UNPACK_ROW_LENGTH, bitmap.pitch > 0 ? bitmap.pitch : 0);
            Texture texture = Texture::generate();
            glBindTexture(GL_TEXTURE_2D, texture.name());
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, bitmap.width, bitmap.rows, 0, GL_RED, GL_UNSIGNED_BYTE,
                         bitmap.buffer);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            return texture;
        }
    }

    Font::Font(Window* host, const unsigned char* data, std::size_t size, uint32_t pixels)
        : pixel_size(pixels), window(host)
    {
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(freetype_library(), data, static_cast<FT_Long>(size), 0, &face) != 0)
            throw Exception("Could not load an embedded font.");
        FT_Set_Pixel_Sizes(face, 0, pixel_size);
        for (int code = 32; code <= 254; ++code)
        {
            // A character the face lacks renders FreeType's substitute glyph.
            FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT);
            const FT_GlyphSlot glyph = face->glyph;
            Character record;
            record.texture = upload_glyph(glyph->bitmap);
            record.size = {static_cast<int32_t>(glyph->bitmap.width), static_cast<int32_t>(glyph->bitmap.rows)};
            record.bearing = {glyph->bitmap_left, -glyph->bitmap_top};
            record.advance = static_cast<int32_t>(glyph->advance.x >> 6);
            glyphs.emplace(static_cast<signed char>(code), std::move(record));
        }
        name = face->family_name ? face->family_name : "";
        height = static_cast<int32_t>(face->bbox.yMax >> 6);
        FT_Done_Face(face);
    }

    const Character& Font::character(char c) const
    {
        auto found = glyphs.find(static_cast<signed char>(c));
        if (found == glyphs.end())
            throw Exception("Could not render an unsupported character with the value \"" +
                            std::to_string(static_cast<signed char>(c)) + "\" in the font \"" + name + "\".");
        return found->second;
    }

    Measurement Font::measure(const std::string& string) const
    {
        Measurement measured;
        for (char c : string)
        {
            const Character& record = character(c);
            measured.width += record.advance;
            measured.ascent = std::max(measured.ascent, -record.bearing.y);
            measured.descent = std::max(measured.descent, record.size.y + record.bearing.y);
        }
        measured.height = measured.ascent + measured.descent;
        return measured;
    }
}
