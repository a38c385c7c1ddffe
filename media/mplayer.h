#pragma once
// The media player: opens a file through the media control interface, plays, stops, polls and
// closes it. A plain object with a notice receiver of its own; the device does the decoding and
// the sound output.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/exception.h"
#include "platform/mci.h"

namespace media {
class McinotifyReceiver;
}

enum TMPDeviceTypes {
    dtAutoSelect,
    dtAVIVideo,
    dtCDAudio,
    dtDAT,
    dtDigitalVideo,
    dtMMMovie,
    dtOther,
    dtOverlay,
    dtScanner,
    dtSequencer,
    dtVCR,
    dtVideodisc,
    dtWaveAudio
};

enum TPlayerMode { pmNotReady, pmStopped, pmPlaying, pmRecording, pmSeeking, pmPaused, pmOpen };

enum TNoticeStatus { nsSuccessful, nsSuperseded, nsAborted, nsFailure };

class EMCIDeviceError : public Exception {
  public:
    using Exception::Exception;
};

class TMediaPlayer {
  public:
    TMediaPlayer();
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // Settings
    std::string FileName;
    TMPDeviceTypes DeviceType = dtAutoSelect;
    bool AutoOpen = false;
    bool AutoRewind = true;
    bool Shareable = false;
    // The SoundFont the sequencer plays a MIDI file with; empty for the device's own. Sent with
    // every open (MCI_SEQ_OPEN_SOUNDFONT), which a wave file's device lets pass.
    std::string SoundFont;
    // An external synthesizer's JACK MIDI input (or client) the sequencer plays into instead of
    // its own, and the audio ports that record it (empty: that client's outputs). Sent with
    // every open that names a port (MCI_SEQ_OPEN_PORT).
    std::string SynthPort;
    std::string RecordPorts;
    std::function<void(TMediaPlayer* sender)> OnNotify;

    // State
    bool IsOpen() const { return isOpen_; }
    WORD DeviceId() const { return deviceId_; }
    MCIERROR LastError() const { return lastError_; }
    TNoticeStatus LastNotice() const { return lastNotice_; }
    // The notice receiver, passed to the service as dwCallback.
    DWORD_PTR Handle() const;

    // Runs once the owner has applied its settings: opens when AutoOpen is set.
    void Loaded();

    void Open();
    void Close();
    void Play();
    void Stop();
    void Rewind();
    void SetTimeFormat(UINT format);
    int32_t Length();
    int32_t Position();
    TPlayerMode Mode();
    // How often the device's output ran dry since the open; 0 when the device cannot tell.
    int32_t Underflows();
    std::string ErrorText() const;

    // The MM_MCINOTIFY handler.
    void MMNotify(WPARAM outcome, LPARAM deviceId);

  private:
    void RequireOpen() const;
    // MCI_STATUS with one item; 0 when the query fails.
    DWORD_PTR Status(DWORD item);

    std::unique_ptr<media::McinotifyReceiver> receiver_;
    bool isOpen_ = false;
    WORD deviceId_ = 0;
    MCIERROR lastError_ = 0;
    TNoticeStatus lastNotice_ = nsSuccessful;
};

// The device type name MCI_OPEN passes for each TMPDeviceTypes value.
const char* DeviceTypeName(TMPDeviceTypes type);
