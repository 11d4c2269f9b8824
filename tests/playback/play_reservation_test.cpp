// The player and the desktop's sound server on a private session bus: the card is borrowed
// for a run, kept from one track to the next, given back on a pause, handed over to a
// higher-ranking program with the pause's fade, and a card that another program keeps ends
// in the busy message. A track that ends with nothing following gives it back after a grace.
#include "playback_test.h"
#include "session_bus/session_bus.h"

#include <climits>
#include <regex>

namespace
{
    using namespace Playback_Test;
    using Memory_Audio_Device::Pace;

    constexpr int buffer = 132; // frames per buffer of the in-memory card at 44100 Hz

    class Play_Reservation : public Playback
    {
    protected:
        void SetUp() override
        {
            Playback::SetUp();
            setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
            Memory_Audio_Device::Settings settings;
            settings.pace = Pace::paced;
            Memory_Audio_Device::reset(settings);
        }

        std::unique_ptr<Corvane::Test_Reservation_Owner> start_owner(const std::string& log, int32_t priority,
                                                                     const std::string& answer = "grant")
        {
            Corvane::Test_Reservation_Owner::Options options;
            options.priority = priority;
            options.answer = answer;
            return std::make_unique<Corvane::Test_Reservation_Owner>(bus.address, (folder.root / log).string(),
                                                                     options);
        }

        std::shared_ptr<Corvane::File> loud(const std::string& name, double seconds)
        {
            return folder.samples(name, std::vector<int32_t>(size_t(seconds * 44100) * 2, 32767));
        }

        Corvane::Test_Session_Bus bus;
    };

    bool playing(const Corvane::Track& track)
    {
        return eventually([&] { return track.playing.load() && track.position.load() > 4410; });
    }

    TEST_F(Play_Reservation, SoundServerLendsTheCardForPlayingKeepsItBetweenTracksAndGetsItBackOnPause)
    {
        const auto server = start_owner("server.log", -20);
        ASSERT_TRUE(server->wait_for("owned", 10.0));
        // The server answers before its last stream has quite let go of the card.
        Memory_Audio_Device::Settings settings;
        settings.pace = Pace::paced;
        settings.busy_opens = 3;
        Memory_Audio_Device::reset(settings);
        Corvane::Track track(nullptr);
        track.load(loud("one.flac", 10.0));
        ASSERT_TRUE(playing(track));
        EXPECT_EQ(server->count("granted 10"), 1);
        EXPECT_EQ(server->count("owner other"), 1);

        // The next track: the old run closes the card, the new one opens it, and the name
        // never leaves Corvane meanwhile.
        const int owner_changes = int(server->log().size());
        track.load(loud("two.flac", 10.0));
        ASSERT_TRUE(loaded(track));
        ASSERT_TRUE(playing(track));
        EXPECT_EQ(int(server->log().size()), owner_changes) << "the card changed hands between tracks";

        // A pause gives it back as soon as the card is closed.
        track.playing = false;
        ASSERT_TRUE(run_ended(track));
        EXPECT_TRUE(server->wait_for("owned", 1.0, 2)) << "the server did not get its card back";
        EXPECT_LT(track.position.load(), track.frame_count.load());

        // A track that ends with nothing following keeps the card for a grace of two seconds.
        track.load(loud("three.flac", 0.5));
        ASSERT_TRUE(loaded(track));
        // The card was opened and closed before: wait for this run to reach the end itself.
        ASSERT_TRUE(eventually([&] { return track.position.load() == track.frame_count.load(); }));
        ASSERT_TRUE(run_ended(track));
        const auto ended = std::chrono::steady_clock::now();
        EXPECT_FALSE(server->wait_for("owned", 1.0, 3)) << "given back before the grace";
        EXPECT_TRUE(server->wait_for("owned", 3.0, 3)) << "not given back after the grace";
        EXPECT_GT(std::chrono::steady_clock::now() - ended, 1.5s);
    }

    TEST_F(Play_Reservation, HigherRankIsHandedTheCardWithThePausesFadeLowerRankIsTurnedAway)
    {
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.load(loud("long.flac", 10.0));
        ASSERT_TRUE(playing(track));

        const auto server = start_owner("server.log", 0);
        ASSERT_TRUE(server->wait_for("refused-by-holder", 10.0));
        EXPECT_TRUE(track.playing.load()) << "a sound server stopped the player";

        const auto jack = start_owner("jack.log", INT32_MAX);
        ASSERT_TRUE(jack->wait_for("owned", 10.0));
        ASSERT_TRUE(run_ended(track));
        EXPECT_FALSE(track.playing.load() || track.starting.load());
        EXPECT_LT(track.position.load(), track.frame_count.load()) << "the place was not kept";

        // Full scale, then 0.25 s of falling gain down to silence, as for a pause.
        const auto left = played_left();
        const size_t fade = 84 * buffer; // 11025 frames in whole buffers
        ASSERT_GT(left.size(), fade + 1);
        const size_t start = left.size() - fade;
        EXPECT_EQ(left[start - 1], 8388607);
        for (size_t i = start + 1; i < start + 11000; ++i)
            ASSERT_LT(left[i], left[i - 1]) << i - start;
        EXPECT_EQ(left.back(), 0);
    }

    void play_until_fatal(Music_Folder& folder, const std::string& bus, int32_t priority, const std::string& answer)
    {
        Corvane::Test_Reservation_Owner::Options options;
        options.priority = priority;
        options.answer = answer;
        Corvane::Test_Reservation_Owner owner(bus, (folder.root / "owner.log").string(), options);
        owner.wait_for("owned", 10.0);
        // A silent holder keeps its card open: the direct open finds it busy.
        Memory_Audio_Device::Settings settings;
        settings.open_result = Platform::Audio_Result::device_in_use;
        Memory_Audio_Device::reset(answer == "silent" ? settings : Memory_Audio_Device::Settings{});
        Corvane::Track track(nullptr);
        track.load(folder.samples("t.flac", std::vector<int32_t>(8820, 1000)));
        std::this_thread::sleep_for(30s);
        std::exit(0);
    }

    TEST_F(Play_Reservation, ACardThatJackKeepsOrWhoseHolderNeverAnswersIsBusy)
    {
        const std::string box = R"(\[Corvane Error\] The sound card is currently being used in exclusive mode\.)";
        EXPECT_EXIT(play_until_fatal(folder, bus.address, INT32_MAX, "grant"), testing::ExitedWithCode(1), box);
        EXPECT_EXIT(play_until_fatal(folder, bus.address, -20, "silent"), testing::ExitedWithCode(1), box);
    }
}
