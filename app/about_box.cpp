#include "app/about_box.h"

#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include "app/accessible_text.h"
#include "app/jpeg_image.h"
#include "controls/app_glyphs.h"
#include "controls/buttons_xp.h"

// Resources of a static library are registered only when something names them.
static void InitAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace {

const char* const kLogoResource = ":/tonvera/logo.jpg";
const char* const kLogo2xResource = ":/tonvera/logo@2x.jpg";
const char* const kWebAddress = "https://www.brennholt.example/";

// The panel behind the logo and texts: a lowered outer and a raised inner bevel, one pixel each.
class BevelPanel : public QWidget {
  public:
    BevelPanel(QWidget* parent, const QColor& colour) : QWidget(parent), colour_(colour) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QColor light = palette().color(QPalette::Light);
        const QColor shadow = palette().color(QPalette::Dark);
        QRect r = rect();
        Frame(painter, r, shadow, light);
        r.adjust(1, 1, -1, -1);
        Frame(painter, r, light, shadow);
        r.adjust(1, 1, -1, -1);
        painter.fillRect(r, colour_);
    }

  private:
    static void Frame(QPainter& painter, const QRect& r, const QColor& topLeft,
                      const QColor& bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(r.left(), r.bottom(), r.left(), r.top());
        painter.drawLine(r.left(), r.top(), r.right(), r.top());
        painter.setPen(bottomRight);
        painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
    }

    QColor colour_;
};

JpegPicture DecodeResource(const char* name) {
    QFile file(QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? DecodeJpeg(file.readAll()) : JpegPicture{};
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLabel* MakeWrappedLabel(QWidget* parent, const QString& text, const QRect& bounds) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(bounds);
    return label;
}

// The window font: 11 pixels character height, a plain sans serif.
QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// A narrow bold face for the product line; condensed where no narrow family is installed.
QFont ProductFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::Condensed);
    font.setPixelSize(24);
    font.setBold(true);
    return font;
}

}  // namespace

QString LicenceText() {
    return QStringLiteral(
               "Version %1. Free software under the GNU General Public License, version 3 or "
               "later.")
        .arg(QStringLiteral(TONVERA_VERSION));
}

