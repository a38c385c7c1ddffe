#include "controls/file_name_rules.h"

#include <QFileInfo>

namespace {

// The argument parser stops at a NUL as the text of a C string would.
QChar At(const QString& s, qsizetype i) {
    return i < s.size() ? s.at(i) : QChar(u'\0');
}

bool IsSeparator(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

QString FirstArgument(const QString& text) {
    qsizetype p = 0;
    for (;;) {
        while (IsSeparator(At(text, p))) ++p;
        if (At(text, p) == u'"' && At(text, p + 1) == u'"')
            p += 2;
        else
            break;
    }
    QString arg;
    while (At(text, p).unicode() > 32) {
        if (At(text, p) == u'"') {
            ++p;
            while (At(text, p).unicode() != 0 && At(text, p) != u'"') arg += text.at(p++);
            if (At(text, p) == u'"') ++p;
        } else {
            arg += text.at(p++);
        }
    }
    return arg;
}

}  // namespace

QString TakeFileToken(const QString& text) {
    if (!text.isEmpty() && QFileInfo(text).isFile()) return text;
    return FirstArgument(text);
}

QString QuoteIfBlank(const QString& name) {
    if (name.contains(u' ') && !name.startsWith(u'"')) return u'"' + name + u'"';
    return name;
}

bool ReadsBackUnchanged(const QString& name) {
    return TakeFileToken(QuoteIfBlank(name)) == name;
}

bool IsAcceptableFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(QChar(0));
}

QString WhyNotReadBack(const QString& name) {
    if (ReadsBackUnchanged(name)) return {};
    if (name.contains(u'"'))
        return QStringLiteral("a double quote, which the field takes as the edge of a quoted "
                              "stretch");
    for (QChar c : name)
        if (c.unicode() >= 1 && c.unicode() < 32)
            return QStringLiteral("a control character (code %1), at which the field ends a name")
                .arg(c.unicode());
    return QStringLiteral("the field would read it as %1").arg(TakeFileToken(QuoteIfBlank(name)));
}

QString ExtractFilePath(const QString& path) {
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString ExtractFileName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QStringList FilterToNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        const QString pattern = parts.at(i + 1).trimmed();
        if (pattern.isEmpty()) continue;
        QStringList patterns;
        for (const QString& one : pattern.split(u';', Qt::SkipEmptyParts)) {
            const QString p = one.trimmed();
            // On Windows "*.*" also matches names without a dot.
            patterns << (p == QStringLiteral("*.*") ? QStringLiteral("*") : p);
        }
        // A description that already shows its pattern in brackets would show it twice.
        const QString shown = u'(' + pattern + u')';
        if (description.endsWith(shown)) description.chop(shown.size());
        description = description.trimmed();
        if (description.isEmpty()) description = pattern;
        result << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return result;
}
