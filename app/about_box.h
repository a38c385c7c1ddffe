#pragma once
// TAboutBox: the info dialog with the maker's logo, the copyright, version and licence lines, a
// few lines about the maker, a button that opens the maker's web page and the OK button. Created
// hidden at start-up and shown with exec(): OK (or Enter) ends it with 1, the close box with 2;
// Escape does nothing.
#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;
class TBitBtnXP;

// Modal results of the dialog.
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// The text with its first "XXXX" replaced by the year's decimal digits.
QString ReplaceYearPlaceholder(const QString& text, int year);

// The dialog's line about this version and its licence.
QString LicenceText();

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    // Asks the desktop to open a web address; the answer is not used.
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit TAboutBox(QWidget* parent = nullptr);

    // The maker's web page that BitBtnXP1 opens.
    static QUrl WebAddress();
    // Replaces QDesktopServices::openUrl (tests).
    void SetUrlOpener(UrlOpener opener);
    // Whether the logo came from a progressive JPEG (it should).
    bool LogoProgressive() const { return logoProgressive_; }
    // The logo as drawn for a screen of that device pixel ratio: at twice the pixels from 1.5
    // up, at the same size in points. Called as the dialog is shown.
    void ShowLogoFor(qreal ratio);

    void FormCreate();
    void BitBtnXP1Click();

    // Ends with mrCancel: the close box.
    void reject() override;

    QWidget* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    TBitBtnXP* BitBtnXP1 = nullptr;
    TBitBtnXP* BitBtn1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildLogo();
    void BuildTexts();
    void DescribeControls();

    QPixmap logo_;
    QPixmap logo2x_;  // decoded when a screen first needs it
    UrlOpener opener_;
    QPoint lastPos_;
    bool placed_ = false;
    bool logoProgressive_ = false;
};
