// The lifetime of GL names relative to the context they were made in: shared holders that
// delete a name with its last holder, unless its context has ended first, and the count of
// ended contexts that tells the two apart.
#pragma once

#include <cstdint>
#include <memory>

namespace Kestrane
{
    // A new holder of GL name 0 whose last release calls `delete_name` with the name, unless
    // the name is still 0 or the context it was made in has ended by then.
    using Delete_Gl_Name = void (*)(uint32_t name);
    std::shared_ptr<uint32_t> make_gl_name_holder(Delete_Gl_Name delete_name);

    // Whether `holder` carries a non-zero name made in the current context.
    bool gl_name_is_live(const std::shared_ptr<uint32_t>& holder);

    // Counts the GL contexts ended so far: names made under an older count belong to a
    // context that is gone, and their holders release them without any GL call.
    uint32_t gl_context_generation();

    // Ends the life of every GL name made so far: the process-wide drawing state (the kinds'
    // programs and vertex arrays, the window's overlays) and any handle still held release
    // nothing from now on, and the next drawing object of each kind builds its state afresh.
    // Main thread; the window's destructor calls it before it deletes the GL context.
    void release_shared_gl_objects();
}
