// The main window for screen readers and the keyboard: every control's name and purpose, and
// the labels that lend their mnemonics to the controls beside them (Alt+M, Alt+W, Alt+V,
// Alt+S).
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <utility>

#include "app/accessible_text.h"
#include "app/main_form.h"
#include "app/preview_box.h"
#include "controls/buttons_xp.h"
#include "controls/edit_button.h"
#include "controls/tool_edit.h"

namespace app {

void TMainForm::DescribeControls() {
    // Only a label with a buddy reads "&" as a mnemonic: sized again, it keeps its width.
    for (auto [label, buddy] : {std::pair<QLabel*, QWidget*>{Label1, FilenameEdit1},
                                {Label2, FilenameEdit2},
                                {Label3, TrackBar1},
                                {Label6, ComboBox1}}) {
        label->setBuddy(buddy);
        label->adjustSize();
    }
    setAccessibleDescription(
        QStringLiteral("Turns a MIDI file into a WAV file by playing and recording it"));
    Describe(Label1, QStringLiteral("MIDI file"), QStringLiteral("Names the MIDI file field"));
    Describe(Label2, QStringLiteral("WAV file"), QStringLiteral("Names the WAV file field"));
    Describe(Label3, QStringLiteral("Volume"), QStringLiteral("Names the volume track bar"));
    Describe(FilenameEdit1, QStringLiteral("MIDI file"),
             QStringLiteral("The MIDI file to convert; a file dropped on the window goes here"));
    Describe(FilenameEdit1->Button(), QStringLiteral("Choose MIDI file"),
             QStringLiteral("Opens a dialog to choose the MIDI file"));
    Describe(FilenameEdit2, QStringLiteral("WAV file"),
             QStringLiteral("The WAV file the recording is written to"));
    Describe(FilenameEdit2->Button(), QStringLiteral("Choose WAV file"),
             QStringLiteral("Opens a dialog to choose where the WAV file goes"));
    Describe(TrackBar1, QStringLiteral("Volume"),
             QStringLiteral("Recording volume in percent, from 0 to 100"));
    Describe(ScrollBox1, QStringLiteral("Waveform"),
             QStringLiteral("The sound being recorded, drawn as it arrives"));
    Describe(PaintBox1, QStringLiteral("Waveform"),
             QStringLiteral("The sound being recorded, drawn as it arrives"));
    Describe(ProgressBar1, QStringLiteral("Progress"),
             QStringLiteral("How much of the piece has been played"));
    Describe(Label4, QStringLiteral("Time"), QStringLiteral("Time played and the piece's length"));
    Describe(Label5, QStringLiteral("Recording note"), Label5->text());
    Describe(Label6, QStringLiteral("Synthesizer"), QStringLiteral("Names the synthesizer list"));
    Describe(ComboBox1, QStringLiteral("Synthesizer"),
             QStringLiteral("The synthesizer and SoundFont the MIDI file is played with; the "
                            "last item chooses another SoundFont file"));
    Describe(Bevel1, QStringLiteral("Separator"),
             QStringLiteral("Sets the run buttons apart from the rest of the window"));
    Describe(KonvertBtn, QStringLiteral("Convert file"),
             QStringLiteral("Plays the MIDI file and records it into the WAV file"));
    Describe(StopPlayBtn, QStringLiteral("Cancel"),
             QStringLiteral("Stops the conversion or playback; what was recorded is kept"));
    Describe(PlayWAVBtn, QStringLiteral("Play WAV file"), QStringLiteral("Plays the WAV file"));
    Describe(AboutBtn, QStringLiteral("About the program"),
             QStringLiteral("Shows the version, the licence and the web site"));
}

}  // namespace app
