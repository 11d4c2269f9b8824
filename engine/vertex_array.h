// A shared handle to one GL vertex-array object together with the buffer objects created
// while it was bound. The object is made lazily at the first bind; the last holder deletes
// the buffers, then the vertex array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Kestrane
{
    class Vertex_Array
    {
    public:
        // Main thread. Creates the GL object on first use, then binds it.
        void bind();

        // Main thread. Binds this vertex array and adds a buffer for `target`
        // (GL_ARRAY_BUFFER or GL_ELEMENT_ARRAY_BUFFER) filled with `values`, static draw.
        template <typename Value>
        void add_buffer(uint32_t target, const std::vector<Value>& values)
        {
            static_assert(sizeof(Value) == 4, "buffers hold 32-bit values");
            add_buffer(target, values.data(), values.size() * sizeof(Value));
        }
        void add_buffer(uint32_t target, const void* data, std::size_t bytes);

        // The GL names; the buffers in creation order.
        struct Names
        {
            uint32_t array = 0;
            std::vector<uint32_t> buffers;
            uint32_t context = 0; // gl_context_generation() when made
            Names() = default;
            Names(const Names&) = delete;
            Names& operator=(const Names&) = delete;
            ~Names();
        };

        std::shared_ptr<Names> names; // empty until the first bind; copies share it
    };
}
