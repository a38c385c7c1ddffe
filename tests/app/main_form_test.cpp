// The main window against in-memory devices: its states while converting and playing (neither
// run can start inside the other, a close waits for the run), and the messages of a run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "app/preview_box.h"
#include "controls/buttons_xp.h"
#include "main_form_fixture.h"

namespace {

using apptest::FakeMedium;
using apptest::MainFormTest;
using apptest::Sound;

TEST_F(MainFormTest, CreatedIdleWithTheLayoutsTextsAndDefaults) {
    auto& f = Form();
    EXPECT_EQ(f.windowTitle(), "Brennholt Tonvera");
    EXPECT_EQ(f.size(), QSize(457, 421));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.font().pixelSize(), 11);
    EXPECT_EQ(f.KonvertBtn->geometry(), QRect(92, 384, 145, 25));
    EXPECT_EQ(f.KonvertBtn->text(), "Convert file");
    EXPECT_EQ(f.StopPlayBtn->geometry(), QRect(244, 384, 121, 25));
    EXPECT_EQ(f.StopPlayBtn->text(), "Cancel");
    EXPECT_TRUE(f.StopPlayBtn->Cancel());
    EXPECT_EQ(f.PlayWAVBtn->text(), "Play WAV file");
    EXPECT_EQ(f.AboutBtn->text(), "About the program...");
    EXPECT_EQ(f.FilenameEdit1->geometry(), QRect(88, 32, 361, 21));
    EXPECT_EQ(f.FilenameEdit1->DialogKind(), dkOpen);
    EXPECT_EQ(f.FilenameEdit1->Filter(), "MIDI-Dateien (*.mid)|*.mid");
    EXPECT_EQ(f.FilenameEdit2->DialogKind(), dkSave);
    // WAV files first, as ever, then the compressed forms the output's name can choose.
    EXPECT_EQ(f.FilenameEdit2->Filter(),
              "WAV-Dateien (*.wav)|*.wav|FLAC (*.flac)|*.flac|Ogg Vorbis (*.ogg)|*.ogg|"
              "Opus (*.opus)|*.opus|MP3 (*.mp3)|*.mp3");
    EXPECT_EQ(f.TrackBar1->value(), 30);
    EXPECT_EQ(f.TrackBar1->pageStep(), 2);
    EXPECT_EQ(f.ScrollBox1->geometry(), QRect(8, 136, 441, 121));
    EXPECT_EQ(f.PaintBox1->size(), QSize(437, 117));
    EXPECT_EQ(f.Bevel1->geometry().top(), 371);

    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_TRUE(f.PlayWAVBtn->isEnabled());
    EXPECT_FALSE(f.StopPlayBtn->isEnabled());
    EXPECT_EQ(f.ProgressBar1->value(), 0);
    EXPECT_TRUE(f.Label4->text().isEmpty());
    EXPECT_TRUE(f.FilenameEdit1->FileName().isEmpty());
}

TEST_F(MainFormTest, EmptyPathShowsThePlainMessageAndTouchesNoPlayer) {
    auto& f = Form();
    f.KonvertBtn->click();  // MIDI field empty
    f.FilenameEdit1->SetFileName(midi_);
    f.FilenameEdit2->SetFileName("");
    f.KonvertBtn->click();  // WAV field empty
    ASSERT_EQ(messages_.size(), 2u);
    for (const auto& m : messages_) {
        EXPECT_EQ(m.text,
                  "You have to select a midi and wav file first! Click on the little button at "
                  "the right side of the file name edit fields!");
        EXPECT_EQ(m.icon, app::TMsgIcon::miNone);
    }
    EXPECT_TRUE(mci_->Log().empty());
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
}

