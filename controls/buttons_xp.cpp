#include "controls/buttons_xp.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "controls/button_face.h"

namespace {

// Enter and Escape reach the buttons of the focus widget's window before any widget sees them,
// so QDialog's own Escape handling, and windows that are no dialogs at all, behave alike.
class TDialogKeys : public QObject {
  public:
    using QObject::QObject;

    static void Install() {
        static QPointer<TDialogKeys> keys;
        if (keys.isNull() && qApp != nullptr) {
            keys = new TDialogKeys(qApp);
            qApp->installEventFilter(keys);
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool escape = key->key() == Qt::Key_Escape;
        if (!enter && !escape) return false;
        if (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
            return false;
        QWidget* window = static_cast<QWidget*>(watched)->window();
        const auto buttons = window->findChildren<TBitBtnXP*>();
        for (TBitBtnXP* button : buttons) {
            if (button->window() != window || !button->isVisible() || !button->isEnabled())
                continue;
            if ((enter && button->IsActive()) || (escape && button->Cancel())) {
                button->click();
                return true;
            }
        }
        return false;
    }
};

}  // namespace

TBitBtnXP::TBitBtnXP(QWidget* parent) : QPushButton(parent) {
    glyph_.OnChange = [this] { update(); };
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    resize(75, 25);
    TDialogKeys::Install();
    // Connected before anyone else can connect, so the dialog's result is set before the
    // window's own click handlers run.
    connect(this, &QAbstractButton::clicked, this, &TBitBtnXP::OnClicked);
    focusTracking_ = connect(qApp, &QApplication::focusChanged, this,
                             [this](QWidget*, QWidget* now) { UpdateActive(now); });
}

// The base destructor moves the focus away; by then this part of the button is gone.
TBitBtnXP::~TBitBtnXP() {
    disconnect(focusTracking_);
}

bool TBitBtnXP::KindValuesKept() const {
    const TKindInfo& info = KindInfo(kind_);
    return default_ == info.isDefault && cancel_ == info.isCancel &&
           modalResult_ == info.modalResult && !glyphModified_;
}

TBitBtnXPKind TBitBtnXP::Kind() const {
    if (kind_ != bkCustom && !KindValuesKept()) kind_ = bkCustom;
    return kind_;
}

void TBitBtnXP::SetKind(TBitBtnXPKind kind) {
    if (kind == kind_) return;
    if (kind != bkCustom) {
        const TKindInfo& info = KindInfo(kind);
        SetDefault(kind == bkOK || kind == bkYes);
        SetCancel(kind == bkCancel || kind == bkNo);
        if (!(loading_ && !text().isEmpty())) setText(QString::fromLatin1(info.caption));
        modalResult_ = info.modalResult;
        glyph_.SetGlyph(KindGlyph(kind));
        glyph_.SetGlyph2x(KindGlyph2x(kind));
        glyph_.SetNumGlyphs(2);
        glyphModified_ = false;
    }
    kind_ = kind;
    update();
}

void TBitBtnXP::SetCaption(const QString& caption) {
    if (caption == text()) return;
    setText(caption);
    update();
}

void TBitBtnXP::SetGlyph(const QImage& strip, const QImage& strip2x) {
    glyph_.SetGlyph(strip);
    glyph_.SetGlyph2x(strip2x);
    glyphModified_ = true;
    update();
}

void TBitBtnXP::SetNumGlyphs(int n) {
    if (n > 4) n = 4;
    if (n == glyph_.NumGlyphs()) return;
    glyph_.SetNumGlyphs(n);
    update();
}

void TBitBtnXP::SetDefault(bool value) {
    if (value == default_) return;
    default_ = value;
    UpdateActive(QApplication::focusWidget());
}

void TBitBtnXP::SetCancel(bool value) {
    cancel_ = value;
}

void TBitBtnXP::SetModalResult(int value) {
    modalResult_ = value;
}

void TBitBtnXP::SetLayout(TButtonLayout value) {
    if (value == layout_) return;
    layout_ = value;
    update();
}

void TBitBtnXP::SetMargin(int value) {
    if (value < -1 || value == margin_) return;
    margin_ = value;
    update();
}

void TBitBtnXP::SetSpacing(int value) {
    if (value == spacing_) return;
    spacing_ = value;
    update();
}

void TBitBtnXP::SetActive(bool active) {
    if (active == isActive_) return;
    isActive_ = active;
    update();
}

void TBitBtnXP::UpdateActive(QWidget* focus) {
    // Focus in another window, or none, leaves this window's default button as it was.
    if (focus == nullptr || focus->window() != window()) return;
    if (focus == this)
        SetActive(true);
    else if (qobject_cast<QPushButton*>(focus) != nullptr)
        SetActive(false);
    else
        SetActive(default_);
}

void TBitBtnXP::OnClicked() {
    const TBitBtnXPKind kind = Kind();
    // No help contexts exist here, so bkHelp always falls through to the plain click.
    if (kind == bkClose && window() != this) {
        window()->close();
        return;
    }
    if (modalResult_ != 0)
        if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
}

void TBitBtnXP::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TBitBtnXP::showEvent(QShowEvent* event) {
    QPushButton::showEvent(event);
    // Build the first image now, so the first paint only draws.
    if (!glyph_.Glyph().isNull()) glyph_.GetStateImage(isEnabled() ? gsUp : gsDisabled);
    UpdateActive(QApplication::focusWidget());
}

void TBitBtnXP::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) update();
}

QSize TBitBtnXP::sizeHint() const {
    const QSize glyph(glyph_.Glyph().width() / glyph_.NumGlyphs(), glyph_.Glyph().height());
    const QSize caption =
        text().isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, text());
    const int gap = glyph.width() > 0 && caption.width() > 0 ? qMax(spacing_, 4) : 0;
    const int width = glyph.width() + gap + caption.width() + 16;
    const int height = qMax(glyph.height(), caption.height()) + 8;
    return QSize(qMax(75, width), qMax(25, height));
}

QSize TBitBtnXP::minimumSizeHint() const {
    return sizeHint();
}

void TBitBtnXP::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TFaceState face;
    face.client = rect();
    face.down = isDown();
    face.focus = hasFocus();
    face.disabled = !isEnabled();
    face.isActive = isActive_;
    face.themed = IsThemedStyle(style());
    face.color = palette().color(QPalette::Button);
    QRect r = PaintButtonFace(painter, *this, face);

    const TGlyphState state = !isEnabled() ? gsDisabled : face.down ? gsDown : gsUp;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::ButtonText));
    if (face.down) r.translate(1, 1);
    const unsigned textFlags = layoutDirection() == Qt::RightToLeft ? DT_RTLREADING : 0;
    glyph_.Draw(painter, r, QPoint(0, 0), text(), layout_, margin_, spacing_, state, textFlags);
    PaintButtonFocus(painter, face);
}
