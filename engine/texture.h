// A shared handle to one GL texture: copies hold the same texture, which is deleted once,
// when its last holder goes.
#pragma once

#include <cstdint>
#include <memory>

namespace Kestrane
{
    class Texture
    {
    public:
        // An empty handle: no texture.
        Texture() = default;

        // Main thread, context current. Generates a new texture name; the caller binds and
        // fills it.
        static Texture generate();

        uint32_t name() const { return id ? *id : 0; }

        std::shared_ptr<uint32_t> id; // GL texture name, 0 or empty for none; copies share it
    };
}
