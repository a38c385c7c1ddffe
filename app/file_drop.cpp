#include "app/file_drop.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "controls/file_name_rules.h"

namespace app {

namespace {

// A MIDI file saved under another name still starts with its header chunk.
bool StartsLikeMidi(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "MThd";
}

}  // namespace

TDroppedFile DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
    const QString path = urls.front().toLocalFile();
    // Only a regular file is opened: a pipe would wait for a writer.
    const QFileInfo info(path);
    if (!info.isFile() || !IsAcceptableFileName(path) || !ReadsBackUnchanged(path)) return {};
    const QString ending = info.suffix().toLower();
    if (ending == u"wav") return {TDroppedFile::Kind::kWav, path};
    if (ending == u"mid" || ending == u"midi" || ending == u"rmi" || StartsLikeMidi(path))
        return {TDroppedFile::Kind::kMidi, path};
    return {};
}

}  // namespace app
