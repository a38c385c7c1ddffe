#pragma once
// The media control interface: one command entry point (mciSendCommandA) over numbered devices,
// its error texts (mciGetErrorStringA) and the completion notices (MM_MCINOTIFY) that a device
// posts to the receiver named by dwCallback.
#include <functional>
#include <memory>
#include <string>

#include "platform/mmtypes.h"

using MCIERROR = DWORD;
using MCIDEVICEID = UINT;

// Messages
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;
constexpr UINT MCI_SEEK = 0x0807;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_SET = 0x080D;
constexpr UINT MCI_STATUS = 0x0814;

// Flags common to every message
constexpr DWORD MCI_NOTIFY = 0x1;
constexpr DWORD MCI_WAIT = 0x2;
constexpr DWORD MCI_FROM = 0x4;
constexpr DWORD MCI_TO = 0x8;
// MCI_OPEN
constexpr DWORD MCI_OPEN_SHAREABLE = 0x100;
constexpr DWORD MCI_OPEN_ELEMENT = 0x200;
constexpr DWORD MCI_OPEN_ALIAS = 0x400;
constexpr DWORD MCI_OPEN_TYPE = 0x2000;
// Our own, clear of the flags the standard devices define: the record is an
// MCI_SEQ_OPEN_PARMSA whose lpstrSoundFont names the SoundFont the sequencer plays the file with,
// as a wave device's open record carries its buffer length. A waveaudio device has no use for
// it and lets it pass, so one player opens either kind of file.
constexpr DWORD MCI_SEQ_OPEN_SOUNDFONT = 0x00400000;
// Our own: the sequencer plays into an external synth's MIDI port (MCI_SEQ_OPEN_PARMSA's
// lpstrPort) and its sound is recorded from that synth's ports (lpstrRecordPorts).
constexpr DWORD MCI_SEQ_OPEN_PORT = 0x00800000;
// MCI_SEEK
constexpr DWORD MCI_SEEK_TO_START = 0x100;
constexpr DWORD MCI_SEEK_TO_END = 0x200;
// MCI_STATUS
constexpr DWORD MCI_STATUS_ITEM = 0x100;
// MCI_SET
constexpr DWORD MCI_SET_TIME_FORMAT = 0x400;

// MCI_STATUS items
constexpr DWORD MCI_STATUS_LENGTH = 1;
constexpr DWORD MCI_STATUS_POSITION = 2;
constexpr DWORD MCI_STATUS_MODE = 4;
// Our own item: how often the device's output stream ran dry since the open. Every run dry
// inserts silence into the music, so a recording of it has a gap. Far above the standard and
// device-specific items, so it never collides with one.
constexpr DWORD MCI_STATUS_UNDERFLOWS = 0x00540001;
// Our own item: whether the device's file was read only in part, and why; the rest of the
// music is missing from what it plays.
constexpr DWORD MCI_STATUS_READ_IN_PART = 0x00540002;
constexpr DWORD_PTR MCI_READ_WHOLE = 0;
constexpr DWORD_PTR MCI_READ_TRACK_CUT_OFF = 1;   // the file ends inside a track
constexpr DWORD_PTR MCI_READ_TRACKS_MISSING = 2;  // fewer tracks than its header announces
// Our own items: the rate in Hz at which the sound server plays the device's sound (0 when it
// cannot tell; another rate than 44 100 means the server resamples it), and which server that
// is, for saying how to change its rate.
constexpr DWORD MCI_STATUS_DEVICE_RATE = 0x00540003;
constexpr DWORD MCI_STATUS_SOUND_SERVER = 0x00540004;
constexpr DWORD_PTR MCI_SERVER_UNKNOWN = 0;
constexpr DWORD_PTR MCI_SERVER_PULSEAUDIO = 1;
constexpr DWORD_PTR MCI_SERVER_PIPEWIRE = 2;
// Our own item: the wave-in device ID that records exactly this device's sound, for waveInOpen.
// A device with nothing to record that way answers MCIERR_UNSUPPORTED_FUNCTION.
constexpr DWORD MCI_STATUS_RECORDER = 0x00540005;

