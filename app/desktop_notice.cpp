#include "app/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include "app/clock_text.h"

namespace app {

namespace {

class TFreedesktopNotice : public TDesktopNotice {
  public:
    explicit TFreedesktopNotice(QString address) : address_(std::move(address)) {}

    void Tell(const TNotice& notice) override {
        QDBusConnection bus = Bus();
        if (!bus.isConnected()) return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        const QString id = QStringLiteral(TONVERA_APP_ID);
        const QVariantMap hints{{QStringLiteral("desktop-entry"), id},
                                {QStringLiteral("category"), QStringLiteral("transfer.complete")}};
        // The body may be read as markup: a "&" or "<" in a folder's name must stay text.
        call << QStringLiteral("Tonvera") << uint(0) << id << notice.summary
             << notice.body.toHtmlEscaped() << QStringList() << hints << int(-1);
        // Sent without waiting: the answer, or the bus's word that nobody serves the name, is
        // of no use to a run that is over.
        bus.send(call);
    }

  private:
    QDBusConnection Bus() const {
        if (address_.isEmpty()) return QDBusConnection::sessionBus();
        return QDBusConnection::connectToBus(address_, QStringLiteral("tonvera-notice"));
    }

    QString address_;
};

}  // namespace

TNotice ReadyNotice(const QString& wavPath, int32_t lengthMs) {
    const QFileInfo file(wavPath);
    return {QStringLiteral("%1 is ready").arg(file.fileName()),
            QStringLiteral("%1 of music, written to %2")
                .arg(QString::fromStdString(FormatLength(lengthMs)), file.absolutePath())};
}

std::unique_ptr<TDesktopNotice> FreedesktopNotice(const QString& busAddress) {
    return std::make_unique<TFreedesktopNotice>(busAddress);
}

}  // namespace app
