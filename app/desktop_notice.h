#pragma once
// A word to the desktop when a conversion is done while the user looks at another window: the
// freedesktop notification service (org.freedesktop.Notifications) on the session's D-Bus.
#include <QString>
#include <cstdint>
#include <memory>

namespace app {

struct TNotice {
    QString summary;  // "song.wav is ready"
    QString body;     // "3:25 of music, written to /home/ann/Music"; plain text
};

// The notice for a WAV file that holds the whole piece.
TNotice ReadyNotice(const QString& wavPath, int32_t lengthMs);

class TDesktopNotice {
  public:
    virtual ~TDesktopNotice() = default;
    // Hands the notice over and returns at once; a desktop without the service is no error.
    virtual void Tell(const TNotice& notice) = 0;
};

// On the session bus, or on the bus at the given address (tests bring a bus of their own). The
// bus is reached only when there is something to tell.
std::unique_ptr<TDesktopNotice> FreedesktopNotice(const QString& busAddress = {});

}  // namespace app
