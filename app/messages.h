#pragma once
// Every message the program shows goes through here: a message box on a display, standard
// error without one, or whatever a test installs in their place.
#include <QString>
#include <functional>

namespace app {

enum class TMsgIcon { miNone, miWarning, miStop };

struct TMessage {
    QString text;
    TMsgIcon icon = TMsgIcon::miNone;
};

using MessageSink = std::function<void(const TMessage&)>;

// Installs a sink and returns the one it replaces; an empty sink restores the default.
MessageSink SetMessageSink(MessageSink sink);
// Shows the message and returns once it has been confirmed (at once without a display).
void ShowMessage(const TMessage& message);

// A line for whoever runs the command line (the piece's length before it plays): standard
// error, whether or not there is a display.
void ConsoleNote(const QString& text);

// Without a display nobody can confirm a box: messages go to standard error instead.
void SetHeadless(bool headless);
bool Headless();

}  // namespace app
