// Axis-aligned rectangles filled with one colour, alpha-blended, in window pixels. The owner
// changes position, size and colour between draws.
#pragma once

#include "engine/math.h"

namespace Kestrane
{
    class Window;

    class Rectangle
    {
    public:
        // Main thread, context current. The first rectangle of a context builds the kind's
        // shared program and unit square; throws Kestrane::Exception if that fails.
        Rectangle(Window* window, Color color, Int2 position, Float2 size);

        // Main thread. Draws now with the current fields.
        void draw() const;

        Window* window;  // for the projection; not owned
        Color color;     // fill; alpha blends with what lies behind
        Float2 size;     // width, height in pixels
        Float2 position; // top-left corner in window pixels
    };
}
