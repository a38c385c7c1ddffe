#pragma once
// TMainForm: the program's one window. The conversion and playback runs live in its click
// handlers; the command-line mode in its show event. A MIDI or WAV file dropped on it fills its
// field (main_form_files.cpp); its controls' names for screen readers are in
// main_form_access.cpp.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_plan.h"
#include "app/command_line.h"
#include "app/conversion_run.h"
#include "app/default_output.h"
#include "app/desktop_notice.h"
#include "app/file_drop.h"
#include "app/output_proposal.h"
#include "app/synth_choices.h"
#include "engine/capture.h"
#include "media/mplayer.h"

class QComboBox;
class QFrame;
class QLabel;
class QMimeData;
class QProgressBar;
class QScrollArea;
class QSlider;
class TAboutBox;
class TBitBtnXP;
class TFilenameEdit;

namespace app {

class TPreviewBox;

// The message of a run started without both paths.
extern const char* const kSelectFilesFirst;

class TMainForm : public QWidget {
    Q_OBJECT
  public:
    // arguments: the command line's file arguments.
    explicit TMainForm(std::vector<std::string> arguments = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    TMediaPlayer MediaPlayer1;
    QFrame* Bevel1 = nullptr;
    TBitBtnXP* KonvertBtn = nullptr;
    TBitBtnXP* StopPlayBtn = nullptr;
    TFilenameEdit* FilenameEdit1 = nullptr;
    TFilenameEdit* FilenameEdit2 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label3 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TPreviewBox* PaintBox1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label4 = nullptr;
    TBitBtnXP* PlayWAVBtn = nullptr;
    TBitBtnXP* AboutBtn = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    // The synthesizer choices, then "Other SoundFont…", which asks for a file.
    QComboBox* ComboBox1 = nullptr;

    // The executable's folder, ending in "/".
    QString ProgramFolder;

    void FormCreate();
    // FormCreate for an executable at the given path, asking `writable` which folders may be
    // written.
    void FormCreateFor(const QString& executablePath,
                       const WritableProbe& writable = FolderWritable);
    void FormShow();
    void AboutBtnClick();

    void KonvertBtnClick();
    void PlayWAVBtnClick();
    void StopPlayBtnClick();

    // The hidden buttons' handlers.
    void SetMixerBtnClick();
    void RecordBtnClick();
    engine::CaptureResult StopBtnClick(const engine::PlacementRule& place = {},
                                       const engine::Finishing& finishing = {});

    void SetAboutBox(TAboutBox* box) { aboutBox_ = box; }
    // The command line's options beyond its files: --volume, --soundfont or --synth with
    // --record, --normalize, and --to
    // with --overwrite and --format (many files, recorded one after another).
    void SetCommandLine(const TCommandLine& line);
    // The synthesizer the next conversion plays through.
    const TSynthChoice& ChosenSynth() const;
    // Chooses the built-in synthesizer with this SoundFont, added to the list if it is not there.
    void ChooseSoundFont(const std::string& path);
    // Chooses an external synthesizer: this JACK MIDI input (or client), recorded from these
    // audio ports (empty: its client's outputs); added to the list if it is not there.
    void ChooseSynthPort(const std::string& port, const std::string& recordPorts = {});
    // How "Other SoundFont…" asks for a file: its path, or "" when the user cancelled. By
    // default a file dialog.
    void SetSoundFontDialog(std::function<QString(QWidget* parent)> ask) {
        askSoundFont_ = std::move(ask);
    }

    // Whether the last conversion wrote the whole piece into its WAV file.
    bool LastConversionWhole() const { return lastConversionWhole_; }
    // How the window ends the program: once the command line's run is over, or when it is
    // closed. By default an exit with this code, posted to the application's queue.
    void SetQuitRequest(std::function<void(int exitCode)> quit) { quitRequest_ = std::move(quit); }
    // Where a conversion the user did not watch is reported; by default the desktop's
    // notification service.
    void SetDesktopNotice(std::unique_ptr<TDesktopNotice> notice) { notice_ = std::move(notice); }

  protected:
    void showEvent(QShowEvent* event) override;
    // During a run the window stays: it closes once the run is over. Closing it ends the
    // program.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    friend class TConversionRun;

    void BuildControls();
    void RunBatch();
    TRunOutcome ConvertJob(const TBatchJob& job, int volume);
    void BuildRunButtons();
    void BuildFileFields();
    void BuildVolumeAndPreview();
    void BuildPlayAndAbout();
    // The synthesizer row and the note under it (main_form_synth.cpp).
    void BuildSynthRow();
    void FillSynthChoices();
    // The JACK MIDI inputs join the list after the SoundFonts, when a server answers.
    void OfferExternalSynths();
    void SynthActivated(int index);
    void ConnectButtons();
    void DescribeControls();
    // What a drop would put into a field; nothing while a run has the fields.
    TDroppedFile Droppable(const QMimeData* data) const;
    // A MIDI file the user chose: the proposed output follows it while it is the program's.
    void MidiPicked(const QString& midi);
    // A conversion that went well while the user looked elsewhere is told to the desktop.
    void TellDone();
    // The click of a run's button: a close asked for while it runs comes after it.
    void RunHandler(const std::function<void()>& handler);
    // Both runs share the one player: while either runs, neither may start.
    void SetRunButtonsEnabled(bool enabled);
    void OnStopSignal(int signal);
    // The command line's exit code after its conversion: 0 only for the whole piece, 128 + n
    // after signal n.
    int ExitCode() const;

    TCommandLine commandLine_;
    TAboutBox* aboutBox_ = nullptr;
    std::function<void(int)> quitRequest_;
    std::string convertingMidi_;  // the MIDI file of the running conversion
    bool lastConversionWhole_ = false;
    bool commandLineRun_ = false;
    bool resamplingTold_ = false;  // the command line said that the server resamples
    bool stopRequested_ = false;
    int stopSignal_ = 0;  // the first signal of the running command-line conversion
    // The program's exit code when the window is closed: a command-line conversion that failed
    // with its error on screen still fails.
    int closeExitCode_ = 0;
    bool shown_ = false;
    TRunOutcome lastRun_;
    std::string consolePrefix_;  // before the progress line of a many-files run's conversion
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool cancelled_ = false;  // the running conversion was cancelled by the user
    TOutputProposal proposal_;
    std::vector<TSynthChoice> synthChoices_;  // the list's items before "Other SoundFont…"
    int synthIndex_ = 0;                      // the choice in force
    bool externalOffered_ = false;
    std::function<QString(QWidget*)> askSoundFont_;
    std::unique_ptr<TDesktopNotice> notice_;
};

}  // namespace app
