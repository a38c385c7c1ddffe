#include "app/jpeg_image.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include "support/temp_folder.h"

namespace {

// Qt's own writer makes baseline files to check our reading against.
QByteArray EncodeWithQt(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

int MaxDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

QByteArray LogoBytes() {
    QFile file(TONVERA_SOURCE_DIR "/app/resources/logo.jpg");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(JpegImage, LogoIsProgressiveAndDecodesLikeQtDoes) {
    const QByteArray bytes = LogoBytes();
    const JpegPicture picture = DecodeJpeg(bytes);
    ASSERT_FALSE(picture.image.isNull()) << picture.error.toStdString();
    EXPECT_EQ(picture.image.size(), QSize(306, 322));
    EXPECT_TRUE(picture.progressive);
    EXPECT_EQ(picture.warnings, 0);
    // Channel order and row stride: the same picture as an independent decoder gives.
    const QImage reference = QImage::fromData(bytes, "JPEG");
    ASSERT_EQ(reference.size(), picture.image.size());
    EXPECT_LE(MaxDifference(picture.image, reference), 2);

    const JpegPicture fromFile = ReadJpegFile(TONVERA_SOURCE_DIR "/app/resources/logo.jpg");
    EXPECT_TRUE(fromFile.progressive);
    EXPECT_EQ(fromFile.image, picture.image);
}

TEST(JpegImage, BaselineColourAndGreyPictures) {
    QImage colour(37, 19, QImage::Format_RGB32);  // odd sizes catch stride mistakes
    colour.fill(qRgb(200, 30, 40));
    for (int y = 0; y < 19; ++y)
        for (int x = 20; x < 37; ++x) colour.setPixel(x, y, qRgb(20, 60, 220));
    const JpegPicture decoded = DecodeJpeg(EncodeWithQt(colour, 95));
    ASSERT_EQ(decoded.image.size(), QSize(37, 19)) << decoded.error.toStdString();
    EXPECT_FALSE(decoded.progressive);
    const QRgb red = decoded.image.pixel(4, 9), blue = decoded.image.pixel(32, 9);
    EXPECT_NEAR(qRed(red), 200, 12);
    EXPECT_NEAR(qBlue(red), 40, 12);
    EXPECT_NEAR(qBlue(blue), 220, 12);
    EXPECT_NEAR(qRed(blue), 20, 12);

    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(90);
    const JpegPicture g = DecodeJpeg(EncodeWithQt(grey, 95));
    ASSERT_FALSE(g.image.isNull()) << g.error.toStdString();
    const QRgb p = g.image.pixel(3, 3);
    EXPECT_NEAR(qRed(p), 90, 3);
    EXPECT_EQ(qRed(p), qGreen(p));
    EXPECT_EQ(qRed(p), qBlue(p));
}

TEST(JpegImage, BrokenInputIsReportedNotFatal) {
    const JpegPicture empty = DecodeJpeg(QByteArray());
    EXPECT_TRUE(empty.image.isNull());
    EXPECT_FALSE(empty.error.isEmpty());

    const JpegPicture garbage = DecodeJpeg(QByteArray(500, 'x'));
    EXPECT_TRUE(garbage.image.isNull());
    EXPECT_FALSE(garbage.error.isEmpty());

    // A cut-off file still gives a picture, with the fault counted.
    const QByteArray bytes = LogoBytes();
    const JpegPicture cut = DecodeJpeg(bytes.left(bytes.size() / 3));
    EXPECT_EQ(cut.image.size(), QSize(306, 322));
    EXPECT_GT(cut.warnings, 0);

    // Only the header survives: the scan data is missing entirely.
    const JpegPicture headerOnly = DecodeJpeg(bytes.left(300));
    EXPECT_TRUE(headerOnly.image.isNull() || headerOnly.warnings > 0);

    const testsupport::TempFolder dir;
    EXPECT_TRUE(ReadJpegFile(dir.QPath("missing.jpg")).image.isNull());
    QFile zero(dir.QPath("zero.jpg"));
    ASSERT_TRUE(zero.open(QIODevice::WriteOnly));
    zero.close();
    const JpegPicture none = ReadJpegFile(zero.fileName());
    EXPECT_TRUE(none.image.isNull());
    EXPECT_FALSE(none.error.isEmpty());
}

}  // namespace
