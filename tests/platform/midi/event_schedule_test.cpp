#include "platform/midi/event_schedule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <vector>

using platform::midi::EventSchedule;
using platform::midi::EventSink;
using platform::midi::MidiEvent;
using platform::midi::SmfSong;

// Counts this thread's allocations, to show that handing events over allocates nothing (a
// process callback of a real-time audio server must not).
namespace {
thread_local size_t allocations = 0;
}  // namespace

void* operator new(size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
// Every form that the deletes above may free, or a sanitizer's own allocator would hand out
// memory that these give back to malloc (std::stable_sort takes its buffer with nothrow new).
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

struct Handed {
    uint64_t frame;
    uint8_t note;
    uint64_t sliceStart, sliceEnd;  // the caller's slice when it was handed over
};

class RecordingSink : public EventSink {
  public:
    void Event(uint64_t frame, const MidiEvent& e) override {
        EXPECT_EQ(frame, e.frame);
        handed[count++] = {frame, e.data1, sliceStart, sliceEnd};
    }
    std::vector<Handed> Got() const { return {handed.begin(), handed.begin() + long(count)}; }

    std::vector<Handed> handed = std::vector<Handed>(64);  // room made before the counting
    size_t count = 0;
    uint64_t sliceStart = 0, sliceEnd = 0;
};

// Notes numbered in song order; several share a frame, one is at frame 0.
std::shared_ptr<const SmfSong> Song() {
    auto song = std::make_shared<SmfSong>();
    const uint64_t frames[] = {0, 0, 63, 64, 64, 65, 1000, 1023, 1024, 1024, 44100, 44101};
    uint8_t note = 0;
    for (uint64_t f : frames) song->events.push_back({f, 0x90, note++, 100});
    song->lengthFrames = 50000;
    return song;
}

// Walks the song from `from` in slices of the given sizes (cycled) up to `to`.
void Walk(EventSchedule& schedule, RecordingSink& sink, uint64_t from, uint64_t to,
          const std::vector<uint64_t>& slices) {
    for (size_t i = 0; from < to; ++i) {
        const uint64_t end = std::min(to, from + slices[i % slices.size()]);
        sink.sliceStart = from;
        sink.sliceEnd = end;
        schedule.HandOverBefore(end, sink);
        from = end;
    }
}

void ExpectEachOnceInItsOwnSlice(const std::vector<Handed>& got, const SmfSong& song,
                                 size_t firstIndex = 0) {
    ASSERT_EQ(got.size(), song.events.size() - firstIndex);
    for (size_t i = 0; i < got.size(); ++i) {
        const MidiEvent& e = song.events[firstIndex + i];
        EXPECT_EQ(got[i].note, e.data1) << "in song order";
        EXPECT_GE(e.frame, got[i].sliceStart) << "never early: note " << int(e.data1);
        EXPECT_LT(e.frame, got[i].sliceEnd) << "never late: note " << int(e.data1);
    }
}

TEST(EventSchedule, EveryEventIsHandedOnceInTheSliceThatHoldsItsFrameHoweverSliced) {
    const auto song = Song();
    std::mt19937 random(7);
    std::vector<std::vector<uint64_t>> slicings = {{1}, {64}, {1024}, {100000}, {63, 1, 2}};
    std::vector<uint64_t> ragged;
    for (int i = 0; i < 50; ++i) ragged.push_back(1 + random() % 3000);
    slicings.push_back(ragged);
    for (const auto& slices : slicings) {
        EventSchedule schedule(song);
        RecordingSink sink;
        Walk(schedule, sink, 0, song->lengthFrames, slices);
        ExpectEachOnceInItsOwnSlice(sink.Got(), *song);
        EXPECT_TRUE(schedule.Done());
        EXPECT_EQ(schedule.NextFrame(), EventSchedule::kNever);
    }
}

TEST(EventSchedule, NextFrameSaysHowFarACallerMayRenderWithoutAnEvent) {
    EventSchedule schedule(Song());
    RecordingSink sink;
    EXPECT_TRUE(schedule.AtStart());
    EXPECT_EQ(schedule.NextFrame(), 0u);
    EXPECT_EQ(schedule.HandOverBefore(0, sink), 0u) << "an event at frame F is not before F";
    EXPECT_EQ(schedule.HandOverBefore(64, sink), 3u);
    EXPECT_EQ(schedule.NextFrame(), 64u);
    EXPECT_FALSE(schedule.AtStart());
    EXPECT_EQ(schedule.HandOverBefore(64, sink), 0u) << "nothing is handed over twice";

    EventSchedule empty(std::make_shared<SmfSong>());
    EXPECT_TRUE(empty.Done());
    EXPECT_EQ(empty.NextFrame(), EventSchedule::kNever);
    EXPECT_EQ(empty.HandOverBefore(EventSchedule::kNever, sink), 0u);
}

TEST(EventSchedule, ASeekSkipsWhatLiesBeforeItAndHandsTheRestAtTheirFrames) {
    const auto song = Song();
    EventSchedule schedule(song);
    RecordingSink sink;
    Walk(schedule, sink, 0, 2000, {300});
    schedule.Seek(64);  // back, onto two events at the same frame: both come again
    sink.count = 0;
    Walk(schedule, sink, 64, song->lengthFrames, {17, 500});
    ExpectEachOnceInItsOwnSlice(sink.Got(), *song, 3);

    schedule.Seek(1001);  // between events
    EXPECT_EQ(schedule.NextFrame(), 1023u);
    schedule.Seek(44102);  // past the last one
    EXPECT_TRUE(schedule.Done());

    schedule.Rewind();
    sink.count = 0;
    Walk(schedule, sink, 0, song->lengthFrames, {4096});
    ExpectEachOnceInItsOwnSlice(sink.Got(), *song);
}

TEST(EventSchedule, HandingOverAndSeekingAllocateNothing) {
    EventSchedule schedule(Song());
    RecordingSink sink;
    const size_t before = allocations;
    for (uint64_t f = 0; f < 50000; f += 256) schedule.HandOverBefore(f, sink);
    schedule.Seek(64);
    schedule.HandOverBefore(50000, sink);
    schedule.Rewind();
    EXPECT_EQ(allocations, before);
    EXPECT_EQ(sink.count, 12u + 9u);
}

}  // namespace
