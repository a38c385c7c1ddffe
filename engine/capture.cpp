#include "engine/capture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "engine/capture_limit.h"
#include "engine/recording_file.h"
#include "engine/wave_stream.h"
#include "platform/mci.h"
#include "platform/output_place.h"
#include "platform/thread_queue.h"
#include "platform/wavein.h"

namespace engine {

namespace {

constexpr DWORD kSampleRate = 44100;
constexpr WORD kBlockAlign = 4;
constexpr DWORD kBufferBytes = kSampleRate * kBlockAlign;  // one second

// The capture thread, created suspended: its message queue takes notices at once, so the device
// can be opened for it, but its body starts only at Resume.
class TMyThread {
  public:
    TMyThread() : thread_([this] { Run(); }) { threadId_ = ready_.get_future().get(); }
    ~TMyThread() {
        if (!thread_.joinable()) return;
        Terminate();
        Resume();
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    TMyThread(const TMyThread&) = delete;
    TMyThread& operator=(const TMyThread&) = delete;

    DWORD ThreadID() const { return threadId_; }
    // Lets the body start; what the UI thread wrote before is visible to it (the promise).
    void Resume() {
        if (!resumed_.exchange(true)) go_.set_value();
    }
    void Terminate() { terminated_.store(true, std::memory_order_release); }
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }

    // Ends only at WM_QUIT; the caller posts it once the device can post nothing more.
    void WaitFor(const std::function<void()>& pumpMessages) {
        if (pumpMessages) {
            while (finishedFuture_.wait_for(std::chrono::milliseconds(10)) !=
                   std::future_status::ready)
                pumpMessages();
        }
        thread_.join();
    }

