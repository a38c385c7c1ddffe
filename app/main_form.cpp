#include "app/main_form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>

#include "app/about_box.h"
#include "app/batch_run.h"
#include "app/clock_text.h"
#include "app/command_line.h"
#include "app/conversion_run.h"
#include "app/error_handler.h"
#include "app/file_identity.h"
#include "app/local_names.h"
#include "app/messages.h"
#include "app/preview_box.h"
#include "app/run_poll.h"
#include "app/stop_signals.h"
#include "controls/app_glyphs.h"
#include "controls/buttons_xp.h"
#include "controls/tool_edit.h"
#include "engine/mixer_routing.h"

namespace app {

const char* const kSelectFilesFirst =
    "You have to select a midi and wav file first! Click on the little button at the right side "
    "of the file name edit fields!";

namespace {

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

}  // namespace

TMainForm::TMainForm(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      notice_(FreedesktopNotice()) {
    commandLine_.files = std::move(arguments);
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

    // Created in the order of the window's description, which the stacking follows.
    Label1 = MakeLabel(this, QStringLiteral("&MIDI file:"), 8, 32);
    Label2 = MakeLabel(this, QStringLiteral("&WAV file:"), 8, 56);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 371, 457, 2);
    BuildRunButtons();
    BuildFileFields();
    BuildVolumeAndPreview();
    BuildPlayAndAbout();
    BuildSynthRow();
    ConnectButtons();
    DescribeControls();
    setAcceptDrops(true);
}

void TMainForm::BuildRunButtons() {
    KonvertBtn = MakeButton(this, {92, 384, 145, 25});
    KonvertBtn->BeginLoad();
    KonvertBtn->SetCaption(QStringLiteral("Convert file"));
    KonvertBtn->SetKind(bkAll);
    KonvertBtn->EndLoad();

    StopPlayBtn = MakeButton(this, {244, 384, 121, 25});
    StopPlayBtn->SetKind(bkCancel);
    StopPlayBtn->setEnabled(false);
}

void TMainForm::BuildFileFields() {
    FilenameEdit1 = new TFilenameEdit(this);
    FilenameEdit1->setGeometry(88, 32, 361, 21);
    FilenameEdit1->SetDialogKind(dkOpen);
    FilenameEdit1->SetFilter(QStringLiteral("MIDI-Dateien (*.mid)|*.mid"));

    FilenameEdit2 = new TFilenameEdit(this);
    FilenameEdit2->setGeometry(88, 56, 361, 21);
    FilenameEdit2->SetDialogKind(dkSave);
    FilenameEdit2->SetFilter(
        QStringLiteral("WAV-Dateien (*.wav)|*.wav|FLAC (*.flac)|*.flac|Ogg Vorbis (*.ogg)|*.ogg|"
                       "Opus (*.opus)|*.opus|MP3 (*.mp3)|*.mp3"));
}

void TMainForm::BuildVolumeAndPreview() {
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setGeometry(80, 88, 377, 45);
    TrackBar1->setRange(0, 100);
    TrackBar1->setValue(30);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(2);

    Label3 = MakeLabel(this, QStringLiteral("&Volume:"), 8, 88);

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
}

void TMainForm::BuildPlayAndAbout() {
    PlayWAVBtn = MakeButton(this, {280, 288, 171, 25});
    PlayWAVBtn->SetCaption(QStringLiteral("Play WAV file"));
    PlayWAVBtn->SetGlyph(PlayWavGlyph(), PlayWavGlyph2x());

    AboutBtn = MakeButton(this, {296, 4, 147, 25});
    AboutBtn->SetCaption(QStringLiteral("About the program..."));
    AboutBtn->SetGlyph(AboutGlyph(), AboutGlyph2x());
}

void TMainForm::ConnectButtons() {
    QWidget::setTabOrder(KonvertBtn, StopPlayBtn);
    QWidget::setTabOrder(StopPlayBtn, FilenameEdit1);
    QWidget::setTabOrder(FilenameEdit1, FilenameEdit2);
    QWidget::setTabOrder(FilenameEdit2, TrackBar1);
    QWidget::setTabOrder(TrackBar1, PlayWAVBtn);
    QWidget::setTabOrder(PlayWAVBtn, ComboBox1);
    QWidget::setTabOrder(ComboBox1, AboutBtn);

    connect(KonvertBtn, &QAbstractButton::clicked, this,
            [this] { RunHandler([this] { KonvertBtnClick(); }); });
    connect(StopPlayBtn, &QAbstractButton::clicked, this, [this] {
        cancelled_ = true;
        Guarded([this] { StopPlayBtnClick(); });
    });
    connect(PlayWAVBtn, &QAbstractButton::clicked, this,
            [this] { RunHandler([this] { PlayWAVBtnClick(); }); });
    connect(AboutBtn, &QAbstractButton::clicked, this,
            [this] { Guarded([this] { AboutBtnClick(); }); });
    connect(FilenameEdit1, &TFilenameEdit::FileChosen, this, &TMainForm::MidiPicked);
}

void TMainForm::RunHandler(const std::function<void()>& handler) {
    running_ = true;
    Guarded(handler);
    running_ = false;
    if (!closeAfterRun_) return;
    closeAfterRun_ = false;
    // From the main loop, once this click is over.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!running_) {
        QWidget::closeEvent(event);
        quitRequest_(closeExitCode_);
        return;
    }
    // The run is not cut short: the window stays on screen until it has written its file.
    event->ignore();
    closeAfterRun_ = true;
}

