#include "app/messages.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

#include "app/local_names.h"

namespace app {
namespace {

MessageSink& InstalledSink() {
    static MessageSink sink;
    return sink;
}
bool g_headless = false;

// Names that are not UTF-8 come out as the bytes they are.
void WriteLines(const QString& text) {
    for (const QString& line : text.split(u'\n'))
        std::fprintf(stderr, "tonvera: %s\n", LocalPath(line).c_str());
    std::fflush(stderr);
}

void DefaultSink(const TMessage& m) {
    if (g_headless) {
        WriteLines(m.text);
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

void ConsoleNote(const QString& text) {
    WriteLines(text);
}

void SetHeadless(bool headless) {
    g_headless = headless;
}
bool Headless() {
    return g_headless;
}

}  // namespace app
