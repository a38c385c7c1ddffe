#include "app/about_box.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDate>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

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

TEST(AboutBoxAccess, EveryControlHasANameADescriptionAndItsRole) {
    TAboutBox box;
    const std::vector<std::pair<QWidget*, QAccessible::Role>> controls = {
        {box.Panel1, QAccessible::Client},          {box.ProgramIcon, QAccessible::Graphic},
        {box.ProductName, QAccessible::StaticText}, {box.Copyright, QAccessible::StaticText},
        {box.Comments, QAccessible::StaticText},    {box.Label1, QAccessible::StaticText},
        {box.Label2, QAccessible::StaticText},      {box.Label3, QAccessible::StaticText},
        {box.BitBtnXP1, QAccessible::Button},       {box.BitBtn1, QAccessible::Button}};
    for (const auto& [widget, role] : controls) {
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(access, nullptr);
        const std::string what = widget->metaObject()->className();
        EXPECT_FALSE(access->text(QAccessible::Name).isEmpty()) << what;
        EXPECT_FALSE(access->text(QAccessible::Description).isEmpty()) << what;
        EXPECT_EQ(access->role(), role) << what;
    }
    // A label is heard as it reads, the year filled in.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(box.Copyright)->text(QAccessible::Name),
              box.Copyright->text());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(box.BitBtnXP1)->text(QAccessible::Name),
              "Web site");
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
