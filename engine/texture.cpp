// Texture handles: a GL texture name in a shared holder.
#include "engine/texture.h"

#include <GL/glew.h>

#include "engine/gl_name.h"

namespace Kestrane
{
    namespace
    {
        void delete_texture(uint32_t name)
        {
            glDeleteTextures(1, &name);
        }
    }

    Texture Texture::generate()
    {
        Texture texture;
        texture.id = make_gl_name_holder(delete_texture);
        glGenTextures(1, texture.id.get());
        return texture;
    }
}
