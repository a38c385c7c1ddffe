#include "app/about_box.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDate>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/jpeg_image.h"
#include "controls/buttons_xp.h"

namespace {

TEST(AboutBoxYear, OnlyTheFirstPlaceholderIsReplaced) {
    EXPECT_EQ(ReplaceYearPlaceholder("(c) XXXX by A, XXXX", 2026), "(c) 2026 by A, XXXX");
    EXPECT_EQ(ReplaceYearPlaceholder("no year", 2026), "no year");
    EXPECT_EQ(ReplaceYearPlaceholder("XXXXX", 987), "987X");
}

TEST(AboutBoxYear, EachDialogShowsTheCurrentYearOnce) {
    const QString year = QString::number(QDate::currentDate().year());
    TAboutBox first;
    TAboutBox second;
    for (TAboutBox* box : {&first, &second}) {
        const QString line = box->Copyright->text();
        EXPECT_EQ(line.count(year), 1) << line.toStdString();
        EXPECT_FALSE(line.contains("XXXX"));
    }
    const QString before = first.Copyright->text();
    for (int i = 0; i < 2; ++i) {
        first.open();
        first.BitBtn1->click();
    }
    EXPECT_EQ(first.Copyright->text(), before);
}

TEST(AboutBoxTexts, TheDevelopersHoldTheCopyrightAndTheLicenceAndVersionAreNamed) {
    TAboutBox box;
    EXPECT_EQ(
        box.Copyright->text(),
        QString("Copyright \u00a9 %1 the Tonvera developers").arg(QDate::currentDate().year()));
    EXPECT_EQ(box.Comments->text(), LicenceText());
    EXPECT_TRUE(LicenceText().startsWith("Version " TONVERA_VERSION ". "));
    EXPECT_TRUE(LicenceText().contains("GNU General Public License, version 3 or later"));
    // Nobody is named who does not exist, and no mail address.
    for (QLabel* label : box.findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains('@')) << label->text().toStdString();
}

TEST(AboutBoxAccess, EveryControlHasANameAndADescription) {
    TAboutBox box;
    for (QWidget* control : box.findChildren<QWidget*>()) {
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(control);
        EXPECT_FALSE(access->text(QAccessible::Name).isEmpty()) << access->role();
        EXPECT_FALSE(access->text(QAccessible::Description).isEmpty()) << access->role();
    }
    // A label is heard as it reads, the year filled in.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(box.Copyright)->text(QAccessible::Name),
              box.Copyright->text());
}

TEST(AboutBoxLook, FixedSizeLogoAndTextsThatFit) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_EQ(box.size(), QSize(664, 453));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(box.windowFlags() & Qt::WindowCloseButtonHint);

    EXPECT_TRUE(box.LogoProgressive());
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(306, 322));
    EXPECT_EQ(box.BitBtn1->text(), "OK");
    EXPECT_EQ(box.BitBtn1->Kind(), bkOK);
    EXPECT_TRUE(box.BitBtn1->Default());
    EXPECT_EQ(box.BitBtnXP1->text(), box.WebAddress().host());

    // No text is cut off by its label or by the panel.
    for (QLabel* label : {box.Comments, box.Label3})
        EXPECT_LE(label->heightForWidth(label->width()), label->height())
            << label->text().toStdString();
    for (QLabel* label : {box.ProductName, box.Copyright, box.Label1, box.Label2})
        EXPECT_LE(label->geometry().right(), box.Panel1->width() - 3)
            << label->text().toStdString();
}

TEST(AboutBoxLogo, ThePlainPixelsAtScaleOneAndTwiceAsManyOnAScaledScreen) {
    const JpegPicture plain = ReadJpegFile(TONVERA_SOURCE_DIR "/app/resources/logo.jpg");
    const JpegPicture sharp = ReadJpegFile(TONVERA_SOURCE_DIR "/app/resources/logo@2x.jpg");
    EXPECT_TRUE(sharp.progressive);
    TAboutBox box;
    const auto shown = [&box] { return box.ProgramIcon->pixmap(); };
    box.open();  // on this screen, one device pixel to a point
    EXPECT_EQ(shown().devicePixelRatio(), 1.0);
    EXPECT_EQ(shown().toImage().convertToFormat(QImage::Format_RGB888), plain.image);
    box.BitBtn1->click();

    box.ShowLogoFor(2);
    EXPECT_EQ(shown().devicePixelRatio(), 2.0);
    EXPECT_EQ(shown().size(), QSize(612, 644));
    EXPECT_EQ(shown().toImage().convertToFormat(QImage::Format_RGB888), sharp.image);
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(16, 40, 306, 322));
    box.ShowLogoFor(1.25);
    EXPECT_EQ(shown().toImage().convertToFormat(QImage::Format_RGB888), plain.image);
}

TEST(AboutBoxClosing, OkEnterCloseBoxAndEscape) {
    TAboutBox box;
    box.open();
    QTest::mouseClick(box.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), mrOk);

    box.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    box.setResult(0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), mrOk);

    box.open();
    box.close();
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), mrCancel);

    // The modal show reports the same.
    QTimer::singleShot(0, box.BitBtn1, &QAbstractButton::click);
    EXPECT_EQ(box.exec(), mrOk);
}

TEST(AboutBoxWeb, EveryClickAsksTheDesktopAndTheDialogStays) {
    TAboutBox box;
    QList<QUrl> opened;
    box.SetUrlOpener([&](const QUrl& url) { opened << url; });
    box.open();
    QTest::mouseClick(box.BitBtnXP1, Qt::LeftButton);
    QTest::mouseClick(box.BitBtnXP1, Qt::LeftButton);
    EXPECT_EQ(opened, (QList<QUrl>{TAboutBox::WebAddress(), TAboutBox::WebAddress()}));
    EXPECT_TRUE(box.isVisible());
    EXPECT_TRUE(TAboutBox::WebAddress().isValid());
    box.BitBtn1->click();
}

TEST(AboutBoxPlace, CentredFirstThenWhereItWasLeft) {
    TAboutBox box;
    box.open();
    const QRect screen = box.screen()->geometry();
    EXPECT_EQ(box.pos(), QPoint(screen.left() + (screen.width() - 664) / 2,
                                screen.top() + (screen.height() - 453) / 2));
    box.move(40, 30);
    box.BitBtn1->click();
    box.open();
    EXPECT_EQ(box.pos(), QPoint(40, 30));
    box.BitBtn1->click();
}

}  // namespace
