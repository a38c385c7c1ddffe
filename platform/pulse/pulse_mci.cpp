// The MCI service over the sound server: device "sequencer" (MIDI through the synthesizer) and
// device "waveaudio" (WAV files), each open device playing into a stream of its own.
//
// Time format: milliseconds only (MCI_FORMAT_MILLISECONDS, also the default). A device is always
// opened with its file: MCI_OPEN_TYPE alone, without MCI_OPEN_ELEMENT, is refused.
// The texts of refused opens carry the reason (the file, what is wrong with it, which SoundFonts
// were looked for); that detail belongs to the last failure with its code.
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/mci.h"
#include "platform/mci_files.h"
#include "platform/midi/smf_reader.h"
#include "platform/pulse/playback_stream.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/recorder_table.h"
#include "platform/pulse/sequencer_source.h"
#include "platform/pulse/wave_source.h"

namespace platform::pulse {
namespace {

struct Device {
    MciDevice kind;
    DWORD_PTR readInPart = MCI_READ_WHOLE;
    std::unique_ptr<PlaybackStream> stream;
    UINT recorder = 0;    // the wave-in device that records a sequencer alone; 0 none
    std::mutex commands;  // one command at a time per device
};

class PulseMci;
using Handler = MCIERROR (PulseMci::*)(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);

// What each message takes. Flags these devices know but do not do are refused with the reason
// before any other flag is looked at; a flag outside `allowed` is an unrecognized keyword.
struct MessageRule {
    UINT msg;
    bool needsRecord;
    DWORD_PTR allowed;
    DWORD_PTR unsupported;
    const char* whyUnsupported;
    Handler handler;  // MCI_OPEN and MCI_CLOSE are served before a device's own lock
};

constexpr DWORD_PTR kEvery = MCI_NOTIFY | MCI_WAIT;

class PulseMci : public MciService {
  public:
    explicit PulseMci(std::shared_ptr<RecorderTable> recorders)
        : recorders_(std::move(recorders)) {}
    MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) override;
    bool ErrorText(MCIERROR error, std::string* text) const override;

  private:
    static const MessageRule kRules[];