TEST_F(MainFormTest, ConvertingStateCaptureBeforePlayPreviewAndTheWrittenFile) {
    auto& f = Form();
    SetPaths(f);
    mci_->ScriptMedium(midi_.toStdString(), FakeMedium{.length = 204600});
    const auto sound = testsupport::StereoTone(440, 1.25, 0.5);
    bool previewDrawn = false;
    Steps({[&] {
               EXPECT_FALSE(f.KonvertBtn->isEnabled());
               EXPECT_TRUE(f.StopPlayBtn->isEnabled());
               // A playback would take the shared player over and end the music mid-recording.
               EXPECT_FALSE(f.PlayWAVBtn->isEnabled());
               // The capture is running.
               EXPECT_TRUE(wavein_->WaitStarted(std::chrono::seconds(0)));
               Medium()->position = 7900;
               EXPECT_EQ(wavein_->Feed(sound), sound.size());
           },
           [&] {
               EXPECT_EQ(f.Label4->text(), "0:07 / 3:25");  // a position, and a length
               EXPECT_EQ(f.ProgressBar1->value(), 3);
               // The full first second reached the preview through the UI thread's queue.
               const QImage shot = f.PaintBox1->grab().toImage();
               for (int x = 0; x < shot.width() && !previewDrawn; ++x)
                   for (int y = 0; y < shot.height() && !previewDrawn; ++y)
                       previewDrawn = shot.pixelColor(x, y) == app::TPreviewBox::Line();
           }});
    f.KonvertBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_TRUE(previewDrawn);
    EXPECT_TRUE(messages_.empty()) << messages_.front().text.toStdString();
    EXPECT_TRUE(f.LastConversionWhole());

    // Idle again, the preview empty, the player closed.
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_TRUE(f.PlayWAVBtn->isEnabled());
    EXPECT_FALSE(f.StopPlayBtn->isEnabled());
    EXPECT_TRUE(f.Label4->text().isEmpty());
    EXPECT_EQ(f.ProgressBar1->value(), 0);
    EXPECT_FALSE(f.MediaPlayer1.IsOpen());
    const QImage after = f.PaintBox1->grab().toImage();
    EXPECT_EQ(after.pixelColor(200, 58), app::TPreviewBox::Background());

    // The path with a blank arrived without its quotes, with every byte fed, the partial
    // second included.
    const auto wav = testsupport::ReadWav(wav_.toStdString());
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->data.size(), sound.size());
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->sampleRate, 44100u);
}

TEST_F(MainFormTest, StopPlayBtnEndsTheConversionAndTheCaptureIsStillWritten) {
    auto& f = Form();
    f.show();
    SetPaths(f);
    const auto sound = Sound(30000);
    During(
        [&] {
            wavein_->Feed(sound);
            QTest::keyClick(f.FilenameEdit1, Qt::Key_Escape);  // the window's cancel button
        },
        false);
    f.KonvertBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_EQ(Count(MCI_STOP), 1u);
    EXPECT_TRUE(f.LastConversionWhole());
    EXPECT_EQ(std::filesystem::file_size(wav_.toStdString()), 44u + sound.size());

    // Outside a run the button is disabled and Escape does nothing.
    QTest::keyClick(f.FilenameEdit1, Qt::Key_Escape);
    EXPECT_EQ(Count(MCI_STOP), 1u);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFormTest, ARunThatWritesNothingOrGapsSaysSo) {
    auto& f = Form();
    SetPaths(f);
    During([] {});  // nothing recorded
    f.KonvertBtn->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "No WAV file was written: nothing was recorded.");
    EXPECT_FALSE(f.LastConversionWhole());
    EXPECT_FALSE(std::filesystem::exists(wav_.toStdString()));

    // No recording device: the run ends before a note plays, without waiting for the music.
    messages_.clear();
    mci_->ClearLog();
    wavein_->FailOpen(MMSYSERR_NODRIVER);
    f.KonvertBtn->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].text.contains("recording device")) << messages_[0].text.toStdString();
    for (const auto& command : mci_->Log()) EXPECT_NE(command.msg, UINT(MCI_PLAY));
    wavein_->FailOpen(MMSYSERR_NOERROR);

    messages_.clear();
    During([&] {
        wavein_->Feed(Sound(1000));
        Medium()->underflows = 3;
    });
    f.KonvertBtn->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].text.contains("ran dry 3 time")) << messages_[0].text.toStdString();
    EXPECT_FALSE(f.LastConversionWhole());
    // A file with gaps does not take the output's place.
    EXPECT_FALSE(std::filesystem::exists(wav_.toStdString()));
    EXPECT_TRUE(std::filesystem::exists(wav_.toStdString() + ".part"));

    // A player that accepts the file but does not start: the poll ends at once.
    messages_.clear();
    mci_->FailNext(MCI_PLAY, MCIERR_HARDWARE);
    f.KonvertBtn->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].text.startsWith("The MIDI file could not be played"))
        << messages_[0].text.toStdString();
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_TRUE(f.PlayWAVBtn->isEnabled());
    EXPECT_FALSE(f.StopPlayBtn->isEnabled());
}

