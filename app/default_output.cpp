#include "app/default_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>

namespace app {

bool FolderWritable(const QString& folder) {
    if (folder.isEmpty()) return false;
    const QByteArray path = QFile::encodeName(folder);
    // A file without a name leaves nothing behind, not even when the program is killed here.
    int fd = ::open(path.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR) return false;
    // File systems without unnamed files: a named one, removed at once.
    QByteArray name = path + (path.endsWith('/') ? "" : "/") + ".tonvera-probe-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::unlink(name.constData());
    ::close(fd);
    return true;
}

QString DefaultOutputFolder(const QString& programFolder, const WritableProbe& writable) {
    if (writable(programFolder)) return programFolder;
    const QString candidates[] = {QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
                                  QDir::homePath()};
    for (const QString& folder : candidates) {
        if (folder.isEmpty() || !writable(folder)) continue;
        return folder.endsWith(u'/') ? folder : folder + u'/';
    }
    return programFolder;
}

}  // namespace app
