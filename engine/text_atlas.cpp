// The text atlas: shelves of slots in one BGRA texture per GL context. Coverage is stored in
// all four channels so that a software rasteriser can blend it in eight-bit arithmetic.
#include "engine/text_atlas.h"

#include <algorithm>

#include <GL/glew.h>

#include "engine/gl_name.h"

namespace Kestrane
{
    namespace
    {
        uint64_t last_filling = 0; // main thread only

        // The image with a one-texel border repeating its edges, each texel's four channels
        // set to its coverage.
        std::vector<uint32_t> bordered(const unsigned char* coverage, int32_t row_length, Int2 size)
        {
            const Int2 out{size.x + 2, size.y + 2};
            std::vector<uint32_t> texels(static_cast<size_t>(out.x) * static_cast<size_t>(out.y));
            for (int32_t y = 0; y < out.y; ++y)
            {
                const unsigned char* row =
                    coverage + static_cast<size_t>(std::clamp(y - 1, 0, size.y - 1)) * row_length;
                for (int32_t x = 0; x < out.x; ++x)
                    texels[static_cast<size_t>(y) * out.x + x] = 0x01010101u * row[std::clamp(x - 1, 0, size.x - 1)];
            }
            return texels;
        }
    }

    Text_Atlas& Text_Atlas::current()
    {
        static Text_Atlas atlas;
        if (gl_name_is_live(atlas.texture.id))
            return atlas;
        GLint limit = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
        atlas.side = std::min(largest_side, std::max(static_cast<int32_t>(limit), 64));
        atlas.texture = Texture::generate();
        glBindTexture(GL_TEXTURE_2D, atlas.texture.name());
        // Unsized RGBA with BGRA bytes lets the driver keep the bytes as given.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, atlas.side, atlas.side, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        atlas.nearest = false;
        atlas.start_over();
        return atlas;
    }

    Text_Atlas::Shelf* Text_Atlas::shelf_for(Int2 need)
    {
        // A shelf a little taller than the image is good enough; labels of one font differ
        // by a few rows (descenders, accents).
        for (Shelf& shelf : shelves)
            if (shelf.height >= need.y && shelf.height <= need.y + need.y / 4 + 1 && shelf.used + need.x <= side)
                return &shelf;
        const int32_t top = shelves.empty() ? 0 : shelves.back().top + shelves.back().height;
        if (top + need.y > side)
            return nullptr;
        shelves.push_back({top, need.y, 0});
        return &shelves.back();
    }

    Text_Atlas::Slot Text_Atlas::put(const unsigned char* coverage, int32_t row_length, Int2 size)
    {
        if (size.x <= 0 || size.y <= 0 || size.x > largest_image() || size.y > largest_image())
            return {};
        const Int2 need{size.x + 2, size.y + 2};
        Shelf* shelf = shelf_for(need);
        if (!shelf)
            return {};
        const Int2 corner{shelf->used + 1, shelf->top + 1};
        shelf->used += need.x;
        const std::vector<uint32_t> texels = bordered(coverage, row_length, size);
        glBindTexture(GL_TEXTURE_2D, texture.name());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexSubImage2D(GL_TEXTURE_2D, 0, corner.x - 1, corner.y - 1, need.x, need.y, GL_BGRA, GL_UNSIGNED_BYTE,
                        texels.data());
        return {corner, size, filling};
    }

    void Text_Atlas::start_over()
    {
        shelves.clear();
        filling = ++last_filling;
    }

    void Text_Atlas::use_nearest(bool whole_pixels)
    {
        if (nearest == whole_pixels)
            return;
        nearest = whole_pixels;
        const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    }
}
