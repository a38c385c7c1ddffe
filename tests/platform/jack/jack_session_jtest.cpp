// The JACK session against a private JACK server (or PipeWire's JACK library) with FluidSynth
// as the external synth, which scripts/private-jack.sh starts; skipped without one.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/jack/jack_session.h"
#include "platform/synth/midi_renderer.h"
#include "support/smf_builder.h"

namespace {

using platform::jack::JackSession;
using platform::midi::SmfSong;

// One tick is one 1024-frame period (tempo 10 240 000 us per quarter at 441 ticks): FluidSynth
// as a JACK client applies events at its period's start, so only notes on period boundaries
// can match a sample-exact offline render.
std::shared_ptr<const SmfSong> GridPiece(const std::vector<uint32_t>& ticks, uint32_t length) {
    testsupport::SmfBuilder b(0, 441);
    b.Tempo(0, 10240000).Program(0, 0, 0);
    uint32_t now = 0;
    for (size_t i = 0; i < ticks.size(); ++i) {
        b.NoteOn(ticks[i] - now, 0, uint8_t(60 + 4 * i), 110).NoteOff(length, 0, uint8_t(60 + 4 * i));
        now = ticks[i] + length;
    }
    std::string why;
    const auto bytes = b.Bytes();
    auto song = platform::midi::ReadSmf(bytes.data(), bytes.size(), &why);
    return std::make_shared<const SmfSong>(std::move(*song));
}

struct Result {
    std::vector<int16_t> pcm;
    std::vector<JackSession::Gap> gaps;
    JackSession::Outcome outcome = JackSession::Outcome::kFailed;
    int64_t latency = -1;
};

Result PlayThrough(std::shared_ptr<const SmfSong> song, const std::function<void()>& midway = {}) {
    std::string why;
    auto session = JackSession::Open(song, "synth", "", &why);
    EXPECT_TRUE(session) << why;
    Result r;
    if (!session) return r;
    std::mutex m;
    session->SetSink([&](const int16_t* f, size_t n) {
        std::lock_guard lock(m);
        r.pcm.insert(r.pcm.end(), f, f + n * 2);
    });
    std::atomic<bool> ended{false};
    EXPECT_TRUE(session->Play([&](JackSession::Outcome o) { r.outcome = o; ended = true; }));
    bool poked = false;
    for (int i = 0; i < 3000 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (midway && !poked && session->PositionMs() > song->lengthMs / 2) {
            midway();
            poked = true;
        }
    }
    EXPECT_TRUE(ended.load());
    r.gaps = session->Gaps();
    r.latency = session->latencyFrames();
    return r;
}

std::vector<float> Mono(const std::vector<int16_t>& pcm) {
    std::vector<float> m(pcm.size() / 2);
    for (size_t i = 0; i < m.size(); ++i) m[i] = float(pcm[2 * i]) + float(pcm[2 * i + 1]);
    return m;
}

// The lag (frames) at which `got` best matches `want` around `at`, and the correlation there.
std::pair<int, double> BestLag(const std::vector<float>& want, const std::vector<float>& got,
                               size_t at, size_t span, int most) {
    int best = 0;
    double bestC = -2;
    for (int lag = -most; lag <= most; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = at; i < at + span && i < want.size(); ++i) {
            const int64_t j = int64_t(i) + lag;
            const double y = j >= 0 && size_t(j) < got.size() ? got[size_t(j)] : 0;
            xy += want[i] * y, xx += double(want[i]) * want[i], yy += y * y;
        }
        const double c = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
        if (c > bestC) bestC = c, best = lag;
    }
    return {best, bestC};
}

class JackSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("SYNTH_PID"))
            GTEST_SKIP() << "no private JACK server with a synth (scripts/private-jack.sh)";
    }
};

TEST_F(JackSessionTest, NotesStartWhereTheOfflineRenderHasThemAndTheTailIsKept) {
    const std::vector<uint32_t> ticks = {0, 20, 40, 60};
    auto song = GridPiece(ticks, 6);
    const Result r = PlayThrough(song);
    ASSERT_EQ(r.outcome, JackSession::Outcome::kDone);
    EXPECT_TRUE(r.gaps.empty());
    std::string why;
    const char* sf = std::getenv("TONVERA_SOUNDFONT");
    std::vector<float> offline = platform::synth::RenderOffline(song, &why, 1.0, sf ? sf : "");
    ASSERT_FALSE(offline.empty()) << why;
    std::vector<float> ref(offline.size() / 2);
    for (size_t i = 0; i < ref.size(); ++i) ref[i] = offline[2 * i] + offline[2 * i + 1];
    const std::vector<float> got = Mono(r.pcm);
    // Nothing before time 0: the first note starts at sample 0, not before.
    for (uint32_t t : ticks) {
        const auto [lag, c] = BestLag(ref, got, t * 1024, 4096, 400);
        EXPECT_LE(std::abs(lag), 88) << "note at tick " << t;
        EXPECT_GE(c, 0.99) << "note at tick " << t;
        std::printf("note at %u: onset error %.2f ms, correlation %.4f\n", t, lag / 44.1, c);
    }
    // The tail: past the music's length, and sounding to its end (trimmed only when quiet).
    EXPECT_GT(got.size(), song->lengthFrames + 4410);
    std::printf("latency %lld frames, output %.3f s, music %.3f s, tail %.3f s\n",
                (long long)r.latency, got.size() / 44100.0, song->lengthFrames / 44100.0,
                (double(got.size()) - double(song->lengthFrames)) / 44100.0);
}

TEST_F(JackSessionTest, ASynthStalledMidPieceLeavesAReportedHole) {
    if (std::getenv("TONVERA_TEST_SERVER") && std::string(std::getenv("TONVERA_TEST_SERVER")) == "pipewire")
        GTEST_SKIP() << "PipeWire does not report a stalled client";
    const pid_t synth = pid_t(std::atoi(std::getenv("SYNTH_PID")));
    auto song = GridPiece({0, 20, 40, 60, 80, 100}, 6);
    const Result r = PlayThrough(song, [synth] {
        kill(synth, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(synth, SIGCONT);
    });
    ASSERT_FALSE(r.gaps.empty());
    for (const auto& g : r.gaps) std::printf("gap at %llu frames, %llu long\n",
                                             (unsigned long long)g.frame, (unsigned long long)g.frames);
}

}  // namespace

namespace {
// Points both JACK libraries at a server that is not there: jackd's by its name, PipeWire's by
// its remote, and puts them back after.
class NoServerHere {
  public:
    NoServerHere() {
        for (const char* name : {"JACK_DEFAULT_SERVER", "PIPEWIRE_REMOTE"}) {
            const char* was = std::getenv(name);
            saved_.emplace_back(name, was ? std::optional<std::string>(was) : std::nullopt);
            setenv(name, "tonvera-nobody-here", 1);
        }
    }
    ~NoServerHere() {
        for (const auto& [name, was] : saved_) {
            if (was) setenv(name, was->c_str(), 1);
            else unsetenv(name);
        }
    }

  private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(JackWithoutServer, ListIsEmptyAndOpenFailsFastWithAReason) {
    const NoServerHere nobody;
    const auto start = std::chrono::steady_clock::now();
    const auto ports = platform::jack::ListSynthPorts();
    EXPECT_TRUE(ports.midiInputs.empty() && ports.audioOutputs.empty());
    std::string why;
    auto s = JackSession::Open(GridPiece({0}, 4), "synth", "", &why);
    EXPECT_FALSE(s);
    EXPECT_EQ(why, "No JACK server is running.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
}  // namespace
