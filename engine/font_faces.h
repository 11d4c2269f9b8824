// Inside a font: its faces (the embedded one first, then system fonts opened as characters
// need them), each with its HarfBuzz font. Shared by the font's loading and its shaping;
// nothing else includes it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include "engine/font.h"

namespace Kestrane
{
    // The process's FreeType library, shared by every face so that it goes after the last one.
    struct Freetype_Library
    {
        FT_Library library = nullptr;
        Freetype_Library() { FT_Init_FreeType(&library); }
        ~Freetype_Library() { FT_Done_FreeType(library); }
        static std::shared_ptr<Freetype_Library> shared();
    };

    struct Face
    {
        FT_Face face = nullptr;
        hb_font_t* shaper = nullptr;     // HarfBuzz font over `face`, with the same hinted advances
        std::vector<unsigned char> data; // the face's bytes when it was opened from memory
        Face() = default;
        Face(const Face&) = delete;
        Face& operator=(const Face&) = delete;
        ~Face();
        bool has(char32_t c) const { return FT_Get_Char_Index(face, c) != 0; }
    };

    struct Font::Faces
    {
        std::shared_ptr<Freetype_Library> freetype = Freetype_Library::shared();
        std::vector<std::unique_ptr<Face>> list;                // [0] the font's own face
        std::map<std::pair<std::string, int>, uint32_t> opened; // system font file and index -> face
        std::unordered_map<char32_t, int32_t> face_of;          // character -> face, -1 for none
        hb_buffer_t* buffer = hb_buffer_create();               // reused by every shaping
        uint32_t pixel_size = 0;

        Faces() = default;
        Faces(const Faces&) = delete;
        Faces& operator=(const Faces&) = delete;
        ~Faces() { hb_buffer_destroy(buffer); }

        // The face that draws `c`: the font's own when it has it, else the first system font
        // that has it (opened on first need); -1 when no installed font has it. Cached.
        int32_t face_for(char32_t c);

        // Opens a system font file at the font's pixel size; null when FreeType cannot.
        std::unique_ptr<Face> open(const std::string& path, int index) const;
    };

    // Prepares `face` at `pixel_size` and makes its HarfBuzz font.
    void prepare_face(Face& face, uint32_t pixel_size);
}
