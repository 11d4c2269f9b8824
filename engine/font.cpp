// Fonts: the faces a font draws with, and its glyphs, each rendered by FreeType when first
// used and kept as coverage with its metrics.
#include "engine/font.h"

#include <hb-ft.h>

#include "engine/exception.h"
#include "engine/font_faces.h"
#include "platform/system_fonts.h"

namespace Kestrane
{
    std::shared_ptr<Freetype_Library> Freetype_Library::shared()
    {
        static const std::shared_ptr<Freetype_Library> library = std::make_shared<Freetype_Library>();
        return library;
    }

    Face::~Face()
    {
        if (shaper)
            hb_font_destroy(shaper);
        if (face)
            FT_Done_Face(face);
    }

    void prepare_face(Face& face, uint32_t pixel_size)
    {
        FT_Set_Pixel_Sizes(face.face, 0, pixel_size);
        face.shaper = hb_ft_font_create_referenced(face.face);
        // Advances as the glyphs are rendered: hinted, whole pixels.
        hb_ft_font_set_load_flags(face.shaper, FT_LOAD_DEFAULT | FT_LOAD_FORCE_AUTOHINT);
    }

    std::unique_ptr<Face> Font::Faces::open(const std::string& path, int index) const
    {
        auto face = std::make_unique<Face>();
        if (FT_New_Face(freetype->library, path.c_str(), index, &face->face) != 0)
            return nullptr;
        prepare_face(*face, pixel_size);
        return face;
    }

    int32_t Font::Faces::face_for(char32_t c)
    {
        if (const auto known = face_of.find(c); known != face_of.end())
            return known->second;
        int32_t found = -1;
        // Faces already open first: a name in one script needs one system font, not a lookup
        // per character.
        for (size_t i = 0; i < list.size() && found < 0; ++i)
            if (list[i]->has(c))
                found = int32_t(i);
        if (found < 0)
            if (const std::optional<Platform::Font_File> file = Platform::system_font_for(c))
            {
                const auto key = std::make_pair(file->path, file->index);
                if (!opened.contains(key))
                    if (std::unique_ptr<Face> face = open(file->path, file->index))
                    {
                        opened[key] = uint32_t(list.size());
                        list.push_back(std::move(face));
                    }
                if (const auto at = opened.find(key); at != opened.end() && list[at->second]->has(c))
                    found = int32_t(at->second);
            }
        face_of[c] = found;
        return found;
    }

    namespace
    {
        // The rendered image as one byte of coverage per pixel (monochrome bitmaps widened).
        std::vector<unsigned char> coverage(const FT_Bitmap& bitmap)
        {
            std::vector<unsigned char> pixels(size_t(bitmap.width) * bitmap.rows, 0);
            for (unsigned row = 0; row < bitmap.rows; ++row)
            {
                const unsigned char* source = bitmap.buffer + std::ptrdiff_t(row) * bitmap.pitch;
                for (unsigned x = 0; x < bitmap.width; ++x)
                {
                    unsigned char value = 0;
                    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                        value = source[x];
                    else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                        value = (source[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
                    pixels[size_t(row) * bitmap.width + x] = value;
                }
            }
            return pixels;
        }
    }

    Font::Font(Window* host, const unsigned char* data, std::size_t size, uint32_t pixels)
        : pixel_size(pixels), window(host), faces(std::make_unique<Faces>())
    {
        faces->pixel_size = pixels;
        auto own = std::make_unique<Face>();
        own->data.assign(data, data + size); // FreeType reads the bytes for as long as the face lives
        if (FT_New_Memory_Face(faces->freetype->library, own->data.data(), static_cast<FT_Long>(size), 0, &own->face) !=
            0)
            throw Exception("Could not load an embedded font.");
        prepare_face(*own, pixels);
        name = own->face->family_name ? own->face->family_name : "";
        height = static_cast<int32_t>(own->face->bbox.yMax >> 6);
        faces->list.push_back(std::move(own));
    }

    Font::~Font() = default;

    const Character& Font::glyph(uint32_t face, uint32_t index) const
    {
        const uint64_t key = uint64_t(face) << 32 | index;
        if (const auto known = glyphs.find(key); known != glyphs.end())
            return known->second;

        const FT_Face source = faces->list[face]->face;
        Character record;
        if (FT_Load_Glyph(source, index, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT) == 0)
        {
            const FT_GlyphSlot slot = source->glyph;
            record.image = coverage(slot->bitmap);
            record.size = {static_cast<int32_t>(slot->bitmap.width), static_cast<int32_t>(slot->bitmap.rows)};
            record.bearing = {slot->bitmap_left, -slot->bitmap_top};
            record.advance = static_cast<int32_t>(slot->advance.x >> 6);
        }
        return glyphs.emplace(key, record).first->second;
    }
}
