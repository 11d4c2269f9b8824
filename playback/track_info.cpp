// The footer's one-line description of the playing track: where it lies in the library,
// then size, layout, rate, depth, normalisation factor and volume.
#include <iomanip>
#include <locale>
#include <sstream>

#include "library/file.h"
#include "playback/track.h"

namespace Corvane
{
    namespace
    {
        // "Artist - Album - 01 Song": every named node from the root down, as the browser
        // shows it.
        std::string name_part(const std::shared_ptr<File>& file)
        {
            std::string text;
            bool first = true;
            for (const auto& node : lineage(file))
            {
                if (node->name.empty())
                    continue;
                if (!first)
                    text += " - ";
                first = false;
                text += display_name(*node);
            }
            return text;
        }
    }

    std::string Track::get_info() const
    {
        if (loading.load(std::memory_order_acquire))
            return "Loading";
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text << name_part(file) << " : " << std::fixed << std::setprecision(3);
        text << static_cast<float>(file_size) / 1048576.0f << "MB ";
        text << (channels == 2 ? "Stereo " : "5.1 ");
        text << sample_rate << "Hz " << bits_per_sample << "bit ";
        text << get_factor() << "N ";
        text << static_cast<int32_t>(volume.load(std::memory_order_relaxed) * 100 + 0.5) << "%";
        return text.str();
    }
}