  private:
    void Run();
    void Execute();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> resumed_{false};
    std::promise<DWORD> ready_;
    std::promise<void> go_;
    std::promise<void> finished_;
    std::future<void> finishedFuture_ = finished_.get_future();
    DWORD threadId_ = 0;
    std::thread thread_;  // last: starts once everything above exists
};

// Program-wide: one capture at a time. Everything the capture thread reads is fixed before the
// UI thread resumes it (format, device, buffers and headers, file, limit, preview) and is not
// changed again until the thread has been joined; from the resume on, the thread alone writes
// toggle, captureLength, reachedLimit, silent and writeError, and the UI thread reads them only
// after the join. The device fills the headers under its own lock; `ended` and the thread's stop
// flag are the atomics both see while it runs.
struct CaptureState {
    WAVEFORMATEX format{};
    HWAVEIN device = nullptr;
    std::vector<char> buffer1, buffer2;
    WAVEHDR header1{}, header2{};
    int toggle = 0;
    std::unique_ptr<TWaveStream> file;
    std::string partPath;
    uint64_t captureLength = 0;
    uint64_t limit = kLargestCapture;
    bool reachedLimit = false;
    bool silent = true;
    bool deviceOpened = false;
    std::string notCreated, writeError;
    std::atomic<bool> ended{false};
    OutputPathReader outputPath;
    PreviewSink preview;
    std::unique_ptr<TMyThread> thread;
};

CaptureState& State() {
    static CaptureState s;
    return s;
}

uint64_t g_limitForTesting = 0;

bool AllZero(const char* p, uint64_t n) {
    return std::all_of(p, p + n, [](char c) { return c == 0; });
}

// Writes what the header holds to the file, up to the limit; returns the bytes kept.
uint64_t Append(CaptureState& s, const WAVEHDR& h) {
    const uint64_t n = std::min<uint64_t>(h.dwBytesRecorded, h.dwBufferLength);
    const uint64_t room = s.limit - s.captureLength;
    const uint64_t kept = std::min(n, room);
    if (n > 0 && n >= room) {
        // Full: whatever the music still plays could not be kept.
        s.reachedLimit = true;
        s.ended.store(true);
    }
    if (kept == 0 || !s.file || !s.writeError.empty()) return 0;
    if (!s.file->Append(h.lpData, kept) || !s.file->KeepHeaderValid()) {
        s.writeError = std::strerror(s.file->Error());
        s.captureLength = s.file->Length();
        s.ended.store(true);
        return 0;
    }
    if (s.silent && !AllZero(h.lpData, kept)) s.silent = false;
    s.captureLength += kept;
    return kept;
}

void OnBufferDone(CaptureState& s, TMyThread& thread) {
    // The device hands buffers back in the order they were queued, so the notices alternate.
    WAVEHDR& h = s.toggle == 0 ? s.header1 : s.header2;
    s.toggle = s.toggle == 0 ? 1 : 0;
    const uint64_t kept = Append(s, h);
    if (kept && s.preview) s.preview(std::vector<uint8_t>(h.lpData, h.lpData + kept));
    // After the stop the reset hands back every buffer; queueing one again would only lose it.
    if (!thread.Terminated()) waveInAddBuffer(s.device, &h, sizeof(WAVEHDR));
}

void TMyThread::Run() {
    Execute();
    finished_.set_value();
}

void TMyThread::Execute() {
    platform::ThreadQueue queue;
    ready_.set_value(queue.threadId());
    go_.get_future().wait();
    // The stop flag does not end the loop: the notices that the stop's reset posts carry the
    // last bytes recorded, and WM_QUIT, posted after them, ends the thread.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == MM_WIM_DATA) OnBufferDone(State(), *this);
    }
}

// What the device says it lost; a device that cannot tell has nothing to say.
std::vector<CaptureGap> Gaps(HWAVEIN device) {
    std::vector<WAVEINGAP> found(64);
    DWORD count = DWORD(found.size());
    if (!device || waveInMessage(device, WIDM_GETGAPS, reinterpret_cast<DWORD_PTR>(found.data()),
                                 reinterpret_cast<DWORD_PTR>(&count)) != MMSYSERR_NOERROR)
        return {};
    if (count > found.size()) {
        found.resize(count);
        waveInMessage(device, WIDM_GETGAPS, reinterpret_cast<DWORD_PTR>(found.data()),
                      reinterpret_cast<DWORD_PTR>(&count));
    }
    found.resize(std::min<size_t>(count, found.size()));
    std::vector<CaptureGap> gaps;
    for (const WAVEINGAP& g : found) {
        const auto kind = g.dwKind == WAVEINGAP_SILENCE      ? CaptureGap::Kind::kSilenceInserted
                          : g.dwKind == WAVEINGAP_ENDS_EARLY ? CaptureGap::Kind::kEndsEarly
                                                             : CaptureGap::Kind::kMissing;
        gaps.push_back({g.dwPosition, g.dwLength, kind});
    }
    return gaps;
}

void ReleaseCapture(CaptureState& s) {
    s.file.reset();
    s.partPath.clear();
    s.captureLength = 0;
    s.buffer1 = {};
    s.buffer2 = {};
    s.header1 = {};
    s.header2 = {};
    s.device = nullptr;
    s.notCreated.clear();
    s.writeError.clear();
    s.outputPath = nullptr;
    s.preview = nullptr;
}

// The recording's own file, beside the output as it is named now.
void CreatePartFile(CaptureState& s) {
    const std::string target = platform::ResolveTarget(s.outputPath ? s.outputPath() : "");
    s.file = engine::CreatePartFile(target, &s.partPath, &s.notCreated);
    if (!s.file) s.ended.store(true);
}

void FillFormatAndBuffers(CaptureState& s) {
    s.format = {};
    s.format.wFormatTag = WAVE_FORMAT_PCM;
    s.format.nChannels = 2;
    s.format.nSamplesPerSec = kSampleRate;
    s.format.nAvgBytesPerSec = kBufferBytes;
    s.format.nBlockAlign = kBlockAlign;
    s.format.wBitsPerSample = 16;
    s.format.cbSize = 0;

    s.device = nullptr;
    s.buffer1.assign(kBufferBytes, 0);
    s.buffer2.assign(kBufferBytes, 0);
    s.header1 = {};
    s.header2 = {};
    s.header1.lpData = s.buffer1.data();
    s.header1.dwBufferLength = kBufferBytes;
    s.header2.lpData = s.buffer2.data();
    s.header2.dwBufferLength = kBufferBytes;
}

// The wave-in device that records this MCI device alone; the default one where it names none.
UINT RecorderOf(MCIDEVICEID sequencer) {
    if (!sequencer) return WAVE_MAPPER;
    MCI_STATUS_PARMS parms{};
    parms.dwItem = MCI_STATUS_RECORDER;
    const MCIERROR e = mciSendCommandA(sequencer, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                       reinterpret_cast<DWORD_PTR>(&parms));
    return e == 0 ? UINT(parms.dwReturn) : WAVE_MAPPER;
}

}  // namespace

