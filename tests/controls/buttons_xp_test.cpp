#include "controls/buttons_xp.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <memory>

#include "controls/app_glyphs.h"

namespace {

TEST(BitBtnXPKinds, KindsBringCaptionGlyphResultAndRoles) {
    TBitBtnXP stop;
    stop.SetKind(bkCancel);
    EXPECT_EQ(stop.Caption(), "Cancel");
    EXPECT_EQ(stop.ModalResult(), 2);
    EXPECT_TRUE(stop.Cancel());
    EXPECT_FALSE(stop.Default());
    EXPECT_EQ(stop.Glyph().size(), QSize(36, 18));
    EXPECT_EQ(stop.NumGlyphs(), 2);
    EXPECT_EQ(stop.Glyph().pixel(0, 17), qRgb(0x80, 0x80, 0x00)) << "olive background";

    TBitBtnXP all;
    all.SetKind(bkAll);
    EXPECT_EQ(all.Caption(), "&All");
    EXPECT_EQ(all.ModalResult(), 8);
    EXPECT_EQ(all.Glyph().size(), QSize(36, 19));
    EXPECT_EQ(all.NumGlyphs(), 2) << "36 x 19 is no multiple of its height, the kind sets 2";

    // Every kind has its strip compiled in.
    for (int k = bkOK; k <= bkAll; ++k) {
        TBitBtnXP button;
        button.SetKind(static_cast<TBitBtnXPKind>(k));
        EXPECT_FALSE(button.Glyph().isNull()) << "kind " << k;
        EXPECT_EQ(button.Kind(), k);
    }
}

TEST(BitBtnXPKinds, DescribedCaptionSurvivesTheKindOnlyWhileLoading) {
    TBitBtnXP convert;
    convert.BeginLoad();
    convert.SetCaption("Convert file");
    convert.SetKind(bkAll);
    convert.EndLoad();
    EXPECT_EQ(convert.Caption(), "Convert file");
    EXPECT_EQ(convert.Kind(), bkAll);

    TBitBtnXP plain;
    plain.SetCaption("Convert file");
    plain.SetKind(bkOK);
    EXPECT_EQ(plain.Caption(), "OK");
    EXPECT_TRUE(plain.Default());
}

TEST(BitBtnXPKinds, KindFallsBackToCustomForGoodOnceItsValuesAreChanged) {
    TBitBtnXP ok;
    ok.SetKind(bkOK);
    ok.SetModalResult(0);
    EXPECT_EQ(ok.Kind(), bkCustom);
    ok.SetModalResult(1);
    EXPECT_EQ(ok.Kind(), bkCustom) << "the fallback is permanent";
    EXPECT_EQ(ok.Caption(), "OK") << "falling back changes nothing else";

    TBitBtnXP withGlyph;
    withGlyph.SetKind(bkOK);
    withGlyph.SetGlyph(PlayWavGlyph());
    EXPECT_TRUE(withGlyph.GlyphModified());
    EXPECT_EQ(withGlyph.Kind(), bkCustom);

    TBitBtnXP notDefault;
    notDefault.SetKind(bkYes);
    notDefault.SetDefault(false);
    EXPECT_EQ(notDefault.Kind(), bkCustom);

    // Taking a kind again restores its values and clears GlyphModified.
    withGlyph.SetKind(bkCancel);
    EXPECT_FALSE(withGlyph.GlyphModified());
    EXPECT_EQ(withGlyph.Kind(), bkCancel);
}

TEST(BitBtnXPProperties, OutOfRangeValuesAreIgnoredOrClamped) {
    TBitBtnXP button;
    button.SetMargin(-2);
    EXPECT_EQ(button.Margin(), -1);
    button.SetMargin(3);
    button.SetMargin(-5);
    EXPECT_EQ(button.Margin(), 3);
    button.SetMargin(-1);
    EXPECT_EQ(button.Margin(), -1);

    button.SetGlyph(QImage(64, 16, QImage::Format_RGB32));
    EXPECT_EQ(button.NumGlyphs(), 4);
    button.SetNumGlyphs(1);
    button.SetNumGlyphs(7);
    EXPECT_EQ(button.NumGlyphs(), 4);
    button.SetNumGlyphs(0);
    EXPECT_EQ(button.NumGlyphs(), 4);

    button.SetSpacing(-7);
    EXPECT_EQ(button.Spacing(), -7) << "spacing is stored unchecked";
    EXPECT_EQ(button.Style(), bsAutoDetect);
}

// A window with a line edit, so the focus can sit on a control that is not a button.
struct TestWindow {
    explicit TestWindow(QWidget* window) : window(window) {
        edit = new QLineEdit(window);
        edit->setGeometry(0, 0, 100, 21);
    }
    TBitBtnXP* Add(TBitBtnXPKind kind) {
        auto* button = new TBitBtnXP(window);
        button->SetKind(kind);
        button->move(0, 30 * (1 + static_cast<int>(window->children().size())));
        return button;
    }
    void Show() {
        window->resize(200, 300);
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    QWidget* window;
    QLineEdit* edit;
};

TEST(BitBtnXPDialog, ClickEnterAndEscapeEndTheDialogWithTheButtonsResult) {
    auto run = [](auto act) {
        QDialog dialog;
        TestWindow w(&dialog);
        TBitBtnXP* ok = w.Add(bkOK);
        TBitBtnXP* cancel = w.Add(bkCancel);
        QTimer::singleShot(0, &dialog, [&] {
            QApplication::setActiveWindow(&dialog);
            w.edit->setFocus();
            act(w.edit, ok, cancel);
            // Nothing ended the dialog: leave with a result no button has.
            QTimer::singleShot(0, &dialog, [&] { dialog.done(99); });
        });
        dialog.resize(200, 200);
        return dialog.exec();
    };
    EXPECT_EQ(
        run([](QLineEdit*, TBitBtnXP* ok, TBitBtnXP*) { QTest::mouseClick(ok, Qt::LeftButton); }),
        1);
    EXPECT_EQ(
        run([](QLineEdit* edit, TBitBtnXP*, TBitBtnXP*) { QTest::keyClick(edit, Qt::Key_Return); }),
        1);
    EXPECT_EQ(
        run([](QLineEdit* edit, TBitBtnXP*, TBitBtnXP*) { QTest::keyClick(edit, Qt::Key_Escape); }),
        2);
    // With a modifier held, Enter is no dialog key.
    EXPECT_EQ(run([](QLineEdit* edit, TBitBtnXP*, TBitBtnXP*) {
                  QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
              }),
              99);
    // The focused button is the active one: Enter clicks it, not the default button.
    EXPECT_EQ(run([](QLineEdit*, TBitBtnXP*, TBitBtnXP* cancel) {
                  cancel->setFocus();
                  QTest::keyClick(cancel, Qt::Key_Return);
              }),
              2);
}

TEST(BitBtnXPDialog, ResultIsSetBeforeTheWindowsOwnClickHandlerRuns) {
    QDialog dialog;
    auto* ok = new TBitBtnXP(&dialog);
    ok->SetKind(bkOK);
    int resultSeen = -1;
    QObject::connect(ok, &QPushButton::clicked, [&] { resultSeen = dialog.result(); });
    dialog.setResult(0);
    dialog.show();
    ok->click();
    EXPECT_EQ(resultSeen, 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(BitBtnXPWindow, EscapeClicksTheEnabledCancelButtonOfAPlainWindow) {
    QWidget window;
    TestWindow w(&window);
    TBitBtnXP* stop = w.Add(bkCancel);
    TBitBtnXP* convert = w.Add(bkAll);
    QSignalSpy stopClicks(stop, &QPushButton::clicked);
    QSignalSpy convertClicks(convert, &QPushButton::clicked);
    w.Show();
    w.edit->setFocus();

    QTest::keyClick(w.edit, Qt::Key_Escape);
    EXPECT_EQ(stopClicks.count(), 1);

    stop->setEnabled(false);
    QTest::keyClick(w.edit, Qt::Key_Escape);
    QTest::keyClick(w.edit, Qt::Key_Return);
    EXPECT_EQ(stopClicks.count(), 1);
    EXPECT_EQ(convertClicks.count(), 0) << "no default button, so Enter clicks nothing";

    // A button focused is active: Enter clicks it; Escape still reaches the cancel button.
    stop->setEnabled(true);
    convert->setFocus();
    EXPECT_TRUE(convert->IsActive());
    QTest::keyClick(convert, Qt::Key_Return);
    QTest::keyClick(convert, Qt::Key_Escape);
    EXPECT_EQ(convertClicks.count(), 1);
    EXPECT_EQ(stopClicks.count(), 2);
}

TEST(BitBtnXPWindow, DefaultButtonIsActiveWhileNoOtherButtonHasTheFocus) {
    QWidget window;
    TestWindow w(&window);
    TBitBtnXP* ok = w.Add(bkOK);
    TBitBtnXP* other = w.Add(bkNo);
    w.Show();
    w.edit->setFocus();
    EXPECT_TRUE(ok->IsActive());
    EXPECT_FALSE(other->IsActive());
    other->setFocus();
    EXPECT_FALSE(ok->IsActive());
    EXPECT_TRUE(other->IsActive());
    w.edit->setFocus();
    EXPECT_TRUE(ok->IsActive());
    EXPECT_FALSE(other->IsActive());
    ok->SetDefault(false);
    EXPECT_FALSE(ok->IsActive());
}

TEST(BitBtnXPWindow, CloseKindClosesItsWindowAndHelpClicksPlainly) {
    QDialog dialog;
    auto* help = new TBitBtnXP(&dialog);
    help->SetKind(bkHelp);
    auto* close = new TBitBtnXP(&dialog);
    close->SetKind(bkClose);
    dialog.show();
    help->click();
    EXPECT_TRUE(dialog.isVisible()) << "modal result 0 ends nothing";
    close->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(BitBtnXPWindow, DoubleClickPressesTheButtonAgain) {
    QWidget window;
    TestWindow w(&window);
    TBitBtnXP* button = w.Add(bkRetry);
    QSignalSpy clicks(button, &QPushButton::clicked);
    w.Show();
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseDClick(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 2);
}

// Bounding box of the pixels of one exact colour.
QRect Find(const QImage& image, QRgb colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Render(TBitBtnXP& button) {
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    button.render(&image);
    return image;
}

class BitBtnXPFace : public ::testing::TestWithParam<const char*> {};

TEST_P(BitBtnXPFace, PressedButtonDrawsGlyphAndCaptionOnePixelRightAndDown) {
    std::unique_ptr<QStyle> style(QStyleFactory::create(GetParam()));
    ASSERT_NE(style, nullptr);
    TBitBtnXP button;
    button.setStyle(style.get());
    button.SetKind(bkOK);
    button.resize(121, 25);
    const QRgb green = qRgb(0, 0x80, 0);

    const QRect up = Find(Render(button), green);
    ASSERT_FALSE(up.isEmpty()) << "the check mark is drawn";
    button.setDown(true);
    const QRect down = Find(Render(button), green);
    EXPECT_EQ(down, up.translated(1, 1));

    button.setDown(false);
    button.setEnabled(false);
    const QImage disabled = Render(button);
    EXPECT_TRUE(Find(disabled, green).isEmpty()) << "disabled shows the grey cell";
    EXPECT_TRUE(Find(disabled, qRgb(0x80, 0x80, 0)).isEmpty()) << "olive never shows";
}

INSTANTIATE_TEST_SUITE_P(ClassicAndThemed, BitBtnXPFace, ::testing::Values("Windows", "Fusion"));

TEST(BitBtnXPFace, ClassicActiveButtonGetsTheFrameAndFocusedOneTheDottedRectangle) {
    std::unique_ptr<QStyle> style(QStyleFactory::create("Windows"));
    QWidget window;
    TestWindow w(&window);
    TBitBtnXP* ok = w.Add(bkOK);
    ok->setStyle(style.get());
    ok->resize(121, 25);
    TBitBtnXP* other = w.Add(bkNo);
    w.Show();

    other->setFocus();
    const QImage idle = Render(*ok);
    w.edit->setFocus();
    const QImage active = Render(*ok);
    ok->setFocus();
    const QImage focused = Render(*ok);

    const QRgb frame = QApplication::palette().color(QPalette::WindowText).rgb();
    EXPECT_NE(idle.pixel(60, 0), frame);
    EXPECT_EQ(active.pixel(60, 0), frame);
    EXPECT_EQ(active.pixel(0, 12), frame);
    // The focus rectangle lies 4 pixels in; only the focused active button has it.
    int changed = 0;
    for (int x = 4; x < 117; ++x) changed += focused.pixel(x, 4) != active.pixel(x, 4);
    EXPECT_GT(changed, 40);
}

}  // namespace
