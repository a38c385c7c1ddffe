// The MCI sequencer device that plays a MIDI file into a JACK synth (MCI_SEQ_OPEN_PORT).
// Milliseconds only; play runs from the start to the end, stop resets the synth.
#include <chrono>
#include <thread>

#include "platform/jack/jack_backend.h"
#include "platform/jack/jack_session.h"

namespace platform::jack {
namespace {

class JackMci : public MciService {
  public:
    explicit JackMci(std::shared_ptr<JackDevices> devices) : devices_(std::move(devices)) {}
    MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) override;
    // The reason in full where there is one: the standard texts speak of the sound server,
    // which an external synth's failure has nothing to do with.
    bool ErrorText(MCIERROR error, std::string* text) const override {
        std::lock_guard lock(mutex_);
        if (error == lastError_ && !detail_.empty()) {
            *text = detail_;
            return true;
        }
        const char* standard = StandardMciErrorText(error);
        if (!standard) return false;
        *text = standard;
        return true;
    }

  private:
    MCIERROR Fail(MCIERROR error, const std::string& detail = "") const {
        std::lock_guard lock(mutex_);
        lastError_ = error;
        detail_ = detail;
        return error;
    }
    MCIERROR Open(DWORD_PTR flags, MCI_SEQ_OPEN_PARMSA* p);
    MCIERROR Play(JackSession& s, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Status(JackSession& s, MCIDEVICEID id, MCI_STATUS_PARMS* p);

    std::shared_ptr<JackDevices> devices_;
    mutable std::mutex mutex_;
    mutable MCIERROR lastError_ = 0;
    mutable std::string detail_;
    MCIDEVICEID next_ = kFirstDeviceId;
    std::map<MCIDEVICEID, DWORD_PTR> readInPart_;
};

MCIERROR JackMci::Open(DWORD_PTR flags, MCI_SEQ_OPEN_PARMSA* p) {
    if (!p) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
    if (!(flags & MCI_OPEN_ELEMENT) || !p->lpstrElementName)
        return Fail(MCIERR_FILENAME_REQUIRED, "The sequencer plays a file: name one to open.");
    if (!p->lpstrPort || !*p->lpstrPort)
        return Fail(MCIERR_MISSING_PARAMETER, "Name the synthesizer's JACK MIDI port or client.");
    std::string why;
    auto song = platform::midi::ReadSmfFile(p->lpstrElementName, &why);
    if (!song)
        return Fail(MCIERR_INVALID_FILE,
                    std::string(p->lpstrElementName) + " is not a valid MIDI file: " + why);
    const DWORD_PTR part = song->cut == platform::midi::SmfCut::kTrackCutOff    ? MCI_READ_TRACK_CUT_OFF
                           : song->cut == platform::midi::SmfCut::kTracksMissing ? MCI_READ_TRACKS_MISSING
                                                                                : MCI_READ_WHOLE;
    auto session = JackSession::Open(std::make_shared<const platform::midi::SmfSong>(std::move(*song)),
                                     p->lpstrPort, p->lpstrRecordPorts ? p->lpstrRecordPorts : "", &why);
    if (!session) return Fail(MCIERR_NO_SOUND_SERVER, why);
    MCIDEVICEID id;
    {
        std::lock_guard lock(devices_->mutex);
        while (devices_->sessions.count(next_)) ++next_;
        id = next_++;
        devices_->sessions[id] = std::move(session);
        readInPart_[id] = part;
    }
    p->wDeviceID = id;
    if (flags & MCI_NOTIFY) PostMciNotice(p->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR JackMci::SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    if (msg == MCI_OPEN) return Open(flags, reinterpret_cast<MCI_SEQ_OPEN_PARMSA*>(param));
    auto session = devices_->Find(device);
    if (!session) return Fail(MCIERR_INVALID_DEVICE_ID);
    const DWORD_PTR callback = CallbackOf(param);
    auto notify = [&] {
        if (flags & MCI_NOTIFY) PostMciNotice(callback, MCI_NOTIFY_SUCCESSFUL, device);
    };
    switch (msg) {
        case MCI_CLOSE: {
            {
                std::lock_guard lock(devices_->mutex);
                devices_->sessions.erase(device);
                readInPart_.erase(device);
            }
            session->Stop();
            session.reset();  // the synth is reset and the client closed here
            notify();
            return 0;
        }
        case MCI_PLAY:
            if (flags & (MCI_FROM | MCI_TO))
                return Fail(MCIERR_UNSUPPORTED_FUNCTION,
                            "Play always runs from the start to the end.");
            return Play(*session, device, flags, param);
        case MCI_STOP:
            session->Stop();
            notify();
            return 0;
        case MCI_SEEK:
        case MCI_SET:
            if (msg == MCI_SET && param &&
                reinterpret_cast<const MCI_SET_PARMS*>(param)->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
                return Fail(MCIERR_BAD_TIME_FORMAT, "This device counts in milliseconds only.");
            notify();
            return 0;
        case MCI_STATUS:
            if (!param) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
            if (MCIERROR e = Status(*session, device, reinterpret_cast<MCI_STATUS_PARMS*>(param)))
                return e;
            notify();
            return 0;
        default:
            return Fail(MCIERR_UNRECOGNIZED_COMMAND);
    }
}

MCIERROR JackMci::Play(JackSession& s, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    const DWORD_PTR callback = (flags & MCI_NOTIFY) ? CallbackOf(param) : 0;
    auto onEnd = [callback, id](JackSession::Outcome o) {
        PostMciNotice(callback,
                      o == JackSession::Outcome::kDone      ? MCI_NOTIFY_SUCCESSFUL
                      : o == JackSession::Outcome::kStopped ? MCI_NOTIFY_ABORTED
                                                            : MCI_NOTIFY_FAILURE,
                      id);
    };
    if (!s.Play(onEnd)) return Fail(MCIERR_HARDWARE, s.Failure());
    if (flags & MCI_WAIT)
        while (s.Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}

MCIERROR JackMci::Status(JackSession& s, MCIDEVICEID id, MCI_STATUS_PARMS* p) {
    switch (p->dwItem) {
        case MCI_STATUS_LENGTH: p->dwReturn = s.LengthMs(); break;
        case MCI_STATUS_POSITION: p->dwReturn = s.PositionMs(); break;
        case MCI_STATUS_MODE:
            p->dwReturn = s.Playing() ? MCI_MODE_PLAY : s.Alive() ? MCI_MODE_STOP : MCI_MODE_NOT_READY;
            break;
        case MCI_STATUS_RECORDER: p->dwReturn = id; break;
        case MCI_STATUS_UNDERFLOWS: p->dwReturn = 0; break;  // holes go to the recorder
        case MCI_STATUS_DEVICE_RATE: p->dwReturn = platform::midi::kSmfRate; break;
        case MCI_STATUS_SOUND_SERVER: p->dwReturn = MCI_SERVER_UNKNOWN; break;
        case MCI_STATUS_READ_IN_PART: {
            std::lock_guard lock(devices_->mutex);
            p->dwReturn = readInPart_[id];
            break;
        }
        default: return Fail(MCIERR_UNSUPPORTED_FUNCTION);
    }
    return 0;
}

}  // namespace

std::unique_ptr<MciService> MakeJackMci(std::shared_ptr<JackDevices> devices) {
    return std::make_unique<JackMci>(std::move(devices));
}

JackServices MakeJackServices() {
    auto devices = std::make_shared<JackDevices>();
    return {MakeJackMci(devices), MakeJackWaveIn(devices)};
}

}  // namespace platform::jack
