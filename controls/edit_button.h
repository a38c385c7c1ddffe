#pragma once
// The small push button that sits inside the right end of a combo edit: a glyph centred on a
// button face, set off from the text by a face-coloured and a highlight line on its left.
#include <QAbstractButton>
#include <QImage>

class TEditButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit TEditButton(QWidget* parent = nullptr);

    // A strip of NumGlyphs cells; the colour of its bottom-left pixel is transparent.
    QImage Glyph() const { return glyph_; }
    void SetGlyph(const QImage& strip);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage glyph_;
    int numGlyphs_ = 1;
};
