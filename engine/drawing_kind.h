// The process-wide state of one drawing kind (rectangles): its shared program and its
// unit quad, made by the first object of the kind in each GL context.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/program.h"
#include "engine/vertex_array.h"

namespace Kestrane
{
    struct Drawing_Kind
    {
        Drawing_Kind(std::vector<Shader_Source> kind_sources, std::vector<uint32_t> kind_corners,
                     int32_t kind_components)
            : sources(std::move(kind_sources)), corners(std::move(kind_corners)), components(kind_components)
        {
        }

        // Main thread, context current. Unless the program is built in the current context:
        // builds it from `sources`, and the quad from `corners`, fed to the attribute "vertex"
        // as unsigned integers. Throws like Program.
        void build(Window* window);

        std::vector<Shader_Source> sources;
        std::vector<uint32_t> corners; // four corners of `components` values each
        int32_t components = 2;
        Program program;
        Vertex_Array quad; // the corners as two triangles
    };
}
