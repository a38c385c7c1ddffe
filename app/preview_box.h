#pragma once
// PaintBox1: the waveform preview surface. The capture hands each newest buffer over from its
// own thread; it is drawn on the next paint, once: any later repaint shows the empty field.
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <vector>

namespace app {

class TPreviewBox : public QWidget {
    Q_OBJECT
  public:
    explicit TPreviewBox(QWidget* parent = nullptr);

    static QColor Background() { return QColor(128, 0, 0); }
    static QColor Line() { return QColor(0, 255, 0); }

    // UI thread: keeps the buffer and asks for a repaint.
    void ShowNewest(std::vector<uint8_t> bytes);
    // Any thread: queues the buffer for the UI thread (the capture's preview sink).
    void PostNewest(std::vector<uint8_t> bytes);
    // UI thread: back to the empty field; buffers still on their way are dropped.
    void Clear();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<uint8_t> newest_;
    bool pending_ = false;
    std::atomic<unsigned> generation_{0};
};

}  // namespace app