void SetCaptureLimitForTesting(uint64_t bytes) {
    g_limitForTesting = std::min(bytes, kLargestCapture) / 4 * 4;
}

bool CaptureEnded() {
    return State().ended.load();
}

void RecordBtnClick(OutputPathReader outputPath, PreviewSink preview, uint32_t sequencer) {
    CaptureState& s = State();
    if (s.thread) return;

    FillFormatAndBuffers(s);
    s.file.reset();
    s.partPath.clear();
    s.captureLength = 0;
    s.limit = g_limitForTesting ? g_limitForTesting : kLargestCapture;
    s.reachedLimit = false;
    s.silent = true;
    s.deviceOpened = false;
    s.notCreated.clear();
    s.writeError.clear();
    s.ended.store(false);
    s.toggle = 0;
    s.outputPath = std::move(outputPath);
    s.preview = std::move(preview);

    const UINT recorder = RecorderOf(sequencer);
    s.thread = std::make_unique<TMyThread>();
    HWAVEIN device = nullptr;
    if (waveInOpen(&device, recorder, &s.format, s.thread->ThreadID(), 0, CALLBACK_THREAD) ==
        MMSYSERR_NOERROR) {
        s.device = device;
        s.deviceOpened = true;
        CreatePartFile(s);
        waveInPrepareHeader(s.device, &s.header1, sizeof(WAVEHDR));
        waveInPrepareHeader(s.device, &s.header2, sizeof(WAVEHDR));
        waveInAddBuffer(s.device, &s.header1, sizeof(WAVEHDR));
        waveInAddBuffer(s.device, &s.header2, sizeof(WAVEHDR));
    } else {
        // Nothing can be recorded: the music must not even start.
        s.ended.store(true);
    }
    s.toggle = 0;
    s.thread->Resume();
    if (s.deviceOpened) waveInStart(s.device);
}

CaptureResult StopBtnClick(const std::function<void()>& pumpMessages, const PlacementRule& place,
                           const Finishing& finishing) {
    CaptureState& s = State();
    CaptureResult result;
    if (!s.thread) return result;
    result.deviceOpened = s.deviceOpened;

    // The thread keeps re-queueing until the device has handed over everything recorded
    // before the stop, which may be more than the two buffers hold.
    waveInStop(s.device);
    s.thread->Terminate();
    result.gaps = Gaps(s.device);
    waveInReset(s.device);
    waveInClose(s.device);
    // Every notice of the device is in the queue by now; this one comes after them all, and
    // also wakes a thread whose device never opened.
    PostThreadMessageA(s.thread->ThreadID(), WM_QUIT, 0, 0);
    s.thread->WaitFor(pumpMessages);
    s.thread.reset();

    struct Release {
        CaptureState& s;
        ~Release() { ReleaseCapture(s); }
    } release{s};

    result.bytesCaptured = s.captureLength;
    result.reachedSizeLimit = s.reachedLimit;
    result.silent = s.silent;
    result.notCreated = s.notCreated;
    result.writeError = s.writeError;
    if (s.file)
        PlaceRecording(std::move(s.file), s.partPath, s.outputPath ? s.outputPath() : "", result,
                       place, finishing);
    return result;
}

}  // namespace engine
