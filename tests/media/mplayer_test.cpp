#include "media/mplayer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

#include "media/notice_poster.h"
#include "platform/fake/fake_mci.h"
#include "platform/services.h"

namespace {

using platform::fake::FakeMci;
using platform::fake::FakeMedium;
using platform::fake::MciCommand;

struct Notice {
    DWORD_PTR callback;
    WPARAM outcome;
    LPARAM device;
};

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeMci>();
        mci = fake.get();
        platform::InstallMci(std::move(fake));
        platform::SetMciNoticePoster([this](DWORD_PTR cb, WPARAM outcome, LPARAM device) {
            notices.push_back({cb, outcome, device});
        });
    }
    void TearDown() override {
        platform::SetMciNoticePoster(nullptr);
        platform::InstallMci(nullptr);
    }
    // Hands every queued notice to its receiver, as the UI thread's event loop would.
    void DeliverNotices() {
        for (const auto& n : notices)
            media::McinotifyReceiver::Deliver(n.callback, n.outcome, n.device);
        notices.clear();
    }
    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const auto& c : mci->Log()) out.push_back(c.msg);
        return out;
    }

    FakeMci* mci = nullptr;
    std::vector<Notice> notices;
};

TEST_F(PlayerTest, OpenSendsTheElementWithItsFlagsAndRecord) {
    TMediaPlayer player;
    player.FileName = "/music/song.mid";
    mci->SetNextDeviceId(7);
    player.Open();

    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), 7);
    ASSERT_EQ(mci->Log().size(), 1u);
    const MciCommand& c = mci->Log()[0];
    EXPECT_EQ(c.msg, MCI_OPEN);
    EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(c.flags, MCI_WAIT | MCI_OPEN_ELEMENT);
    EXPECT_EQ(c.callback, player.Handle());
    EXPECT_NE(c.callback, 0u);
    EXPECT_EQ(c.elementName, "/music/song.mid");
    EXPECT_EQ(c.deviceType, "");
    EXPECT_EQ(c.alias, std::nullopt);
    EXPECT_EQ(c.soundFont, std::nullopt) << "no SoundFont named: the device's own";
}

TEST_F(PlayerTest, ASoundFontGoesToTheDeviceInTheExtendedOpenRecord) {
    TMediaPlayer player;
    player.FileName = "/music/song.mid";
    player.SoundFont = "/fonts/piano.sf2";
    player.Open();
    const MciCommand& c = mci->Log().at(0);
    EXPECT_EQ(c.flags, MCI_WAIT | MCI_OPEN_ELEMENT | MCI_SEQ_OPEN_SOUNDFONT);
    EXPECT_EQ(c.soundFont, "/fonts/piano.sf2");
    EXPECT_EQ(c.elementName, "/music/song.mid");
    // Every open carries it again: a reopen of another file does not lose it.
    player.FileName = "/music/other.mid";
    player.Open();
    EXPECT_EQ(mci->Log().back().soundFont, "/fonts/piano.sf2");
}

TEST_F(PlayerTest, OpenWithADeviceTypeOrShareableChoosesTheOtherFlags) {
    TMediaPlayer player;
    player.DeviceType = dtWaveAudio;
    player.Shareable = true;
    player.Open();
    const MciCommand& c = mci->Log().at(0);
    EXPECT_EQ(c.flags, MCI_WAIT | MCI_OPEN_TYPE | MCI_OPEN_SHAREABLE);
    EXPECT_EQ(c.deviceType, "WaveAudio");

    // CD audio is switched to tracks/minutes/seconds/frames at once.
    TMediaPlayer cd;
    cd.DeviceType = dtCDAudio;
    mci->ClearLog();
    cd.Open();
    ASSERT_EQ(Messages(), (std::vector<UINT>{MCI_OPEN, MCI_SET}));
    EXPECT_EQ(mci->Log()[1].timeFormat, MCI_FORMAT_TMSF);
    EXPECT_EQ(mci->Log()[1].device, cd.DeviceId());
}

