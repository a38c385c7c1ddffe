#pragma once
// Masked glyph images of one cell size, shared by every button glyph of that size. Slots are
// never removed: a released slot is marked free and overwritten by the next image added, so
// the indexes other glyphs hold stay valid.
#include <QImage>
#include <QRgb>
#include <memory>
#include <vector>

class QPainter;

class TGlyphList {
  public:
    TGlyphList(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Number of live slots.
    int Count() const { return count_; }
    // Slots ever allocated, live or free.
    int Capacity() const { return static_cast<int>(images_.size()); }
    bool IsUsed(int slot) const;

    // Stores the image in the lowest free slot, pixels of maskColor made transparent. Throws
    // Exception("Bild kann nicht ersetzt werden") for a null image or one of another size; the
    // list is then left as it was.
    int AddImage(const QImage& bitmap, QRgb maskColor);
    void ReleaseImage(int slot);

    // The slot's image as stored: ARGB32, masked pixels fully transparent.
    QImage Image(int slot) const;
    // Draws through the mask: masked pixels leave the target as it was.
    void Draw(QPainter& painter, int slot, int x, int y) const;

  private:
    int width_;
    int height_;
    int count_ = 0;
    std::vector<bool> used_;
    std::vector<QImage> images_;
};

class TGlyphCache {
  public:
    // The last list of that size, or a new one appended.
    TGlyphList* AcquireList(int width, int height);
    // Destroys the list once it holds no live image.
    void ReleaseList(TGlyphList* list);
    bool IsEmpty() const { return lists_.empty(); }
    int ListCount() const { return static_cast<int>(lists_.size()); }

  private:
    std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The one cache of the process; nullptr while no button glyph needs it.
TGlyphCache* SharedGlyphCache();
TGlyphCache& EnsureSharedGlyphCache();
// Destroys the shared cache when it holds no list.
void DropSharedGlyphCacheIfEmpty();

// A copy of the image in which every pixel of maskColor is transparent and every other pixel is
// opaque (ARGB32).
QImage MaskedImage(const QImage& image, QRgb maskColor);
