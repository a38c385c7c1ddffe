#pragma once
// The general error handler: an error that escapes an event handler ends that handler and is
// shown with a stop icon; the application goes on.
#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace app {

// Appends "." when the last character's code is above that of ".": a message ending in a letter
// or digit gets a full stop, one ending in "." or "!" does not.
QString WithFullStop(const QString& text);

// Shows the error held by the pointer (Exception or std::exception; anything else as an
// unknown error).
void HandleException(std::exception_ptr error);

// Runs an event handler of ours; what escapes it goes to the general error handler. Returns
// false when something escaped.
bool Guarded(const std::function<void()>& handler);

// The application object: catches what escapes any event handler before it reaches the
// toolkit's own frames.
class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
