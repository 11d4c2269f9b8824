// Thick polylines with mitered joins in one colour, in window pixels. The geometry shader
// widens each segment on the GPU; a whole polyline is one draw call.
#pragma once

#include <vector>

#include "engine/math.h"

namespace Kestrane
{
    class Window;

    class Line
    {
    public:
        // Main thread, context current. The first line of a context builds the line program;
        // throws Kestrane::Exception if that fails.
        Line(Window* window, Color color);

        // Main thread. Draws the polyline through `points` (window pixels) `width` pixels
        // thick, square at both ends. Fewer than two distinct points draw nothing.
        void draw(std::vector<Float2> points, float width) const;

        Window* window; // for the projection; not owned
        Color color;    // of the whole polyline
    };
}
