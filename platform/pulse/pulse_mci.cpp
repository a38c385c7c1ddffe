// The MCI service over the sound server: device "sequencer" (MIDI through the synthesizer) and
// device "waveaudio" (WAV files), each open device playing into a stream of its own.
//
// Time format: milliseconds only (MCI_FORMAT_MILLISECONDS, also the default). A device is always
// opened with its file: MCI_OPEN_TYPE alone, without MCI_OPEN_ELEMENT, is refused.
// The texts of refused opens carry the reason (the file, what is wrong with it, which SoundFonts
// were looked for); that detail belongs to the last failure with its code.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "platform/mci.h"
#include "platform/midi/smf_reader.h"
#include "platform/pulse/playback_stream.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/sequencer_source.h"
#include "platform/pulse/wave_source.h"

namespace platform::pulse {
namespace {

enum class Kind { Sequencer, WaveAudio };

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

struct Device {
    Kind kind;
    DWORD_PTR readInPart = MCI_READ_WHOLE;
    std::unique_ptr<PlaybackStream> stream;
    std::mutex commands;  // one command at a time per device
};

class PulseMci : public MciService {
  public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) override;
    bool ErrorText(MCIERROR error, std::string* text) const override;

  private:
    MCIERROR Fail(MCIERROR error, const std::string& detail = "") const;
    MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms);
    MCIERROR OpenFile(Kind* kind, const std::string& path, std::unique_ptr<SoundSource>* source,
                      DWORD_PTR* readInPart);
    MCIERROR Close(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR callback);
    MCIERROR Command(Device& d, MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param);

    mutable std::mutex mutex_;  // the device table and the failure details
    std::map<MCIDEVICEID, std::shared_ptr<Device>> devices_;
    mutable std::map<MCIERROR, std::string> details_;
    MCIDEVICEID next_ = 1;
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

DWORD_PTR CallbackOf(DWORD_PTR param) {
    return param ? reinterpret_cast<const MCI_GENERIC_PARMS*>(param)->dwCallback : 0;
}

void NotifyIf(DWORD_PTR flags, DWORD_PTR param, MCIDEVICEID id) {
    if (flags & MCI_NOTIFY) PostMciNotice(CallbackOf(param), MCI_NOTIFY_SUCCESSFUL, id);
}

MCIERROR PulseMci::SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    if (msg == MCI_OPEN) {
        if (!param) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
        return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
    }
    std::shared_ptr<Device> d;
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(device);
        if (it != devices_.end()) d = it->second;
    }
    if (!d) return Fail(MCIERR_INVALID_DEVICE_ID);
    if (msg == MCI_CLOSE) return Close(device, flags, CallbackOf(param));
    std::lock_guard lock(d->commands);
    return Command(*d, device, msg, flags, param);
}

