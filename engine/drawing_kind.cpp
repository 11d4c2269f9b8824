// Building a drawing kind's shared program and unit quad.
#include "engine/drawing_kind.h"

#include <GL/glew.h>

namespace Kestrane
{
    void Drawing_Kind::build(Window* window)
    {
        if (program.built())
            return;
        quad = Vertex_Array();
        build_shared_program(program, window, sources);
        quad.add_buffer(GL_ARRAY_BUFFER, corners);
        quad.add_buffer(GL_ELEMENT_ARRAY_BUFFER, std::vector<uint32_t>{0, 1, 2, 0, 2, 3});
        const GLint location = program.attribute_location("vertex");
        quad.bind();
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, components, GL_UNSIGNED_INT, GL_FALSE, 0, nullptr);
    }
}
