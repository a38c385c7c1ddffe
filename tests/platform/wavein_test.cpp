#include "platform/wavein.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "platform/fake/fake_wavein.h"
#include "platform/thread_queue.h"
#include "platform/wavein_buffers.h"

namespace {

using platform::fake::FakeWaveIn;

// A device opened through the free functions, notices to this thread, with three small
// buffers queued.
class WaveIn : public ::testing::Test {
  protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeWaveIn>();
        fake_ = fake.get();
        platform::InstallWaveIn(std::move(fake));
        WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        ASSERT_EQ(waveInOpen(&h_, WAVE_MAPPER, &f, queue_.threadId(), 0, CALLBACK_THREAD),
                  MMSYSERR_NOERROR);
        ExpectNotice(MM_WIM_OPEN, nullptr);
        for (size_t i = 0; i < hdr_.size(); ++i) {
            buf_[i].assign(8, 'x');
            hdr_[i] = {};
            hdr_[i].lpData = buf_[i].data();
            hdr_[i].dwBufferLength = 8;
            ASSERT_EQ(waveInPrepareHeader(h_, &hdr_[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(waveInAddBuffer(h_, &hdr_[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    void TearDown() override {
        waveInClose(h_);
        platform::InstallWaveIn(nullptr);
    }

    void ExpectNotice(UINT message, WAVEHDR* hdr) {
        MSG msg;
        ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, message);
        EXPECT_EQ(msg.wParam, WPARAM(h_));
        if (hdr) {
            EXPECT_EQ(msg.lParam, LPARAM(hdr));
        }
    }
    // Nothing else is waiting in the queue.
    void ExpectNoMore() {
        PostThreadMessageA(queue_.threadId(), WM_USER, WPARAM(h_), 0);
        ExpectNotice(WM_USER, nullptr);
    }
    static std::vector<uint8_t> Count(size_t n, uint8_t from = 1) {
        std::vector<uint8_t> v(n);
        std::iota(v.begin(), v.end(), from);
        return v;
    }

    platform::ThreadQueue queue_;
    FakeWaveIn* fake_ = nullptr;
    HWAVEIN h_ = nullptr;
    std::array<WAVEHDR, 3> hdr_{};
    std::array<std::vector<char>, 3> buf_;
};

TEST_F(WaveIn, FillsBuffersInQueueOrderAndNamesEachInItsNotice) {
    EXPECT_EQ(fake_->Feed(Count(4)), 0u);  // not started: nothing recorded
    ASSERT_EQ(waveInStart(h_), MMSYSERR_NOERROR);
    EXPECT_EQ(fake_->Feed(Count(20)), 20u);

    ExpectNotice(MM_WIM_DATA, &hdr_[0]);
    ExpectNotice(MM_WIM_DATA, &hdr_[1]);
    EXPECT_EQ(std::string(buf_[0].begin(), buf_[0].end()), "\1\2\3\4\5\6\7\10");
    EXPECT_EQ(std::string(buf_[1].begin(), buf_[1].end()), "\11\12\13\14\15\16\17\20");
    for (int i : {0, 1}) {
        EXPECT_EQ(hdr_[i].dwBytesRecorded, 8u);
        EXPECT_EQ(hdr_[i].dwFlags, WHDR_PREPARED | WHDR_DONE);
    }
    EXPECT_EQ(hdr_[2].dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    ExpectNoMore();

    // A buffer handed back may be queued again and is filled after the ones still queued.
    ASSERT_EQ(waveInAddBuffer(h_, &hdr_[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(hdr_[0].dwBytesRecorded, 0u);
    EXPECT_EQ(fake_->Feed(Count(12, 21)), 12u);
    ExpectNotice(MM_WIM_DATA, &hdr_[2]);
    ExpectNotice(MM_WIM_DATA, &hdr_[0]);
    EXPECT_EQ(buf_[0][0], 25);
}

TEST_F(WaveIn, StopHandsBackThePartBufferAndResetTheRestWithTrueCounts) {
    waveInStart(h_);
    EXPECT_EQ(fake_->Feed(Count(11)), 11u);
    ExpectNotice(MM_WIM_DATA, &hdr_[0]);

    ASSERT_EQ(waveInStop(h_), MMSYSERR_NOERROR);
    ExpectNotice(MM_WIM_DATA, &hdr_[1]);
    EXPECT_EQ(hdr_[1].dwBytesRecorded, 3u);
    EXPECT_EQ(fake_->Feed(Count(4)), 0u);  // stopped
    ExpectNoMore();

    ASSERT_EQ(waveInReset(h_), MMSYSERR_NOERROR);
    ExpectNotice(MM_WIM_DATA, &hdr_[2]);
    EXPECT_EQ(hdr_[2].dwBytesRecorded, 0u);
    EXPECT_EQ(hdr_[2].dwFlags, WHDR_PREPARED | WHDR_DONE);
    ExpectNoMore();
}

TEST_F(WaveIn, ResetReturnsEveryQueuedBufferAndCloseRefusesLaterBuffers) {
    waveInStart(h_);
    EXPECT_EQ(fake_->Feed(Count(5)), 5u);
    ASSERT_EQ(waveInReset(h_), MMSYSERR_NOERROR);
    ExpectNotice(MM_WIM_DATA, &hdr_[0]);
    ExpectNotice(MM_WIM_DATA, &hdr_[1]);
    ExpectNotice(MM_WIM_DATA, &hdr_[2]);
    EXPECT_EQ(hdr_[0].dwBytesRecorded, 5u);
    EXPECT_EQ(hdr_[1].dwBytesRecorded, 0u);

    // A buffer queued after the reset comes back at the close, before MM_WIM_CLOSE.
    ASSERT_EQ(waveInAddBuffer(h_, &hdr_[1], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(h_), MMSYSERR_NOERROR);
    ExpectNotice(MM_WIM_DATA, &hdr_[1]);
    ExpectNotice(MM_WIM_CLOSE, nullptr);
    EXPECT_EQ(waveInAddBuffer(h_, &hdr_[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(h_), MMSYSERR_INVALHANDLE);
    ExpectNoMore();
}

TEST_F(WaveIn, HeadersMisusedAreRefused) {
    EXPECT_EQ(waveInAddBuffer(h_, &hdr_[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);  // queued
    EXPECT_EQ(waveInUnprepareHeader(h_, &hdr_[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    WAVEHDR raw{};
    raw.lpData = buf_[0].data();
    raw.dwBufferLength = 8;
    EXPECT_EQ(waveInAddBuffer(h_, &raw, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInPrepareHeader(h_, &raw, 16), MMSYSERR_INVALPARAM);
    raw.lpData = nullptr;
    EXPECT_EQ(waveInPrepareHeader(h_, &raw, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
}

TEST(WaveInBuffers, AHoleInTheStreamIsRecordedAsSilenceInItsPlace) {
    platform::WaveInBuffers device(reinterpret_cast<HWAVEIN>(1), 0);
    std::vector<char> buf(12, 'x');
    WAVEHDR h{};
    h.lpData = buf.data();
    h.dwBufferLength = 12;
    ASSERT_EQ(platform::WaveInBuffers::Prepare(&h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(device.Add(&h, sizeof h), MMSYSERR_NOERROR);
    device.Start();
    EXPECT_EQ(device.Deliver("ab", 2), 2u);
    EXPECT_EQ(device.Deliver(nullptr, 4), 4u);
    EXPECT_EQ(device.Deliver("cdefgh", 6), 6u);
    EXPECT_EQ(h.dwFlags & WHDR_DONE, WHDR_DONE);
    EXPECT_EQ(std::string(buf.begin(), buf.end()), std::string("ab\0\0\0\0cdefgh", 12));
}

TEST(WaveInBuffers, WhatTheBuffersCannotTakeWaitsForTheNextOnesEvenAcrossAStop) {
    platform::WaveInBuffers device(reinterpret_cast<HWAVEIN>(1), 0);
    std::vector<char> a(4, 'x'), b(4, 'x');
    WAVEHDR ha{}, hb{};
    ha.lpData = a.data();
    hb.lpData = b.data();
    ha.dwBufferLength = hb.dwBufferLength = 4;
    for (WAVEHDR* h : {&ha, &hb}) ASSERT_EQ(platform::WaveInBuffers::Prepare(h, sizeof *h), 0u);
    ASSERT_EQ(device.Add(&ha, sizeof ha), MMSYSERR_NOERROR);
    device.Start();
    // Seconds of silence at once, then sound: nothing is lost, nothing overtakes.
    EXPECT_EQ(device.Deliver("ab", 2), 2u);
    EXPECT_EQ(device.Deliver(nullptr, 6), 6u);
    EXPECT_EQ(device.Deliver("cd", 2), 2u);
    EXPECT_EQ(std::string(a.begin(), a.end()), std::string("ab\0\0", 4));
    EXPECT_EQ(device.Waiting(), 6u);

    // Stopped while sound still waits: it was recorded before the stop, so it goes into the
    // buffer added meanwhile.
    std::thread requeue([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ha.dwFlags &= ~WHDR_DONE;
        device.Add(&ha, sizeof ha);
        device.Add(&hb, sizeof hb);
    });
    device.Stop(std::chrono::seconds(5));
    requeue.join();
    EXPECT_EQ(device.Waiting(), 0u);
    EXPECT_EQ(std::string(a.begin(), a.end()), std::string("\0\0\0\0", 4));
    EXPECT_EQ(hb.dwBytesRecorded, 2u);  // the part buffer comes back at the stop
    EXPECT_EQ(std::string(b.begin(), b.begin() + 2), "cd");
    EXPECT_EQ(device.Deliver("ef", 2), 0u);  // after the stop nothing more is taken
    EXPECT_TRUE(device.Lost().empty());
}

TEST(WaveInBuffers, SoundBeyondWhatMayWaitIsLostAndToldWhere) {
    platform::WaveInBuffers device(reinterpret_cast<HWAVEIN>(1), 0);
    device.Start();
    const size_t most = platform::WaveInBuffers::kMostWaiting;
    std::vector<char> sound(most - 10, 's');
    EXPECT_EQ(device.Deliver(sound.data(), sound.size()), sound.size());
    EXPECT_EQ(device.Deliver(nullptr, 100), 100u);  // silence costs nothing to keep
    EXPECT_EQ(device.Deliver(sound.data(), 30), 30u);
    EXPECT_EQ(device.Deliver(sound.data(), 5), 5u);
    const auto lost = device.Lost();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].at, uint64_t(most - 10 + 100 + 10));
    EXPECT_EQ(lost[0].bytes, 25u);
    EXPECT_EQ(device.Waiting(), most + 100);
}

TEST(WaveInService, WithoutAServiceEveryCallAnswersNoDriver) {
    platform::InstallWaveIn(nullptr);
    HWAVEIN h = nullptr;
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    WAVEHDR hdr{};
    EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStart(h), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInReset(h), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NODRIVER);
}

}  // namespace
