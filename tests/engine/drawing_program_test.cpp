// Shader programs and GL handles: the sources as shipped, the compile and link messages,
// location lookups, sharing of the kinds' programs, and handle lifetimes.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/exception.h"
#include "engine/gl_name.h"
#include "engine/program.h"
#include "engine/rectangle.h"
#include "engine/text.h"
#include "engine/texture.h"
#include "engine/vertex_array.h"
#include "assets/assets.h"
#include "drawing_support.h"
#include "support/window_assets.h"

namespace
{
    using namespace drawing_test;
    using Program_Test = Drawing_Test;
    using Kestrane::Program;

    const char* const fragment_source = "#version 330 core\nout vec4 c;\nvoid main()\n{\n\tc = vec4(1.0);\n}\n";

    // FNV-1a, 64 bits: a fingerprint of a source too long to quote here.
    uint64_t fingerprint(const char* text)
    {
        uint64_t hash = 0xcbf29ce484222325u;
        for (; *text; ++text)
            hash = (hash ^ uint8_t(*text)) * 0x100000001b3u;
        return hash;
    }

    TEST(Shader_Sources, AreTheShippedTextsExactly)
    {
        EXPECT_STREQ(Kestrane::line_vertex_source, "#version 330 core\n"
                                                   "layout(location = 0) in vec2 vertex;\n"
                                                   "void main()\n"
                                                   "{\n"
                                                   "\tgl_Position = vec4(vertex, 0.0, 1.0);\n"
                                                   "}\n");
        EXPECT_STREQ(Kestrane::line_fragment_source, "#version 330 core\n"
                                                     "uniform vec4 color;\n"
                                                     "layout(location = 0) out vec4 output_color;\n"
                                                     "void main()\n"
                                                     "{\n"
                                                     "\toutput_color = color;\n"
                                                     "}\n");
        EXPECT_STREQ(Kestrane::text_vertex_source, "#version 330 core\n"
                                                   "layout(location = 0) in vec4 vertex;\n"
                                                   "uniform mat4 matrix;\n"
                                                   "out vec2 frag_uv;\n"
                                                   "void main()\n"
                                                   "{\n"
                                                   "\tgl_Position = matrix*vec4(vertex.xy, 0.0, 1.0);\n"
                                                   "\tfrag_uv = vertex.zw;\n"
                                                   "}\n");
        EXPECT_STREQ(Kestrane::text_fragment_source, "#version 330 core\n"
                                                     "in vec2 frag_uv;\n"
                                                     "uniform sampler2D image;\n"
                                                     "uniform vec4 color;\n"
                                                     "layout(location = 0) out vec4 output_color;\n"
                                                     "void main()\n"
                                                     "{\n"
                                                     "\toutput_color = vec4(texture(image, frag_uv).r)*color;\n"
                                                     "}\n");
        EXPECT_STREQ(Kestrane::rectangle_vertex_source, "#version 330 core\n"
                                                        "layout(location = 0) in vec2 vertex;\n"
                                                        "uniform mat4 matrix;\n"
                                                        "void main()\n"
                                                        "{\n"
                                                        "\tgl_Position = matrix*vec4(vertex, 0.f, 1.f);\n"
                                                        "}\n");
        EXPECT_STREQ(Kestrane::rectangle_fragment_source, Kestrane::line_fragment_source);
        // The geometry shader keeps its first three statements on one line, joined by tabs.
        EXPECT_EQ(std::strlen(Kestrane::line_geometry_source), 1696u);
        EXPECT_EQ(std::strncmp(Kestrane::line_geometry_source, "#version 330\n", 13), 0);
        EXPECT_NE(std::strstr(Kestrane::line_geometry_source, "0.75;\tfloat halved_width = width/2;\tvec2 p0"),
                  nullptr);
        EXPECT_EQ(fingerprint(Kestrane::line_geometry_source), 0xd454b820e64045a3u);
    }

    TEST_F(Program_Test, BrokenShaderGivesTheCompileMessageWithTheDriversLog)
    {
        const std::string message = message_of(
            [&] {
                Program(&window, {{"#version 330 core\nvoid main() { undeclared = 1; }\n", GL_VERTEX_SHADER}});
            });
        const std::string head = "Could not compile an OpenGL shader.\n\n";
        ASSERT_EQ(message.substr(0, head.size()), head);
        EXPECT_NE(message.find("undeclared"), std::string::npos) << message;
        EXPECT_EQ(message.find('\0'), std::string::npos);
        expect_no_gl_error();
    }

    TEST_F(Program_Test, LinkFailureGivesTheProgramLogInTheSameStyle)
    {
        // Compiles, but a vertex stage without main cannot link.
        const std::string message = message_of(
            [&]
            {
                Program(&window, {{"#version 330 core\nvoid helper() {}\n", GL_VERTEX_SHADER},
                                  {fragment_source, GL_FRAGMENT_SHADER}});
            });
        const std::string head = "Could not link an OpenGL shader program.\n\n";
        ASSERT_EQ(message.substr(0, head.size()), head);
        EXPECT_GT(message.size(), head.size()) << "the driver's log is missing";
        expect_no_gl_error();
    }

    TEST_F(Program_Test, MissingLocationsNameTheUniformOrAttribute)
    {
        // `unused` is optimised away, so it has no location.
        Program program(&window, {{"#version 330 core\nlayout(location = 0) in vec2 vertex;\nuniform float unused;\n"
                                   "void main() { gl_Position = vec4(vertex, 0.0, 1.0); }\n",
                                   GL_VERTEX_SHADER},
                                  {fragment_source, GL_FRAGMENT_SHADER}});
        EXPECT_TRUE(program.built());
        EXPECT_EQ(program.attribute_location("vertex"), 0);
        EXPECT_EQ(message_of([&] { program.uniform_location("unused"); }),
                  "Could not get the location of the OpenGL shader uniform \"unused\".");
        EXPECT_EQ(message_of([&] { program.attribute_location("colour"); }),
                  "Could not get the location of the OpenGL shader attribute \"colour\".");
    }

