// The main window's start against in-memory devices: the default output path and the
// command-line mode.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSlider>
#include <filesystem>
#include <tuple>

#include "controls/buttons_xp.h"
#include "main_form_fixture.h"
#include "support/scoped_env.h"

namespace {

using apptest::MainFormTest;
using apptest::Sound;

TEST_F(MainFormTest, DefaultOutputPathBesideTheProgramQuotedWhenItHoldsABlank) {
    auto& f = Form();
    EXPECT_EQ(f.FilenameEdit2->FileName(), QCoreApplication::applicationDirPath() + "/out.wav");
    EXPECT_TRUE(f.ProgramFolder.endsWith('/'));

    const auto anyFolder = [](const QString&) { return true; };
    f.FormCreateFor("/opt/my programs/tonvera", anyFolder);
    EXPECT_EQ(f.ProgramFolder, "/opt/my programs/");
    EXPECT_EQ(f.FilenameEdit2->text(), "\"/opt/my programs/out.wav\"");
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/my programs/out.wav");

    // Brackets are an ordinary part of a Linux folder's name.
    f.FormCreateFor("/opt/[x]/tonvera", anyFolder);
    EXPECT_EQ(f.FilenameEdit2->FileName(), "/opt/[x]/out.wav");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFormTest, CommandLineConvertsSetsTheVolumeAndQuits) {
    auto& f = Form({midi_.toStdString(), wav_.toStdString(), "150"});
    During([&] { wavein_->Feed(Sound(5000)); });
    f.FormShow();
    EXPECT_EQ(f.TrackBar1->value(), 100);
    EXPECT_EQ(f.FilenameEdit2->text(), "\"" + wav_ + "\"");
    EXPECT_EQ(quitCodes_, std::vector<int>{0});
    EXPECT_TRUE(std::filesystem::exists(wav_.toStdString()));

    // A run that wrote nothing still ends the program, with a failure code.
    quitCodes_.clear();
    During([] {});
    f.FormShow();
    EXPECT_EQ(quitCodes_, std::vector<int>{1});
}

TEST_F(MainFormTest, CommandLineVolumeConversionAndClamping) {
    // The volume used, and whether standard error was told it is not the one given.
    const std::vector<std::tuple<std::string, int, bool>> cases = {
        {"150", 100, true}, {"-5", 0, true},     {"abc", 30, true}, {"50%", 30, true},
        {"$20", 32, false}, {"0x10", 16, false}, {" 7", 7, false},  {"100", 100, false}};
    for (const auto& [arg, volume, told] : cases) {
        auto& f = Form({midi_.toStdString(), wav_.toStdString(), arg});
        mci_->FailNext(MCI_OPEN, MCIERR_FILE_NOT_FOUND);  // ends each run right after the volume
        testing::internal::CaptureStderr();
        f.FormShow();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(f.TrackBar1->value(), volume) << arg;
        const std::string used = "; using " + std::to_string(volume) + "\n";
        EXPECT_EQ(err.find("tonvera: volume ") != std::string::npos, told) << arg << ": " << err;
        if (told) {
            EXPECT_NE(err.find(used), std::string::npos) << err;
        }
    }
}

TEST_F(MainFormTest, AFailedCommandLineRunLeftOnScreenExitsOneWhenTheWindowCloses) {
    const std::string missing = (folder_ + "/missing.mid").toStdString();
    auto& f = Form({missing, wav_.toStdString()});
    mci_->FailNext(MCI_OPEN, MCIERR_FILE_NOT_FOUND);
    f.show();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].icon, app::TMsgIcon::miStop);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(quitCodes_.empty()) << "the error stays on screen";
    f.close();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(quitCodes_, std::vector<int>{1});

    // The window of an ordinary start, and one that shows a file, close with success.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{midi_.toStdString()}}) {
        quitCodes_.clear();
        auto& g = Form(args);
        g.show();
        g.close();
        EXPECT_EQ(quitCodes_, std::vector<int>{0});
    }
}

TEST_F(MainFormTest, CommandLineErrorsKeepTheWindowOpenUnlessThereIsNoDisplay) {
    auto& f = Form({"bad\"1\".mid", wav_.toStdString()});
    f.FormShow();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text,
              "Ungültiger Dateiname - bad\"1\".mid (a double quote, which the field takes as the "
              "edge of a quoted stretch)")
        << messages_[0].text.toStdString();
    EXPECT_TRUE(quitCodes_.empty());
    EXPECT_TRUE(mci_->Log().empty());

    mci_->FailNext(MCI_OPEN, MCIERR_FILE_NOT_FOUND);
    auto& g = Form({midi_.toStdString(), wav_.toStdString()});
    g.FormShow();
    EXPECT_TRUE(quitCodes_.empty());

    app::SetHeadless(true);
    auto& h = Form({"bad\"1\".mid", wav_.toStdString()});
    h.FormShow();
    EXPECT_EQ(quitCodes_, std::vector<int>{1});
}

TEST_F(MainFormTest, FewerThanTwoArgumentsStayInteractiveAndOneFillsTheMidiField) {
    auto& e = Form();
    e.FormShow();
    EXPECT_TRUE(e.FilenameEdit1->FileName().isEmpty());

    // What a file manager passes for "Open with": the window opens with that file, quoted
    // where it holds a blank, and converts nothing.
    auto& f = Form({midi_.toStdString()});
    const QString output = f.FilenameEdit2->FileName();
    f.show();
    EXPECT_EQ(f.FilenameEdit1->FileName(), midi_);
    EXPECT_EQ(f.FilenameEdit1->text(), "\"" + midi_ + "\"");
    EXPECT_EQ(f.FilenameEdit2->FileName(), output);
    EXPECT_EQ(f.TrackBar1->value(), 30);
    EXPECT_TRUE(f.KonvertBtn->isEnabled());
    EXPECT_TRUE(quitCodes_.empty());
    EXPECT_TRUE(mci_->Log().empty());
    EXPECT_TRUE(messages_.empty());

    // A name the field refuses is shown as its error; the window stays open and empty.
    auto& g = Form({"\"\""});
    g.FormShow();
    EXPECT_TRUE(g.FilenameEdit1->FileName().isEmpty());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Ungültiger Dateiname - \"\" (it holds no name)")
        << messages_[0].text.toStdString();
    EXPECT_TRUE(quitCodes_.empty());
}

TEST_F(MainFormTest, AnUnwritableProgramFolderProposesTheMusicFolder) {
    auto& f = Form();
    const QString music = folder_ + "/Music";
    QDir().mkpath(music);
    // Only the music folder may be written, as for an installed program in /usr/bin.
    const auto onlyMusic = [&](const QString& folder) { return folder.startsWith(music); };
    testsupport::ScopedEnv env;
    env.Set("HOME", folder_.toLocal8Bit());
    env.Set("XDG_CONFIG_HOME", folder_.toLocal8Bit());  // no user-dirs.dirs: Music in the home
    f.FormCreateFor("/usr/bin/tonvera", onlyMusic);
    EXPECT_EQ(f.ProgramFolder, "/usr/bin/");
    EXPECT_EQ(f.FilenameEdit2->FileName(), music + "/out.wav");
    EXPECT_EQ(f.FilenameEdit2->text(), "\"" + music + "/out.wav\"");  // the folder has a blank
    EXPECT_TRUE(messages_.empty());

    // The real probe: the folder this suite runs from keeps the output beside the program.
    f.FormCreateFor(QCoreApplication::applicationFilePath());
    EXPECT_EQ(f.FilenameEdit2->FileName(), QCoreApplication::applicationDirPath() + "/out.wav");
}

}  // namespace
