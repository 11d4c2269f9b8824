// Shader programs: compiling, linking and location lookups, and the drawing kinds' GLSL
// sources.
#include "engine/program.h"

#include <string>

#include <GL/glew.h>

#include "engine/exception.h"
#include "engine/gl_name.h"

namespace Kestrane
{
    const char* const line_vertex_source = "#version 330 core\n"
                                           "layout(location = 0) in vec2 vertex;\n"
                                           "void main()\n"
                                           "{\n"
                                           "\tgl_Position = vec4(vertex, 0.0, 1.0);\n"
                                           "}\n";

    const char* const line_geometry_source =
        "#version 330\n"
        "uniform float width;\n"
        "uniform mat4 matrix;\n"
        "layout(lines_adjacency) in;\n"
        "layout(triangle_strip, max_vertices = 7) out;\n"
        "void main(void)\n"
        "{\n"
        "\tfloat miter_limit = 0.75;\tfloat halved_width = width/2;\tvec2 p0 = gl_in[0].gl_Position.xy;\n"
        "\tvec2 p1 = gl_in[1].gl_Position.xy;\n"
        "\tvec2 p2 = gl_in[2].gl_Position.xy;\n"
        "\tvec2 p3 = gl_in[3].gl_Position.xy;\n"
        "\tvec2 v0 = normalize(p1-p0);\n"
        "\tvec2 v1 = normalize(p2-p1);\n"
        "\tvec2 v2 = normalize(p3-p2);\n"
        "\tvec2 n0 = vec2(-v0.y, v0.x);\n"
        "\tvec2 n1 = vec2(-v1.y, v1.x);\n"
        "\tvec2 n2 = vec2(-v2.y, v2.x);\n"
        "\tvec2 miter_a = normalize(n0+n1);\n"
        "\tvec2 miter_b = normalize(n1+n2);\n"
        "\tfloat length_a = halved_width/dot(miter_a, n1);\n"
        "\tfloat length_b = halved_width/dot(miter_b, n1);\n"
        "\tif(dot(v0, v1) < -miter_limit)\n"
        "\t{\n"
        "\t\tmiter_a = n1;\n"
        "\t\tlength_a = halved_width;\n"
        "\t\tif(dot(v0, n1) > 0)\n"
        "\t\t{\n"
        "\t\t\tgl_Position = matrix*vec4((p1+halved_width*n0), 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tgl_Position = matrix*vec4((p1+halved_width*n1), 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tgl_Position = matrix*vec4(p1, 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tEndPrimitive();\n"
        "\t\t}\n"
        "\t\telse\n"
        "\t\t{\n"
        "\t\t\tgl_Position = matrix*vec4((p1-halved_width*n1), 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tgl_Position = matrix*vec4((p1-halved_width*n0), 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tgl_Position = matrix*vec4(p1, 0.0, 1.0);\n"
        "\t\t\tEmitVertex();\n"
        "\t\t\tEndPrimitive();\n"
        "\t\t}\n"
        "\t}\n"
        "\tif(dot(v1, v2) < -miter_limit)\n"
        "\t{\n"
        "\t\tmiter_b = n1;\n"
        "\t\tlength_b = halved_width;\n"
        "\t}\n"
        "\tgl_Position = matrix*vec4((p1+length_a*miter_a), 0.0, 1.0);\n"
        "\tEmitVertex();\n"
        "\tgl_Position = matrix*vec4((p1-length_a*miter_a), 0.0, 1.0);\n"
        "\tEmitVertex();\n"
        "\tgl_Position = matrix*vec4((p2+length_b*miter_b), 0.0, 1.0);\n"
        "\tEmitVertex();\n"
        "\tgl_Position = matrix*vec4((p2-length_b*miter_b), 0.0, 1.0);\n"
        "\tEmitVertex();\n"
        "\tEndPrimitive();\n"
        "}\n";

    const char* const line_fragment_source = "#version 330 core\n"
                                             "uniform vec4 color;\n"
                                             "layout(location = 0) out vec4 output_color;\n"
                                             "void main()\n"
                                             "{\n"
                                             "\toutput_color = color;\n"
                                             "}\n";

    const char* const text_vertex_source = "#version 330 core\n"
                                           "layout(location = 0) in vec4 vertex;\n"
                                           "uniform mat4 matrix;\n"
                                           "out vec2 frag_uv;\n"
                                           "void main()\n"
                                           "{\n"
                                           "\tgl_Position = matrix*vec4(vertex.xy, 0.0, 1.0);\n"
                                           "\tfrag_uv = vertex.zw;\n"
                                           "}\n";

