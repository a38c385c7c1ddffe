// The file-name field as a widget: its keys, its look, and the real dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/edit_button.h"
#include "controls/fedit_glyph.h"
#include "controls/tool_edit.h"
#include "tool_edit_fixture.h"

namespace {

using controlstest::ScriptedDialog;
using controlstest::TempFiles;

// A window that records the keys its children let through.
class KeyWindow : public QWidget {
  public:
    KeyWindow() {
        auto* layout = new QVBoxLayout(this);
        other = new QLineEdit(this);
        edit = new TFilenameEdit(this);
        layout->addWidget(other);
        layout->addWidget(edit);
        resize(300, 80);
    }
    void Activate() {
        show();
        activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(this));
    }
    QLineEdit* other;
    TFilenameEdit* edit;
    QList<int> keys;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Alt) keys << event->key();
    }
};

TEST(FilenameEditKeys, AltDownBrowsesEnterAndEscapeReachTheWindow) {
    KeyWindow window;
    ScriptedDialog dialog;
    window.edit->SetDialogRunner(dialog.Runner());
    window.edit->setText("/x/a.mid");

    QTest::keyClick(window.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(dialog.calls, 1);
    QTest::keyClick(window.edit, Qt::Key_Return);
    QTest::keyClick(window.edit, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(window.edit, Qt::Key_Escape);
    EXPECT_EQ(window.keys, (QList<int>{Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}));
    EXPECT_EQ(window.edit->text(), "/x/a.mid");
    EXPECT_EQ(dialog.calls, 1);

    // Without a button there is nothing to click; the key goes on as usual.
    window.edit->SetButtonWidth(0);
    QTest::keyClick(window.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(dialog.calls, 1);
}

TEST(FilenameEditKeys, KeyboardEntrySelectsAllClickDoesNot) {
    KeyWindow window;
    window.Activate();
    window.edit->setText("/x/some.mid");
    window.other->setFocus();
    QTest::keyClick(window.other, Qt::Key_Tab);
    ASSERT_TRUE(window.edit->hasFocus());
    EXPECT_EQ(window.edit->selectedText(), "/x/some.mid");

    window.other->setFocus();
    QTest::mouseClick(window.edit, Qt::LeftButton, {}, QPoint(10, window.edit->height() / 2));
    ASSERT_TRUE(window.edit->hasFocus());
    EXPECT_EQ(window.edit->selectedText(), "");

    window.edit->SetAutoSelect(false);
    window.other->setFocus();
    QTest::keyClick(window.other, Qt::Key_Tab);
    ASSERT_TRUE(window.edit->hasFocus());
    EXPECT_EQ(window.edit->selectedText(), "");
}

TEST(FilenameEditKeys, CancelledDialogKeepsTextAndFocusComesBack) {
    KeyWindow window;
    window.Activate();
    ScriptedDialog dialog;
    dialog.during = [&] { window.other->setFocus(); };
    window.edit->SetDialogRunner(dialog.Runner());
    window.edit->setText("\"/x/a b.mid\"");
    window.edit->setFocus();
    QTest::mouseClick(window.edit->Button(), Qt::LeftButton);
    EXPECT_EQ(dialog.calls, 1);
    EXPECT_EQ(window.edit->text(), "\"/x/a b.mid\"");
    EXPECT_TRUE(window.edit->hasFocus());
}

TEST(FilenameEditKeys, PasteAndTypingOnlyWithDirectInput) {
    KeyWindow window;
    window.Activate();
    ScriptedDialog dialog;
    window.edit->SetDialogRunner(dialog.Runner());
    QApplication::clipboard()->setText("/pasted.mid");
    window.edit->setFocus();
    window.edit->SetDirectInput(false);
    QTest::keyClick(window.edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(window.edit, "abc");
    EXPECT_EQ(window.edit->text(), "");
    // The button still browses.
    QTest::keyClick(window.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(dialog.calls, 1);

    window.edit->SetDirectInput(true);
    QTest::keyClick(window.edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(window.edit->text(), "/pasted.mid");

    window.edit->SetReadOnly(true);
    QTest::keyClick(window.edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(window.edit->text(), "/pasted.mid");
    window.edit->Browse();
    EXPECT_EQ(dialog.calls, 1);
}

TEST(FilenameEditLook, ButtonPlaceHeightAndEnabledState) {
    QWidget window;
    TFilenameEdit edit(&window);
    edit.setGeometry(88, 32, 361, 21);
    window.show();
    const QWidget* box = edit.ButtonContainer();
    // Inside the two-pixel border: client left = 361 - 21 - 4.
    EXPECT_EQ(box->geometry(), QRect(2 + 361 - 21 - 4, 2, 21, 17));
    EXPECT_EQ(edit.Button()->size(), QSize(21, 17));
    EXPECT_GE(edit.textMargins().right(), 21 + 2);

    edit.resize(361, 5);
    EXPECT_EQ(edit.height(), edit.MinimumBoxHeight());
    EXPECT_GT(edit.MinimumBoxHeight(), 5);

    window.setEnabled(false);
    EXPECT_FALSE(edit.Button()->isEnabled());
    window.setEnabled(true);
    edit.setEnabled(false);
    EXPECT_FALSE(edit.Button()->isEnabled());
}

TEST(FilenameEditLook, GlyphIsSharedAndItsKeyColourNeverShows) {
    const QImage& glyph = FileEditGlyph();
    EXPECT_EQ(&glyph, &FileEditGlyph());
    ASSERT_EQ(glyph.size(), QSize(14, 12));
    EXPECT_EQ(glyph.pixel(0, 11), qRgb(255, 0, 255));

    TFilenameEdit edit;
    edit.resize(200, 21);
    const QImage shot = edit.Button()->grab().toImage();
    int black = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            EXPECT_NE(p & 0xFFFFFF, 0xFF00FFu) << x << "," << y;
            if ((p & 0xFFFFFF) == 0) ++black;
        }
    EXPECT_GT(black, 20);  // the folder's outline is drawn
}

using QtDialogTest = TempFiles;

// Answers the real dialog once it is up, after reading what it shows.
TEST_F(QtDialogTest, SettingsReachTheDialogAndTheAnswerComesBack) {
    const QString folder = Folder("in here") + "/";
    TFileDialogSettings settings;
    settings.kind = dkSave;
    settings.title = "Pick";
    settings.filter = "MIDI-Dateien (*.mid)|*.mid|WAV-Dateien (*.wav)|*.wav";
    settings.filterIndex = 2;
    settings.initialDir = folder;
    settings.fileName = folder + "take.wav";

    QString title, selectedFilter, directory;
    bool saving = false;
    auto answer = [&](bool accept, const QString& typed, const QString& filter) {
        QTimer::singleShot(0, [&, accept, typed, filter] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            selectedFilter = dialog->selectedNameFilter();
            directory = dialog->directory().absolutePath();
            saving = dialog->acceptMode() == QFileDialog::AcceptSave;
            if (!accept) return dialog->reject();
            dialog->selectNameFilter(filter);
            dialog->selectFile(typed);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
        });
    };

    answer(true, folder + "chosen", "MIDI-Dateien (*.mid)");
    const std::optional<QString> chosen = RunQtFileDialog(nullptr, settings);
    EXPECT_EQ(title, "Pick");
    EXPECT_EQ(selectedFilter, "WAV-Dateien (*.wav)");
    EXPECT_EQ(directory + "/", folder);
    EXPECT_TRUE(saving);
    ASSERT_TRUE(chosen.has_value());
    // No default extension: the name comes back as typed.
    EXPECT_EQ(*chosen, folder + "chosen");
    EXPECT_EQ(settings.filterIndex, 1);

    answer(false, {}, {});
    EXPECT_FALSE(RunQtFileDialog(nullptr, settings).has_value());
    EXPECT_EQ(settings.filterIndex, 1);
}

}  // namespace
