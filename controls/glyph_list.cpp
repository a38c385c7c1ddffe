#include "controls/glyph_list.h"

#include <QPainter>
#include <algorithm>

#include "base/exception.h"

namespace {

std::unique_ptr<TGlyphCache> sharedCache;

}  // namespace

QImage MaskedImage(const QImage& image, QRgb maskColor) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = maskColor | 0xFF000000u;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = (line[x] | 0xFF000000u) == key ? 0u : (line[x] | 0xFF000000u);
    }
    return out;
}

TGlyphList::TGlyphList(int width, int height) : width_(width), height_(height) {}

bool TGlyphList::IsUsed(int slot) const {
    return slot >= 0 && slot < static_cast<int>(used_.size()) && used_[slot];
}

int TGlyphList::AddImage(const QImage& bitmap, QRgb maskColor) {
    // Refuse before taking a slot: a refused image must not leave a slot marked live.
    if (bitmap.isNull() || bitmap.width() != width_ || bitmap.height() != height_)
        throw Exception("Bild kann nicht ersetzt werden");
    const auto free = std::find(used_.begin(), used_.end(), false);
    const int slot = static_cast<int>(free - used_.begin());
    if (slot >= static_cast<int>(used_.size())) {
        images_.emplace_back();
        used_.resize(slot + 1, false);
    }
    used_[slot] = true;
    images_[slot] = MaskedImage(bitmap, maskColor);
    ++count_;
    return slot;
}

void TGlyphList::ReleaseImage(int slot) {
    if (!IsUsed(slot)) return;
    --count_;
    used_[slot] = false;
}

QImage TGlyphList::Image(int slot) const {
    if (slot < 0 || slot >= Capacity()) return {};
    return images_[slot];
}

void TGlyphList::Draw(QPainter& painter, int slot, int x, int y) const {
    if (slot < 0 || slot >= Capacity() || images_[slot].isNull()) return;
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(x, y, images_[slot]);
    painter.setCompositionMode(mode);
}

TGlyphList* TGlyphCache::AcquireList(int width, int height) {
    for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
        if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
    lists_.push_back(std::make_unique<TGlyphList>(width, height));
    return lists_.back().get();
}

void TGlyphCache::ReleaseList(TGlyphList* list) {
    if (list == nullptr || list->Count() != 0) return;
    const auto it = std::find_if(lists_.begin(), lists_.end(),
                                 [list](const auto& owned) { return owned.get() == list; });
    if (it != lists_.end()) lists_.erase(it);
}

TGlyphCache* SharedGlyphCache() {
    return sharedCache.get();
}

TGlyphCache& EnsureSharedGlyphCache() {
    if (!sharedCache) sharedCache = std::make_unique<TGlyphCache>();
    return *sharedCache;
}

void DropSharedGlyphCacheIfEmpty() {
    if (sharedCache && sharedCache->IsEmpty()) sharedCache.reset();
}
