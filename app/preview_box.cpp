#include "app/preview_box.h"

#include <QPainter>

#include "engine/preview.h"

namespace app {

TPreviewBox::TPreviewBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewBox::ShowNewest(std::vector<uint8_t> bytes) {
    newest_ = std::move(bytes);
    pending_ = true;
    update();
}

void TPreviewBox::PostNewest(std::vector<uint8_t> bytes) {
    const unsigned generation = generation_.load();
    QMetaObject::invokeMethod(
        this,
        [this, generation, b = std::move(bytes)]() mutable {
            if (generation == generation_.load()) ShowNewest(std::move(b));
        },
        Qt::QueuedConnection);
}

void TPreviewBox::Clear() {
    ++generation_;
    pending_ = false;
    newest_.clear();
    update();
}

void TPreviewBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // PaintBox1Paint: the empty field, fill and outline alike.
    p.fillRect(0, 0, width(), height(), Background());
    if (!pending_) return;
    pending_ = false;
    const auto segments =
        engine::PreviewSegments(newest_.data(), int64_t(newest_.size()), width(), height());
    newest_.clear();
    p.setPen(QPen(Line(), 0));
    for (const auto& s : segments) p.drawLine(s.x1, s.y1, s.x2, s.y2);
}

}  // namespace app
