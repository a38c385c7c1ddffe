#include "platform/pulse/playback_stream.h"

#include <algorithm>

#include "platform/pulse/program_levels.h"

namespace platform::pulse {
namespace {

constexpr size_t kFrameBytes = sizeof(float) * SoundSource::kChannels;
constexpr size_t kChunkBytes = PlaybackStream::kChunkFrames * kFrameBytes;
// The first fill: a new stream loses about its buffer length at its start, so it begins with
// more silence than that before any music can follow.
constexpr size_t kLeadInBytes = size_t(SoundSource::kRate) * 3 / 10 * kFrameBytes;
constexpr pa_usec_t kTimerUsec = 10 * PA_USEC_PER_MSEC;
constexpr std::chrono::milliseconds kConnectTimeout{3000};

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, uint32_t(SoundSource::kRate),
                           uint8_t(SoundSource::kChannels)};

uint32_t FramesToMs(uint64_t frames) {
    return uint32_t(std::min<uint64_t>(frames * 1000 / SoundSource::kRate, UINT32_MAX));
}

}  // namespace

PlaybackStream::PlaybackStream(std::unique_ptr<SoundSource> source)
    : source_(std::move(source)),
      lengthMs_(source_->LengthMs()),
      lengthFrames_(source_->LengthFrames()),
      chunk_(kChunkFrames * SoundSource::kChannels, 0.0f) {}

std::unique_ptr<PlaybackStream> PlaybackStream::Open(std::unique_ptr<SoundSource> source,
                                                     const std::string& name, bool recorded,
                                                     std::string* error, bool* noServer) {
    *noServer = false;
    std::unique_ptr<PlaybackStream> self(new PlaybackStream(std::move(source)));
    std::string why;
    self->ctx_ = PulseContext::Connect("Tonvera " + name, kConnectTimeout, &why);
    if (!self->ctx_) {
        *noServer = true;
        *error = why;
        return nullptr;
    }
    if (!self->Connect(name, recorded, error)) return nullptr;
    PlaybackStream* me = self.get();
    self->watch_ = ProgramLevels::Instance().Watch([me] { me->ApplySpeakers(); });
    self->ApplySpeakers();
    return self;
}

bool PlaybackStream::Connect(const std::string& name, bool recorded, std::string* error) {
    PulseContext::Lock lock(*ctx_);
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    stream_ = ctx_->newStream(name.c_str(), &kSpec, &map);
    if (!stream_) {
        *error = std::string("cannot create a playback stream: ") +
                 pa_strerror(pa_context_errno(ctx_->context()));
        return false;
    }
    pa_stream_set_state_callback(stream_, &PlaybackStream::OnState, this);
    pa_stream_set_write_callback(stream_, &PlaybackStream::OnWrite, this);
    pa_stream_set_underflow_callback(stream_, &PlaybackStream::OnUnderflow, this);

    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(kTargetMs * PA_USEC_PER_MSEC, &kSpec));
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    // A recording follows this stream on its sink; a stream that moved would end it.
    auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                   PA_STREAM_START_UNMUTED);
    if (recorded) flags = pa_stream_flags_t(flags | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        *error = std::string("cannot connect the playback stream: ") +
                 pa_strerror(pa_context_errno(ctx_->context()));
        return false;
    }
    const bool ready = ctx_->wait([this] {
        const pa_stream_state_t st = pa_stream_get_state(stream_);
        return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
    });
    if (!ready || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        *error = std::string("the sound server refused the playback stream: ") +
                 pa_strerror(pa_context_errno(ctx_->context()));
        return false;
    }
    if (recorded && !Publish(error)) return false;
    timer_ = pa_context_rttime_new(ctx_->context(), pa_rtclock_now() + kTimerUsec,
                                   &PlaybackStream::OnTimer, this);
    return true;
}

// A recording of this stream is taken from its sink's monitor. The sink's rate and the kind of
// server tell whether the server resamples the stream, and what would spare it that.
bool PlaybackStream::Publish(std::string* error) {
    struct Answer {
        const PulseContext* ctx;
        std::string monitor, server;
        uint32_t rate = 0;
    } answer{ctx_.get(), {}, {}};
    const bool ok = ctx_->run(pa_context_get_sink_info_by_index(
                                  ctx_->context(), pa_stream_get_device_index(stream_),
                                  [](pa_context*, const pa_sink_info* i, int eol, void* ud) {
                                      auto* a = static_cast<Answer*>(ud);
                                      if (!eol && i && i->monitor_source_name) {
                                          a->monitor = i->monitor_source_name;
                                          a->rate = i->sample_spec.rate;
                                      }
                                      a->ctx->signal();
                                  },
                                  &answer),
                              kConnectTimeout);
    if (!ok || answer.monitor.empty()) {
        *error = "the sound server did not say which monitor carries the playback stream";
        return false;
    }
    ctx_->run(pa_context_get_server_info(
                  ctx_->context(),
                  [](pa_context*, const pa_server_info* i, void* ud) {
                      auto* a = static_cast<Answer*>(ud);
                      if (i && i->server_name) a->server = i->server_name;
                      a->ctx->signal();
                  },
                  &answer),
              kConnectTimeout);
    sinkRate_ = answer.rate;
    onPipeWire_ = answer.server.find("PipeWire") != std::string::npos;
    tap_ = std::make_shared<SequencerTap>(pa_stream_get_index(stream_), answer.monitor);
    return true;
}