    TEST_F(Program_Test, LastHolderDeletesTheProgram)
    {
        GLuint name = 0;
        {
            Program program(&window, {{Kestrane::rectangle_vertex_source, GL_VERTEX_SHADER},
                                      {Kestrane::rectangle_fragment_source, GL_FRAGMENT_SHADER}});
            name = program.name();
            Program copy = program;
            program = Program();
            EXPECT_FALSE(program.built());
            EXPECT_TRUE(glIsProgram(name));
            EXPECT_EQ(copy.name(), name);
        }
        EXPECT_FALSE(glIsProgram(name));
    }

    TEST_F(Program_Test, SecondTextCompilesNothing)
    {
        const auto& data = Corvane::Assets::open_sans_regular;
        Kestrane::Font font(&window, data.data, data.size, 15);
        Kestrane::Text first(&window, &font, "One", {10, 10}, {1, 1, 1, 1}, 1);
        first.draw();
        GLint first_program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &first_program);
        glUseProgram(0);

        Kestrane::Text second(&window, &font, "Two", {10, 40}, {1, 1, 1, 1}, 1);
        second.draw();
        GLint second_program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &second_program);
        EXPECT_NE(first_program, 0);
        EXPECT_EQ(second_program, first_program);
        EXPECT_TRUE(glIsProgram(first_program));
    }

    TEST_F(Program_Test, CopiedTextureLivesUntilItsLastHolderGoes)
    {
        Kestrane::Texture texture = Kestrane::Texture::generate();
        const GLuint name = texture.name();
        glBindTexture(GL_TEXTURE_2D, name);
        ASSERT_TRUE(glIsTexture(name));
        Kestrane::Texture copy = texture;
        texture = Kestrane::Texture();
        EXPECT_TRUE(glIsTexture(name));
        copy = Kestrane::Texture();
        EXPECT_FALSE(glIsTexture(name));
        expect_no_gl_error();
    }

    TEST_F(Program_Test, VertexArrayMadeAtFirstBindAndFreedWithItsBuffers)
    {
        Kestrane::Vertex_Array never_bound;
        EXPECT_EQ(never_bound.names, nullptr);

        GLuint array = 0, vertices = 0, indices = 0;
        {
            Kestrane::Vertex_Array vertex_array;
            vertex_array.add_buffer(GL_ARRAY_BUFFER, std::vector<float>{0, 0, 1, 1});
            vertex_array.add_buffer(GL_ELEMENT_ARRAY_BUFFER, std::vector<uint32_t>{0, 1});
            ASSERT_NE(vertex_array.names, nullptr);
            ASSERT_EQ(vertex_array.names->buffers.size(), 2u);
            array = vertex_array.names->array;
            vertices = vertex_array.names->buffers[0];
            indices = vertex_array.names->buffers[1];
            EXPECT_TRUE(glIsVertexArray(array));
            Kestrane::Vertex_Array copy = vertex_array;
            glBindVertexArray(0);
            vertex_array = Kestrane::Vertex_Array();
            EXPECT_TRUE(glIsVertexArray(array));
            EXPECT_TRUE(glIsBuffer(indices));
        }
        EXPECT_FALSE(glIsVertexArray(array));
        EXPECT_FALSE(glIsBuffer(vertices));
        EXPECT_FALSE(glIsBuffer(indices));
        expect_no_gl_error();
    }

    TEST_F(Program_Test, HandlesOfAnEndedContextMakeNoGlCall)
    {
        Kestrane::Texture texture = Kestrane::Texture::generate();
        glBindTexture(GL_TEXTURE_2D, texture.name());
        Program program(&window, {{Kestrane::rectangle_vertex_source, GL_VERTEX_SHADER},
                                  {Kestrane::rectangle_fragment_source, GL_FRAGMENT_SHADER}});
        Kestrane::Vertex_Array vertex_array;
        vertex_array.bind();
        const GLuint texture_name = texture.name(), program_name = program.name(),
                     array_name = vertex_array.names->array;

        Kestrane::release_shared_gl_objects();
        EXPECT_FALSE(program.built());
        texture = Kestrane::Texture();
        program = Program();
        vertex_array = Kestrane::Vertex_Array();
        // The context here lives on, so a delete would show; the real one is about to end.
        EXPECT_TRUE(glIsTexture(texture_name));
        EXPECT_TRUE(glIsProgram(program_name));
        EXPECT_TRUE(glIsVertexArray(array_name));
    }

    TEST(Drawing_State, IsRebuiltForEachNewWindow)
    {
        // Each window ends its context when it goes; the next one must get its own programs,
        // vertex arrays, glyph textures and overlays.
        const auto& data = Corvane::Assets::open_sans_regular;
        for (const char* title : {"Drawing Test First", "Drawing Test Second"})
        {
            Kestrane::Window window = Test_Support::test_window(title, {120, 100}, {100, 100});
            window.update();
            Kestrane::Font font(&window, data.data, data.size, 15);
            Kestrane::Text text(&window, &font, title, {5, 5}, {1, 1, 1, 1}, 0);
            text.draw();
            Kestrane::Rectangle rectangle(&window, {1, 1, 1, 1}, {5, 50}, {10, 10});
            rectangle.draw();
            window.cursor_in_window = {60, 60};
            window.draw_overlays();
            const Frame drawn = read_frame(window);
            EXPECT_GT(drawn.lit_count(), 100 + 9) << title;
            EXPECT_TRUE(drawn.lit(61, 61)) << title;
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << title;
        }
    }
}
