#include "controls/combo_edit.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "controls/edit_button.h"

namespace {

// The sunken 3-D border of the box: two pixels on every side, drawn by us in every style.
constexpr int kBorder = 2;
// A border line of the window system (the box's minimum height counts four of them).
constexpr int kBorderHeight = 1;

}  // namespace

TCustomComboEdit::TCustomComboEdit(QWidget* parent)
    : QLineEdit(parent), clickKey_(QKeyCombination(Qt::AltModifier, Qt::Key_Down)) {
    setFrame(false);
    setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    setAcceptDrops(false);
    container_ = new QWidget(this);
    container_->setCursor(Qt::ArrowCursor);
    button_ = new TEditButton(container_);
    connect(button_, &TEditButton::clicked, this, [this] { ButtonClick(); });
    UpdateMinimumHeight();
    resize(width(), 21);
    UpdateButtonPlace();
}

void TCustomComboEdit::SetDirectInput(bool on) {
    directInput_ = on;
    ApplyEditReadOnly();
}

void TCustomComboEdit::SetReadOnly(bool on) {
    readOnly_ = on;
    ApplyEditReadOnly();
}

void TCustomComboEdit::ApplyEditReadOnly() {
    QLineEdit::setReadOnly(readOnly_ || !directInput_);
}

void TCustomComboEdit::SetButtonWidth(int width) {
    buttonWidth_ = std::max(width, 0);
    UpdateButtonPlace();
}

void TCustomComboEdit::SetGlyph(const QImage& strip, int numGlyphs) {
    button_->SetGlyph(strip);
    button_->SetNumGlyphs(numGlyphs);
    const int cellWidth = strip.isNull() ? 0 : strip.width() / button_->NumGlyphs();
    SetButtonWidth(std::max(cellWidth + 6, 21));
}

int TCustomComboEdit::MinimumBoxHeight() const {
    const int textHeight =
        std::min(QFontMetrics(QApplication::font()).height(), QFontMetrics(font()).height());
    return textHeight + 4 * kBorderHeight + 1;
}

void TCustomComboEdit::DoClick() {
    button_->click();
}

void TCustomComboEdit::UpdateMinimumHeight() {
    setMinimumHeight(MinimumBoxHeight());
}

void TCustomComboEdit::UpdateButtonPlace() {
    // The container's place is given in client coordinates, which start inside the border.
    container_->setGeometry(kBorder + width() - buttonWidth_ - 4, kBorder, buttonWidth_,
                            std::max(height() - 4, 0));
    button_->setGeometry(0, 0, buttonWidth_, container_->height());
    container_->setVisible(buttonWidth_ > 0);
    // The text stops short of the button.
    setTextMargins(0, 0, buttonWidth_ + 2, 0);
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!clickKey_.isEmpty() && buttonWidth_ > 0 &&
        QKeySequence(QKeyCombination(modifiers, Qt::Key(event->key()))) == clickKey_) {
        DoClick();
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Dialog keys belong to the window: its default or cancel button reacts.
            event->ignore();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void TCustomComboEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    const bool byKeyboard = event->reason() == Qt::TabFocusReason ||
                            event->reason() == Qt::BacktabFocusReason ||
                            event->reason() == Qt::ShortcutFocusReason;
    if (!byKeyboard) return;
    if (autoSelect_)
        selectAll();
    else
        deselect();
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    UpdateButtonPlace();
}

// A hidden widget gets its resize event only when shown.
void TCustomComboEdit::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    UpdateButtonPlace();
}

void TCustomComboEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange) {
        UpdateMinimumHeight();
        UpdateButtonPlace();
    }
}

void TCustomComboEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), true);
}
