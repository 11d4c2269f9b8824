// A line of text in a font: position, colour, clip box and alignment, including two marquee
// modes in which text wider than its clip box scrolls sideways without end. The string is
// shaped when it is set, and its glyphs are put together into one image, drawn as one quad.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/font.h"
#include "engine/math.h"
#include "engine/texture.h"

namespace Kestrane
{
    class Window;

    // Where a text's position puts it; see Text's constructor.
    enum Text_Alignment : uint32_t
    {
        align_top_left = 0,
        align_baseline_left = 1,
        align_baseline_middle = 2,
        align_centre = 3,
        align_marquee = 4,
        align_marquee_lowered = 5,
    };

    class Text;

    // The GL state of drawing texts into one clip box: program, quad, blending and scissor
    // are set once, at the first text that reaches into the box, and the colour only when it
    // changes, so a list of many labels costs one texture bind and one draw per label.
    class Text_Pass
    {
    public:
        // Main thread, context current. Sets no GL state yet.
        Text_Pass(Window* window, Int2 clip_position, Int2 clip_size);
        // Switches blending and the scissor test off again if the pass set them.
        ~Text_Pass();
        Text_Pass(const Text_Pass&) = delete;
        Text_Pass& operator=(const Text_Pass&) = delete;

        // Main thread. Draws `text` for this frame, clipped by the pass's box (not the text's).
        void draw(Text& text);

    private:
        friend class Text;
        // Sets the shared state on first use, then the colour if it differs from the last.
        void prepare(const Color& color);

        Window* window;
        Int2 clip_position, clip_size;
        bool started = false;
        Color color{-1.0f, -1.0f, -1.0f, -1.0f}; // none set yet
        int32_t color_location = -1, matrix_location = -1;
    };

    class Text
    {
    public:
        // An empty text that draws nothing; makes no GL call, so any thread may make one.
        Text() = default;

        // Main thread, context current. A clip size with a zero side becomes the window's
        // size now. The first text of a context builds the kind's shared program and quad.
        // Any string can be drawn (see Font::shape).
        //
        // Alignment, with w, h and a the measured width, height and ascent:
        //   0: position is the top-left corner of the text;
        //   1 (and above 5): the left end of the baseline;
        //   2: the middle of the baseline;  3: the centre of the text;
        //   4: marquee: centred in the clip box, baseline on its middle line, scrolling at
        //      60 pixels per second when wider than the box; position is added;
        //   5: as 4 with the baseline half an ascent lower.
        Text(Window* window, Font* font, const std::string& string, Float2 position, Color color, uint32_t alignment,
             Int2 clip_position = {}, Int2 clip_size = {});

        // Main thread. Replaces the string, shapes and measures it, unless it is the same string.
        void set_string(const std::string& new_string);

        // Main thread. Draws the string for this frame (advancing a marquee by the window's
        // delta time).
        void draw();

        Window* window = nullptr;         // projection, height and frame time; not owned
        Font* font = nullptr;             // not owned; without one nothing is measured or drawn
        std::string string;               // UTF-8 (invalid bytes shown as Latin-1); change it with set_string
        Float2 position;                  // pixels, added to the placement of every alignment
        Color color;                      // multiplied with the glyph coverage
        Int2 clip_position;               // top-left of the clip box, window pixels
        Int2 clip_size;                   // width and height of the clip box, pixels
        uint32_t alignment = 0;           // a Text_Alignment, see the constructor
        Measurement measured;             // of string in font
        float scroll = 0.0f;              // marquee offset, pixels
        std::vector<Placed_Glyph> glyphs; // string as shaped in font

    private:
        friend class Text_Pass;
        void draw_in(Text_Pass& pass);
        void draw_marquee(Text_Pass& pass, bool lowered);
        void draw_glyphs(Text_Pass& pass, Float2 offset);
        void build_image();

        // The string's glyphs put together, in strips no wider than any GL allows.
        struct Strip
        {
            Texture texture;      // single-channel coverage, row 0 at the top
            Int2 corner;          // top-left from the pen origin on the baseline, pixels, y down
            Int2 size;            // pixels
            bool nearest = false; // the texture's filter: nearest, or linear (as made)

            // Main thread, the texture bound: switches its filter unless it is already so.
            void use_nearest(bool whole_pixels);
        };
        std::vector<Strip> image; // made at the first draw after the string changed
        bool image_stale = true;
    };
}
