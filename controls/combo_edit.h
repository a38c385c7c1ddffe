#pragma once
// An edit box that carries a button inside its right end: the base of the file-name field.
#include <QKeySequence>
#include <QLineEdit>

class TEditButton;

class TCustomComboEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit TCustomComboEdit(QWidget* parent = nullptr);

    // The user may type into the box; paste and cut act only while this holds and the field is
    // not read-only. The button works either way.
    bool DirectInput() const { return directInput_; }
    void SetDirectInput(bool on);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    // Entering the box by keyboard selects the whole text.
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool on) { autoSelect_ = on; }
    // The shortcut that acts as a click on the button (Alt+Down).
    QKeySequence ClickKey() const { return clickKey_; }
    void SetClickKey(const QKeySequence& key) { clickKey_ = key; }
    // Width of the button (21); the larger of glyph cell width + 6 and 21.
    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int width);

    TEditButton* Button() const { return button_; }
    // The container of the button, placed in client coordinates of the box (inside its border):
    // left = width - ButtonWidth - 4, top 0, height = height - 4.
    QWidget* ButtonContainer() const { return container_; }
    // Smallest height the box keeps: text height + 4 border heights + 1.
    int MinimumBoxHeight() const;

    // As a click on the button.
    void DoClick();

  protected:
    virtual void ButtonClick() {}
    void SetGlyph(const QImage& strip, int numGlyphs);

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void UpdateButtonPlace();
    void UpdateMinimumHeight();
    void ApplyEditReadOnly();

    QWidget* container_ = nullptr;
    TEditButton* button_ = nullptr;
    QKeySequence clickKey_;
    int buttonWidth_ = 21;
    bool directInput_ = true;
    bool readOnly_ = false;
    bool autoSelect_ = true;
};
