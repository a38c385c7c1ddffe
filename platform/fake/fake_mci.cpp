#include "platform/fake/fake_mci.h"

#include "platform/mci_files.h"

namespace platform::fake {
namespace {

std::optional<std::string> Text(LPCSTR s) {
    if (!s) return std::nullopt;
    return std::string(s);
}

// The device a real service would give the file, without asking for the file to exist.
std::optional<MciDevice> DeviceFor(DWORD_PTR flags, const MCI_OPEN_PARMSA& p) {
    if (flags & MCI_OPEN_TYPE)
        return p.lpstrDeviceType ? MciDeviceNamed(p.lpstrDeviceType) : std::nullopt;
    if ((flags & MCI_OPEN_ELEMENT) && p.lpstrElementName)
        return MciDeviceOfFile(p.lpstrElementName);
    return std::nullopt;
}

}  // namespace

MCIERROR FakeMci::SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    MciCommand c;
    c.device = device;
    c.msg = msg;
    c.flags = flags;
    c.hasRecord = param != 0;
    c.callback = CallbackOf(param);
    if (param) {
        switch (msg) {
            case MCI_OPEN: {
                auto* p = reinterpret_cast<const MCI_OPEN_PARMSA*>(param);
                c.deviceType = Text(p->lpstrDeviceType);
                c.elementName = Text(p->lpstrElementName);
                c.alias = Text(p->lpstrAlias);
                if (flags & MCI_SEQ_OPEN_SOUNDFONT)
                    c.soundFont =
                        Text(reinterpret_cast<const MCI_SEQ_OPEN_PARMSA*>(param)->lpstrSoundFont);
                break;
            }
            case MCI_STATUS:
                c.item = reinterpret_cast<const MCI_STATUS_PARMS*>(param)->dwItem;
                break;
            case MCI_SET:
                c.timeFormat = reinterpret_cast<const MCI_SET_PARMS*>(param)->dwTimeFormat;
                break;
            case MCI_PLAY: {
                auto* p = reinterpret_cast<const MCI_PLAY_PARMS*>(param);
                c.from = p->dwFrom;
                c.to = p->dwTo;
                break;
            }
            case MCI_SEEK:
                c.to = reinterpret_cast<const MCI_SEEK_PARMS*>(param)->dwTo;
                break;
            default:
                break;
        }
    }
    log_.push_back(c);

    auto& queued = failures_[msg];
    if (!queued.empty()) {
        const MCIERROR e = queued.front();
        queued.pop_front();
        return e;
    }
    return Run(device, msg, flags, param);
}