TEST_F(PlayerTest, AnEmptyFileNameIsPassedAsAnEmptyStringNotNull) {
    TMediaPlayer player;
    player.Open();
    ASSERT_TRUE(mci->Log().at(0).elementName.has_value());
    EXPECT_EQ(*mci->Log()[0].elementName, "");
}

TEST_F(PlayerTest, AFailedOpenRaisesTheServiceTextAndChangesNothing) {
    TMediaPlayer player;
    mci->SetErrorText(MCIERR_INVALID_FILE, "not a MIDI file");
    mci->FailNext(MCI_OPEN, MCIERR_INVALID_FILE);
    try {
        player.Open();
        FAIL() << "no error raised";
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.Message(), "not a MIDI file");
    }
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), 0);
    EXPECT_EQ(player.LastError(), MCIERR_INVALID_FILE);

    // A code without text gets the fixed German fallback.
    mci->FailNext(MCI_OPEN, 0x7777);
    EXPECT_THROW(
        {
            try {
                player.Open();
            } catch (const EMCIDeviceError& e) {
                EXPECT_EQ(e.Message(), "Unbekannter Fehlercode");
                throw;
            }
        },
        EMCIDeviceError);
}

TEST_F(PlayerTest, OpenOnAnOpenPlayerClosesTheOldDeviceFirst) {
    TMediaPlayer player;
    player.Open();
    const WORD first = player.DeviceId();
    mci->ClearLog();
    player.Open();
    ASSERT_EQ(Messages(), (std::vector<UINT>{MCI_CLOSE, MCI_OPEN}));
    EXPECT_EQ(mci->Log()[0].device, first);
    EXPECT_EQ(mci->Log()[0].flags, MCI_WAIT);
    EXPECT_EQ(mci->Device(first), nullptr);
    EXPECT_NE(player.DeviceId(), 0);
}

TEST_F(PlayerTest, AFailedCloseKeepsTheDeviceAndTheNextOpenTriesAgain) {
    TMediaPlayer player;
    player.Open();
    const WORD id = player.DeviceId();
    mci->FailNext(MCI_CLOSE, MCIERR_HARDWARE);
    player.Close();
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), id);
    EXPECT_EQ(player.LastError(), MCIERR_HARDWARE);

    mci->ClearLog();
    player.Open();
    ASSERT_EQ(Messages(), (std::vector<UINT>{MCI_CLOSE, MCI_OPEN}));
    EXPECT_EQ(mci->Log()[0].device, id);
    EXPECT_EQ(mci->Device(id), nullptr);

    player.Close();
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), 0);
}