// Modes (the answer to MCI_STATUS_MODE)
constexpr DWORD MCI_MODE_NOT_READY = 524;
constexpr DWORD MCI_MODE_STOP = 525;
constexpr DWORD MCI_MODE_PLAY = 526;
constexpr DWORD MCI_MODE_RECORD = 527;
constexpr DWORD MCI_MODE_SEEK = 528;
constexpr DWORD MCI_MODE_PAUSE = 529;
constexpr DWORD MCI_MODE_OPEN = 530;

// Time formats
constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
constexpr DWORD MCI_FORMAT_TMSF = 10;

// MM_MCINOTIFY and its outcomes (wParam)
constexpr UINT MM_MCINOTIFY = 0x3B9;
constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 1;
constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 2;
constexpr WPARAM MCI_NOTIFY_ABORTED = 4;
constexpr WPARAM MCI_NOTIFY_FAILURE = 8;

// Error codes
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr MCIERROR MCIERR_UNRECOGNIZED_KEYWORD = MCIERR_BASE + 3;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = MCIERR_BASE + 25;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
constexpr MCIERROR MCIERR_DEVICE_NOT_INSTALLED = MCIERR_BASE + 50;
constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
// Codes of our own devices: the sound server and the synthesizer's sound bank.
constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = MCIERR_BASE + 256;
constexpr MCIERROR MCIERR_NO_SOUND_SERVER = MCIERR_CUSTOM_DRIVER_BASE + 1;
constexpr MCIERROR MCIERR_NO_SOUNDFONT = MCIERR_CUSTOM_DRIVER_BASE + 2;

// Parameter records (this platform's layout)
struct MCI_GENERIC_PARMS {
    DWORD_PTR dwCallback;
};

struct MCI_OPEN_PARMSA {
    DWORD_PTR dwCallback;
    MCIDEVICEID wDeviceID;
    LPCSTR lpstrDeviceType;
    LPCSTR lpstrElementName;
    LPCSTR lpstrAlias;
};

struct MCI_SEQ_OPEN_PARMSA {
    DWORD_PTR dwCallback;
    MCIDEVICEID wDeviceID;
    LPCSTR lpstrDeviceType;
    LPCSTR lpstrElementName;
    LPCSTR lpstrAlias;
    LPCSTR lpstrSoundFont;
    LPCSTR lpstrPort;         // MCI_SEQ_OPEN_PORT: a JACK MIDI input port, or a client's name
    LPCSTR lpstrRecordPorts;  // audio output ports, comma-separated; null or "" = the client's
};

struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwFrom;
    DWORD dwTo;
};

struct MCI_SEEK_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwTo;
};

struct MCI_SET_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwTimeFormat;
    DWORD dwAudio;
};

struct MCI_STATUS_PARMS {
    DWORD_PTR dwCallback;
    DWORD_PTR dwReturn;
    DWORD dwItem;
    DWORD dwTrack;
};

// Dispatch to the installed service; MCIERR_DEVICE_NOT_INSTALLED when there is none.
MCIERROR mciSendCommandA(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param);
// The English text for a code, cut to fit the buffer and always zero-terminated. FALSE for a
// code that has no text, or for no buffer at all.
BOOL mciGetErrorStringA(MCIERROR error, LPSTR buffer, UINT length);

namespace platform {

class MciService {
  public:
    virtual ~MciService() = default;
    virtual MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags,
                                 DWORD_PTR param) = 0;
    // The text for a code this service can return; false for any other code.
    virtual bool ErrorText(MCIERROR error, std::string* text) const = 0;
};

// The fixed English text of every code declared above, or null for any other value.
const char* StandardMciErrorText(MCIERROR error);

// Delivers MM_MCINOTIFY (wParam = outcome, lParam = device id) to the receiver named by a
// command's dwCallback. Devices call it from whatever thread the notice happens on, sometimes
// while holding their own locks, so a poster must only queue the notice and never call back
// into the service. Without a poster notices are dropped.
using McinotifyPoster = std::function<void(DWORD_PTR callback, WPARAM outcome, LPARAM deviceId)>;
void SetMciNoticePoster(McinotifyPoster poster);
// For services: posts through the installed poster; nothing when callback is 0.
void PostMciNotice(DWORD_PTR callback, WPARAM outcome, MCIDEVICEID device);
// The dwCallback of a command's record (every record starts with one); 0 without a record.
DWORD_PTR CallbackOf(DWORD_PTR param);

}  // namespace platform
