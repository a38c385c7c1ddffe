#pragma once
// JPEG pictures decoded with libjpeg: baseline and progressive, greyscale or colour, into a QImage.
// A broken file gives a null image and the library's message; it never ends the program.
#include <QByteArray>
#include <QImage>
#include <QString>

struct JpegPicture {
    QImage image;              // RGB888; null when decoding failed
    bool progressive = false;  // the file holds several scans
    int warnings = 0;          // recoverable faults libjpeg met (e.g. a cut-off file)
    QString error;             // libjpeg's message when decoding failed
};

JpegPicture DecodeJpeg(const QByteArray& bytes);
JpegPicture ReadJpegFile(const QString& path);