TEST_F(MainFormTest, ARefusedMidiFileEndsTheRunBeforeAnythingChanged) {
    auto& f = Form();
    SetPaths(f);
    mci_->FailNext(MCI_OPEN, MCIERR_FILE_NOT_FOUND);
    mci_->SetErrorText(MCIERR_FILE_NOT_FOUND, "Die Datei wurde nicht gefunden");
    f.KonvertBtn->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Die Datei wurde nicht gefunden.");
    EXPECT_EQ(messages_[0].icon, app::TMsgIcon::miStop);
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_EQ(wavein_->CallCount("waveInOpen"), 0u);
}

TEST_F(MainFormTest, TheWavPathNamingTheMidiFileIsRefusedBeforeAnythingPlays) {
    auto& f = Form();
    const std::string original = testsupport::ReadAll(midi_.toStdString()).size() ? "MThd" : "";
    const QString link = dir_.QPath("link.wav");
    std::filesystem::create_symlink(midi_.toStdString(), link.toStdString());
    const QString relative = QDir::current().relativeFilePath(midi_);
    for (const QString& wav : {midi_, link, relative, folder_ + "/../with blank/song.mid"}) {
        messages_.clear();
        f.FilenameEdit1->SetFileName(midi_);
        f.FilenameEdit2->SetFileName(wav);
        f.KonvertBtn->click();
        ASSERT_EQ(messages_.size(), 1u) << wav.toStdString();
        EXPECT_TRUE(messages_[0].text.startsWith("The WAV file must not be the MIDI file itself"));
        EXPECT_EQ(messages_[0].icon, app::TMsgIcon::miStop);
    }
    EXPECT_TRUE(mci_->Log().empty());
    const auto bytes = testsupport::ReadAll(midi_.toStdString());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), original);
}

TEST_F(MainFormTest, PlayingStateAndStop) {
    auto& f = Form();
    SetPaths(f);
    mci_->ScriptMedium(wav_.toStdString(), FakeMedium{.length = 0});
    Steps({[&] {
               EXPECT_FALSE(f.PlayWAVBtn->isEnabled());
               EXPECT_TRUE(f.StopPlayBtn->isEnabled());
               // A conversion would record the playback and then overwrite the file playing.
               EXPECT_FALSE(f.KonvertBtn->isEnabled());
           },
           [&] {
               // A length of 0 shows progress 0 rather than dividing by it.
               EXPECT_EQ(f.ProgressBar1->value(), 0);
               EXPECT_EQ(f.Label4->text(), "0:00 / 0:00");
               f.StopPlayBtn->click();
           }});
    f.PlayWAVBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(f.PlayWAVBtn->isEnabled());
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_FALSE(f.StopPlayBtn->isEnabled());
    EXPECT_FALSE(f.MediaPlayer1.IsOpen());
    EXPECT_EQ(wavein_->CallCount("waveInOpen"), 0u);
    ASSERT_FALSE(mci_->Log().empty());
    EXPECT_EQ(mci_->Log().front().elementName, wav_.toStdString());
}

TEST_F(MainFormTest, ClosingDuringAConversionWaitsForTheWrittenFileThenCloses) {
    auto& f = Form();
    f.show();
    SetPaths(f);
    const auto sound = Sound(20000);
    bool stayedAndPlayed = false;
    During([&] {
        wavein_->Feed(sound);
        f.close();  // the close box
        QCoreApplication::processEvents();
        stayedAndPlayed = f.isVisible() && Medium()->mode == MCI_MODE_PLAY;
    });
    f.KonvertBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_TRUE(stayedAndPlayed);
    EXPECT_EQ(Count(MCI_STOP), 0u);  // not cut short
    EXPECT_TRUE(f.LastConversionWhole());
    EXPECT_EQ(std::filesystem::file_size(wav_.toStdString()), 44u + sound.size());
    // Once the run is over the window goes, and with it the program.
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(quitCodes_, std::vector<int>{0});

    // Outside a run a close is at once.
    f.show();
    f.close();
    EXPECT_FALSE(f.isVisible());
}

TEST_F(MainFormTest, ClosingDuringAPlaybackWaitsForItsEndThenCloses) {
    auto& f = Form();
    f.show();
    SetPaths(f);
    mci_->ScriptMedium(wav_.toStdString(), FakeMedium{.length = 3000});
    bool stayed = false;
    During([&] {
        f.close();
        QCoreApplication::processEvents();
        stayed = f.isVisible() && Medium()->mode == MCI_MODE_PLAY;
    });
    f.PlayWAVBtn->click();
    ASSERT_TRUE(duringRan_);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(Count(MCI_STOP), 0u);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.isVisible());
    // The next start is an ordinary one: its close is not held back.
    f.show();
    f.close();
    EXPECT_FALSE(f.isVisible());
}

}  // namespace
