// The real-time parts of the JACK backend that need no server.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "platform/jack/audio_ring.h"
#include "platform/jack/cycle_events.h"
#include "platform/jack/frame_clock.h"
#include "platform/jack/jack_client.h"
#include "platform/jack/level_watch.h"

namespace platform::jack {
namespace {

TEST(JackAudioRing, CarriesEveryValueInOrderAcrossThreadsAndRefusesWhatDoesNotFit) {
    AudioRing ring(1000);
    std::vector<float> cycle(300, 1.0f);
    EXPECT_TRUE(ring.Write(cycle.data(), 300));
    EXPECT_TRUE(ring.Write(cycle.data(), 300));
    EXPECT_TRUE(ring.Write(cycle.data(), 300));
    EXPECT_FALSE(ring.Write(cycle.data(), 300));  // a cycle is never split
    float out[1000];
    EXPECT_EQ(ring.Read(out, 1000), 900u);

    constexpr int kValues = 200000;
    std::thread producer([&] {
        float v = 0;
        std::vector<float> chunk(64);
        for (int i = 0; i < kValues; i += 64) {
            for (auto& x : chunk) x = v++;
            while (!ring.Write(chunk.data(), chunk.size())) std::this_thread::yield();
        }
    });
    float expected = 0;
    bool inOrder = true;
    while (expected < kValues) {
        const size_t n = ring.Read(out, 77);
        for (size_t i = 0; i < n; ++i) inOrder &= out[i] == expected++;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

TEST(JackCycleEvents, PutEachEventAtItsOffsetOnceAndLateOnesAtTheCycleStart) {
    auto song = std::make_shared<platform::midi::SmfSong>();
    song->events = {{0, 0x90, 60, 100}, {1023, 0x80, 60, 0}, {1024, 0xC0, 5, 0}, {5000, 0x90, 1, 1}};
    platform::midi::EventSchedule schedule(song);
    std::vector<std::tuple<uint32_t, uint8_t, size_t>> got;
    auto write = [&](uint32_t offset, const uint8_t* bytes, size_t size) {
        got.emplace_back(offset, bytes[0], size);
    };
    for (uint64_t start : {0, 1024, 6144}) {  // the cycle at 6144 came late for the event at 5000
        CycleEvents<decltype(write)> events(start, write);
        schedule.HandOverBefore(start + 1024, events);
    }
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], std::make_tuple(0u, uint8_t(0x90), size_t(3)));
    EXPECT_EQ(got[1], std::make_tuple(1023u, uint8_t(0x80), size_t(3)));
    EXPECT_EQ(got[2], std::make_tuple(0u, uint8_t(0xC0), size_t(2)));
    EXPECT_EQ(std::get<0>(got[3]), 0u);
    EXPECT_TRUE(schedule.Done());
}

TEST(JackFrameClock, CountsSkippedCyclesButNotAWrapOrACounterThatWentBack) {
    FrameClock clock;
    EXPECT_EQ(clock.Cycle(1000, 1024), 0u);
    EXPECT_EQ(clock.Cycle(2024, 1024), 0u);
    EXPECT_EQ(clock.Cycle(2024 + 1024 + 3 * 1024, 1024), 3u * 1024);
    FrameClock wrap;
    wrap.Cycle(0xFFFFFF00u, 1024);
    EXPECT_EQ(wrap.Cycle(0xFFFFFF00u + 1024, 1024), 0u);  // wrapped past 2^32
    EXPECT_EQ(wrap.Cycle(5, 1024), 0u);                    // a restarted server
}

TEST(JackLevels, QuietFloorProbeOnsetAndTailTrim) {
    QuietWatch watch(3, 100);
    EXPECT_FALSE(watch.Block(0.5f));
    EXPECT_FALSE(watch.Block(1e-4f));
    EXPECT_FALSE(watch.Block(2e-4f));
    EXPECT_TRUE(watch.Block(1e-4f));
    EXPECT_FLOAT_EQ(watch.NoiseFloor(), 2e-4f);
    QuietWatch release(3, 100);  // a note dying away under the quiet level is not yet the floor
    float level = 9e-4f;
    for (int i = 0; i < 6; ++i, level /= 3) EXPECT_FALSE(release.Block(level)) << level;
    EXPECT_TRUE(release.Block(0));  // died away below -90 dBFS
    EXPECT_LT(release.NoiseFloor(), kLeastThreshold);
    QuietWatch hiss(3, 5);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(hiss.Block(0.01f));
    EXPECT_TRUE(hiss.Block(0.01f));  // never quiet: taken as it is
    EXPECT_FLOAT_EQ(ThresholdOver(0), kLeastThreshold);
    EXPECT_FLOAT_EQ(ThresholdOver(0.01f), 0.02f);

    const float frames[] = {0, 0, 0.001f, 0, 0, 0.5f};
    EXPECT_EQ(FirstOver(frames, 3, 2, 0.01f), 2);
    EXPECT_EQ(FirstOver(frames, 2, 2, 0.01f), -1);

    TailTrimmer tail(0.01f, 3, 100);
    EXPECT_EQ(tail.Block(0.001f, 10), 0u);
    EXPECT_EQ(tail.Block(0.5f, 10), 20u);  // a sound keeps the quiet before it
    EXPECT_EQ(tail.Block(0.001f, 10), 0u);
    EXPECT_EQ(tail.Block(0.001f, 10), 0u);
    EXPECT_FALSE(tail.Done());
    EXPECT_EQ(tail.Block(0.001f, 10), 0u);
    EXPECT_TRUE(tail.Done());
    EXPECT_EQ(tail.kept(), 20u);  // the quiet end is trimmed
    TailTrimmer ringing(0.01f, 3, 4);
    for (int i = 0; i < 4; ++i) ringing.Block(0.5f, 10);
    EXPECT_TRUE(ringing.Done());  // bounded
}

}  // namespace
}  // namespace platform::jack
