#include "app/local_names.h"

#include <QFile>

namespace app {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at`, or 0: no overlong forms, no surrogates,
// nothing above U+10FFFF.
size_t SequenceLength(const std::string& s, size_t at) {
    const auto c = static_cast<unsigned char>(s[at]);
    if (c < 0x80) return 1;
    size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    const auto second = static_cast<unsigned char>(s[at + 1]);
    if (second < low || second > high) return 0;
    for (size_t i = 2; i < n; ++i)
        if (!Continuation(static_cast<unsigned char>(s[at + i]))) return 0;
    return n;
}

bool IsEscape(const QString& name, qsizetype i) {
    const char16_t u = name.at(i).unicode();
    if (u < kEscapeBase + 0x80 || u > kEscapeBase + 0xFF) return false;
    // The low half of a real surrogate pair is a character, not an escaped byte.
    return i == 0 || !name.at(i - 1).isHighSurrogate();
}

}  // namespace

QString FromLocal(const std::string& bytes) {
    const QByteArray raw = QByteArray::fromStdString(bytes);
    const QString decoded = QFile::decodeName(raw);
    if (QFile::encodeName(decoded) == raw) return decoded;
    QString out;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = SequenceLength(bytes, i);
        if (n == 0) {
            out += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.data() + i, qsizetype(n));
            i += n;
        }
    }
    return out;
}

std::string LocalPath(const QString& name) {
    std::string out;
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += QFile::encodeName(name.mid(runStart, end - runStart)).toStdString();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!IsEscape(name, i)) continue;
        flush(i);
        out += char(name.at(i).unicode() - kEscapeBase);
        runStart = i + 1;
    }
    flush(name.size());
    return out;
}

}  // namespace app
