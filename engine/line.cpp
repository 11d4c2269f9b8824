// Polylines: each segment goes to the geometry shader as an adjacency primitive (previous
// point, start, end, next point), which makes the quad and its miters in pixels.
#include "engine/line.h"

#include <algorithm>
#include <cstdint>

#include <GL/glew.h>

#include "engine/program.h"
#include "engine/vertex_array.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        Program& line_program()
        {
            static Program program;
            return program;
        }

        // The points with a mirrored point before the first and after the last, so that both
        // end segments are cut square; as x, y pairs.
        std::vector<float> extend(const std::vector<Float2>& points)
        {
            const Float2& first = points[0];
            const Float2& second = points[1];
            const Float2& last = points[points.size() - 1];
            const Float2& before_last = points[points.size() - 2];
            std::vector<float> extended;
            extended.reserve(2 * (points.size() + 2));
            extended.push_back(2.0f * first.x - second.x);
            extended.push_back(2.0f * first.y - second.y);
            for (const Float2& point : points)
            {
                extended.push_back(point.x);
                extended.push_back(point.y);
            }
            extended.push_back(2.0f * last.x - before_last.x);
            extended.push_back(2.0f * last.y - before_last.y);
            return extended;
        }

        // One adjacency primitive per segment of n points.
        std::vector<uint32_t> segment_indices(std::size_t n)
        {
            std::vector<uint32_t> indices;
            indices.reserve(4 * (n - 1));
            for (uint32_t i = 1; i < n; ++i)
                indices.insert(indices.end(), {i - 1, i, i + 1, i + 2});
            return indices;
        }
    }

    Line::Line(Window* host, Color initial_color) : window(host), color(initial_color)
    {
        build_shared_program(line_program(), window,
                             {{line_vertex_source, GL_VERTEX_SHADER},
                              {line_geometry_source, GL_GEOMETRY_SHADER},
                              {line_fragment_source, GL_FRAGMENT_SHADER}});
    }

    void Line::draw(std::vector<Float2> points, float width) const
    {
        // A repeated point has no direction: the shader would normalise a zero vector.
        points.erase(std::unique(points.begin(), points.end()), points.end());
        if (points.size() < 2)
            return;
        const Program& program = line_program();
        Vertex_Array vertices; // made and freed with every draw
        vertices.add_buffer(GL_ARRAY_BUFFER, extend(points));
        std::vector<uint32_t> indices = segment_indices(points.size());
        vertices.add_buffer(GL_ELEMENT_ARRAY_BUFFER, indices);
        GLint location = program.attribute_location("vertex");
        vertices.bind();
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glUseProgram(program.name());
        vertices.bind();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        // Half a pixel right and down puts integer coordinates on pixel centres.
        Matrix matrix = window->projection * Matrix::translation(0.5f, 0.5f, 0.0f);
        glUniformMatrix4fv(program.uniform_location("matrix"), 1, GL_FALSE, matrix.data());
        glUniform4f(program.uniform_location("color"), color.r, color.g, color.b, color.a);
        glUniform1f(program.uniform_location("width"), width);
        glDrawElements(GL_LINES_ADJACENCY, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
        glDisable(GL_BLEND);
    }
}
