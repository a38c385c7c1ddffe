#pragma once
// TBitBtnXP: the push button of both windows, with a kind (standard caption, glyph, modal result,
// default and cancel roles), a glyph strip laid out beside the caption, and a face drawn by the
// style when it is a theme, in the classic 3-D manner otherwise.
//
// Enter clicks the window's active default button and Escape its enabled Cancel button, in any
// window (a QDialog or a plain QWidget); a click inside a QDialog with ModalResult != 0 ends the
// dialog with that result before clicked() reaches other receivers. A bkClose button closes its
// window instead (clicked() is still emitted); bkHelp finds no help context and clicks plainly.
//
// A described caption surviving the kind: a window description sets Caption before Kind. Code
// that builds a window expresses that either by setting Kind first and Caption after, or, in
// description order, between BeginLoad() and EndLoad():
//     btn->BeginLoad(); btn->SetCaption("Convert file"); btn->SetKind(bkAll); btn->EndLoad();
#include <QPushButton>

#include "controls/button_glyph.h"
#include "controls/button_kinds.h"

enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };

class TBitBtnXP : public QPushButton {
    Q_OBJECT

  public:
    explicit TBitBtnXP(QWidget* parent = nullptr);
    ~TBitBtnXP() override;

    // Reads bkCustom, from then on, once Default, Cancel or ModalResult differ from the kind's
    // values or a glyph was assigned directly.
    TBitBtnXPKind Kind() const;
    void SetKind(TBitBtnXPKind kind);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);

    const QImage& Glyph() const { return glyph_.Glyph(); }
    // Sets GlyphModified; a strip whose width is a multiple of its height sets NumGlyphs. The
    // same strip at twice the pixels, if given, is what screens that scale by two show.
    void SetGlyph(const QImage& strip, const QImage& strip2x = {});
    int NumGlyphs() const { return glyph_.NumGlyphs(); }
    // Above 4 becomes 4; 0 is ignored.
    void SetNumGlyphs(int n);
    bool GlyphModified() const { return glyphModified_; }

    // The button's own roles; Qt's default-button machinery (QPushButton::setDefault,
    // autoDefault) is not used.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value);

    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    // -1 is automatic; below -1 is ignored.
    int Margin() const { return margin_; }
    void SetMargin(int value);
    // -1 is automatic.
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    // The face does not depend on it.
    TButtonStyle Style() const { return style_; }

    // True while the button is shown as its window's active default button: it has the focus,
    // or the focus is on a control that is not a push button and this button is Default.
    bool IsActive() const { return isActive_; }

    // While loading, a kind keeps a caption already set.
    void BeginLoad() { loading_ = true; }
    void EndLoad() { loading_ = false; }
    bool Loading() const { return loading_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void OnClicked();
    void UpdateActive(QWidget* focus);
    void SetActive(bool active);
    bool KindValuesKept() const;

    TButtonGlyph glyph_;
    TButtonStyle style_ = bsAutoDetect;
    mutable TBitBtnXPKind kind_ = bkCustom;
    TButtonLayout layout_ = blGlyphLeft;
    int spacing_ = 4;
    int margin_ = -1;
    bool isActive_ = false;
    bool glyphModified_ = false;
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
    bool loading_ = false;
    QMetaObject::Connection focusTracking_;
};
