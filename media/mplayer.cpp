#include "media/mplayer.h"

#include <vector>

#include "media/notice_poster.h"

namespace {

const char* const kDeviceTypeNames[] = {
    "",        "AVIVideo", "CDAudio",   "DAT", "DigitalVideo", "MMMovie",   "Other",
    "Overlay", "Scanner",  "Sequencer", "VCR", "Videodisc",    "WaveAudio",
};

}  // namespace

const char* DeviceTypeName(TMPDeviceTypes type) {
    return kDeviceTypeNames[type];
}

TMediaPlayer::TMediaPlayer()
    : receiver_(std::make_unique<media::McinotifyReceiver>(
          [this](WPARAM outcome, LPARAM deviceId) { MMNotify(outcome, deviceId); })) {}

TMediaPlayer::~TMediaPlayer() {
    if (deviceId_ != 0) {
        // No receiver: nobody is left to hear a notice.
        MCI_GENERIC_PARMS parms{};
        mciSendCommandA(deviceId_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
    }
}

DWORD_PTR TMediaPlayer::Handle() const {
    return receiver_->Handle();
}

void TMediaPlayer::Loaded() {
    if (AutoOpen) Open();
}

void TMediaPlayer::Open() {
    MCI_SEQ_OPEN_PARMSA parms{};
    if (isOpen_) Close();
    // FileName outlives the command; an empty one goes as "", never as null.
    parms.lpstrDeviceType = DeviceTypeName(DeviceType);
    parms.lpstrElementName = FileName.c_str();
    DWORD_PTR flags = MCI_WAIT;
    flags |= DeviceType == dtAutoSelect ? MCI_OPEN_ELEMENT : MCI_OPEN_TYPE;
    if (Shareable) flags |= MCI_OPEN_SHAREABLE;
    if (!SoundFont.empty()) {
        flags |= MCI_SEQ_OPEN_SOUNDFONT;
        parms.lpstrSoundFont = SoundFont.c_str();
    }
    if (!SynthPort.empty()) {
        flags |= MCI_SEQ_OPEN_PORT;
        parms.lpstrPort = SynthPort.c_str();
        parms.lpstrRecordPorts = RecordPorts.empty() ? nullptr : RecordPorts.c_str();
    }
    parms.dwCallback = Handle();
    lastError_ = mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&parms));
    if (lastError_ != 0) throw EMCIDeviceError(ErrorText());
    isOpen_ = true;
    deviceId_ = WORD(parms.wDeviceID);
    if (DeviceType == dtCDAudio || DeviceType == dtVideodisc) SetTimeFormat(MCI_FORMAT_TMSF);
}

void TMediaPlayer::Close() {
    if (deviceId_ == 0) return;
    MCI_GENERIC_PARMS parms{};
    parms.dwCallback = Handle();
    lastError_ =
        mciSendCommandA(deviceId_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
    if (lastError_ != 0) return;
    isOpen_ = false;
    deviceId_ = 0;
}

void TMediaPlayer::Play() {
    RequireOpen();
    if (AutoRewind) {
        const int32_t position = Position();
        if (position == Length()) Rewind();
    }
    MCI_PLAY_PARMS parms{};
    parms.dwCallback = Handle();
    lastError_ =
        mciSendCommandA(deviceId_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&parms));
}

void TMediaPlayer::Stop() {
    RequireOpen();
    MCI_GENERIC_PARMS parms{};
    parms.dwCallback = Handle();
    lastError_ =
        mciSendCommandA(deviceId_, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parms));
}

void TMediaPlayer::Rewind() {
    RequireOpen();
    MCI_SEEK_PARMS parms{};
    mciSendCommandA(deviceId_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT,
                    reinterpret_cast<DWORD_PTR>(&parms));
}

void TMediaPlayer::SetTimeFormat(UINT format) {
    MCI_SET_PARMS parms{};
    parms.dwCallback = Handle();
    parms.dwTimeFormat = format;
    lastError_ = mciSendCommandA(deviceId_, MCI_SET, MCI_NOTIFY | MCI_SET_TIME_FORMAT,
                                 reinterpret_cast<DWORD_PTR>(&parms));
}

DWORD_PTR TMediaPlayer::Status(DWORD item) {
    MCI_STATUS_PARMS parms{};
    parms.dwItem = item;
    lastError_ = mciSendCommandA(deviceId_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                 reinterpret_cast<DWORD_PTR>(&parms));
    return lastError_ == 0 ? parms.dwReturn : 0;
}

int32_t TMediaPlayer::Length() {
    RequireOpen();
    return int32_t(uint32_t(Status(MCI_STATUS_LENGTH)));
}

int32_t TMediaPlayer::Position() {
    return int32_t(uint32_t(Status(MCI_STATUS_POSITION)));
}

TPlayerMode TMediaPlayer::Mode() {
    const DWORD_PTR code = Status(MCI_STATUS_MODE);
    // A failed query or a code outside the known modes reads as not ready, which ends a poll.
    if (code < MCI_MODE_NOT_READY || code > MCI_MODE_OPEN) return pmNotReady;
    return TPlayerMode(code - MCI_MODE_NOT_READY);
}

int32_t TMediaPlayer::Underflows() {
    return int32_t(uint32_t(Status(MCI_STATUS_UNDERFLOWS)));
}

std::string TMediaPlayer::ErrorText() const {
    std::vector<char> buffer(4096, '\0');
    if (!mciGetErrorStringA(lastError_, buffer.data(), UINT(buffer.size())))
        return "Unbekannter Fehlercode";
    return std::string(buffer.data());
}

void TMediaPlayer::RequireOpen() const {
    if (!isOpen_) throw EMCIDeviceError("Kein MCI-Gerät geöffnet");
}

void TMediaPlayer::MMNotify(WPARAM outcome, LPARAM) {
    switch (outcome) {
        case MCI_NOTIFY_SUCCESSFUL:
            lastNotice_ = nsSuccessful;
            break;
        case MCI_NOTIFY_SUPERSEDED:
            lastNotice_ = nsSuperseded;
            break;
        case MCI_NOTIFY_ABORTED:
            lastNotice_ = nsAborted;
            break;
        case MCI_NOTIFY_FAILURE:
            lastNotice_ = nsFailure;
            break;
        default:
            break;
    }
    if (OnNotify) OnNotify(this);
}
