#pragma once
// MM_MCINOTIFY on Qt: a notice receiver is a small QObject whose address serves as the MCI
// dwCallback. The program's poster queues each notice as an event on the receiver's thread
// (the UI thread); notices for a receiver that is gone are dropped without touching it.
#include <QEvent>
#include <QObject>
#include <functional>

#include "platform/mci.h"

namespace media {

class McinotifyReceiver : public QObject {
    Q_OBJECT
  public:
    using Handler = std::function<void(WPARAM outcome, LPARAM deviceId)>;
    explicit McinotifyReceiver(Handler handler);
    ~McinotifyReceiver() override;

    DWORD_PTR Handle() const { return reinterpret_cast<DWORD_PTR>(this); }

    // Queues a notice for the receiver named by `callback` on its thread's event queue; false
    // (and nothing queued) when no such receiver lives. Safe from any thread.
    static bool Post(DWORD_PTR callback, WPARAM outcome, LPARAM deviceId);
    // Hands a notice to the receiver at once, on the calling thread (tests that queue notices
    // themselves); false when no such receiver lives.
    static bool Deliver(DWORD_PTR callback, WPARAM outcome, LPARAM deviceId);

  protected:
    bool event(QEvent* e) override;

  private:
    Handler handler_;
};

// Makes the MCI service deliver its notices through McinotifyReceiver::Post.
void InstallQtNoticePoster();

}  // namespace media
