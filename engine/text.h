// A line of text in a font: position, colour, clip box and alignment, including two marquee
// modes in which text wider than its clip box scrolls sideways without end. The string is
// shaped when it is set, and its glyphs are put together into one image in the text atlas;
// the texts of one pass are drawn together, one draw call per colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/font.h"
#include "engine/math.h"
#include "engine/text_atlas.h"

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

    // Drawing texts into one clip box: their quads are queued and drawn from the atlas in one
    // call whenever the colour or the filter changes, when the atlas has to start over, and
    // at the end of the pass. Blending, scissor and projection are set once, at the first draw.
    class Text_Pass
    {
    public:
        // Main thread, context current. Sets no GL state yet.
        Text_Pass(Window* window, Int2 clip_position, Int2 clip_size);
        // Draws what is still queued, then switches blending and the scissor test off again
        // if the pass set them.
        ~Text_Pass();
        Text_Pass(const Text_Pass&) = delete;
        Text_Pass& operator=(const Text_Pass&) = delete;

        // Main thread. Draws `text` for this frame, clipped by the pass's box (not the text's).
        void draw(Text& text);

    private:
        friend class Text;
        // Puts the text's glyphs, put together, into the atlas; when it is full, draws the
        // queue and starts the atlas over.
        void put_image(Text& text);
        // Queues the quad of one slot with its top-left corner at `corner`, window pixels.
        void queue(const Text_Atlas::Slot& slot, Float2 corner, const Color& color, bool nearest);
        // Draws the queued quads in one call, setting the shared state on first use.
        void flush();

        Window* window;
        Int2 clip_position, clip_size;
        bool started = false;
        std::vector<float> vertices;             // queued corners: x, y (window pixels), u, v; six per quad
        Color queued_color;                      // of the queued quads
        bool queued_nearest = false;             // their sampling: nearest, or linear
        Color color{-1.0f, -1.0f, -1.0f, -1.0f}; // given to the program; none yet
        int32_t color_location = -1;
    };

    class Text
    {
    public:
        // An empty text that draws nothing; makes no GL call, so any thread may make one.
        Text() = default;

        // Main thread, context current. A clip size with a zero side becomes the window's
        // size now. The first text of a context builds the shared text program.
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

        // A piece of the string's glyphs put together, no wider than an atlas slot.
        struct Strip
        {
            Text_Atlas::Slot slot; // where it is in the atlas, and its size
            Int2 corner;           // its top-left from the pen origin on the baseline, pixels, y down
        };
        std::vector<Strip> image; // made at the first draw after the string changed

    private:
        friend class Text_Pass;
        void draw_in(Text_Pass& pass);
        void draw_marquee(Text_Pass& pass, bool lowered);
        void draw_glyphs(Text_Pass& pass, Float2 offset);
        // Whether the image is made and each of its strips still in the atlas.
        bool image_held() const;

        bool image_stale = true;
    };
}