MCIERROR PulseMci::Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms) {
    const DWORD_PTR known =
        MCI_NOTIFY | MCI_WAIT | MCI_OPEN_SHAREABLE | MCI_OPEN_ELEMENT | MCI_OPEN_TYPE;
    if (flags & MCI_OPEN_ALIAS)
        return Fail(MCIERR_UNSUPPORTED_FUNCTION, "Aliases are not supported.");
    if (flags & ~known) return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
    if (!(flags & MCI_OPEN_ELEMENT)) {
        if (!(flags & MCI_OPEN_TYPE)) return Fail(MCIERR_MISSING_PARAMETER);
        return Fail(MCIERR_FILENAME_REQUIRED, "These devices play files: name one to open.");
    }

    Kind kind = Kind::Sequencer;
    bool forced = false;
    if (flags & MCI_OPEN_TYPE) {
        if (!parms->lpstrDeviceType) return Fail(MCIERR_MISSING_PARAMETER);
        const std::string type = Lower(parms->lpstrDeviceType);
        if (type == "sequencer") {
            kind = Kind::Sequencer;
        } else if (type == "waveaudio") {
            kind = Kind::WaveAudio;
        } else {
            return Fail(MCIERR_INVALID_DEVICE_NAME,
                        std::string("Device \"") + parms->lpstrDeviceType +
                            "\": there are \"sequencer\" and \"waveaudio\".");
        }
        forced = true;
    }
    if (!parms->lpstrElementName || !*parms->lpstrElementName)
        return Fail(MCIERR_FILENAME_REQUIRED);
    const std::string path = parms->lpstrElementName;

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Fail(MCIERR_FILE_NOT_FOUND, "File: " + path);
        return Fail(MCIERR_FILE_READ, path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) return Fail(MCIERR_INVALID_FILE, path + " is a folder, not a file.");
    if (!S_ISREG(st.st_mode)) return Fail(MCIERR_INVALID_FILE, path + " is not a regular file.");

    if (!forced) {
        const std::string ext = Extension(path);
        if (ext == ".mid" || ext == ".midi" || ext == ".rmi") {
            kind = Kind::Sequencer;
        } else if (ext == ".wav") {
            kind = Kind::WaveAudio;
        } else {
            std::ifstream in(path, std::ios::binary);
            char head[12] = {};
            in.read(head, sizeof head);
            if (!in && in.gcount() == 0 && st.st_size > 0)
                return Fail(MCIERR_FILE_READ, "File: " + path);
            if (std::memcmp(head, "MThd", 4) == 0 ||
                (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0)) {
                kind = Kind::Sequencer;
            } else if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
                kind = Kind::WaveAudio;
            } else {
                return Fail(MCIERR_EXTENSION_NOT_FOUND, "File: " + path);
            }
        }
    }

    std::unique_ptr<SoundSource> source;
    DWORD_PTR readInPart = MCI_READ_WHOLE;
    if (MCIERROR e = OpenFile(&kind, path, &source, &readInPart)) return e;

    std::string why;
    bool noServer = false;
    auto stream = PlaybackStream::Open(std::move(source),
                                       kind == Kind::Sequencer ? "MIDI sequencer" : "Wave audio",
                                       kind == Kind::Sequencer, &why, &noServer);
    if (!stream) return Fail(noServer ? MCIERR_NO_SOUND_SERVER : MCIERR_HARDWARE, why);

    auto device = std::make_shared<Device>();
    device->kind = kind;
    device->readInPart = readInPart;
    device->stream = std::move(stream);
    MCIDEVICEID id;
    {
        std::lock_guard lock(mutex_);
        while (next_ == 0 || devices_.count(next_)) ++next_;
        id = next_++;
        devices_[id] = device;
    }
    parms->wDeviceID = id;
    NotifyIf(flags, reinterpret_cast<DWORD_PTR>(parms), id);
    return 0;
}

