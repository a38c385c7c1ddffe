#include "platform/service_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

using platform::ServiceSlot;

// Each case slots a kind of its own: a slot is one per kind, for the whole process.
struct Counted {
    explicit Counted(int answer, std::atomic<int>* alive) : answer(answer), alive(alive) {
        ++*alive;
    }
    virtual ~Counted() { --*alive; }
    int Answer(int plus) { return answer + plus; }
    int answer;
    std::atomic<int>* alive;
};

TEST(ServiceSlot, CallsReachTheInstalledServiceAndNothingAnswersNone) {
    struct Kind : Counted {
        using Counted::Counted;
    };
    auto& slot = ServiceSlot<Kind>::Instance();
    EXPECT_EQ(slot.Get(), nullptr);
    EXPECT_EQ(slot.Call(-1, &Kind::Answer, 1), -1);

    std::atomic<int> alive{0};
    slot.Install(std::make_unique<Kind>(41, &alive));
    EXPECT_EQ(slot.Call(-1, &Kind::Answer, 1), 42);
    slot.Install(std::make_unique<Kind>(7, &alive));
    EXPECT_EQ(alive, 1);  // the one replaced is gone
    EXPECT_EQ(slot.Call(-1, &Kind::Answer, 0), 7);
    slot.Install(nullptr);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(slot.Call(-1, &Kind::Answer, 0), -1);
}

TEST(ServiceSlot, AServiceReplacedDuringACallLastsUntilTheCallEnds) {
    struct Blocking : Counted {
        Blocking(int answer, std::atomic<int>* alive, std::shared_future<void> release)
            : Counted(answer, alive), release(std::move(release)) {}
        int Wait(std::promise<void>* entered) {
            entered->set_value();
            release.wait();
            return answer;
        }
        std::shared_future<void> release;
    };
    auto& slot = ServiceSlot<Blocking>::Instance();
    std::atomic<int> alive{0};
    std::promise<void> release;
    slot.Install(std::make_unique<Blocking>(1, &alive, release.get_future().share()));

    std::promise<void> entered;
    auto call =
        std::async(std::launch::async, [&] { return slot.Call(-1, &Blocking::Wait, &entered); });
    entered.get_future().wait();
    // The install neither waits for the call nor ends the service under it.
    slot.Install(std::make_unique<Blocking>(2, &alive, std::shared_future<void>()));
    EXPECT_EQ(alive, 2);
    EXPECT_EQ(slot.Get()->answer, 2);
    release.set_value();
    EXPECT_EQ(call.get(), 1);
    EXPECT_EQ(alive, 1);
    slot.Install(nullptr);
}

TEST(ServiceSlot, AServiceEndsOutsideTheLockSoItsLastCallsStillGetThrough) {
    static std::atomic<bool> sawReplacement{false};
    struct Kind : Counted {
        using Counted::Counted;
        // As a device thread that still calls in while its service goes.
        ~Kind() override {
            std::thread([] {
                sawReplacement = ServiceSlot<Kind>::Instance().Call(-1, &Kind::Answer, 0) == 2;
            }).join();
        }
    };
    auto& slot = ServiceSlot<Kind>::Instance();
    std::atomic<int> alive{0};
    slot.Install(std::make_unique<Kind>(1, &alive));
    slot.Install(std::make_unique<Kind>(2, &alive));
    EXPECT_TRUE(sawReplacement);
    slot.Install(nullptr);
    EXPECT_EQ(alive, 0);
}

}  // namespace
