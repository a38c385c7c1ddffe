// The file-name field's rules: which token a text names, which names it takes, what it shows,
// and where its dialog starts.
#include "controls/tool_edit.h"

#include <gtest/gtest.h>

#include "tool_edit_fixture.h"

namespace {

using controlstest::ScriptedDialog;
using controlstest::TempFiles;

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
    // What Windows forbids is an ordinary name here.
    for (const char* good : {"a<b", "a>b", "a[b", "Song [Live].mid", "a|b", "C:\\*?:;,{}()&%$#@!~'`+= \xc3\xa4"})
        EXPECT_TRUE(IsAcceptableFileName(good)) << good;

    // Why the field would not read a name back as itself.
    EXPECT_EQ(WhyNotReadBack("/x/Song [Live].wav"), "");
    EXPECT_TRUE(WhyNotReadBack("my \"best\".wav").startsWith("a double quote")) ;
    EXPECT_EQ(WhyNotReadBack("a\tb.wav"),
              "a control character (code 9), at which the field ends a name");
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
    try {
        edit.SetFileName("   ");
        FAIL() << "no error for blanks";
    } catch (const EComboEditError& e) {
        EXPECT_EQ(QString::fromStdString(e.Message()), "Ungültiger Dateiname -     (it holds no name)");
    }
    EXPECT_THROW(edit.SetFileName("\"\""), Exception);
    EXPECT_EQ(edit.text(), "/x/keep.wav");

    // Names as Linux has them: brackets, bars and angles are taken.
    const QString bracketed = Touch("take[1] b.mid");
    edit.SetFileName(bracketed);
    EXPECT_EQ(edit.FileName(), bracketed);
    edit.SetFileName("a|b<c>.wav");
    EXPECT_EQ(edit.FileName(), "a|b<c>.wav");
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
            // The field's own message, then what refused it.
            EXPECT_TRUE(QString::fromStdString(e.Message())
                            .startsWith("Ungültiger Dateiname - " + bad + " (a "))
                << e.Message();
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
    edit.SetExactFileName(Path("Song [Live] <1>|2.wav"));
    EXPECT_EQ(edit.FileName(), Path("Song [Live] <1>|2.wav"));
}

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
    edit.setText("\"\"");
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

TEST_F(BrowseTest, OnlyANameChosenInTheDialogIsReportedAsChosen) {
    TFilenameEdit edit;
    ScriptedDialog dialog;
    edit.SetDialogRunner(dialog.Runner());
    QStringList chosen;
    QObject::connect(&edit, &TFilenameEdit::FileChosen, [&](const QString& name) {
        EXPECT_EQ(edit.FileName(), name);  // the text shows it by then
        chosen << name;
    });
    dialog.answer = Path("a b.mid");
    edit.Browse();
    dialog.answer.reset();  // cancelled
    edit.Browse();
    edit.SetFileName(Path("set.mid"));
    edit.setText(Path("typed.mid"));
    edit.SetReadOnly(true);  // no dialog at all
    dialog.answer = Path("late.mid");
    edit.Browse();
    EXPECT_EQ(chosen, QStringList{Path("a b.mid")});
}

}  // namespace
