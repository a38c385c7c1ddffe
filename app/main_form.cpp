#include "app/main_form.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/about_box.h"
#include "app/clock_text.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/file_identity.h"
#include "app/messages.h"
#include "app/preview_box.h"
#include "app/stop_signals.h"
#include "controls/app_glyphs.h"
#include "controls/buttons_xp.h"
#include "controls/tool_edit.h"
#include "engine/mixer_routing.h"
#include "platform/exception.h"

namespace app {

const char* const kSelectFilesFirst =
    "You have to select a midi and wav file first! Click on the little button at the right side "
    "of the file name edit fields!";

namespace {

std::string LocalPath(const QString& name) {
    return QFile::encodeName(name).toStdString();
}
QString FromLocal(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

TBitBtnXP* MakeButton(QWidget* parent, const QRect& bounds) {
    auto* button = new TBitBtnXP(parent);
    button->setGeometry(bounds);
    return button;
}

// Lets the window's events through, waiting at most until the next tick of a running timer
// when there are none: the poll must not keep a processor busy.
void PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// "The recording has gaps: 0:12: 42 ms missing, ...", the first ten of them.
QString GapText(const std::vector<engine::CaptureGap>& gaps) {
    QStringList parts;
    for (size_t i = 0; i < gaps.size() && i < 10; ++i)
        parts << QStringLiteral("%1: %2 ms missing")
                     .arg(QString::fromStdString(FormatClock(int32_t(gaps[i].positionMs))))
                     .arg(gaps[i].lengthMs);
    if (gaps.size() > 10) parts << QStringLiteral("and %1 more").arg(gaps.size() - 10);
    return QStringLiteral("The recording has gaps: %1.").arg(parts.join(QStringLiteral(", ")));
}

int Percent(int32_t position, int32_t length) {
    if (length <= 0) return 0;
    const int64_t percent = int64_t(position) * 100 / length;
    return int(std::clamp<int64_t>(percent, 0, 100));
}

}  // namespace

TMainForm::TMainForm(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      arguments_(std::move(arguments)) {
    quitRequest_ = [](int code) {
        QMetaObject::invokeMethod(
            qApp, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    };
    BuildControls();
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildControls() {
    setWindowTitle(QStringLiteral("Brennholt Tonvera"));
    setFixedSize(457, 421);
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    setFont(f);

    Label1 = MakeLabel(this, QStringLiteral("MIDI file:"), 8, 32);
    Label2 = MakeLabel(this, QStringLiteral("WAV file:"), 8, 56);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 371, 457, 2);

    KonvertBtn = MakeButton(this, {92, 384, 145, 25});
    KonvertBtn->BeginLoad();
    KonvertBtn->SetCaption(QStringLiteral("Convert file"));
    KonvertBtn->SetKind(bkAll);
    KonvertBtn->EndLoad();

    StopPlayBtn = MakeButton(this, {244, 384, 121, 25});
    StopPlayBtn->SetKind(bkCancel);
    StopPlayBtn->setEnabled(false);

    FilenameEdit1 = new TFilenameEdit(this);
    FilenameEdit1->setGeometry(88, 32, 361, 21);
    FilenameEdit1->SetDialogKind(dkOpen);
    FilenameEdit1->SetFilter(QStringLiteral("MIDI-Dateien (*.mid)|*.mid"));

    FilenameEdit2 = new TFilenameEdit(this);
    FilenameEdit2->setGeometry(88, 56, 361, 21);
    FilenameEdit2->SetDialogKind(dkSave);
    FilenameEdit2->SetFilter(QStringLiteral("WAV-Dateien (*.wav)|*.wav"));

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setGeometry(80, 88, 377, 45);
    TrackBar1->setRange(0, 100);
    TrackBar1->setValue(30);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(2);

    Label3 = MakeLabel(this, QStringLiteral("Volume:"), 8, 88);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setGeometry(8, 136, 441, 121);
    ScrollBox1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    ScrollBox1->setFocusPolicy(Qt::NoFocus);
    ScrollBox1->setWidgetResizable(true);
    PaintBox1 = new TPreviewBox;
    ScrollBox1->setWidget(PaintBox1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(8, 264, 441, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    // Auto-sized in spirit: wide enough for any clock up to the play button.
    Label4 = new QLabel(this);
    Label4->setGeometry(8, 288, 265, 13);

    PlayWAVBtn = MakeButton(this, {280, 288, 171, 25});
    PlayWAVBtn->SetCaption(QStringLiteral("Play WAV file"));
    PlayWAVBtn->SetGlyph(PlayWavGlyph());

    AboutBtn = MakeButton(this, {296, 4, 147, 25});
    AboutBtn->SetCaption(QStringLiteral("About the program..."));
    AboutBtn->SetGlyph(AboutGlyph());

    Label5 = new QLabel(this);
    Label5->setGeometry(8, 320, 441, 41);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label5->setText(QStringLiteral(
        "Vista does not allow you to record what you hear. You need to connect the speaker and "
        "the mircrophone connector of your sound card with a cable.\n"
        "Under XP you can select a sound recording device to record what you hear."));

    QWidget::setTabOrder(KonvertBtn, StopPlayBtn);
    QWidget::setTabOrder(StopPlayBtn, FilenameEdit1);
    QWidget::setTabOrder(FilenameEdit1, FilenameEdit2);
    QWidget::setTabOrder(FilenameEdit2, TrackBar1);
    QWidget::setTabOrder(TrackBar1, PlayWAVBtn);
    QWidget::setTabOrder(PlayWAVBtn, AboutBtn);

    connect(KonvertBtn, &QAbstractButton::clicked, this,
            [this] { Guarded([this] { KonvertBtnClick(); }); });
    connect(StopPlayBtn, &QAbstractButton::clicked, this,
            [this] { Guarded([this] { StopPlayBtnClick(); }); });
    connect(PlayWAVBtn, &QAbstractButton::clicked, this,
            [this] { Guarded([this] { PlayWAVBtnClick(); }); });
    connect(AboutBtn, &QAbstractButton::clicked, this,
            [this] { Guarded([this] { AboutBtnClick(); }); });
}

void TMainForm::FormCreate() {
    FormCreateFor(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
}

void TMainForm::FormCreateFor(const QString& executablePath, const WritableProbe& writable) {
    ProgramFolder = executablePath.left(executablePath.lastIndexOf(u'/') + 1);
    if (!ProgramFolder.endsWith(u'/')) ProgramFolder += u'/';
    // An installed program's folder is nobody's to write: then the user's music folder.
    const QString folder = DefaultOutputFolder(ProgramFolder, writable);
    // A folder the field refuses leaves it empty; start-up goes on.
    Guarded([&] { FilenameEdit2->SetFileName(folder + QStringLiteral("out.wav")); });
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    if (!shown_) {
        shown_ = true;
        if (const QScreen* s = screen()) {
            const QRect area = s->geometry();
            move(area.x() + (area.width() - width()) / 2,
                 area.y() + (area.height() - height()) / 2);
        }
        KonvertBtn->setFocus();
    }
}

void TMainForm::FormShow() {
    // One argument is what a file manager passes to open a file: the window shows it.
    if (arguments_.size() == 1)
        Guarded([this] { FilenameEdit1->SetFileName(FromLocal(arguments_[0])); });
    if (arguments_.size() < 2) return;
    commandLineRun_ = true;
    stopRequested_ = false;
    TStopSignals stopSignals([this] { OnStopSignal(); });
    const bool finished = Guarded([this] {
        FilenameEdit1->SetFileName(FromLocal(arguments_[0]));
        FilenameEdit2->SetFileName(FromLocal(arguments_[1]));
        if (arguments_.size() >= 3) {
            if (const auto volume = ParseInteger(arguments_[2])) TrackBar1->setValue(*volume);
        }
        KonvertBtnClick();
    });
    EndConsoleProgress();
    commandLineRun_ = false;
    // The program stays open after an error, unless nobody could see it or close it.
    if (finished)
        quitRequest_(lastConversionWhole_ ? 0 : 1);
    else if (Headless())
        quitRequest_(1);
}

void TMainForm::OnStopSignal() {
    if (StopPlayBtn->isEnabled())
        Guarded([this] { StopPlayBtnClick(); });
    else
        stopRequested_ = true;
}

void TMainForm::AboutBtnClick() {
    if (aboutBox_) aboutBox_->exec();
}

void TMainForm::SetMixerBtnClick() {
    engine::SetMixerBtnClick(TrackBar1->value());
}

void TMainForm::RecordBtnClick() {
    const std::string midi = convertingMidi_;
    engine::RecordBtnClick(
        [this, midi] {
            // Read at the stop: a name typed during the run counts, the MIDI file never does.
            const std::string wav = LocalPath(FilenameEdit2->FileName());
            return NamesSameFile(wav, midi) ? std::string() : wav;
        },
        [box = PaintBox1](std::vector<uint8_t> bytes) { box->PostNewest(std::move(bytes)); });
}

engine::CaptureResult TMainForm::StopBtnClick() {
    return engine::StopBtnClick([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
}

void TMainForm::KonvertBtnClick() {
    lastConversionWhole_ = false;
    if (FilenameEdit1->FileName().isEmpty() || FilenameEdit2->FileName().isEmpty()) {
        ShowMessage({QString::fromLatin1(kSelectFilesFirst)});
        return;
    }
    const std::string midi = LocalPath(FilenameEdit1->FileName());
    const std::string wav = LocalPath(FilenameEdit2->FileName());
    if (NamesSameFile(midi, wav))
        throw Exception("The WAV file must not be the MIDI file itself: " + wav);

    MediaPlayer1.FileName = midi;
    MediaPlayer1.Open();
    KonvertBtn->setEnabled(false);
    convertingMidi_ = midi;
    std::string playError;
    bool captureRunning = false;
    try {
        SetMixerBtnClick();
        // The capture listens before the music starts, so the first notes are never lost.
        RecordBtnClick();
        captureRunning = true;
        MediaPlayer1.Play();
        if (MediaPlayer1.LastError() != 0) playError = MediaPlayer1.ErrorText();
        StopPlayBtn->setEnabled(true);
        if (stopRequested_) StopPlayBtnClick();
        MediaPlayer1.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        Poll(TotalTimeText(MediaPlayer1.Length()));
    } catch (...) {
        // Whatever broke the run, the capture thread and the device must not outlive it.
        StopPlayBtn->setEnabled(false);
        if (captureRunning) StopBtnClick();
        MediaPlayer1.Close();
        KonvertBtn->setEnabled(true);
        PaintBox1->Clear();
        throw;
    }
    EndConsoleProgress();
    Label4->clear();
    ProgressBar1->setValue(0);
    StopPlayBtn->setEnabled(false);
    const engine::CaptureResult result = StopBtnClick();
    const int32_t underflows = MediaPlayer1.IsOpen() ? MediaPlayer1.Underflows() : 0;
    MediaPlayer1.Close();
    KonvertBtn->setEnabled(true);
    PaintBox1->Clear();
    convertingMidi_.clear();
    ReportConversion(result, underflows, playError);
}

void TMainForm::ReportConversion(const engine::CaptureResult& result, int32_t underflows,
                                 const std::string& playError) {
    QStringList problems;
    const QString path = FromLocal(result.path);
    if (!playError.empty())
        problems
            << QStringLiteral("The MIDI file could not be played: %1").arg(FromLocal(playError));
    if (!result.deviceOpened)
        problems << QStringLiteral(
            "No WAV file was written: the recording device could not be opened.");
    else if (result.bytesCaptured == 0)
        problems << QStringLiteral("No WAV file was written: nothing was recorded.");
    else if (!result.fileWritten)
        problems << QStringLiteral("The WAV file could not be written: %1").arg(path);
    if (result.fileWritten && result.reachedSizeLimit)
        problems << QStringLiteral(
                        "The recording reached the largest size a WAV file can hold: %1 holds "
                        "only the beginning of the music.")
                        .arg(path);
    if (!result.gaps.empty()) problems << GapText(result.gaps);
    if (underflows > 0)
        problems << QStringLiteral(
                        "The synthesizer's sound stream ran dry %1 time(s) during the "
                        "conversion: the WAV file has gaps.")
                        .arg(underflows);
    lastConversionWhole_ = problems.isEmpty() && result.fileWritten;
    if (!problems.isEmpty()) ShowMessage({problems.join(u'\n'), TMsgIcon::miWarning});
}

void TMainForm::PlayWAVBtnClick() {
    MediaPlayer1.FileName = LocalPath(FilenameEdit2->FileName());
    MediaPlayer1.Open();
    PlayWAVBtn->setEnabled(false);
    try {
        MediaPlayer1.Play();
        StopPlayBtn->setEnabled(true);
        MediaPlayer1.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        Poll(TotalTimeText(MediaPlayer1.Length()));
    } catch (...) {
        StopPlayBtn->setEnabled(false);
        MediaPlayer1.Close();
        PlayWAVBtn->setEnabled(true);
        throw;
    }
    Label4->clear();
    ProgressBar1->setValue(0);
    StopPlayBtn->setEnabled(false);
    MediaPlayer1.Close();
    PlayWAVBtn->setEnabled(true);
}

void TMainForm::StopPlayBtnClick() {
    MediaPlayer1.Stop();
}

void TMainForm::Poll(const std::string& totalTime) {
    QTimer wake;  // bounds each wait for events to 10 ms
    wake.start(10);
    while (MediaPlayer1.Mode() == pmPlaying) {
        const int percent = Percent(MediaPlayer1.Position(), MediaPlayer1.Length());
        ProgressBar1->setValue(percent);
        const std::string clock = FormatClock(MediaPlayer1.Position()) + totalTime;
        Label4->setText(QString::fromStdString(clock));
        if (commandLineRun_) DrawConsoleProgress(clock, percent);
        PumpMessages();
    }
}

void TMainForm::DrawConsoleProgress(const std::string& clock, int percent) {
    if (!isatty(STDERR_FILENO)) return;
    const std::string line = clock + "  " + std::to_string(percent) + "%";
    if (line == consoleLine_) return;
    // Pad to the old width so a shorter line leaves nothing behind.
    std::string padded = line;
    if (padded.size() < consoleLine_.size())
        padded.append(consoleLine_.size() - padded.size(), ' ');
    std::fprintf(stderr, "\r%s", padded.c_str());
    std::fflush(stderr);
    consoleLine_ = line;
}

void TMainForm::EndConsoleProgress() {
    if (consoleLine_.empty()) return;
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    consoleLine_.clear();
}

}  // namespace app
