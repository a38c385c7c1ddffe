// The window's synthesizer row against in-memory devices: what it lists on a machine with two
// SoundFonts of the user's, how a choice is made, and that the conversion plays with it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <filesystem>
#include <fstream>

#include "controls/buttons_xp.h"
#include "main_form_fixture.h"
#include "support/scoped_env.h"

namespace {

namespace fs = std::filesystem;

class SynthRowTest : public apptest::MainFormTest {
  protected:
    void SetUp() override {
        MainFormTest::SetUp();
        // The user's folders are the test's; the system's stay what the machine has.
        env_.Set("HOME", QByteArray::fromStdString(Path("home")));
        env_.Set("XDG_DATA_HOME", QByteArray::fromStdString(Path("data")));
        env_.Set("TONVERA_SOUNDFONT", "");
        organ_ = Font("data/soundfonts/organ.sf2", 3 * 1024);
        piano_ = Font("data/soundfonts/Piano.sf2", 1536 * 1024);
    }
    std::string Font(const std::string& name, size_t bytes) const {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name), std::ios::binary) << std::string(bytes, 's');
        return Path(name);
    }
    static QStringList Items(const app::TMainForm& f) {
        QStringList items;
        for (int i = 0; i < f.ComboBox1->count(); ++i) items << f.ComboBox1->itemText(i);
        return items;
    }
    // Chooses the list's item as a user does, mouse or keyboard.
    static void Pick(app::TMainForm& f, int index) {
        f.ComboBox1->setCurrentIndex(index);
        emit f.ComboBox1->activated(index);
    }

    testsupport::ScopedEnv env_;
    std::string organ_, piano_;
};

TEST_F(SynthRowTest, TheRowTakesTheOldNotesPlaceAndTheNoteFitsOnOneLine) {
    auto& f = Form();
    EXPECT_EQ(f.size(), QSize(457, 421));
    const QRect area(8, 320, 441, 41);
    for (QWidget* w : {static_cast<QWidget*>(f.Label6), static_cast<QWidget*>(f.ComboBox1),
                       static_cast<QWidget*>(f.Label5)})
        EXPECT_TRUE(area.contains(w->geometry())) << w->metaObject()->className();
    EXPECT_FALSE(f.Label6->geometry().intersects(f.ComboBox1->geometry()));
    EXPECT_FALSE(f.ComboBox1->geometry().intersects(f.Label5->geometry()));
    EXPECT_EQ(f.ComboBox1->geometry().left(), f.FilenameEdit2->geometry().left());
    EXPECT_TRUE(f.Label5->text().contains("other programs' sound"));
    EXPECT_FALSE(f.Label5->text().contains("Vista"));
    EXPECT_LE(QFontMetrics(f.Label5->font()).horizontalAdvance(f.Label5->text()),
              f.Label5->width());
    // The keyboard reaches it after the play button, as the eye does.
    EXPECT_EQ(f.PlayWAVBtn->nextInFocusChain(), f.ComboBox1);
    EXPECT_EQ(f.ComboBox1->nextInFocusChain(), f.AboutBtn);
}

TEST_F(SynthRowTest, TheListHoldsTheMachinesSoundFontsThenOther) {
    auto& f = Form();
    const QStringList items = Items(f);
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items.back(), "Other SoundFont…");
    EXPECT_EQ(items.count("organ.sf2 (3 KB)"), 1) << items.join(" | ").toStdString();
    EXPECT_EQ(items.count("Piano.sf2 (1.5 MB)"), 1) << items.join(" | ").toStdString();
    EXPECT_EQ(items.indexOf("organ.sf2 (3 KB)") + 1, items.indexOf("Piano.sf2 (1.5 MB)"));
    EXPECT_EQ(QStringList(items).removeDuplicates(), 0);
    // The system's default, where the machine has one, is the first and chosen.
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
    if (fs::exists("/usr/share/sounds/sf2/default-GM.sf2")) {
        EXPECT_EQ(f.ChosenSynth().soundFont, "/usr/share/sounds/sf2/default-GM.sf2");
    } else {
        EXPECT_EQ(f.ChosenSynth().soundFont, organ_);
    }
    // TONVERA_SOUNDFONT is the one chosen at the start.
    env_.Set("TONVERA_SOUNDFONT", QByteArray::fromStdString(piano_));
    auto& again = Form();
    EXPECT_EQ(Items(again), items);
    EXPECT_EQ(again.ComboBox1->currentText(), "Piano.sf2 (1.5 MB)");
    EXPECT_EQ(again.ChosenSynth().soundFont, piano_);
}

TEST_F(SynthRowTest, OtherAsksForAFileAndACancelKeepsTheChoice) {
    auto& f = Form();
    const int other = f.ComboBox1->count() - 1;
    QStringList answers = {"", QString::fromStdString(Font("elsewhere/strings.sf2", 4096)),
                           QString::fromStdString(organ_)};
    int asked = 0;
    f.SetSoundFontDialog([&](QWidget*) { return answers.at(asked++); });
    Pick(f, other - 1);
    const std::string before = f.ChosenSynth().soundFont;
    Pick(f, other);  // cancelled
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f.ComboBox1->currentIndex(), other - 1);
    EXPECT_EQ(f.ChosenSynth().soundFont, before);
    Pick(f, other);  // a file of its own: added before "Other", and chosen
    EXPECT_EQ(f.ComboBox1->count(), other + 2);
    EXPECT_EQ(f.ComboBox1->currentText(), "strings.sf2 (4 KB)");
    EXPECT_EQ(f.ChosenSynth().soundFont, Path("elsewhere/strings.sf2"));
    EXPECT_EQ(f.ComboBox1->itemText(other + 1), "Other SoundFont…");
    Pick(f, other + 1);  // one the list has: chosen there, not added twice
    EXPECT_EQ(f.ComboBox1->count(), other + 2);
    EXPECT_EQ(f.ComboBox1->currentText(), "organ.sf2 (3 KB)");
}

TEST_F(SynthRowTest, TheConversionPlaysWithTheChoiceWhichRestsDuringTheRun) {
    auto& f = Form();
    SetPaths(f);
    Pick(f, Items(f).indexOf("organ.sf2 (3 KB)"));
    During([&] {
        EXPECT_FALSE(f.ComboBox1->isEnabled());
        wavein_->Feed(apptest::Sound(4410));
    });
    f.KonvertBtn->click();
    EXPECT_TRUE(duringRan_);
    EXPECT_TRUE(f.ComboBox1->isEnabled());
    ASSERT_GE(Count(MCI_OPEN), 1u);
    const auto& open = mci_->Log().front();
    EXPECT_EQ(open.msg, UINT(MCI_OPEN));
    EXPECT_TRUE(open.flags & MCI_SEQ_OPEN_SOUNDFONT);
    EXPECT_EQ(open.soundFont, organ_);

    // --soundfont chooses its file in the list, even one that cannot be read, whose conversion
    // then says why.
    app::TCommandLine line;
    line.soundFont = Path("gone.sf2");
    f.SetCommandLine(line);
    EXPECT_EQ(f.ComboBox1->currentText(), "gone.sf2 (cannot be read)");
    EXPECT_EQ(f.ChosenSynth().soundFont, Path("gone.sf2"));
}

}  // namespace
