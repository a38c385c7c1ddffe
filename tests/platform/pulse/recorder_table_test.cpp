// The table that links an open sequencer to the wave-in device recording it alone.
#include "platform/pulse/recorder_table.h"

#include <gtest/gtest.h>

#include <set>

using platform::pulse::RecorderTable;
using platform::pulse::SequencerTap;

namespace {

std::shared_ptr<SequencerTap> Tap() {
    return std::make_shared<SequencerTap>(0, "monitor");
}

TEST(RecorderTable, IdsStayBetweenTheSelectedLineAndAJackBackendsAndAFreedOneWaitsItsTurn) {
    RecorderTable table;
    const auto a = Tap(), b = Tap();
    const UINT first = table.Add(a), second = table.Add(b);
    EXPECT_EQ(table.Find(first), a);
    EXPECT_EQ(table.Find(second), b);
    EXPECT_EQ(table.Newest(), b);
    table.Remove(second);
    EXPECT_EQ(table.Find(second), nullptr);
    EXPECT_EQ(table.Newest(), a) << "the line falls back to the sequencer still open";
    EXPECT_NE(table.Add(Tap()), second) << "a stale ID must not name the next song";

    // Every ID is handed out once before any is taken again; a full table hands out none.
    RecorderTable full;
    std::set<UINT> ids;
    for (UINT i = RecorderTable::kFirstId; i <= RecorderTable::kLastId; ++i) ids.insert(full.Add(Tap()));
    EXPECT_EQ(ids.size(), size_t(RecorderTable::kLastId));
    EXPECT_EQ(*ids.begin(), 1u);
    EXPECT_EQ(*ids.rbegin(), 0x0FFFu);
    EXPECT_EQ(full.Add(Tap()), 0u);
    full.Remove(7);
    EXPECT_EQ(full.Add(Tap()), 7u);
    EXPECT_EQ(full.Find(0), nullptr);
}

}  // namespace
