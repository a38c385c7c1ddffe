#include "platform/thread_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

namespace {

TEST(ThreadQueue, MessagesFromSeveralThreadsArriveWholeAndInEachPostersOrder) {
    platform::ThreadQueue queue;
    const DWORD me = GetCurrentThreadId();
    EXPECT_EQ(queue.threadId(), me);

    constexpr int kPosters = 3, kEach = 500;
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p)
        posters.emplace_back([me, p] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_EQ(PostThreadMessageA(me, WM_USER + p, WPARAM(i), LPARAM(-i)), TRUE);
        });

    std::vector<int> next(kPosters, 0);
    MSG msg;
    for (int n = 0; n < kPosters * kEach; ++n) {
        ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
        const int p = int(msg.message - WM_USER);
        ASSERT_GE(p, 0);
        ASSERT_LT(p, kPosters);
        EXPECT_EQ(msg.wParam, WPARAM(next[p]));
        EXPECT_EQ(msg.lParam, LPARAM(-next[p]));
        EXPECT_EQ(msg.hwnd, nullptr);
        ++next[p];
    }
    for (auto& t : posters) t.join();

    // WM_QUIT ends the loop but is still delivered with its fields.
    PostThreadMessageA(me, WM_QUIT, 7, 0);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(ThreadQueue, GetMessageWaitsForAPostFromAnotherThread) {
    std::promise<DWORD> id;
    std::promise<MSG> got;
    std::thread receiver([&] {
        platform::ThreadQueue queue;
        id.set_value(queue.threadId());
        MSG m;
        GetMessageA(&m, nullptr, 0, 0);
        got.set_value(m);
    });
    const DWORD target = id.get_future().get();
    auto result = got.get_future();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(result.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    EXPECT_EQ(PostThreadMessageA(target, WM_USER, 1, 2), TRUE);
    EXPECT_EQ(result.get().message, WM_USER);
    receiver.join();
}

TEST(ThreadQueue, ThreadsWithoutAQueueRefuseMessages) {
    // A thread that never had a queue, and one whose queue is gone.
    DWORD gone = 0;
    std::thread([&] {
        platform::ThreadQueue queue;
        gone = queue.threadId();
        EXPECT_EQ(PostThreadMessageA(gone, WM_USER, 0, 0), TRUE);
    }).join();
    EXPECT_EQ(PostThreadMessageA(gone, WM_USER, 0, 0), FALSE);

    DWORD never = 0;
    std::thread([&] { never = GetCurrentThreadId(); }).join();
    EXPECT_NE(never, gone);
    EXPECT_EQ(PostThreadMessageA(never, WM_USER, 0, 0), FALSE);

    MSG msg;
    std::thread([&] { EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1); }).join();
}

TEST(ThreadQueue, AQueueMadeAgainStartsEmpty) {
    const DWORD me = GetCurrentThreadId();
    {
        platform::ThreadQueue queue;
        PostThreadMessageA(me, WM_USER + 1, 0, 0);
    }
    platform::ThreadQueue queue;
    PostThreadMessageA(me, WM_USER + 2, 0, 0);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 2);
}

}  // namespace