// The speakers are this program's streams: their volume and mute, never the sink's. Set after
// connecting as well, since a server may restore what it remembers for this program.
void PlaybackStream::ApplySpeakers() {
    const Level level = ProgramLevels::Instance().Speakers();
    PulseContext::Lock lock(*ctx_);
    if (!AliveLocked()) return;
    pa_cvolume volume;
    pa_cvolume_set(&volume, kSpec.channels,
                   pa_sw_volume_from_linear(double(level.volume) / double(kLevelMaximum)));
    const uint32_t index = pa_stream_get_index(stream_);
    PulseContext::SuccessWait v{ctx_.get()}, m{ctx_.get()};
    ctx_->run(pa_context_set_sink_input_volume(ctx_->context(), index, &volume,
                                               &PulseContext::OnSuccess, &v),
              kConnectTimeout);
    ctx_->run(pa_context_set_sink_input_mute(ctx_->context(), index, level.mute ? 1 : 0,
                                             &PulseContext::OnSuccess, &m),
              kConnectTimeout);
}

PlaybackStream::~PlaybackStream() {
    if (!ctx_) return;
    // Not under the mainloop lock: a change being applied right now takes it.
    if (watch_) ProgramLevels::Instance().Unwatch(watch_);
    {
        PulseContext::Lock lock(*ctx_);
        if (playing_) Finish(Outcome::Aborted);
        if (timer_) pa_threaded_mainloop_get_api(ctx_->mainloop())->time_free(timer_);
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
    }
    ctx_.reset();
}

bool PlaybackStream::Play(EndHandler onEnd) {
    uint64_t from = 0;
    {
        PulseContext::Lock lock(*ctx_);
        if (!AliveLocked()) return false;
        if (playing_) {
            std::swap(onEnd_, onEnd);
            if (onEnd) onEnd(Outcome::Superseded);
            return true;
        }
        from = keptFrame_;
    }
    // Stopped: the mainloop thread leaves the source alone, and a sequencer's seek may take a
    // while, so it runs without the lock.
    if (source_->Frame() != from) source_->SeekFrame(from);
    PulseContext::Lock lock(*ctx_);
    if (!AliveLocked()) return false;
    source_->Start();
    if (tap_) tap_->MusicStarted();
    startFrame_ = keptFrame_;
    draining_ = false;
    segments_.clear();
    musicFromByte_ = -1;
    onEnd_ = std::move(onEnd);
    playing_ = true;
    return true;
}

void PlaybackStream::Stop() {
    PulseContext::Lock lock(*ctx_);
    StopLocked(Outcome::Aborted);
}

void PlaybackStream::SeekToStart() {
    Seek(0);
}

void PlaybackStream::SeekToEnd() {
    Seek(lengthFrames_);
}

void PlaybackStream::Seek(uint64_t frame) {
    PulseContext::Lock lock(*ctx_);
    StopLocked(Outcome::Aborted);
    keptFrame_ = frame;
}

bool PlaybackStream::Playing() const {
    PulseContext::Lock lock(*ctx_);
    return playing_;
}

bool PlaybackStream::Alive() const {
    PulseContext::Lock lock(*ctx_);
    return AliveLocked();
}

