// Vertex arrays: a GL vertex-array object and its buffers behind one shared holder.
#include "engine/vertex_array.h"

#include <GL/glew.h>

#include "engine/gl_name.h"

namespace Kestrane
{
    Vertex_Array::Names::~Names()
    {
        // Names of a context that has ended went with it.
        if (context != gl_context_generation())
            return;
        for (uint32_t buffer : buffers)
            glDeleteBuffers(1, &buffer);
        glDeleteVertexArrays(1, &array);
    }

    void Vertex_Array::bind()
    {
        if (!names)
        {
            names = std::make_shared<Names>();
            names->context = gl_context_generation();
            glGenVertexArrays(1, &names->array);
        }
        glBindVertexArray(names->array);
    }

    void Vertex_Array::add_buffer(uint32_t target, const void* data, std::size_t bytes)
    {
        bind();
        uint32_t buffer = 0;
        glGenBuffers(1, &buffer);
        names->buffers.push_back(buffer);
        glBindBuffer(target, buffer);
        glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
    }
}
