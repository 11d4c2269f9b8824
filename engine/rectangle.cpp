// Flat-colour rectangles: one shared program and one unit square for every rectangle, scaled
// and moved into place by the matrix of each draw.
#include "engine/rectangle.h"

#include <cstdint>
#include <vector>

#include <GL/glew.h>

#include "engine/drawing_kind.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        // The unit square: corners (0, 0), (0, 1), (1, 1), (1, 0).
        Drawing_Kind& rectangle_kind()
        {
            static Drawing_Kind kind{
                {{rectangle_vertex_source, GL_VERTEX_SHADER}, {rectangle_fragment_source, GL_FRAGMENT_SHADER}},
                {0, 0, 0, 1, 1, 1, 1, 0},
                2};
            return kind;
        }
    }

    Rectangle::Rectangle(Window* host, Color initial_color, Int2 initial_position, Float2 initial_size)
        : window(host), color(initial_color),
          size(initial_size), position{static_cast<float>(initial_position.x), static_cast<float>(initial_position.y)}
    {
        rectangle_kind().build(window);
    }

    void Rectangle::draw() const
    {
        Drawing_Kind& kind = rectangle_kind();
        glUseProgram(kind.program.name());
        kind.quad.bind();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        Matrix matrix = window->projection * Matrix::translation(position.x, position.y, 0.0f) *
                        Matrix::scale(size.x, size.y, 0.0f);
        glUniformMatrix4fv(kind.program.uniform_location("matrix"), 1, GL_FALSE, matrix.data());
        glUniform4f(kind.program.uniform_location("color"), color.r, color.g, color.b, color.a);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
        glDisable(GL_BLEND);
    }
}
