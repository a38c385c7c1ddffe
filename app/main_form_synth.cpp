// The window's synthesizer row: which synthesizer and SoundFont a conversion plays through, and
// the note under it on what the recording holds. The choice holds for this window's conversions
// and is kept nowhere else.
#include <algorithm>

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>

#include "app/local_names.h"
#include "app/main_form.h"
#include "app/synth_ports.h"
#include "platform/soundfont_search.h"

namespace app {

namespace {

const TSynthChoice kNoSoundFont{TSynthChoice::Kind::kBuiltIn, "",
                                QStringLiteral("No SoundFont found"), {}, {}};

QString AskSoundFont(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QStringLiteral("Choose a SoundFont"), folder,
                       QStringLiteral("SoundFont files (*.sf2 *.sf3)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

void TMainForm::BuildSynthRow() {
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(88, 320, 361, 21);
    Label6 = new QLabel(QStringLiteral("&Synthesizer:"), this);
    Label6->move(8, 323);
    Label6->adjustSize();
    Label6->setBuddy(ComboBox1);

    // No cable and no recording device to choose: the recording hears this synthesizer alone.
    Label5 = new QLabel(this);
    Label5->setGeometry(8, 345, 441, 16);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label5->setText(
        QStringLiteral("Only the chosen synthesizer is recorded, never other programs' sound."));

    askSoundFont_ = [this](QWidget* parent) {
        const std::string& now = ChosenSynth().soundFont;
        const QString folder = now.empty() ? QStringLiteral("/usr/share/sounds/sf2")
                                           : FromLocal(now.substr(0, now.find_last_of('/')));
        return AskSoundFont(parent, folder);
    };
    FillSynthChoices();
    connect(ComboBox1, &QComboBox::activated, this, &TMainForm::SynthActivated);
}

void TMainForm::FillSynthChoices() {
    synthChoices_ = BuiltInChoices(platform::SoundFontSearch::OnThisMachine().Find());
    if (synthChoices_.empty()) synthChoices_.push_back(kNoSoundFont);
    for (const TSynthChoice& choice : synthChoices_) ComboBox1->addItem(choice.text);
    ComboBox1->addItem(QStringLiteral("Other SoundFont…"));
    synthIndex_ = 0;
    ComboBox1->setCurrentIndex(0);
    // The environment's SoundFont is the synthesizer's default: the list starts with it chosen.
    const QByteArray fromEnvironment = qgetenv("TONVERA_SOUNDFONT");
    if (!fromEnvironment.isEmpty()) ChooseSoundFont(fromEnvironment.toStdString());
}

// Asked once the window is there for the user, never for a command-line run: every JACK
// client open touches libjack's shared lock, which a run killed in the middle would leave held.
void TMainForm::OfferExternalSynths() {
    if (externalOffered_) return;
    externalOffered_ = true;
    for (TSynthChoice& jack : JackChoices(SynthMidiInputs())) {
        if (std::any_of(synthChoices_.begin(), synthChoices_.end(),
                        [&](const TSynthChoice& c) { return c.port == jack.port; }))
            continue;
        synthChoices_.push_back(std::move(jack));
        ComboBox1->insertItem(int(synthChoices_.size() - 1), synthChoices_.back().text);
    }
}

const TSynthChoice& TMainForm::ChosenSynth() const {
    return synthChoices_.at(size_t(synthIndex_));
}

void TMainForm::ChooseSoundFont(const std::string& path) {
    size_t at = 0;
    while (at < synthChoices_.size() && synthChoices_[at].soundFont != path &&
           !platform::SoundFontSearch::SameFile(synthChoices_[at].soundFont, path))
        ++at;
    if (at == synthChoices_.size()) {
        synthChoices_.push_back(BuiltInChoice(path));
        ComboBox1->insertItem(int(at), synthChoices_.back().text);
    }
    synthIndex_ = int(at);
    ComboBox1->setCurrentIndex(synthIndex_);
}

void TMainForm::ChooseSynthPort(const std::string& port, const std::string& recordPorts) {
    size_t at = 0;
    while (at < synthChoices_.size() && (synthChoices_[at].port != port ||
                                         synthChoices_[at].recordPorts != recordPorts))
        ++at;
    if (at == synthChoices_.size()) {
        synthChoices_.push_back(JackChoice(port, recordPorts));
        ComboBox1->insertItem(int(at), synthChoices_.back().text);
    }
    synthIndex_ = int(at);
    ComboBox1->setCurrentIndex(synthIndex_);
}

void TMainForm::SynthActivated(int index) {
    if (index >= 0 && size_t(index) < synthChoices_.size()) {
        synthIndex_ = index;
        return;
    }
    // "Other SoundFont…": a file chosen joins the list; a cancelled dialog changes nothing.
    const QString picked = askSoundFont_ ? askSoundFont_(this) : QString();
    if (picked.isEmpty()) {
        ComboBox1->setCurrentIndex(synthIndex_);
        return;
    }
    ChooseSoundFont(LocalPath(picked));
}

}  // namespace app