QString ReplaceYearPlaceholder(const QString& text, int year) {
    QString result = text;
    const qsizetype at = result.indexOf(QStringLiteral("XXXX"));
    if (at >= 0) result.replace(at, 4, QString::number(year));
    return result;
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent), opener_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    InitAppResources();
    setWindowTitle(QStringLiteral("Info"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(664, 453);
    setFont(WindowFont());

    Panel1 = new BevelPanel(this, QColor(240, 202, 166));
    Panel1->setGeometry(8, 8, 649, 385);

    BuildLogo();
    BuildTexts();

    BitBtnXP1 = new TBitBtnXP(Panel1);
    BitBtnXP1->setGeometry(336, 240, 169, 25);
    BitBtnXP1->SetCaption(QStringLiteral("www.brennholt.example"));
    BitBtnXP1->SetGlyph(GlobeGlyph(), GlobeGlyph2x());
    connect(BitBtnXP1, &TBitBtnXP::clicked, this, &TAboutBox::BitBtnXP1Click);

    BitBtn1 = new TBitBtnXP(this);
    BitBtn1->setGeometry(241, 404, 181, 37);
    // The kind brings the caption "OK", its glyph, the default role and the modal result 1.
    BitBtn1->SetKind(bkOK);

    setTabOrder(BitBtnXP1, BitBtn1);
    // Enter at once closes the dialog, as on the default button.
    BitBtn1->setFocus();

    FormCreate();
    DescribeControls();
}

void TAboutBox::BuildLogo() {
    ProgramIcon = new QLabel(Panel1);
    const JpegPicture picture = DecodeResource(kLogoResource);
    logoProgressive_ = picture.progressive;
    if (!picture.image.isNull()) {
        logo_ = QPixmap::fromImage(picture.image);
        ProgramIcon->setPixmap(logo_);
    }
    ProgramIcon->setGeometry(16, 40, 306, 322);
}

void TAboutBox::ShowLogoFor(qreal ratio) {
    const bool sharp = ratio >= 1.5;
    if (sharp && logo2x_.isNull()) {
        QImage image = DecodeResource(kLogo2xResource).image;
        image.setDevicePixelRatio(2);
        logo2x_ = QPixmap::fromImage(image);
    }
    const QPixmap& shown = sharp && !logo2x_.isNull() ? logo2x_ : logo_;
    if (!shown.isNull() && ProgramIcon->pixmap().cacheKey() != shown.cacheKey())
        ProgramIcon->setPixmap(shown);
}

void TAboutBox::BuildTexts() {
    ProductName = MakeLabel(
        Panel1, QStringLiteral("Tonvera \u2013 software from the Brennholt workshop"), 8, 8);
    ProductName->setFont(ProductFont());
    QPalette black = ProductName->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    ProductName->setPalette(black);
    ProductName->adjustSize();

    Copyright =
        MakeLabel(Panel1, QStringLiteral("Copyright \u00a9 XXXX the Tonvera developers"), 336, 40);
    Comments = MakeWrappedLabel(Panel1, LicenceText(), QRect(336, 56, 257, 33));
    Label1 =
        MakeLabel(Panel1, QStringLiteral("Brennholt \u2013 music kindled in software."), 336, 96);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->adjustSize();
    Label2 =
        MakeLabel(Panel1, QStringLiteral("We build small, honest tools for musicians."), 336, 112);
    Label3 = MakeWrappedLabel(
        Panel1,
        QStringLiteral("News, updates and more programs from our workshop are waiting for you on "
                       "our web site: www.brennholt.example"),
        QRect(336, 128, 238, 121));
}

// A label's name is its text, which is what a reader should hear.
void TAboutBox::DescribeControls() {
    using app::Describe;
    Describe(Panel1, QStringLiteral("About Tonvera"),
             QStringLiteral("The program's logo, copyright, version, licence and web site"));
    Describe(ProgramIcon, QStringLiteral("Tonvera logo"),
             QStringLiteral("A burning log with two notes rising from the flame"));
    Describe(ProductName, ProductName->text(), QStringLiteral("The program and its maker"));
    Describe(Copyright, Copyright->text(), QStringLiteral("Who holds the copyright"));
    Describe(Comments, Comments->text(), QStringLiteral("This version and its licence"));
    Describe(Label1, Label1->text(), QStringLiteral("The maker's motto"));
    Describe(Label2, Label2->text(), QStringLiteral("What the maker does"));
    Describe(Label3, Label3->text(), QStringLiteral("Where to find news and updates"));
    Describe(BitBtnXP1, QStringLiteral("Web site"),
             QStringLiteral("Opens %1 in the web browser").arg(WebAddress().host()));
    Describe(BitBtn1, QStringLiteral("OK"), QStringLiteral("Closes this window"));
}

void TAboutBox::FormCreate() {
    Copyright->setText(ReplaceYearPlaceholder(Copyright->text(), QDate::currentDate().year()));
    Copyright->adjustSize();
}

QUrl TAboutBox::WebAddress() {
    return QUrl(QString::fromLatin1(kWebAddress));
}

void TAboutBox::SetUrlOpener(UrlOpener opener) {
    if (opener) opener_ = std::move(opener);
}

void TAboutBox::BitBtnXP1Click() {
    opener_(WebAddress());
}

void TAboutBox::reject() {
    done(mrCancel);
}

void TAboutBox::showEvent(QShowEvent* event) {
    if (!placed_) {
        QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
        const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
        lastPos_ = QPoint(area.left() + (area.width() - width()) / 2,
                          area.top() + (area.height() - height()) / 2);
        placed_ = true;
    }
    move(lastPos_);
    ShowLogoFor(devicePixelRatio());
    QDialog::showEvent(event);
}

void TAboutBox::hideEvent(QHideEvent* event) {
    lastPos_ = pos();
    QDialog::hideEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    // No cancel button: Escape leaves the dialog open.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
