// The main window tells the desktop about a conversion done while the user looked away, and only
// then.
#include <gtest/gtest.h>

#include <QTest>

#include "controls/buttons_xp.h"
#include "main_form_fixture.h"

namespace {

using apptest::FakeMedium;
using apptest::MainFormTest;
using apptest::Sound;

class WindowNotices : public MainFormTest {
  protected:
    // A conversion of the 3:25 piece that records everything, or nothing.
    void Convert(app::TMainForm& f, bool whole = true) {
        SetPaths(f);
        mci_->ScriptMedium(midi_.toStdString(), FakeMedium{.length = 205000});
        if (whole)
            During([this] { wavein_->Feed(Sound(5000)); });
        else
            During([] {});
        f.KonvertBtn->click();
        ASSERT_TRUE(duringRan_);
        duringRan_ = false;
        ASSERT_EQ(f.LastConversionWhole(), whole);
    }
    static void BringToFront(QWidget& window) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

TEST_F(WindowNotices, AConversionDoneWhileTheUserLooksElsewhereIsToldToTheDesktop) {
    auto& f = Form();
    Convert(f);  // the window not even shown
    f.show();
    QWidget other;  // the user went on in another program's window
    BringToFront(other);
    ASSERT_FALSE(f.isActiveWindow());
    Convert(f);
    ASSERT_EQ(notices_.size(), 2u);
    for (const app::TNotice& notice : notices_) {
        EXPECT_EQ(notice.summary, "song out.wav is ready");
        EXPECT_EQ(notice.body, "3:25 of music, written to " + folder_);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(WindowNotices, NothingIsToldForAWindowInFrontAFailedRunOrTheCommandLine) {
    auto& f = Form();
    BringToFront(f);
    Convert(f);
    EXPECT_TRUE(notices_.empty());

    // Nothing recorded: the message box says so, the desktop hears nothing.
    auto& g = Form();
    Convert(g, false);
    EXPECT_FALSE(messages_.empty());

    // The command line tells its own story on the console.
    auto& h = Form({midi_.toStdString(), wav_.toStdString()});
    During([this] { wavein_->Feed(Sound(5000)); });
    h.FormShow();
    ASSERT_EQ(quitCodes_, std::vector<int>{0});
    EXPECT_TRUE(notices_.empty());
}

}  // namespace