bool PlaybackStream::AliveLocked() const {
    return !failed_ && ctx_->alive() && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

uint32_t PlaybackStream::PositionMs() {
    PulseContext::Lock lock(*ctx_);
    return std::min(lengthMs_, FramesToMs(PlayedFrame()));
}

void PlaybackStream::StopLocked(Outcome outcome) {
    if (!playing_) return;
    keptFrame_ = PlayedFrame();
    source_->Stop();
    Finish(outcome);
    segments_.clear();
    // Drop the music still queued in the server; silence follows from the next write on.
    if (AliveLocked()) {
        PulseContext::SuccessWait w{ctx_.get()};
        flushed_ = true;
        ctx_->run(pa_stream_flush(
            stream_,
            [](pa_stream*, int success, void* ud) {
                PulseContext::OnSuccess(nullptr, success, ud);
            },
            &w));
    }
}

void PlaybackStream::Finish(Outcome outcome) {
    playing_ = false;
    draining_ = false;
    EndHandler handler = std::move(onEnd_);
    onEnd_ = nullptr;
    if (handler) handler(outcome);
}

bool PlaybackStream::WriteIndex(int64_t* index) const {
    const pa_timing_info* ti = pa_stream_get_timing_info(stream_);
    if (ti && !ti->write_index_corrupt) {
        *index = ti->write_index;
        return true;
    }
    // Until the first flush our own count is the server's write index.
    if (flushed_) return false;
    *index = written_;
    return true;
}

int64_t PlaybackStream::PlayedByte() const {
    pa_usec_t usec = 0;
    if (pa_stream_get_time(stream_, &usec) < 0) return 0;
    return int64_t(pa_usec_to_bytes(usec, &kSpec));
}

uint64_t PlaybackStream::PlayedFrame() {
    if (!playing_) return keptFrame_;
    const int64_t played = PlayedByte();
    while (segments_.size() > 1 && segments_[1].byte <= played) segments_.pop_front();
    if (segments_.empty() || played < segments_.front().byte) return startFrame_;
    const Segment& s = segments_.front();
    const uint64_t into = uint64_t(played - s.byte) / kFrameBytes;
    return s.frame + std::min(into, s.frames);
}

void PlaybackStream::Fill(size_t nbytes) {
    if (written_ == 0) nbytes = std::max(nbytes, kLeadInBytes);
    for (size_t done = 0; done < nbytes; done += kChunkBytes) {
        int64_t at = 0;
        // Music starts only where its stream index is known, which after a flush takes until
        // the next timing update (a few ms).
        const bool music = playing_ && !draining_ && WriteIndex(&at);
        if (music) {
            const uint64_t frame = source_->Frame();
            source_->Render(chunk_.data(), kChunkFrames);
            if (tap_) tap_->Music(chunk_.data(), kChunkFrames);
            if (musicFromByte_ < 0) musicFromByte_ = at;
            if (!segments_.empty() &&
                segments_.back().byte + int64_t(segments_.back().frames * kFrameBytes) == at &&
                segments_.back().frame + segments_.back().frames == frame) {
                segments_.back().frames += kChunkFrames;
            } else {
                segments_.push_back({at, frame, kChunkFrames});
            }
            if (source_->Finished()) {
                draining_ = true;
                endByte_ = at + int64_t(kChunkBytes);
                if (tap_) tap_->MusicEnded();
            }
        } else {
            std::fill(chunk_.begin(), chunk_.end(), 0.0f);
        }
        if (pa_stream_write(stream_, chunk_.data(), kChunkBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        written_ += int64_t(kChunkBytes);
    }
}

void PlaybackStream::OnWrite(pa_stream*, size_t nbytes, void* userdata) {
    static_cast<PlaybackStream*>(userdata)->Fill(nbytes);
}

// Only music that ran short counts. A stop flushes the queue, and the server may find it empty
// before the silence that follows arrives: that costs nothing of the music.
void PlaybackStream::OnUnderflow(pa_stream* s, void* userdata) {
    auto* self = static_cast<PlaybackStream*>(userdata);
    if (!self->playing_ || self->musicFromByte_ < 0) return;
    const int64_t at = pa_stream_get_underflow_index(s);
    if (at >= 0 && at < self->musicFromByte_) return;
    self->underflows_.fetch_add(1);
}

void PlaybackStream::OnState(pa_stream* s, void* userdata) {
    auto* self = static_cast<PlaybackStream*>(userdata);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
        self->failed_ = true;
        if (self->playing_) {
            self->keptFrame_ = self->PlayedFrame();
            self->source_->Stop();
            self->Finish(Outcome::Failed);
        }
    }
    self->ctx_->signal();
}

void PlaybackStream::OnTimer(pa_mainloop_api*, pa_time_event* e, const struct timeval*,
                             void* userdata) {
    auto* self = static_cast<PlaybackStream*>(userdata);
    if (self->tap_ && self->playing_) self->tap_->PlayedFrames(self->PlayedFrame());
    if (self->playing_ && self->draining_ && self->PlayedByte() >= self->endByte_) {
        self->keptFrame_ = self->segments_.empty()
                               ? self->startFrame_
                               : self->segments_.back().frame + self->segments_.back().frames;
        self->segments_.clear();
        self->source_->Stop();
        self->Finish(Outcome::Ended);
    }
    pa_context_rttime_restart(self->ctx_->context(), e, pa_rtclock_now() + kTimerUsec);
}

}  // namespace platform::pulse
