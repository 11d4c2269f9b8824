// One texture shared by the texts of a GL context. Each text's glyphs, put together, go into a
// slot of it, so a pass of many labels draws from one texture in one call and the memory
// stays the same however many names a library holds. Slots are packed on shelves; when no
// shelf has room the atlas starts over empty, and a text whose slot went with it puts its
// image in again when it is next drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/math.h"
#include "engine/texture.h"

namespace Kestrane
{
    class Text_Atlas
    {
    public:
        struct Slot
        {
            Int2 corner;          // top-left texel of the image, inside its one-texel border
            Int2 size;            // of the image, texels
            uint64_t filling = 0; // the filling of the atlas it was put into; 0: none
        };

        // Main thread, context current. The atlas of the current context; the first call in
        // a context makes its texture, a square of `largest_side` or less if the context's
        // limit is lower. Throws nothing.
        static Text_Atlas& current();

        // Whether `slot` still holds the image put into it.
        bool holds(const Slot& slot) const { return slot.filling != 0 && slot.filling == filling; }

        // Widest and tallest image a slot can take, texels.
        int32_t largest_image() const { return side - 2; }

        // Main thread, context current. Copies an image of coverage (`size`, rows `row_length`
        // apart) into a free slot, each channel the coverage, with a border repeating its edge
        // texels so filtering at its edges samples as clamping would. Returns a slot that is
        // not held when there is no room until the atlas starts over.
        Slot put(const unsigned char* coverage, int32_t row_length, Int2 size);

        // Main thread. Forgets every slot: none given so far is held any more. The caller
        // draws whatever it queued from the old contents first.
        void start_over();

        // Main thread, atlas bound. Switches the texture's filter unless it is already so.
        void use_nearest(bool whole_pixels);

        static constexpr int32_t largest_side = 2048;

        struct Shelf
        {
            int32_t top = 0;    // first row, texels
            int32_t height = 0; // rows, borders included
            int32_t used = 0;   // columns taken from the left, borders included
        };

        Texture texture;            // four 8-bit channels (BGRA), each the coverage
        int32_t side = 0;           // width and height of the texture, texels
        uint64_t filling = 0;       // unique across contexts; a new one at each start over
        std::vector<Shelf> shelves; // top to bottom
        bool nearest = false;       // the texture's filter: nearest, or linear (as made)

    private:
        // The shelf an image `height` rows tall (borders included) goes on, opening one if
        // needed; nullptr when there is no room.
        Shelf* shelf_for(Int2 bordered);
    };
}
