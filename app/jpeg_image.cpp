#include "app/jpeg_image.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <memory>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

// Larger pictures are refused before any memory is taken for them.
constexpr unsigned long long kMaxPixels = 64ull * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's default ends the process; we return to the decoding call instead.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings are counted (num_warnings), not printed.
void Silent(j_common_ptr) {}

using SourceSetup = void (*)(j_decompress_ptr cinfo, void* context);

void Fail(ErrorManager* err, const char* text) {
    std::snprintf(err->message, sizeof err->message, "%s", text);
}

// longjmp skips destructors: this frame holds no object that has one, and everything it fills
// lives in the caller's frame.
bool Decode(jpeg_decompress_struct* cinfo, ErrorManager* err, SourceSetup setup, void* context,
            JpegPicture* out) {
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = ErrorExit;
    err->pub.output_message = Silent;
    err->message[0] = '\0';
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    setup(cinfo, context);
    jpeg_read_header(cinfo, TRUE);
    out->progressive = jpeg_has_multiple_scans(cinfo) || cinfo->progressive_mode;
    cinfo->out_color_space = JCS_RGB;
    if (static_cast<unsigned long long>(cinfo->image_width) * cinfo->image_height > kMaxPixels) {
        Fail(err, "Picture too large");
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_start_decompress(cinfo);
    out->image = QImage(int(cinfo->output_width), int(cinfo->output_height), QImage::Format_RGB888);
    if (out->image.isNull() || cinfo->output_components != 3) {
        Fail(err, "Out of memory for the picture");
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->image.scanLine(int(cinfo->output_scanline));
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    out->warnings = int(err->pub.num_warnings);
    jpeg_destroy_decompress(cinfo);
    return true;
}

JpegPicture Run(SourceSetup setup, void* context) {
    JpegPicture picture;
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    if (!Decode(&cinfo, &err, setup, context, &picture)) {
        picture.image = QImage();
        picture.error = QString::fromLocal8Bit(err.message);
    }
    return picture;
}

}  // namespace

JpegPicture DecodeJpeg(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {QImage(), false, 0, QStringLiteral("Empty input file")};
    auto fromMemory = [](j_decompress_ptr cinfo, void* context) {
        const auto* data = static_cast<const QByteArray*>(context);
        jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data->constData()),
                     static_cast<unsigned long>(data->size()));
    };
    return Run(fromMemory, const_cast<QByteArray*>(&bytes));
}

JpegPicture ReadJpegFile(const QString& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(
        std::fopen(QFile::encodeName(path).constData(), "rb"), &std::fclose);
    if (!file) return {QImage(), false, 0, QStringLiteral("Cannot open %1").arg(path)};
    auto fromFile = [](j_decompress_ptr cinfo, void* context) {
        jpeg_stdio_src(cinfo, static_cast<FILE*>(context));
    };
    return Run(fromFile, file.get());
}
