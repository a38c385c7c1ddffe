#include "media/notice_poster.h"

#include <QCoreApplication>
#include <mutex>
#include <unordered_set>

namespace media {
namespace {

const QEvent::Type kMcinotifyEvent = QEvent::Type(QEvent::User + int(MM_MCINOTIFY));

class McinotifyEvent : public QEvent {
  public:
    McinotifyEvent(WPARAM outcome, LPARAM deviceId)
        : QEvent(kMcinotifyEvent), outcome(outcome), deviceId(deviceId) {}
    const WPARAM outcome;
    const LPARAM deviceId;
};

// The receivers alive right now. Notices come from device threads; a receiver is only ever
// looked at while it is in this set, and it leaves the set before it dies, so a notice for a
// closed player never reaches freed memory. Qt drops events still queued for a deleted object.
std::mutex& LiveMutex() {
    static std::mutex m;
    return m;
}
std::unordered_set<DWORD_PTR>& Live() {
    static std::unordered_set<DWORD_PTR> live;
    return live;
}

}  // namespace

McinotifyReceiver::McinotifyReceiver(Handler handler) : handler_(std::move(handler)) {
    std::lock_guard lock(LiveMutex());
    Live().insert(Handle());
}

McinotifyReceiver::~McinotifyReceiver() {
    std::lock_guard lock(LiveMutex());
    Live().erase(Handle());
}

bool McinotifyReceiver::Post(DWORD_PTR callback, WPARAM outcome, LPARAM deviceId) {
    std::lock_guard lock(LiveMutex());
    if (!Live().count(callback)) return false;
    QCoreApplication::postEvent(reinterpret_cast<McinotifyReceiver*>(callback),
                                new McinotifyEvent(outcome, deviceId));
    return true;
}

bool McinotifyReceiver::Deliver(DWORD_PTR callback, WPARAM outcome, LPARAM deviceId) {
    McinotifyReceiver* receiver = nullptr;
    {
        std::lock_guard lock(LiveMutex());
        if (!Live().count(callback)) return false;
        receiver = reinterpret_cast<McinotifyReceiver*>(callback);
    }
    if (receiver->handler_) receiver->handler_(outcome, deviceId);
    return true;
}

bool McinotifyReceiver::event(QEvent* e) {
    if (e->type() != kMcinotifyEvent) return QObject::event(e);
    auto* notice = static_cast<McinotifyEvent*>(e);
    if (handler_) handler_(notice->outcome, notice->deviceId);
    return true;
}

void InstallQtNoticePoster() {
    platform::SetMciNoticePoster([](DWORD_PTR callback, WPARAM outcome, LPARAM deviceId) {
        McinotifyReceiver::Post(callback, outcome, deviceId);
    });
}

}  // namespace media