MCIERROR FakeMci::Run(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    if (msg == MCI_OPEN) return Open(flags, param);
    FakeMedium* d = Device(device);
    if (!d) return MCIERR_INVALID_DEVICE_ID;
    const DWORD_PTR callback = CallbackOf(param);
    switch (msg) {
        case MCI_CLOSE:
            Notify(MCI_NOTIFY, d->pendingPlayCallback, device, MCI_NOTIFY_ABORTED);
            devices_.erase(device);
            Notify(flags, callback, device, MCI_NOTIFY_SUCCESSFUL);
            return 0;
        case MCI_PLAY:
            Notify(MCI_NOTIFY, d->pendingPlayCallback, device, MCI_NOTIFY_SUPERSEDED);
            d->pendingPlayCallback = (flags & MCI_NOTIFY) ? callback : 0;
            d->mode = MCI_MODE_PLAY;
            return 0;
        case MCI_STOP:
        case MCI_SEEK:
            Notify(MCI_NOTIFY, d->pendingPlayCallback, device, MCI_NOTIFY_ABORTED);
            d->pendingPlayCallback = 0;
            d->mode = MCI_MODE_STOP;
            if (msg == MCI_SEEK) d->position = (flags & MCI_SEEK_TO_END) ? d->length : 0;
            Notify(flags, callback, device, MCI_NOTIFY_SUCCESSFUL);
            return 0;
        case MCI_SET:
            if (!param) return MCIERR_NULL_PARAMETER_BLOCK;
            if (flags & MCI_SET_TIME_FORMAT)
                d->timeFormat = reinterpret_cast<const MCI_SET_PARMS*>(param)->dwTimeFormat;
            Notify(flags, callback, device, MCI_NOTIFY_SUCCESSFUL);
            return 0;
        case MCI_STATUS:
            return Status(*d, flags, param);
        default:
            return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

MCIERROR FakeMci::Open(DWORD_PTR flags, DWORD_PTR param) {
    if (!param) return MCIERR_NULL_PARAMETER_BLOCK;
    auto* p = reinterpret_cast<MCI_OPEN_PARMSA*>(param);
    FakeMedium medium;
    if ((flags & MCI_OPEN_ELEMENT) && p->lpstrElementName) {
        auto it = scripted_.find(p->lpstrElementName);
        if (it != scripted_.end()) medium = it->second;
    }
    medium.device = DeviceFor(flags, *p);
    while (nextId_ == 0 || devices_.count(nextId_)) ++nextId_;
    const MCIDEVICEID id = nextId_++;
    devices_[id] = medium;
    p->wDeviceID = id;
    Notify(flags, p->dwCallback, id, MCI_NOTIFY_SUCCESSFUL);
    return 0;
}

MCIERROR FakeMci::Status(const FakeMedium& d, DWORD_PTR flags, DWORD_PTR param) {
    if (!param) return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
    auto* p = reinterpret_cast<MCI_STATUS_PARMS*>(param);
    const std::map<DWORD, DWORD_PTR> items = {{MCI_STATUS_LENGTH, d.length},
                                              {MCI_STATUS_POSITION, d.position},
                                              {MCI_STATUS_MODE, d.mode},
                                              {MCI_STATUS_UNDERFLOWS, d.underflows},
                                              {MCI_STATUS_READ_IN_PART, d.readInPart},
                                              {MCI_STATUS_DEVICE_RATE, d.deviceRate},
                                              {MCI_STATUS_SOUND_SERVER, d.soundServer},
                                              {MCI_STATUS_RECORDER, d.recorder}};
    const auto it = items.find(p->dwItem);
    if (it == items.end() || (p->dwItem == MCI_STATUS_RECORDER && !d.recorder))
        return MCIERR_UNSUPPORTED_FUNCTION;
    p->dwReturn = it->second;
    return 0;
}

void FakeMci::Notify(DWORD_PTR flags, DWORD_PTR callback, MCIDEVICEID id, WPARAM outcome) {
    if (flags & MCI_NOTIFY) PostMciNotice(callback, outcome, id);
}

bool FakeMci::ErrorText(MCIERROR error, std::string* text) const {
    auto it = texts_.find(error);
    if (it != texts_.end()) {
        *text = it->second;
        return true;
    }
    const char* standard = StandardMciErrorText(error);
    if (!standard) return false;
    *text = standard;
    return true;
}

void FakeMci::ScriptMedium(const std::string& element, FakeMedium medium) {
    scripted_[element] = medium;
}

void FakeMci::FailNext(UINT msg, MCIERROR error) {
    failures_[msg].push_back(error);
}

void FakeMci::SetErrorText(MCIERROR error, std::string text) {
    texts_[error] = std::move(text);
}

FakeMedium* FakeMci::Device(MCIDEVICEID id) {
    auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : &it->second;
}

void FakeMci::PlayToEnd(MCIDEVICEID id) {
    FakeMedium* d = Device(id);
    if (!d) return;
    d->position = d->length;
    d->mode = MCI_MODE_STOP;
    Notify(MCI_NOTIFY, d->pendingPlayCallback, id, MCI_NOTIFY_SUCCESSFUL);
    d->pendingPlayCallback = 0;
}

}  // namespace platform::fake