TEST_F(PlayerTest, ANeverOpenedPlayerSendsNothingWhereItNeedsADevice) {
    TMediaPlayer player;
    for (auto op : {&TMediaPlayer::Play, &TMediaPlayer::Stop, &TMediaPlayer::Rewind}) {
        try {
            (player.*op)();
            ADD_FAILURE() << "no error raised";
        } catch (const EMCIDeviceError& e) {
            EXPECT_EQ(e.Message(), "Kein MCI-Gerät geöffnet");
        }
    }
    EXPECT_THROW(player.Length(), EMCIDeviceError);
    player.Close();
    EXPECT_TRUE(mci->Log().empty());

    // Mode, Position and SetTimeFormat go to device 0 and only record the refusal.
    EXPECT_EQ(player.Mode(), pmNotReady);
    EXPECT_EQ(player.LastError(), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(player.Position(), 0);
    player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(player.LastError(), MCIERR_INVALID_DEVICE_ID);
    for (const auto& c : mci->Log()) EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(mci->Log().size(), 3u);
}

TEST_F(PlayerTest, PlayRewindsOnlyWhenThePositionStandsAtTheEnd) {
    mci->ScriptMedium("empty", FakeMedium{});
    mci->ScriptMedium("song", FakeMedium{.length = 3000, .position = 1200});
    TMediaPlayer player;

    // Length 0 right after the open: position equals length, so the seek goes first.
    player.FileName = "empty";
    player.Open();
    mci->ClearLog();
    player.Play();
    ASSERT_EQ(Messages(), (std::vector<UINT>{MCI_STATUS, MCI_STATUS, MCI_SEEK, MCI_PLAY}));
    EXPECT_EQ(mci->Log()[0].item, MCI_STATUS_POSITION);
    EXPECT_EQ(mci->Log()[1].item, MCI_STATUS_LENGTH);
    EXPECT_EQ(mci->Log()[2].flags, MCI_SEEK_TO_START | MCI_WAIT);
    EXPECT_EQ(mci->Log()[3].flags, MCI_NOTIFY);
    EXPECT_EQ(mci->Log()[3].callback, player.Handle());

    // In the middle: no seek.
    player.FileName = "song";
    player.Open();
    mci->ClearLog();
    player.Play();
    EXPECT_EQ(Messages(), (std::vector<UINT>{MCI_STATUS, MCI_STATUS, MCI_PLAY}));

    // Played to the end and not closed: starts again from the beginning.
    mci->PlayToEnd(player.DeviceId());
    mci->ClearLog();
    player.Play();
    EXPECT_EQ(Messages(), (std::vector<UINT>{MCI_STATUS, MCI_STATUS, MCI_SEEK, MCI_PLAY}));
    EXPECT_EQ(mci->Device(player.DeviceId())->position, 0u);

    // Without AutoRewind the play goes out at once, from the end.
    mci->PlayToEnd(player.DeviceId());
    player.AutoRewind = false;
    mci->ClearLog();
    player.Play();
    EXPECT_EQ(Messages(), (std::vector<UINT>{MCI_PLAY}));
}

TEST_F(PlayerTest, AFailedRewindIsIgnoredAndAFailedPlayOnlyRecorded) {
    TMediaPlayer player;
    player.Open();
    mci->FailNext(MCI_SEEK, MCIERR_HARDWARE);
    mci->FailNext(MCI_PLAY, MCIERR_INTERNAL);
    mci->ClearLog();
    EXPECT_NO_THROW(player.Play());
    EXPECT_EQ(Messages(), (std::vector<UINT>{MCI_STATUS, MCI_STATUS, MCI_SEEK, MCI_PLAY}));
    EXPECT_EQ(player.LastError(), MCIERR_INTERNAL);
    EXPECT_EQ(player.Mode(), pmStopped);
}

TEST_F(PlayerTest, StatusQueriesReturnTheDevicesValues) {
    mci->ScriptMedium("song", FakeMedium{.length = 4321, .position = 99, .underflows = 3});
    TMediaPlayer player;
    player.FileName = "song";
    player.Open();
    EXPECT_EQ(player.Length(), 4321);
    EXPECT_EQ(player.Position(), 99);
    EXPECT_EQ(player.Underflows(), 3);
    EXPECT_EQ(player.Mode(), pmStopped);
    player.Play();
    EXPECT_EQ(player.Mode(), pmPlaying);
    // A length beyond 2^31 ms comes back as the signed 32-bit value.
    mci->Device(player.DeviceId())->length = 0xFFFFFFFEu;
    EXPECT_EQ(player.Length(), -2);
    // A failing query gives 0 and records the code.
    mci->FailNext(MCI_STATUS, MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(player.Underflows(), 0);
    EXPECT_EQ(player.LastError(), MCIERR_UNSUPPORTED_FUNCTION);
    for (const auto& c : mci->Log()) {
        if (c.msg == MCI_STATUS) {
            EXPECT_EQ(c.flags, MCI_STATUS_ITEM | MCI_WAIT);
        }
    }
}

TEST_F(PlayerTest, NoticesSetLastNoticeAndAlwaysCallOnNotify) {
    TMediaPlayer player;
    std::vector<TNoticeStatus> seen;
    player.OnNotify = [&](TMediaPlayer* sender) {
        EXPECT_EQ(sender, &player);
        seen.push_back(sender->LastNotice());
    };
    mci->ScriptMedium("song", FakeMedium{.length = 1000});
    player.FileName = "song";
    player.Open();
    player.Play();
    player.Stop();  // the pending play is aborted
    player.Play();
    player.Play();  // the first is superseded
    mci->PlayToEnd(player.DeviceId());
    DeliverNotices();
    EXPECT_EQ(seen, (std::vector<TNoticeStatus>{nsAborted, nsSuperseded, nsSuccessful}));

    // A value that is no outcome leaves LastNotice but still reaches OnNotify.
    player.MMNotify(MCI_NOTIFY_FAILURE, 0);
    player.MMNotify(3, 0);
    player.MMNotify(0, 0);
    EXPECT_EQ(player.LastNotice(), nsFailure);
    EXPECT_EQ(seen.size(), 6u);

    // SetTimeFormat asks for a notice too.
    player.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].outcome, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(notices[0].callback, player.Handle());
}

TEST_F(PlayerTest, DestroyingThePlayerClosesItsDeviceWithoutAReceiver) {
    MCIDEVICEID id = 0;
    DWORD_PTR handle = 0;
    {
        TMediaPlayer player;
        player.Open();
        id = player.DeviceId();
        handle = player.Handle();
        mci->ClearLog();
    }
    ASSERT_EQ(Messages(), (std::vector<UINT>{MCI_CLOSE}));
    EXPECT_EQ(mci->Log()[0].device, id);
    EXPECT_EQ(mci->Log()[0].flags, MCI_WAIT);
    EXPECT_EQ(mci->Log()[0].callback, 0u);
    EXPECT_EQ(mci->Device(id), nullptr);
    // A notice still on its way to the dead player goes nowhere.
    EXPECT_FALSE(media::McinotifyReceiver::Deliver(handle, MCI_NOTIFY_ABORTED, LPARAM(id)));

    // A closed player sends nothing when it goes.
    {
        TMediaPlayer player;
        mci->ClearLog();
    }
    EXPECT_TRUE(mci->Log().empty());
}

TEST_F(PlayerTest, AutoOpenOpensWhenTheOwnerHasLoaded) {
    TMediaPlayer player;
    player.Loaded();
    EXPECT_FALSE(player.IsOpen());
    player.AutoOpen = true;
    player.Loaded();
    EXPECT_TRUE(player.IsOpen());
}

// The program's poster: notices from a device thread arrive on the UI thread's queue, and a
// notice for a receiver that died before the queue ran is dropped.
TEST(QtNoticePoster, QueuesToTheReceiversThreadAndDropsDeadReceivers) {
    media::InstallQtNoticePoster();
    std::vector<std::pair<WPARAM, std::thread::id>> got;
    auto live = std::make_unique<media::McinotifyReceiver>(
        [&](WPARAM outcome, LPARAM) { got.emplace_back(outcome, std::this_thread::get_id()); });
    auto doomed = std::make_unique<media::McinotifyReceiver>(
        [&](WPARAM, LPARAM) { ADD_FAILURE() << "notice reached a dead receiver"; });
    const DWORD_PTR liveHandle = live->Handle(), doomedHandle = doomed->Handle();

    std::thread device([&] {
        platform::PostMciNotice(liveHandle, MCI_NOTIFY_SUCCESSFUL, 1);
        platform::PostMciNotice(doomedHandle, MCI_NOTIFY_ABORTED, 2);
    });
    device.join();
    EXPECT_TRUE(got.empty());  // queued, not called on the device thread
    doomed.reset();
    platform::PostMciNotice(doomedHandle, MCI_NOTIFY_ABORTED, 2);
    QCoreApplication::processEvents();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(got[0].second, std::this_thread::get_id());
    platform::SetMciNoticePoster(nullptr);
}

}  // namespace
