// The main window for screen readers and the keyboard: what they learn of its controls, and the
// keys its labels lend them.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <iostream>

#include "app/preview_box.h"
#include "controls/buttons_xp.h"
#include "controls/edit_button.h"
#include "main_form_fixture.h"

namespace {

using apptest::MainFormTest;

QAccessibleInterface* Access(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

struct Control {
    QWidget* widget;
    QAccessible::Role role;
};

std::vector<Control> Controls(app::TMainForm& f) {
    return {{f.Label1, QAccessible::StaticText},
            {f.Label2, QAccessible::StaticText},
            {f.Bevel1, QAccessible::Border},
            {f.KonvertBtn, QAccessible::Button},
            {f.StopPlayBtn, QAccessible::Button},
            {f.FilenameEdit1, QAccessible::EditableText},
            {f.FilenameEdit1->Button(), QAccessible::Button},
            {f.FilenameEdit2, QAccessible::EditableText},
            {f.FilenameEdit2->Button(), QAccessible::Button},
            {f.TrackBar1, QAccessible::Slider},
            {f.Label3, QAccessible::StaticText},
            {f.ScrollBox1, QAccessible::Client},
            {f.PaintBox1, QAccessible::Client},
            {f.ProgressBar1, QAccessible::ProgressBar},
            {f.Label4, QAccessible::StaticText},
            {f.PlayWAVBtn, QAccessible::Button},
            {f.AboutBtn, QAccessible::Button},
            {f.Label5, QAccessible::StaticText}};
}

TEST_F(MainFormTest, EveryControlHasANameADescriptionAndItsRole) {
    auto& f = Form();
    for (const Control& c : Controls(f)) {
        QAccessibleInterface* access = Access(c.widget);
        ASSERT_NE(access, nullptr);
        const std::string what = c.widget->metaObject()->className();
        EXPECT_FALSE(access->text(QAccessible::Name).isEmpty()) << what;
        EXPECT_FALSE(access->text(QAccessible::Description).isEmpty()) << what;
        EXPECT_EQ(access->role(), c.role) << what;
        std::cout << "[ INFO     ] " << what << ": \""
                  << access->text(QAccessible::Name).toStdString() << "\"\n";
    }
    // The window says what it is for; its name is its title.
    EXPECT_EQ(Access(&f)->text(QAccessible::Name), f.windowTitle());
    EXPECT_FALSE(Access(&f)->text(QAccessible::Description).isEmpty());
    EXPECT_EQ(Access(f.FilenameEdit1)->text(QAccessible::Name), "MIDI file");
    EXPECT_EQ(Access(f.FilenameEdit2)->text(QAccessible::Name), "WAV file");
    // The two browse buttons look alike; their names say which file each chooses.
    EXPECT_NE(Access(f.FilenameEdit1->Button())->text(QAccessible::Name),
              Access(f.FilenameEdit2->Button())->text(QAccessible::Name));
}

TEST_F(MainFormTest, TheTrackBarAnnouncesTheVolumeAsItChanges) {
    auto& f = Form();
    QAccessibleInterface* access = Access(f.TrackBar1);
    EXPECT_EQ(access->text(QAccessible::Name), "Volume");
    EXPECT_TRUE(access->text(QAccessible::Description).contains("percent"));
    QAccessibleValueInterface* value = access->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 100);
    EXPECT_EQ(value->currentValue().toInt(), 30);
    EXPECT_EQ(access->text(QAccessible::Value), "30");
    f.TrackBar1->setValue(55);
    EXPECT_EQ(value->currentValue().toInt(), 55);
    EXPECT_EQ(access->text(QAccessible::Value), "55");
}

TEST_F(MainFormTest, TheLabelsLendTheirKeysToTheFieldsAndTheTrackBar) {
    auto& f = Form();
    const std::vector<std::tuple<QLabel*, QWidget*, QString, Qt::Key>> pairs = {
        {f.Label1, f.FilenameEdit1, "MIDI file:", Qt::Key_M},
        {f.Label2, f.FilenameEdit2, "WAV file:", Qt::Key_W},
        {f.Label3, f.TrackBar1, "Volume:", Qt::Key_V}};
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
