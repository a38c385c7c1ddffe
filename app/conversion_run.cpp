#include "app/conversion_run.h"

#include <QLabel>
#include <QProgressBar>

#include "app/clock_text.h"
#include "app/local_names.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "app/output_checks.h"
#include "app/preview_box.h"
#include "app/resampling_note.h"
#include "app/run_poll.h"
#include "base/exception.h"
#include "controls/buttons_xp.h"
#include "controls/tool_edit.h"
#include "engine/capture.h"
#include "engine/capture_limit.h"
#include "platform/mci.h"

namespace app {

namespace {

// One of the device's own status items; 0 when it cannot tell.
DWORD_PTR DeviceStatus(TMediaPlayer& player, DWORD item) {
    if (!player.IsOpen()) return 0;
    MCI_STATUS_PARMS parms{};
    parms.dwItem = item;
    const MCIERROR e = mciSendCommandA(player.DeviceId(), MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                       reinterpret_cast<DWORD_PTR>(&parms));
    return e == 0 ? parms.dwReturn : 0;
}

}  // namespace

// Everything that would make the file fail, found before the MIDI file is even opened.
void TConversionRun::CheckOutput() {
    const std::string refused = OutputRefusal(midi_, wav_);
    if (!refused.empty()) throw Exception(refused);
}

void TConversionRun::OpenMidi() {
    f_.MediaPlayer1.FileName = midi_;
    // The synthesizer's SoundFont is loaded at the open: one it cannot load ends the run here,
    // before a note plays.
    const TSynthChoice& synth = f_.ChosenSynth();
    f_.MediaPlayer1.SoundFont = synth.soundFont;
    f_.MediaPlayer1.SynthPort = synth.port;
    f_.MediaPlayer1.RecordPorts = synth.recordPorts;
    f_.MediaPlayer1.Open();
    f_.MediaPlayer1.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    lengthMs_ = std::max(0, f_.MediaPlayer1.Length());
    const std::string refused = SpaceRefusal(wav_, lengthMs_);
    if (refused.empty()) return;
    f_.MediaPlayer1.Close();
    throw Exception(refused);
}

// Said first, and once a run: every file of a many-files run plays on the same server.
void TConversionRun::TellResampling() {
    if (f_.resamplingTold_) return;
    const QString note = ResamplingNote(DeviceStatus(f_.MediaPlayer1, MCI_STATUS_DEVICE_RATE),
                                        DeviceStatus(f_.MediaPlayer1, MCI_STATUS_SOUND_SERVER));
    if (note.isEmpty()) return;
    f_.resamplingTold_ = true;
    ConsoleNote(note);
}

TRunOutcome TConversionRun::Execute() {
    f_.lastConversionWhole_ = false;
    if (f_.FilenameEdit1->FileName().isEmpty() || f_.FilenameEdit2->FileName().isEmpty()) {
        ShowMessage({QString::fromLatin1(kSelectFilesFirst)});
        return {};
    }
    midi_ = LocalPath(f_.FilenameEdit1->FileName());
    wav_ = LocalPath(f_.FilenameEdit2->FileName());
    CheckOutput();
    OpenMidi();
    if (f_.commandLineRun_) {
        TellResampling();
        const uint64_t limitMs = engine::kLargestCapture * 1000 / engine::kCaptureBytesPerSecond;
        QString note = QStringLiteral("%1 plays for %2; recording it in real time into %3.")
                           .arg(FromLocal(midi_), QString::fromStdString(FormatLength(lengthMs_)),
                                FromLocal(wav_));
        if (uint64_t(lengthMs_) > limitMs)
            note +=
                QStringLiteral("\nA WAV file holds at most %1: only that much will be recorded.")
                    .arg(QString::fromStdString(FormatLength(int64_t(limitMs))));
        ConsoleNote(note);
    }

    TRunEnding ending;
    ending.target = wav_;
    StartAndPoll(ending);
    const TRunReport report = Finish(ending);
    f_.lastConversionWhole_ = report.Whole();
    if (gainDb_) {
        // Said where the run's ending is seen: the console, or the window's clock line.
        const QString note = NormalizedText(*gainDb_);
        if (f_.commandLineRun_)
            ConsoleNote(note);
        else
            f_.Label4->setText(note);
    }
    if (!report.Empty()) ShowMessage({report.Text(), TMsgIcon::miWarning});
    return {report.Whole(), ending.signal, lengthMs_, fileMs_};
}

void TConversionRun::StartAndPoll(TRunEnding& ending) {
    f_.SetRunButtonsEnabled(false);
    f_.convertingMidi_ = midi_;
    f_.cancelled_ = false;
    bool captureRunning = false;
    try {
        f_.SetMixerBtnClick();
        // The capture listens before the music starts, so the first notes are never lost.
        f_.RecordBtnClick();
        captureRunning = true;
        // A recording that cannot be kept is not worth a note of music.
        if (!engine::CaptureEnded()) {
            f_.MediaPlayer1.Play();
            if (f_.MediaPlayer1.LastError() != 0) ending.playError = f_.MediaPlayer1.ErrorText();
        }
        f_.StopPlayBtn->setEnabled(true);
        if (f_.stopRequested_) f_.StopPlayBtnClick();
        bool stopAsked = false;
        TRunPoll poll(f_.MediaPlayer1, f_.ProgressBar1, f_.Label4, f_.commandLineRun_,
                      f_.consolePrefix_);
        ending.lastPositionMs = poll.Run(TotalTimeText(f_.MediaPlayer1.Length()), [&] {
            // Stopped as Cancel would: the file stays valid with what it holds.
            if (stopAsked || !engine::CaptureEnded()) return;
            stopAsked = true;
            f_.StopPlayBtnClick();
        });
        ending.serverLost = f_.MediaPlayer1.Mode() == pmNotReady;
    } catch (...) {
        AbortRun(captureRunning);
        throw;
    }
}

// Whatever broke the run, the capture thread and the device must not outlive it.
void TConversionRun::AbortRun(bool captureRunning) {
    f_.StopPlayBtn->setEnabled(false);
    if (captureRunning) f_.StopBtnClick();
    f_.MediaPlayer1.Close();
    f_.SetRunButtonsEnabled(true);
    f_.PaintBox1->Clear();
    f_.convertingMidi_.clear();
}

TRunReport TConversionRun::Finish(TRunEnding& ending) {
    f_.Label4->clear();
    f_.ProgressBar1->setValue(0);
    f_.StopPlayBtn->setEnabled(false);
    // Known before the stop, which decides by them whether the recording replaces the output.
    ending.underflows = f_.MediaPlayer1.IsOpen() ? f_.MediaPlayer1.Underflows() : 0;
    ending.readInPart = DeviceStatus(f_.MediaPlayer1, MCI_STATUS_READ_IN_PART);
    ending.signal = f_.stopSignal_;
    ending.cancelled = f_.cancelled_;
    const bool manyFiles = f_.commandLine_.to.has_value();
    const engine::CaptureResult result = f_.StopBtnClick(
        [&](const engine::CaptureResult& c) { return ReplacesTarget(c, ending, manyFiles); },
        engine::Finishing{f_.commandLine_.normalize});
    fileMs_ = result.bytesCaptured * 1000 / engine::kCaptureBytesPerSecond;
    gainDb_ = result.gainDb;
    f_.MediaPlayer1.Close();
    f_.SetRunButtonsEnabled(true);
    f_.PaintBox1->Clear();
    f_.convertingMidi_.clear();
    return ReportConversion(result, ending);
}

}  // namespace app
