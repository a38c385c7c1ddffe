#include "app/error_handler.h"

#include "app/local_names.h"
#include "app/messages.h"
#include "base/exception.h"

namespace app {

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QChar(u'.')) return text + u'.';
    return text;
}

void HandleException(std::exception_ptr error) {
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        text = FromLocal(e.Message());
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    ShowMessage({WithFullStop(text), TMsgIcon::miStop});
}

bool Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

}  // namespace app
