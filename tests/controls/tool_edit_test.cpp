#include "controls/tool_edit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/edit_button.h"
#include "controls/fedit_glyph.h"
#include "support/temp_folder.h"

namespace {

class TempFiles : public testsupport::TempFolderTest {
  protected:

    QString Touch(const QString& relative) {
        const QString path = dir_.QPath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    QString Folder(const QString& relative) {
        const QString path = dir_.QPath(relative);
        QDir().mkpath(path);
        return path;
    }
    QString Path(const QString& relative) const { return dir_.QPath(relative); }

};

using FileTokenTest = TempFiles;

TEST_F(FileTokenTest, ExistingFileIsTakenWholeOtherwiseTheFirstArgument) {
    const QString withBlank = Touch("my song.mid");
    EXPECT_EQ(TakeFileToken(withBlank), withBlank);
    const QString missing = Path("no such song.mid");
    EXPECT_EQ(TakeFileToken(missing), Path("no"));
    // A folder is no file: it is read as a command line.
    const QString folder = Folder("a folder") + "/";
    EXPECT_EQ(TakeFileToken(folder), Path("a"));
}

TEST(FileToken, CommandLineReading) {
    EXPECT_EQ(TakeFileToken(""), "");
    EXPECT_EQ(TakeFileToken(" \t  "), "");
    EXPECT_EQ(TakeFileToken("  \t/x/a.mid  /x/b.mid"), "/x/a.mid");
    EXPECT_EQ(TakeFileToken("\"/x y/a b.mid\" rest"), "/x y/a b.mid");
    EXPECT_EQ(TakeFileToken("ab\"c d\"ef gh"), "abc def");
    EXPECT_EQ(TakeFileToken("\"/open ended"), "/open ended");
    // Pairs of quotes at the start are skipped, with the blanks after them.
    EXPECT_EQ(TakeFileToken("\"\" \"\"  /x/a b"), "/x/a");
    EXPECT_EQ(TakeFileToken("\"\""), "");
    // Control characters separate as blanks do.
    EXPECT_EQ(TakeFileToken(QString("/x/a\x01/b")), "/x/a");
}

TEST(FileNameRules, QuotingAndAcceptance) {
    EXPECT_EQ(QuoteIfBlank("/x/a b.wav"), "\"/x/a b.wav\"");
    EXPECT_EQ(QuoteIfBlank("\"/x/a b.wav\""), "\"/x/a b.wav\"");
    EXPECT_EQ(QuoteIfBlank("/x/ab.wav"), "/x/ab.wav");
    EXPECT_EQ(QuoteIfBlank(""), "");

    EXPECT_FALSE(IsAcceptableFileName(""));
    for (const char* bad : {"a<b", "a>b", "a\"b", "a[b", "a]b", "a|b"})
        EXPECT_FALSE(IsAcceptableFileName(bad)) << bad;
    EXPECT_TRUE(IsAcceptableFileName("C:\\*?:;,{}()&%$#@!~'`+= \xc3\xa4"));
}

TEST(FileNameRules, PathCutsAndDialogFilters) {
    EXPECT_EQ(ExtractFilePath("/a/b.c"), "/a/");
    EXPECT_EQ(ExtractFileName("/a/b.c"), "b.c");
    EXPECT_EQ(ExtractFilePath("b.c"), "");
    EXPECT_EQ(ExtractFileName("/a/"), "");

    EXPECT_EQ(FilterToNameFilters("MIDI-Dateien (*.mid)|*.mid"),
              QStringList{"MIDI-Dateien (*.mid)"});
    EXPECT_EQ(FilterToNameFilters("All files (*.*)|*.*"), QStringList{"All files (*)"});
    EXPECT_EQ(FilterToNameFilters("Sound|*.wav;*.aif|Text|*.txt|Dangling"),
              (QStringList{"Sound (*.wav *.aif)", "Text (*.txt)"}));
}

using FileNameWriteTest = TempFiles;

TEST_F(FileNameWriteTest, BlankNameShownQuotedReadBare) {
    TFilenameEdit edit;
    const QString missing = Path("new song.wav");
    edit.SetFileName(missing);
    EXPECT_EQ(edit.text(), '"' + missing + '"');
    EXPECT_EQ(edit.FileName(), missing);

    const QString existing = Touch("old song.wav");
    edit.SetFileName(existing);
    EXPECT_EQ(edit.text(), '"' + existing + '"');
    EXPECT_EQ(edit.FileName(), existing);

    // Typed without quotes: whole only when the file is there.
    edit.setText(existing);
    EXPECT_EQ(edit.FileName(), existing);
    edit.setText(missing);
    EXPECT_EQ(edit.FileName(), Path("new"));

    edit.SetFileName("\"" + missing + "\"");
    EXPECT_EQ(edit.text(), "\"" + missing + "\"");
    edit.SetFileName("");
    EXPECT_EQ(edit.text(), "");
    EXPECT_EQ(edit.FileName(), "");
}

TEST_F(FileNameWriteTest, RefusedNameRaisesAndKeepsTheText) {
    TFilenameEdit edit;
    edit.SetFileName("/x/keep.wav");
    const QString bracketed = Touch("take[1] b.mid");
    try {
        edit.SetFileName(bracketed);
        FAIL() << "no error for " << bracketed.toStdString();
    } catch (const EComboEditError& e) {
        EXPECT_EQ(QString::fromStdString(e.Message()), "Ungültiger Dateiname - " + bracketed);
    }
    EXPECT_EQ(edit.text(), "/x/keep.wav");

    EXPECT_THROW(edit.SetFileName(Path("take[2] b.mid")), EComboEditError);
    EXPECT_THROW(edit.SetFileName("   "), EComboEditError);
    EXPECT_THROW(edit.SetFileName("a|b"), Exception);
    EXPECT_EQ(edit.text(), "/x/keep.wav");

    // Only the part before the first blank of a missing file is tested.
    const QString late = Path("take b[3].mid");
    edit.SetFileName(late);
    EXPECT_EQ(edit.FileName(), late);
}

TEST_F(FileNameWriteTest, AnExactNameIsTakenOnlyWhenItReadsBackAsItself) {
    TFilenameEdit edit;
    edit.SetExactFileName("/x/keep.wav");
    // The token rules would cut at a tab or newline and drop quotes: another file's name.
    for (const QString& bad :
         {Path("song\tnew.wav"), Path("song\nnew.wav"), Path("my \"best\".wav"), Path("a\"b\".wav"),
          QString("\"") + Path("q.wav") + "\"", Path("bell\x07.wav")}) {
        try {
            edit.SetExactFileName(bad);
            ADD_FAILURE() << "taken: " << bad.toStdString();
        } catch (const EComboEditError& e) {
            EXPECT_EQ(QString::fromStdString(e.Message()), "Ungültiger Dateiname - " + bad);
        }
        EXPECT_EQ(edit.FileName(), "/x/keep.wav");
    }
    // Blanks, leading ones too, come back whole; so does an existing file whose name holds
    // a tab, which the field reads as the whole text.
    for (const QString& good : {Path("new song.wav"), QString(" lead.wav"), Touch("tab\there.mid"),
                                Path("caf\u00e9.wav"), QString()}) {
        edit.SetExactFileName(good);
        EXPECT_EQ(edit.FileName(), good) << good.toStdString();
    }
    EXPECT_THROW(edit.SetExactFileName(Path("x[1].wav")), EComboEditError);
}

// Answers the dialog in place of the user and keeps what it was shown.
struct ScriptedDialog {
    std::optional<QString> answer;
    std::function<void()> during;
    int calls = 0;
    TFileDialogSettings seen;

