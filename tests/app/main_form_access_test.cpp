// The main window for screen readers and the keyboard: what they learn of its controls, and the
// keys its labels lend them.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QTest>

#include "app/preview_box.h"
#include "controls/buttons_xp.h"
#include "controls/edit_button.h"
#include "main_form_fixture.h"

namespace {

using apptest::MainFormTest;

QAccessibleInterface* Access(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

TEST_F(MainFormTest, EveryControlHasANameADescriptionAndItsRole) {
    auto& f = Form();
    using R = QAccessible::Role;
    const std::vector<std::pair<QWidget*, R>> controls = {{&f, R::Client},
                                                          {f.Label1, R::StaticText},
                                                          {f.Label2, R::StaticText},
                                                          {f.Bevel1, R::Border},
                                                          {f.KonvertBtn, R::Button},
                                                          {f.StopPlayBtn, R::Button},
                                                          {f.TrackBar1, R::Slider},
                                                          {f.Label3, R::StaticText},
                                                          {f.ScrollBox1, R::Client},
                                                          {f.PaintBox1, R::Client},
                                                          {f.ProgressBar1, R::ProgressBar},
                                                          {f.Label4, R::StaticText},
                                                          {f.PlayWAVBtn, R::Button},
                                                          {f.AboutBtn, R::Button},
                                                          {f.Label5, R::StaticText},
                                                          {f.Label6, R::StaticText},
                                                          {f.ComboBox1, R::ComboBox},
                                                          {f.FilenameEdit1, R::EditableText},
                                                          {f.FilenameEdit1->Button(), R::Button},
                                                          {f.FilenameEdit2, R::EditableText},
                                                          {f.FilenameEdit2->Button(), R::Button}};
    for (const auto& [widget, role] : controls) {
        QAccessibleInterface* access = Access(widget);
        const std::string what = widget->metaObject()->className();
        EXPECT_FALSE(access->text(QAccessible::Name).isEmpty()) << what;
        EXPECT_FALSE(access->text(QAccessible::Description).isEmpty()) << what;
        EXPECT_EQ(access->role(), role) << what;
    }
    EXPECT_EQ(Access(f.FilenameEdit1)->text(QAccessible::Name), "MIDI file");
    // The two browse buttons look alike; their names say which file each chooses.
    EXPECT_NE(Access(f.FilenameEdit1->Button())->text(QAccessible::Name),
              Access(f.FilenameEdit2->Button())->text(QAccessible::Name));

    // The track bar is heard as the volume, and its value as it changes.
    QAccessibleInterface* volume = Access(f.TrackBar1);
    EXPECT_EQ(volume->text(QAccessible::Name), "Volume");
    ASSERT_NE(volume->valueInterface(), nullptr);
    EXPECT_EQ(volume->valueInterface()->maximumValue().toInt(), 100);
    EXPECT_EQ(volume->text(QAccessible::Value), "30");
    f.TrackBar1->setValue(55);
    EXPECT_EQ(volume->valueInterface()->currentValue().toInt(), 55);
}

TEST_F(MainFormTest, TheLabelsLendTheirKeysToTheFieldsAndTheTrackBar) {
    auto& f = Form();
    const std::vector<std::tuple<QLabel*, QWidget*, QString, Qt::Key>> pairs = {
        {f.Label1, f.FilenameEdit1, "MIDI file:", Qt::Key_M},
        {f.Label2, f.FilenameEdit2, "WAV file:", Qt::Key_W},
        {f.Label3, f.TrackBar1, "Volume:", Qt::Key_V},
        {f.Label6, f.ComboBox1, "Synthesizer:", Qt::Key_S}};
    for (const auto& [label, buddy, text, key] : pairs) {
        EXPECT_EQ(label->buddy(), buddy);
        EXPECT_EQ(label->text(), "&" + text);
        // The text takes the room it took without its mnemonic.
        QLabel plain(text, &f);
        plain.setFont(label->font());
        plain.adjustSize();
        EXPECT_EQ(label->size(), plain.size()) << text.toStdString();
        // A screen reader hears which label names the control.
        bool labelled = false;
        for (const auto& [other, relation] : Access(buddy)->relations(QAccessible::Label))
            labelled = labelled || other->object() == label;
        EXPECT_TRUE(labelled) << text.toStdString();
    }
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    for (const auto& [label, buddy, text, key] : pairs) {
        QTest::keyClick(&f, key, Qt::AltModifier);
        EXPECT_TRUE(buddy->hasFocus()) << text.toStdString();
    }
}

}  // namespace