void TMainForm::SetRunButtonsEnabled(bool enabled) {
    KonvertBtn->setEnabled(enabled);
    PlayWAVBtn->setEnabled(enabled);
    ComboBox1->setEnabled(enabled);
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
    Guarded([&] {
        FilenameEdit2->SetFileName(folder + QStringLiteral("out.wav"));
        proposal_.Made(FilenameEdit2->FileName());
    });
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

void TMainForm::SetCommandLine(const TCommandLine& line) {
    commandLine_ = line;
    if (line.soundFont) ChooseSoundFont(*line.soundFont);
    if (line.synth) ChooseSynthPort(*line.synth, line.recordPorts.value_or(""));
}

void TMainForm::FormShow() {
    if (commandLine_.to) {
        RunBatch();
        return;
    }
    const std::vector<std::string>& files = commandLine_.files;
    // One argument is what a file manager passes to open a file: the window shows it.
    if (files.size() == 1) Guarded([&] { FilenameEdit1->SetFileName(FromLocal(files[0])); });
    if (files.size() < 2) return OfferExternalSynths();
    commandLineRun_ = true;
    stopRequested_ = false;
    stopSignal_ = 0;
    TStopSignals stopSignals([this](int signal) { OnStopSignal(signal); });
    const TVolumeChoice volume = ConversionVolume(commandLine_);
    if (!volume.warning.empty()) ConsoleNote(FromLocal(volume.warning));
    const bool finished = Guarded([&] {
        // A name reaches the disk as it was given, or the run does not start.
        FilenameEdit1->SetExactFileName(FromLocal(files[0]));
        FilenameEdit2->SetExactFileName(FromLocal(files[1]));
        TrackBar1->setValue(volume.volume);
        KonvertBtnClick();
    });
    commandLineRun_ = false;
    const int failed = stopSignal_ ? 128 + stopSignal_ : 1;
    // The program stays open after an error, unless nobody could see it or close it; closed, it
    // still tells the failure.
    if (finished)
        quitRequest_(ExitCode());
    else if (Headless())
        quitRequest_(failed);
    else
        closeExitCode_ = failed;
}

// Many files, recorded one after another; messages go to standard error, since no box may
// wait for a confirmation between them.
void TMainForm::RunBatch() {
    SetHeadless(true);
    commandLineRun_ = true;
    stopRequested_ = false;
    stopSignal_ = 0;
    TStopSignals stopSignals([this](int signal) { OnStopSignal(signal); });
    int code = 1;
    if (const std::string refused = BatchFolderRefusal(*commandLine_.to); !refused.empty()) {
        ShowMessage({FromLocal(refused), TMsgIcon::miStop});
    } else {
        const int volume = ConversionVolume(commandLine_).volume;
        const std::vector<TBatchJob> plan =
            PlanBatch(commandLine_.files, *commandLine_.to, commandLine_.overwrite,
                      platform::FormatExtension(commandLine_.format));
        code =
            RunRecordedBatch(plan, [this, volume](const TBatchJob& job, const std::string& place) {
                consolePrefix_ = place;
                return ConvertJob(job, volume);
            });
        consolePrefix_.clear();
    }
    commandLineRun_ = false;
    quitRequest_(code);
}

TRunOutcome TMainForm::ConvertJob(const TBatchJob& job, int volume) {
    lastRun_ = {};
    const bool finished = Guarded([&] {
        FilenameEdit1->SetExactFileName(FromLocal(job.midi));
        FilenameEdit2->SetExactFileName(FromLocal(job.wav));
        TrackBar1->setValue(volume);
        KonvertBtnClick();
    });
    if (!finished) return {false, stopSignal_, 0};
    return lastRun_;
}

int TMainForm::ExitCode() const {
    if (stopSignal_) return 128 + stopSignal_;
    return lastConversionWhole_ ? 0 : 1;
}

void TMainForm::OnStopSignal(int signal) {
    if (!stopSignal_) stopSignal_ = signal;
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
        [box = PaintBox1](std::vector<uint8_t> bytes) { box->PostNewest(std::move(bytes)); },
        MediaPlayer1.IsOpen() ? MediaPlayer1.DeviceId() : 0);
}

engine::CaptureResult TMainForm::StopBtnClick(const engine::PlacementRule& place,
                                              const engine::Finishing& finishing) {
    return engine::StopBtnClick([] { QCoreApplication::processEvents(QEventLoop::AllEvents); },
                                place, finishing);
}

void TMainForm::KonvertBtnClick() {
    lastRun_ = TConversionRun(*this).Execute();
    TellDone();
}

void TMainForm::TellDone() {
    // Whoever runs the command line is told on the console; a window in front speaks for
    // itself.
    if (!lastRun_.whole || commandLineRun_ || isActiveWindow() || !notice_) return;
    notice_->Tell(ReadyNotice(FilenameEdit2->FileName(), lastRun_.lengthMs));
}

void TMainForm::PlayWAVBtnClick() {
    MediaPlayer1.FileName = LocalPath(FilenameEdit2->FileName());
    MediaPlayer1.Open();
    SetRunButtonsEnabled(false);
    try {
        MediaPlayer1.Play();
        StopPlayBtn->setEnabled(true);
        MediaPlayer1.SetTimeFormat(MCI_FORMAT_MILLISECONDS);
        TRunPoll(MediaPlayer1, ProgressBar1, Label4, false)
            .Run(TotalTimeText(MediaPlayer1.Length()));
    } catch (...) {
        StopPlayBtn->setEnabled(false);
        MediaPlayer1.Close();
        SetRunButtonsEnabled(true);
        throw;
    }
    Label4->clear();
    ProgressBar1->setValue(0);
    StopPlayBtn->setEnabled(false);
    MediaPlayer1.Close();
    SetRunButtonsEnabled(true);
}

void TMainForm::StopPlayBtnClick() {
    MediaPlayer1.Stop();
}

}  // namespace app
