#pragma once
// Wave input: records, constants and operations shaped after the Windows wave-input service.
// The free functions dispatch to the installed WaveInService (platform::InstallWaveIn);
// without one they answer MMSYSERR_NODRIVER.
#include "platform/mmtypes.h"
#include "platform/services.h"

#include <vector>

struct HWAVEIN__;
using HWAVEIN = HWAVEIN__*;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr UINT WAVE_MAPPER = UINT(-1);

constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_THREAD = 0x00020000;

// Posted to the callback thread: wParam is the device handle; for MM_WIM_DATA lParam is the
// WAVEHDR* handed back.
constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;

constexpr MMRESULT WAVERR_BASE = 32;
constexpr MMRESULT WAVERR_BADFORMAT = WAVERR_BASE + 0;
constexpr MMRESULT WAVERR_STILLPLAYING = WAVERR_BASE + 1;
constexpr MMRESULT WAVERR_UNPREPARED = WAVERR_BASE + 2;
constexpr MMRESULT WAVERR_SYNC = WAVERR_BASE + 3;

// Driver messages (waveInMessage). The holes a device found in what it recorded: dw1 points
// to an array of WAVEINGAP, dw2 to a DWORD holding its size; on return the DWORD holds how many
// holes there are (the array is filled as far as it goes). Positions and lengths are
// milliseconds of the recording; the kind says what the hole is. Ask after waveInStop, before
// waveInClose.
constexpr UINT DRVM_USER = 0x4000;
constexpr UINT WIDM_GETGAPS = DRVM_USER + 1;

struct WAVEINGAP {
    DWORD dwPosition;
    DWORD dwLength;
    DWORD dwKind;  // WAVEINGAP_...
};
constexpr DWORD WAVEINGAP_MISSING = 0;    // sound is missing there
constexpr DWORD WAVEINGAP_SILENCE = 1;    // silence was put in; nothing is missing
constexpr DWORD WAVEINGAP_ENDS_EARLY = 2;  // the recording ends that much before the sound

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Also called from the thread that receives the notices.
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
// Hands back the partly filled current buffer (if it holds anything); empty ones stay queued.
MMRESULT waveInStop(HWAVEIN hwi);
// Stops and hands back every queued buffer, each with its notice and true byte count.
MMRESULT waveInReset(HWAVEIN hwi);
// Buffers still queued come back as by waveInReset before the device goes.
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInMessage(HWAVEIN hwi, UINT uMsg, DWORD_PTR dw1, DWORD_PTR dw2);

namespace platform {

// One backend's wave-input devices. Calls may come from several threads at once (the
// capture thread re-queues buffers while the UI thread stops the device), so each backend
// guards its own state; a closed or unknown handle answers MMSYSERR_INVALHANDLE.
class WaveInService {
  public:
    virtual ~WaveInService() = default;
    virtual MMRESULT Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format,
                          DWORD_PTR callback, DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT PrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) = 0;
    virtual MMRESULT UnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) = 0;
    virtual MMRESULT AddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) = 0;
    virtual MMRESULT Start(HWAVEIN hwi) = 0;
    virtual MMRESULT Stop(HWAVEIN hwi) = 0;
    virtual MMRESULT Reset(HWAVEIN hwi) = 0;
    virtual MMRESULT Close(HWAVEIN hwi) = 0;
    virtual MMRESULT Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) = 0;
};

// Answers WIDM_GETGAPS from a device's list of holes.
MMRESULT CopyGaps(const std::vector<WAVEINGAP>& gaps, DWORD_PTR dw1, DWORD_PTR dw2);

}  // namespace platform
