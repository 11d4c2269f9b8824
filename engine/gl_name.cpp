// GL names that never outlive their context: each holder remembers the context count it was
// made under and deletes its name only while that count is still current.
#include "engine/gl_name.h"

#include <atomic>

namespace Kestrane
{
    namespace
    {
        std::atomic<uint32_t> context_generation{0};

        // Deletes a name once its last holder goes, only while its context lives.
        struct Gl_Name_Deleter
        {
            Delete_Gl_Name delete_name;
            uint32_t generation;

            void operator()(uint32_t* cell) const
            {
                if (*cell != 0 && generation == context_generation.load())
                    delete_name(*cell);
                delete cell;
            }
        };
    }

    std::shared_ptr<uint32_t> make_gl_name_holder(Delete_Gl_Name delete_name)
    {
        return std::shared_ptr<uint32_t>(new uint32_t(0), Gl_Name_Deleter{delete_name, context_generation.load()});
    }

    bool gl_name_is_live(const std::shared_ptr<uint32_t>& holder)
    {
        if (!holder || *holder == 0)
            return false;
        const Gl_Name_Deleter* deleter = std::get_deleter<Gl_Name_Deleter>(holder);
        return deleter && deleter->generation == context_generation.load();
    }

    uint32_t gl_context_generation()
    {
        return context_generation.load();
    }

    void release_shared_gl_objects()
    {
        ++context_generation;
    }
}