    TFileDialogRunner Runner() {
        return [this](QWidget*, TFileDialogSettings& settings) {
            ++calls;
            seen = settings;
            if (during) during();
            return answer;
        };
    }
};

TEST(FilenameEdit, DefaultsAndKindSwitchKeepsEverySetting) {
    TFilenameEdit edit;
    EXPECT_EQ(edit.DialogKind(), dkOpen);
    EXPECT_EQ(edit.DialogTitle(), "Browse");
    EXPECT_EQ(edit.Filter(), "All files (*.*)|*.*");
    EXPECT_EQ(edit.DefaultExt(), "");
    EXPECT_EQ(edit.InitialDir(), "");
    EXPECT_TRUE(edit.DialogSettings().hideReadOnly);
    EXPECT_FALSE(edit.AcceptFiles());
    EXPECT_FALSE(edit.acceptDrops());

    edit.SetFilter("WAV-Dateien (*.wav)|*.wav|All|*.*");
    edit.SetFilterIndex(2);
    edit.SetDialogTitle("Pick");
    edit.SetDefaultExt("wav");
    edit.SetInitialDir("/tmp/");
    edit.SetDialogKind(dkSave);
    ScriptedDialog dialog;
    edit.SetDialogRunner(dialog.Runner());
    edit.Browse();
    ASSERT_EQ(dialog.calls, 1);
    EXPECT_EQ(dialog.seen.kind, dkSave);
    EXPECT_EQ(dialog.seen.filter, "WAV-Dateien (*.wav)|*.wav|All|*.*");
    EXPECT_EQ(dialog.seen.filterIndex, 2);
    EXPECT_EQ(dialog.seen.title, "Pick");
    EXPECT_EQ(dialog.seen.defaultExt, "wav");
    EXPECT_EQ(dialog.seen.initialDir, "/tmp/");
}

using BrowseTest = TempFiles;

TEST_F(BrowseTest, DialogStartsFromTheText) {
    TFilenameEdit edit;
    ScriptedDialog dialog;
    edit.SetDialogRunner(dialog.Runner());
    const QString folder = Folder("songs") + "/";

    edit.setText(folder + "piece.mid");
    edit.Browse();
    EXPECT_EQ(dialog.seen.initialDir, folder);
    EXPECT_EQ(dialog.seen.fileName, folder + "piece.mid");

    // A folder that is not there leaves the last one; the name is still proposed.
    edit.setText(Path("gone/x.mid"));
    edit.Browse();
    EXPECT_EQ(dialog.seen.initialDir, folder);
    EXPECT_EQ(dialog.seen.fileName, Path("gone/x.mid"));

    // No name part: nothing proposed.
    edit.setText(folder);
    edit.Browse();
    EXPECT_EQ(dialog.seen.fileName, "");

    // An unusable text changes neither.
    edit.setText(folder + "piece.mid");
    edit.Browse();
    edit.setText("<nothing>");
    edit.Browse();
    EXPECT_EQ(dialog.seen.initialDir, folder);
    EXPECT_EQ(dialog.seen.fileName, folder + "piece.mid");
    EXPECT_EQ(dialog.calls, 5);
}

TEST_F(BrowseTest, ChosenNameIsShownQuotedWithoutTheValidityTest) {
    TFilenameEdit edit;
    ScriptedDialog dialog;
    edit.SetDialogRunner(dialog.Runner());
    dialog.answer = Path("out dir/take[1].wav");
    edit.Browse();
    EXPECT_EQ(edit.text(), '"' + Path("out dir/take[1].wav") + '"');
    EXPECT_EQ(edit.InitialDir(), Path("out dir") + "/");
    EXPECT_EQ(edit.DialogFileName(), Path("out dir/take[1].wav"));
}

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

}  // namespace

namespace {

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
