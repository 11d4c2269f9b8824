// A standard exception on the loader thread (here: no room for a track that claims to be
// huge) reaches the user as "External Error: ..." instead of ending the process through
// std::terminate.
#include "playback_test.h"

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>

namespace
{
    using namespace Playback_Test;

    // Address space the process has mapped now, in bytes.
    size_t address_space()
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0)
                return static_cast<size_t>(std::stoull(line.substr(7))) * 1024;
        return 0;
    }
    using External_Error = Playback;

    TEST_F(External_Error, AllocationFailureForAHugeTrackIsShownAsExternalError)
    {
        Flac_Fixture::Options options;
        options.seconds = 0.05;
        options.declared_frames = int64_t{1} << 35; // 256 GiB of doubles per channel
        auto file = folder.tone("huge.flac", options);
        EXPECT_EXIT(
            {
                // A declared length only reserves address space; with none to spare, the
                // track does not fit whatever it holds.
                rlimit limit{};
                getrlimit(RLIMIT_AS, &limit);
                limit.rlim_cur = static_cast<rlim_t>(address_space() + (size_t{1} << 30));
                setrlimit(RLIMIT_AS, &limit);
                Corvane::Track track(nullptr);
                track.load(file);
                std::this_thread::sleep_for(30s);
                std::exit(0);
            },
            testing::ExitedWithCode(1), "\\[Corvane Error\\] External Error: bad allocation\n");
    }
}