MCIERROR PulseMci::OpenFile(Kind* kind, const std::string& path,
                            std::unique_ptr<SoundSource>* source, DWORD_PTR* readInPart) {
    std::string why;
    if (*kind == Kind::WaveAudio) {
        auto wave = WaveSource::Open(path, &why);
        if (!wave) return Fail(MCIERR_INVALID_FILE, path + ": " + why);
        *source = std::move(wave);
        return 0;
    }
    auto song = platform::midi::ReadSmfFile(path, &why);
    if (!song) return Fail(MCIERR_INVALID_FILE, path + " is not a valid MIDI file: " + why);
    if (song->cut == platform::midi::SmfCut::kTrackCutOff) *readInPart = MCI_READ_TRACK_CUT_OFF;
    if (song->cut == platform::midi::SmfCut::kTracksMissing) *readInPart = MCI_READ_TRACKS_MISSING;
    auto sequencer = SequencerSource::Create(
        std::make_shared<const platform::midi::SmfSong>(std::move(*song)), &why);
    if (!sequencer) {
        const bool soundFont = Lower(why).find("soundfont") != std::string::npos;
        return Fail(soundFont ? MCIERR_NO_SOUNDFONT : MCIERR_HARDWARE, why);
    }
    *source = std::move(sequencer);
    return 0;
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
        d->stream.reset();
    }
    if (flags & MCI_NOTIFY) PostMciNotice(callback, MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR PulseMci::Command(Device& d, MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    PlaybackStream& s = *d.stream;
    switch (msg) {
        case MCI_PLAY: {
            if (flags & (MCI_FROM | MCI_TO))
                return Fail(MCIERR_UNSUPPORTED_FUNCTION,
                            "Play always runs from the current position to the end.");
            if (flags & ~DWORD_PTR(MCI_NOTIFY | MCI_WAIT)) return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
            const DWORD_PTR callback = (flags & MCI_NOTIFY) ? CallbackOf(param) : 0;
            auto onEnd = [callback, id](PlaybackStream::Outcome o) {
                static const WPARAM kOutcome[] = {MCI_NOTIFY_SUCCESSFUL, MCI_NOTIFY_ABORTED,
                                                  MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_FAILURE};
                PostMciNotice(callback, kOutcome[int(o)], id);
            };
            if (!s.Play(onEnd))
                return Fail(MCIERR_HARDWARE, "The connection to the sound server was lost.");
            if (flags & MCI_WAIT) {
                while (s.Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return 0;
        }
        case MCI_STOP:
            if (flags & ~DWORD_PTR(MCI_NOTIFY | MCI_WAIT)) return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
            s.Stop();
            NotifyIf(flags, param, id);
            return 0;
        case MCI_SEEK: {
            if (flags & MCI_TO)
                return Fail(MCIERR_UNSUPPORTED_FUNCTION,
                            "Seek goes to the start or to the end only.");
            if (flags & ~DWORD_PTR(MCI_NOTIFY | MCI_WAIT | MCI_SEEK_TO_START | MCI_SEEK_TO_END))
                return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
            const bool start = flags & MCI_SEEK_TO_START, end = flags & MCI_SEEK_TO_END;
            if (start && end) return Fail(MCIERR_FLAGS_NOT_COMPATIBLE);
            if (!start && !end) return Fail(MCIERR_MISSING_PARAMETER);
            if (start) {
                s.SeekToStart();
            } else {
                s.SeekToEnd();
            }
            NotifyIf(flags, param, id);
            return 0;
        }
        case MCI_SET: {
            if (!param) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
            if (flags & ~DWORD_PTR(MCI_NOTIFY | MCI_WAIT | MCI_SET_TIME_FORMAT))
                return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
            if (!(flags & MCI_SET_TIME_FORMAT)) return Fail(MCIERR_MISSING_PARAMETER);
            if (reinterpret_cast<const MCI_SET_PARMS*>(param)->dwTimeFormat !=
                MCI_FORMAT_MILLISECONDS)
                return Fail(MCIERR_BAD_TIME_FORMAT, "These devices count in milliseconds only.");
            NotifyIf(flags, param, id);
            return 0;
        }
        case MCI_STATUS: {
            if (!param) return Fail(MCIERR_NULL_PARAMETER_BLOCK);
            if (flags & ~DWORD_PTR(MCI_NOTIFY | MCI_WAIT | MCI_STATUS_ITEM))
                return Fail(MCIERR_UNRECOGNIZED_KEYWORD);
            if (!(flags & MCI_STATUS_ITEM)) return Fail(MCIERR_MISSING_PARAMETER);
            auto* p = reinterpret_cast<MCI_STATUS_PARMS*>(param);
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
                default:
                    return Fail(MCIERR_UNSUPPORTED_FUNCTION);
            }
            NotifyIf(flags, param, id);
            return 0;
        }
        default:
            return Fail(MCIERR_UNRECOGNIZED_COMMAND);
    }
}

}  // namespace

std::unique_ptr<MciService> MakeMci() {
    return std::make_unique<PulseMci>();
}

}  // namespace platform::pulse
