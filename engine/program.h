// Shader programs: GLSL sources compiled and linked into one GL program whose name is held by
// shared holders, and the drawing kinds' sources.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Kestrane
{
    class Window;

    // The drawing kinds' GLSL sources (the two fragment sources are equal but separate).
    extern const char* const line_vertex_source;
    extern const char* const line_geometry_source;
    extern const char* const line_fragment_source;
    extern const char* const text_vertex_source;
    extern const char* const text_fragment_source;
    extern const char* const rectangle_vertex_source;
    extern const char* const rectangle_fragment_source;

    struct Shader_Source
    {
        const char* text; // zero-terminated GLSL
        uint32_t stage;   // GL_VERTEX_SHADER, GL_GEOMETRY_SHADER or GL_FRAGMENT_SHADER
    };

    class Program
    {
    public:
        // A holder of name 0: no program yet.
        Program();

        // Main thread, context current. Compiles and links the sources in order; throws
        // Kestrane::Exception with the driver's log when a shader does not compile or the
        // program does not link.
        Program(Window* window, const std::vector<Shader_Source>& sources);

        uint32_t name() const { return *id; }

        // True once a program exists in the window's current GL context.
        bool built() const;

        // Locations by name; -1 throws Kestrane::Exception naming the uniform or attribute.
        int32_t uniform_location(const char* uniform) const;
        int32_t attribute_location(const char* attribute) const;

        std::shared_ptr<uint32_t> id; // GL program name, 0 for none; copies share it
        Window* window = nullptr;     // the window it was built for; not owned
    };

    // Builds a kind's shared program from its sources unless it is already built in the
    // current context. Main thread.
    void build_shared_program(Program& shared, Window* window, const std::vector<Shader_Source>& sources);
}
