// Flat-colour rectangles: one shared program and one unit square for every rectangle, scaled
// and moved into place by the matrix of each draw.
#include "engine/rectangle.h"

#include <cstdint>
#include <vector>

#include <GL/glew.h>

#include "engine/program.h"
#include "engine/vertex_array.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        struct Rectangle_Kind
        {
            Program program;
            Vertex_Array square; // corners (0, 0), (0, 1), (1, 1), (1, 0) and two triangles
        };

        Rectangle_Kind& rectangle_kind()
        {
            static Rectangle_Kind kind;
            return kind;
        }

        void build_rectangle_kind(Window* window)
        {
            Rectangle_Kind& kind = rectangle_kind();
            if (kind.program.built())
                return;
            kind.square = Vertex_Array();
            build_shared_program(kind.program, window,
                {{rectangle_vertex_source, GL_VERTEX_SHADER}, {rectangle_fragment_source, GL_FRAGMENT_SHADER}});
            kind.square.add_buffer(GL_ARRAY_BUFFER, std::vector<uint32_t>{0, 0, 0, 1, 1, 1, 1, 0});
            kind.square.add_buffer(GL_ELEMENT_ARRAY_BUFFER, std::vector<uint32_t>{0, 1, 2, 0, 2, 3});
            GLint location = kind.program.attribute_location("vertex");
            kind.square.bind();
            glEnableVertexAttribArray(location);
            glVertexAttribPointer(location, 2, GL_UNSIGNED_INT, GL_FALSE, 0, nullptr);
        }
    }

    Rectangle::Rectangle(Window* host, Color initial_color, Int2 initial_position, Float2 initial_size)
        : window(host), color(initial_color), size(initial_size),
          position{static_cast<float>(initial_position.x), static_cast<float>(initial_position.y)}
    {
        build_rectangle_kind(window);
    }

    void Rectangle::draw() const
    {
        Rectangle_Kind& kind = rectangle_kind();
        glUseProgram(kind.program.name());
        kind.square.bind();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        Matrix matrix = window->projection * Matrix::translation(position.x, position.y, 0.0f) * Matrix::scale(size.x, size.y, 0.0f);
        glUniformMatrix4fv(kind.program.uniform_location("matrix"), 1, GL_FALSE, matrix.data());
        glUniform4f(kind.program.uniform_location("color"), color.r, color.g, color.b, color.a);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
        glDisable(GL_BLEND);
    }
}
