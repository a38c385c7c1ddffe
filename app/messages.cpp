#include "app/messages.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace app {
namespace {

MessageSink& InstalledSink() {
    static MessageSink sink;
    return sink;
}
bool g_headless = false;

void DefaultSink(const TMessage& m) {
    if (g_headless) {
        std::fprintf(stderr, "tonvera: %s\n", m.text.toLocal8Bit().constData());
        std::fflush(stderr);
        return;
    }
    QMessageBox box;
    box.setWindowTitle(QGuiApplication::applicationDisplayName());
    box.setText(m.text);
    box.setIcon(m.icon == TMsgIcon::miStop      ? QMessageBox::Critical
                : m.icon == TMsgIcon::miWarning ? QMessageBox::Warning
                                                : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
    MessageSink previous = std::move(InstalledSink());
    InstalledSink() = std::move(sink);
    return previous;
}

void ShowMessage(const TMessage& message) {
    if (InstalledSink())
        InstalledSink()(message);
    else
        DefaultSink(message);
}

void SetHeadless(bool headless) {
    g_headless = headless;
}
bool Headless() {
    return g_headless;
}

}  // namespace app