    const char* const text_fragment_source = "#version 330 core\n"
                                             "in vec2 frag_uv;\n"
                                             "uniform sampler2D image;\n"
                                             "uniform vec4 color;\n"
                                             "layout(location = 0) out vec4 output_color;\n"
                                             "void main()\n"
                                             "{\n"
                                             "\toutput_color = vec4(texture(image, frag_uv).r)*color;\n"
                                             "}\n";

    const char* const rectangle_vertex_source = "#version 330 core\n"
                                                "layout(location = 0) in vec2 vertex;\n"
                                                "uniform mat4 matrix;\n"
                                                "void main()\n"
                                                "{\n"
                                                "\tgl_Position = matrix*vec4(vertex, 0.f, 1.f);\n"
                                                "}\n";

    const char* const rectangle_fragment_source = "#version 330 core\n"
                                                  "uniform vec4 color;\n"
                                                  "layout(location = 0) out vec4 output_color;\n"
                                                  "void main()\n"
                                                  "{\n"
                                                  "\toutput_color = color;\n"
                                                  "}\n";

    namespace
    {
        void delete_program(uint32_t name)
        {
            glDeleteProgram(name);
        }

        // The text of a shader's or a program's info log.
        template <typename Get_Length, typename Get_Log>
        std::string read_log(uint32_t object, Get_Length get_length, Get_Log get_log)
        {
            GLint length = 0;
            get_length(object, GL_INFO_LOG_LENGTH, &length);
            std::string log(length > 0 ? length : 0, '\0');
            if (length > 0)
                get_log(object, length, nullptr, log.data());
            // The driver counts the terminating zero; the message holds only the text.
            while (!log.empty() && log.back() == '\0')
                log.pop_back();
            return log;
        }

        void delete_shaders(const std::vector<GLuint>& shaders)
        {
            for (GLuint shader : shaders)
                glDeleteShader(shader);
        }

        // Compiles one source; throws the compile message with the driver's log.
        GLuint compile(const Shader_Source& source)
        {
            GLuint shader = glCreateShader(source.stage);
            glShaderSource(shader, 1, &source.text, nullptr);
            glCompileShader(shader);
            GLint status = GL_FALSE;
            glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
            if (status == GL_FALSE)
            {
                std::string log = read_log(shader, glGetShaderiv, glGetShaderInfoLog);
                glDeleteShader(shader);
                throw Exception("Could not compile an OpenGL shader.\n\n" + log);
            }
            return shader;
        }
    }

    Program::Program() : id(make_gl_name_holder(delete_program)) {}

    Program::Program(Window* host, const std::vector<Shader_Source>& sources)
        : id(make_gl_name_holder(delete_program)), window(host)
    {
        *id = glCreateProgram();
        std::vector<GLuint> shaders;
        try
        {
            for (const Shader_Source& source : sources)
            {
                shaders.push_back(compile(source));
                glAttachShader(*id, shaders.back());
            }
        }
        catch (const Exception&)
        {
            delete_shaders(shaders);
            throw;
        }
        glLinkProgram(*id);
        delete_shaders(shaders); // they stay attached to the program until it goes
        GLint status = GL_FALSE;
        glGetProgramiv(*id, GL_LINK_STATUS, &status);
        if (status == GL_FALSE)
            throw Exception("Could not link an OpenGL shader program.\n\n" +
                            read_log(*id, glGetProgramiv, glGetProgramInfoLog));
    }

    bool Program::built() const
    {
        return gl_name_is_live(id);
    }

    int32_t Program::uniform_location(const char* uniform) const
    {
        GLint location = glGetUniformLocation(*id, uniform);
        if (location == -1)
            throw Exception("Could not get the location of the OpenGL shader uniform \"" + std::string(uniform) +
                            "\".");
        return location;
    }

    int32_t Program::attribute_location(const char* attribute) const
    {
        GLint location = glGetAttribLocation(*id, attribute);
        if (location == -1)
            throw Exception("Could not get the location of the OpenGL shader attribute \"" + std::string(attribute) +
                            "\".");
        return location;
    }

    void build_shared_program(Program& shared, Window* window, const std::vector<Shader_Source>& sources)
    {
        if (shared.built())
            return;
        shared = Program(window, sources);
    }
}