    MCIERROR Fail(MCIERROR error, const std::string& detail = "") const;
    MCIERROR Check(const MessageRule& rule, DWORD_PTR flags, DWORD_PTR param) const;
    std::shared_ptr<Device> Find(MCIDEVICEID id) const;
    MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms);
    MCIERROR OpenFile(MciDevice kind, const std::string& path, const std::string& soundFont,
                      std::unique_ptr<SoundSource>* source, DWORD_PTR* readInPart);
    MCIDEVICEID Add(std::shared_ptr<Device> device);
    MCIERROR Close(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR callback);
    MCIERROR Play(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Stop(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Seek(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Set(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Status(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param);

    const std::shared_ptr<RecorderTable> recorders_;
    mutable std::mutex mutex_;  // the device table and the failure details
    std::map<MCIDEVICEID, std::shared_ptr<Device>> devices_;
    mutable std::map<MCIERROR, std::string> details_;
    MCIDEVICEID next_ = 1;
};

const MessageRule PulseMci::kRules[] = {
    {MCI_OPEN, true,
     kEvery | MCI_OPEN_SHAREABLE | MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_SEQ_OPEN_SOUNDFONT,
     MCI_OPEN_ALIAS, "Aliases are not supported.", nullptr},
    // A close takes any flag: whatever the caller asks, the device goes.
    {MCI_CLOSE, false, ~DWORD_PTR(0), 0, nullptr, nullptr},
    {MCI_PLAY, false, kEvery, MCI_FROM | MCI_TO,
     "Play always runs from the current position to the end.", &PulseMci::Play},
    {MCI_STOP, false, kEvery, 0, nullptr, &PulseMci::Stop},
    {MCI_SEEK, false, kEvery | MCI_SEEK_TO_START | MCI_SEEK_TO_END, MCI_TO,
     "Seek goes to the start or to the end only.", &PulseMci::Seek},
    {MCI_SET, true, kEvery | MCI_SET_TIME_FORMAT, 0, nullptr, &PulseMci::Set},
    {MCI_STATUS, true, kEvery | MCI_STATUS_ITEM, 0, nullptr, &PulseMci::Status},
};

MCIERROR PulseMci::Fail(MCIERROR error, const std::string& detail) const {
    std::lock_guard lock(mutex_);
    details_[error] = detail;
    return error;
}

bool PulseMci::ErrorText(MCIERROR error, std::string* text) const {
    const char* standard = StandardMciErrorText(error);
    if (!standard) return false;
    *text = standard;
    std::lock_guard lock(mutex_);
    auto it = details_.find(error);
    if (it != details_.end() && !it->second.empty()) *text += "\n" + it->second;
    return true;
}

MCIERROR PulseMci::Check(const MessageRule& rule, DWORD_PTR flags, DWORD_PTR param) const {
    if (rule.needsRecord && !param) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
    if (flags & rule.unsupported) return Fail(MCIERR_UNSUPPORTED_FUNCTION, rule.whyUnsupported);
    if (flags & ~rule.allowed) return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
    return 0;
}

void NotifyIf(DWORD_PTR flags, DWORD_PTR param, MCIDEVICEID id) {
    if (flags & MCI_NOTIFY) PostMciNotice(CallbackOf(param), MCI_NOTIFY_SUCCESSFUL, id);
}

std::shared_ptr<Device> PulseMci::Find(MCIDEVICEID id) const {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : it->second;
}

MCIERROR PulseMci::SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    const MessageRule* rule = nullptr;
    for (const MessageRule& r : kRules)
        if (r.msg == msg) rule = &r;
    if (msg == MCI_OPEN) {
        if (MCIERROR e = Check(*rule, flags, param)) return e;
        return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
    }
    const std::shared_ptr<Device> d = Find(device);
    if (!d) return Fail(MCIERR_INVALID_DEVICE_ID);
    if (!rule) return Fail(MCIERR_UNRECOGNIZED_COMMAND);
    if (MCIERROR e = Check(*rule, flags, param)) return e;
    if (msg == MCI_CLOSE) return Close(device, flags, CallbackOf(param));
    std::lock_guard lock(d->commands);
    return (this->*rule->handler)(*d, device, flags, param);
}

MCIERROR PulseMci::Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms) {
    if (!(flags & MCI_OPEN_ELEMENT)) {
        if (!(flags & MCI_OPEN_TYPE)) return Fail(MCIERR_MISSING_PARAMETER);
        return Fail(MCIERR_FILENAME_REQUIRED, "These devices play files: name one to open.");
    }
    std::string soundFont;
    if (flags & MCI_SEQ_OPEN_SOUNDFONT) {
        const LPCSTR named = reinterpret_cast<const MCI_SEQ_OPEN_PARMSA*>(parms)->lpstrSoundFont;
        if (!named || !*named)
            return Fail(MCIERR_MISSING_PARAMETER, "The SoundFont flag needs a SoundFont's path.");
        soundFont = named;
    }
    const MciFileChoice choice = ChooseMciDevice(flags, *parms);
    if (choice.error) return Fail(choice.error, choice.detail);

    std::unique_ptr<SoundSource> source;
    DWORD_PTR readInPart = MCI_READ_WHOLE;
    if (MCIERROR e = OpenFile(choice.device, choice.path, soundFont, &source, &readInPart))
        return e;

    const bool sequencer = choice.device == MciDevice::kSequencer;
    std::string why;
    bool noServer = false;
    auto stream = PlaybackStream::Open(
        std::move(source), sequencer ? "MIDI sequencer" : "Wave audio", sequencer, &why, &noServer);
    if (!stream) return Fail(noServer ? MCIERR_NO_SOUND_SERVER : MCIERR_HARDWARE, why);

    auto device = std::make_shared<Device>();
    device->kind = choice.device;
    device->readInPart = readInPart;
    if (auto tap = stream->Tap()) device->recorder = recorders_->Add(std::move(tap));
    device->stream = std::move(stream);
    parms->wDeviceID = Add(std::move(device));
    NotifyIf(flags, reinterpret_cast<DWORD_PTR>(parms), parms->wDeviceID);
    return 0;
}

MCIERROR PulseMci::OpenFile(MciDevice kind, const std::string& path, const std::string& soundFont,
                            std::unique_ptr<SoundSource>* source, DWORD_PTR* readInPart) {
    std::string why;
    if (kind == MciDevice::kWaveAudio) {
        auto wave = WaveSource::Open(path, &why);
        if (!wave) return Fail(MCIERR_INVALID_FILE, path + ": " + why);
        *source = std::move(wave);
        return 0;
    }
    auto song = platform::midi::ReadSmfFile(path, &why);
    if (!song) return Fail(MCIERR_INVALID_FILE, path + " is not a valid MIDI file: " + why);
    if (song->cut == platform::midi::SmfCut::kTrackCutOff) *readInPart = MCI_READ_TRACK_CUT_OFF;
    if (song->cut == platform::midi::SmfCut::kTracksMissing) *readInPart = MCI_READ_TRACKS_MISSING;
    auto failure = synth::MidiRenderer::Failure::kNone;
    auto sequencer =
        SequencerSource::Create(std::make_shared<const platform::midi::SmfSong>(std::move(*song)),
                                soundFont, &why, &failure);
    if (!sequencer)
        return Fail(failure == synth::MidiRenderer::Failure::kNoSoundFont ? MCIERR_NO_SOUNDFONT
                                                                          : MCIERR_HARDWARE,
                    why);
    *source = std::move(sequencer);
    return 0;
}

MCIDEVICEID PulseMci::Add(std::shared_ptr<Device> device) {
    std::lock_guard lock(mutex_);
    // IDs from 0x1000 on belong to another backend beside this one (platform/service_routes.h).
    while (next_ == 0 || next_ >= 0x1000 || devices_.count(next_))
        next_ = next_ >= 0x1000 ? 1 : next_ + 1;
    const MCIDEVICEID id = next_++;
    devices_[id] = std::move(device);
    return id;
}

MCIERROR PulseMci::Close(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR callback) {
    std::shared_ptr<Device> d;
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(id);
        if (it == devices_.end()) {
            details_[MCIERR_INVALID_DEVICE_ID].clear();
            return MCIERR_INVALID_DEVICE_ID;
        }
        d = std::move(it->second);
        devices_.erase(it);
    }
    {
        // A command still running on another thread finishes first.
        std::lock_guard lock(d->commands);
        if (d->recorder) recorders_->Remove(d->recorder);
        d->stream.reset();
    }
    if (flags & MCI_NOTIFY) PostMciNotice(callback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR PulseMci::Play(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    const DWORD_PTR callback = (flags & MCI_NOTIFY) ? CallbackOf(param) : 0;
    auto onEnd = [callback, id](PlaybackStream::Outcome o) {
        static const WPARAM kOutcome[] = {MCI_NOTIFY_SUCCESSFUL, MCI_NOTIFY_ABORTED,
                                          MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_FAILURE};
        PostMciNotice(callback, kOutcome[int(o)], id);
    };
    if (!d.stream->Play(onEnd))
        return Fail(MCIERR_HARDWARE, "The connection to the sound server was lost.");
    if (flags & MCI_WAIT) {
        while (d.stream->Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

MCIERROR PulseMci::Stop(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    d.stream->Stop();
    NotifyIf(flags, param, id);
    return 0;
}

MCIERROR PulseMci::Seek(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    const bool start = flags & MCI_SEEK_TO_START, end = flags & MCI_SEEK_TO_END;
    if (start && end) return Fail(MCIERR_FLAGS_NOT_COMPATIBLE);
    if (!start && !end) return Fail(MCIERR_MISSING_PARAMETER);
    if (start) {
        d.stream->SeekToStart();
    } else {
        d.stream->SeekToEnd();
    }
    NotifyIf(flags, param, id);
    return 0;
}

MCIERROR PulseMci::Set(Device&, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    if (!(flags & MCI_SET_TIME_FORMAT)) return Fail(MCIERR_MISSING_PARAMETER);
    if (reinterpret_cast<const MCI_SET_PARMS*>(param)->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
        return Fail(MCIERR_BAD_TIME_FORMAT, "These devices count in milliseconds only.");
    NotifyIf(flags, param, id);
    return 0;
}

MCIERROR PulseMci::Status(Device& d, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    if (!(flags & MCI_STATUS_ITEM)) return Fail(MCIERR_MISSING_PARAMETER);
    auto* p = reinterpret_cast<MCI_STATUS_PARMS*>(param);
    PlaybackStream& s = *d.stream;
    switch (p->dwItem) {
        case MCI_STATUS_LENGTH:
            p->dwReturn = s.LengthMs();
            break;
        case MCI_STATUS_POSITION:
            p->dwReturn = s.PositionMs();
            break;
        case MCI_STATUS_MODE:
            p->dwReturn = s.Playing() ? MCI_MODE_PLAY
                          : s.Alive() ? MCI_MODE_STOP
                                      : MCI_MODE_NOT_READY;
            break;
        case MCI_STATUS_UNDERFLOWS:
            p->dwReturn = s.Underflows();
            break;
        case MCI_STATUS_READ_IN_PART:
            p->dwReturn = d.readInPart;
            break;
        case MCI_STATUS_DEVICE_RATE:
            p->dwReturn = s.SinkRate();
            break;
        case MCI_STATUS_SOUND_SERVER:
            p->dwReturn = !s.SinkRate()    ? MCI_SERVER_UNKNOWN
                          : s.OnPipeWire() ? MCI_SERVER_PIPEWIRE
                                           : MCI_SERVER_PULSEAUDIO;
            break;
        case MCI_STATUS_RECORDER:
            if (!d.recorder)
                return Fail(MCIERR_UNSUPPORTED_FUNCTION, "Nothing records this device alone.");
            p->dwReturn = d.recorder;
            break;
        default:
            return Fail(MCIERR_UNSUPPORTED_FUNCTION);
    }
    NotifyIf(flags, param, id);
    return 0;
}

}  // namespace

std::unique_ptr<MciService> MakeMci(std::shared_ptr<RecorderTable> recorders) {
    if (!recorders) recorders = std::make_shared<RecorderTable>();
    return std::make_unique<PulseMci>(std::move(recorders));
}

}  // namespace platform::pulse
