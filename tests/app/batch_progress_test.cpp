// The progress line of a many-files --fast run, from the counts and times handed in.
#include "app/batch_progress.h"

#include <gtest/gtest.h>

namespace {

using app::BatchProgressText;
using app::TimeLeftMs;
using app::TMusicAhead;
using app::TRenderSpeed;

TEST(BatchProgress, TheLineSaysTheFilesTheMusicAndOnceKnownTheSpeedAndTheTimeLeft) {
    EXPECT_EQ(BatchProgressText({0, 45, 0, std::nullopt, std::nullopt}),
              "0/45 files, 0:00 of music");
    EXPECT_EQ(BatchProgressText({12, 45, 207400, 310.4, 8200}),
              "12/45 files, 3:27 of music, 310x real time, about 0:08 left");
    // Below ten times real time a tenth counts; an hour of music stays in minutes.
    EXPECT_EQ(BatchProgressText({3, 4, 3723000, 2.46, 61000}),
              "3/4 files, 62:03 of music, 2.5x real time, about 1:01 left");
}

TEST(BatchProgress, TheSpeedIsTheLastFewSecondsOnes) {
    TRenderSpeed speed;
    speed.Add(0, 0);
    EXPECT_FALSE(speed.Speed()) << "one reading";
    speed.Add(0.3, 100);
    EXPECT_FALSE(speed.Speed()) << "too close together to tell";
    speed.Add(1.0, 300000);
    ASSERT_TRUE(speed.Speed());
    EXPECT_DOUBLE_EQ(*speed.Speed(), 300);

    // 300x for ten seconds, then 100x: after four seconds more only the slow ones count.
    TRenderSpeed slowing;
    uint64_t music = 0;
    for (int half = 0; half <= 30; ++half) {
        slowing.Add(half * 0.5, music);
        music += half < 20 ? 150000 : 50000;
    }
    ASSERT_TRUE(slowing.Speed());
    EXPECT_DOUBLE_EQ(*slowing.Speed(), 100);
    // A failed file taking back what it had counted is no negative speed.
    slowing.Add(15.5, 0);
    EXPECT_EQ(slowing.Speed(), 0.0);
}

TEST(BatchProgress, TheTimeLeftIsTheMusicAheadWithItsTailsAtTheSpeedLately) {
    TMusicAhead ahead;
    ahead.underWayLeftMs = 4000;
    ahead.underWay = 1;
    ahead.waitingReadMs = 20000;
    ahead.waitingRead = 2;
    ahead.waitingUnread = 2;
    ahead.lengthsMs = 40000;  // four lengths read: 10 s on average
    ahead.lengths = 4;
    ahead.tailsMs = 2000;  // two ended, each 1 s beyond its length
    ahead.ended = 2;
    // (4 + 20 + 2 x 10) s, and five tails of 1 s, at 100x.
    EXPECT_EQ(TimeLeftMs(ahead, 100.0), 490u);
    EXPECT_FALSE(TimeLeftMs(ahead, std::nullopt));
    EXPECT_FALSE(TimeLeftMs(ahead, 0.0));
    // Files wait unread and no length is known: no guess.
    ahead.lengthsMs = 0;
    ahead.lengths = 0;
    EXPECT_FALSE(TimeLeftMs(ahead, 100.0));

    // The last file under way, nothing waiting; before any ended, no tail is counted.
    TMusicAhead last;
    last.underWayLeftMs = 3000;
    last.underWay = 1;
    last.lengths = 1;
    last.lengthsMs = 9000;
    EXPECT_EQ(TimeLeftMs(last, 300.0), 10u);
    last.tailsMs = 6000;
    last.ended = 3;
    EXPECT_EQ(TimeLeftMs(last, 300.0), 17u);  // (3 + 2) s at 300x
}

}  // namespace
