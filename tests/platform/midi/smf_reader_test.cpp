#include "platform/midi/smf_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "support/smf_builder.h"
#include "support/temp_folder.h"

using platform::midi::MidiEvent;
using platform::midi::ReadSmf;
using platform::midi::ReadSmfFile;
using platform::midi::SmfSong;
using testsupport::SmfBuilder;

namespace {

std::optional<SmfSong> Read(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return ReadSmf(bytes.data(), bytes.size(), error);
}

SmfSong MustRead(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto song = Read(bytes, &error);
    EXPECT_TRUE(song) << error;
    return song.value_or(SmfSong{});
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
    std::string error;
    auto song = Read(bytes, &error);
    EXPECT_FALSE(song) << "accepted with " << (song ? song->events.size() : 0) << " events";
    return error;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace

// Expected values are exact fractions worked out separately; the reader must hit them to the ms
// and to the frame (rounded down).
TEST(SmfTiming, TempoChangeInFormat0IsExact) {
    SmfBuilder b(0, 96);
    b.Tempo(0, 333333).NoteOn(0, 0, 60, 100).Tempo(500, 700001).NoteOff(0, 0, 60);
    b.Raw(500, {0xFF, 0x2F, 0x00});
    const auto song = MustRead(b.Bytes(false));
    EXPECT_EQ(song.lengthMs, 5381u);
    EXPECT_EQ(song.lengthFrames, 237343u);
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.events[0].frame, 0u);
    EXPECT_EQ(song.events[1].frame, 76562u);
}

TEST(SmfTiming, ThousandTempoChangesDoNotDrift) {
    SmfBuilder b(0, 7);
    for (int i = 0; i < 1000; ++i) b.Tempo(i ? 1 : 0, i % 2 ? 499999 : 333331);
    b.Raw(1, {0xFF, 0x2F, 0x00});
    const auto song = MustRead(b.Bytes(false));
    EXPECT_EQ(song.lengthMs, 59523u);
    EXPECT_EQ(song.lengthFrames, 2624989u);
}

TEST(SmfTiming, Format1MergesTempoMapAndTracksAndTakesLatestEnd) {
    SmfBuilder b(1, 480);
    b.Tempo(0, 500000).Tempo(960, 250000);                // conductor: 1 s at 120 bpm, then 240 bpm
    b.Track().NoteOn(0, 0, 60, 90).NoteOff(1920, 0, 60);  // 1 s + 0.5 s
    b.Track().NoteOn(1920, 1, 64, 90).Raw(480, {0xFF, 0x2F, 0x00});  // ends at 1.75 s
    const auto song = MustRead(b.Bytes());
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.lengthMs, 1750u);
    EXPECT_EQ(song.lengthFrames, 77175u);
    ASSERT_EQ(song.events.size(), 3u);
    EXPECT_EQ(song.events[0].frame, 0u);
    // Equal frames keep track order: track 2's note-off before track 3's note-on.
    EXPECT_EQ(song.events[1].status, 0x80);
    EXPECT_EQ(song.events[2].status, 0x91);
    EXPECT_EQ(song.events[1].frame, 66150u);
    EXPECT_EQ(song.events[2].frame, 66150u);
}

TEST(SmfTiming, TempoInALaterTrackAppliesToAllTracks) {
    SmfBuilder b(1, 100);
    b.NoteOn(0, 0, 60, 90).NoteOff(200, 0, 60);
    b.Track().Tempo(100, 1000000);  // 0.5 s at the default tempo, then 1 s a quarter
    const auto song = MustRead(b.Bytes());
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.events[1].frame, 66150u);  // 0.5 s + 1 s
    EXPECT_EQ(song.lengthMs, 1500u);
}

TEST(SmfTiming, SmpteDivisionsIgnoreTempo) {
    // 25 frames of 40 ticks: 1000 ticks a second.
    SmfBuilder b25(0, uint16_t(0xE728));
    b25.Tempo(0, 100000).NoteOn(0, 0, 60, 90).NoteOff(1234, 0, 60);
    const auto s25 = MustRead(b25.Bytes());
    EXPECT_EQ(s25.lengthMs, 1234u);
    EXPECT_EQ(s25.lengthFrames, 54419u);
    // 29.97 frames of 100 ticks: 3000 ticks are 1.001 s.
    SmfBuilder b29(0, uint16_t(0xE364));
    b29.NoteOn(3000, 0, 60, 90);
    const auto s29 = MustRead(b29.Bytes());
    EXPECT_EQ(s29.lengthMs, 1001u);
    EXPECT_EQ(s29.lengthFrames, 44144u);
}

TEST(SmfTiming, HugeDeltasSaturateInsteadOfWrapping) {
    SmfBuilder b(0, 1);
    b.Tempo(0, 0xFFFFFF);
    for (int i = 0; i < 100; ++i) b.NoteOn(0x0FFFFFFF, 0, 60, 1);
    const auto song = MustRead(b.Bytes());
    EXPECT_EQ(song.lengthMs, UINT32_MAX);
    EXPECT_GT(song.lengthFrames, uint64_t(UINT32_MAX));
    for (size_t i = 1; i < song.events.size(); ++i)
        EXPECT_GT(song.events[i].frame, song.events[i - 1].frame);
}

TEST(SmfEvents, RunningStatusAndMessageLengths) {
    SmfBuilder b(0, 480);
    b.Raw(0, {0x90, 60, 100}).Raw(0, {62, 101});               // running note-on
    b.Raw(0, {0xFF, 0x01, 0x02, 'h', 'i'}).Raw(0, {64, 102});  // survives a meta event
    b.Raw(0, {0xC5, 7}).Raw(0, {8});                           // one data byte, running
    b.Raw(0, {0xE1, 0x00, 0x40}).Raw(0, {0xD2, 99}).Raw(0, {0xA3, 60, 5}).Raw(0, {0xB4, 7, 80});
    const auto song = MustRead(b.Bytes());
    const std::vector<std::array<int, 3>> want = {
        {0x90, 60, 100}, {0x90, 62, 101}, {0x90, 64, 102}, {0xC5, 7, 0},  {0xC5, 8, 0},
        {0xE1, 0, 0x40}, {0xD2, 99, 0},   {0xA3, 60, 5},   {0xB4, 7, 80},
    };
    ASSERT_EQ(song.events.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(song.events[i].status, want[i][0]) << i;
        EXPECT_EQ(song.events[i].data1, want[i][1]) << i;
        EXPECT_EQ(song.events[i].data2, want[i][2]) << i;
    }
}

TEST(SmfEvents, SysexEscapeAndMetaAreSkippedByTheirLength) {
    SmfBuilder b(0, 480);
    // Payloads full of bytes that would be events if they were read as such.
    b.Raw(0, {0xF0, 0x05, 0x90, 0x3C, 0x64, 0x00, 0xF7});
    b.Raw(10, {0xF7, 0x03, 0x80, 0x3C, 0x00});
    b.Raw(10, {0xFF, 0x7F, 0x04, 0x90, 0x40, 0x40, 0xFF});
    std::vector<uint8_t> longSysex = {0xF0, 0x81, 0x00};  // 128 bytes follow
    longSysex.insert(longSysex.end(), 128, 0x91);
    b.Raw(10, longSysex);
    b.NoteOn(10, 0, 70, 80);
    const auto song = MustRead(b.Bytes());
    ASSERT_EQ(song.events.size(), 1u);
    EXPECT_EQ(song.events[0].data1, 70);
    EXPECT_EQ(song.lengthMs, 41u);  // 40 ticks at 960 a second
}

TEST(SmfEvents, EndOfTrackEndsTheTrackAndATrackMayLackIt) {
    SmfBuilder b(1, 480);
    b.NoteOn(0, 0, 60, 90).Raw(480, {0xFF, 0x2F, 0x00}).NoteOn(4800, 0, 61, 90);
    b.Track().NoteOn(960, 1, 62, 90);
    const auto song = MustRead(b.Bytes(false));
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.events[1].data1, 62);
    EXPECT_EQ(song.lengthMs, 1000u);
}

TEST(SmfContainer, RmidIsUnwrappedEvenWithALyingRiffSize) {
    const auto smf = testsupport::MelodySmf({60, 64}, 0.25);
    std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0x7F, 'R', 'M', 'I', 'D',
                                 'L', 'I', 'S', 'T', 3,    0,    0,    0,    'x', 'y', 'z', 0};
    riff.insert(riff.end(),
                {'d', 'a', 't', 'a', uint8_t(smf.size()), uint8_t(smf.size() >> 8), 0, 0});
    riff.insert(riff.end(), smf.begin(), smf.end());
    const auto song = MustRead(riff);
    EXPECT_EQ(song.events.size(), 5u);
    EXPECT_EQ(song.lengthMs, 500u);

    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    EXPECT_NE(ErrorOf(wave).find("WAVE"), std::string::npos);
    EXPECT_NE(ErrorOf({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'}).find("data"),
              std::string::npos);

    // What the reader takes for a MIDI file by its first bytes: both forms, nothing else.
    EXPECT_TRUE(platform::midi::LooksLikeSmf(smf.data(), 4));
    EXPECT_TRUE(platform::midi::LooksLikeSmf(riff.data(), 12));
    EXPECT_FALSE(platform::midi::LooksLikeSmf(riff.data(), 11));
    EXPECT_FALSE(platform::midi::LooksLikeSmf(wave.data(), wave.size()));
    EXPECT_FALSE(platform::midi::LooksLikeSmf(smf.data(), 3));
    EXPECT_FALSE(platform::midi::LooksLikeSmf(nullptr, 12));
}

TEST(SmfMalformed, RefusedWithAMessageThatSaysWhatAndWhere) {
    const auto good = testsupport::MelodySmf({60}, 0.5);
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        auto b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + ptrdiff_t(at));
        return b;
    };
    auto headerLength = [&](uint32_t n) {
        auto b = good;
        Put32(b, 4, n);
        return b;
    };
    auto track = [](std::vector<uint8_t> body) {
        SmfBuilder b(0, 480);
        b.Raw(0, body);
        return b.Bytes();
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "empty"},
        {"random bytes", {0x13, 0x37, 0xBE, 0xEF, 0x00, 0x42, 0x99, 0x01, 0x02}, "MThd"},
        {"header cut short", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "runs past the end"},
        {"header length 5", headerLength(5), "at least 6"},
        {"header length past the end", headerLength(1000), "runs past the end"},
        {"format 2", with(8, {0, 2}), "format 2"},
        {"format 7", with(8, {0, 7}), "unknown MIDI format 7"},
        {"no tracks announced", with(10, {0, 0}), "no tracks"},
        {"division 0", with(12, {0, 0}), "division is 0"},
        {"SMPTE 23 fps", with(12, {0xE9, 10}), "frame rate"},
        {"SMPTE 0 ticks", with(12, {0xE8, 0}), "0 ticks per frame"},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 14), "no track chunk"},
        {"garbage chunk id", with(14, {0x01, 0x02, 0x03, 0x04}), "byte 14"},
        {"data byte first", track({0x3C, 0x40}), "without a status"},
        {"status instead of data", track({0x90, 0x3C, 0x90}), "where a data byte belongs"},
        {"five-byte delta", track({0x90, 0x3C, 0x40, 0x81, 0x81, 0x81, 0x81, 0x01}),
         "longer than 4"},
        {"system common status", track({0xF2, 0x00, 0x00}), "0xF2"},
        {"real-time status", track({0xF8}), "0xF8"},
    };
    for (const auto& c : cases) {
        std::string error;
        auto song = Read(c.bytes, &error);
        EXPECT_FALSE(song) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
}

TEST(SmfMalformed, ChunkLengthTooShortInsideTheFileIsRefused) {
    SmfBuilder b(1, 480);
    b.NoteOn(0, 0, 60, 90).NoteOff(480, 0, 60);
    b.Track().NoteOn(0, 1, 64, 90);
    auto bytes = b.Bytes();
    Put32(bytes, 18, 6);  // the first track's chunk now ends inside its note-off
    const auto error = ErrorOf(bytes);
    EXPECT_NE(error.find("track 1"), std::string::npos) << error;
    EXPECT_NE(error.find("chunk length"), std::string::npos) << error;
    // Too long a length swallows the next chunk and then overruns the file: read as far as valid.
    Put32(bytes, 18, 5000);
    EXPECT_TRUE(Read(bytes));
}

// Every cut of a valid file is either refused or read as a prefix of the whole song.
TEST(SmfMalformed, EveryTruncationIsRefusedOrAPrefix) {
    SmfBuilder b(1, 480);
    b.Tempo(0, 400000).Raw(0, {0xFF, 0x03, 0x03, 'a', 'b', 'c'});
    b.Track().Program(0, 0, 5).NoteOn(0, 0, 60, 90).Raw(100, {62, 90}).NoteOff(100, 0, 60);
    b.Raw(10, {0xF0, 0x02, 0x01, 0xF7}).Raw(0, {0x80, 62, 0}).Raw(50, {0xE0, 0x00, 0x50});
    b.Track().NoteOn(30, 9, 36, 127).NoteOff(30, 9, 36);
    const auto bytes = b.Bytes();
    const auto whole = MustRead(bytes);
    size_t accepted = 0;
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(n));
        std::string error;
        auto song = ReadSmf(cut.data(), cut.size(), &error);  // exact size: ASan sees overreads
        if (!song) {
            EXPECT_FALSE(error.empty()) << n;
            continue;
        }
        ++accepted;
        EXPECT_LE(song->lengthMs, whole.lengthMs) << n;
        for (const auto& e : song->events) {
            const bool inWhole =
                std::any_of(whole.events.begin(), whole.events.end(), [&](auto& w) {
                    return w.frame == e.frame && w.status == e.status && w.data1 == e.data1 &&
                           w.data2 == e.data2;
                });
            EXPECT_TRUE(inWhole) << "cut at " << n;
        }
    }
    EXPECT_GT(accepted, bytes.size() / 2);  // cuts after the first track chunk header play
}

TEST(SmfMalformed, FewerTracksThanAnnouncedAreReadAsFound) {
    auto bytes = testsupport::MelodySmf({60, 62}, 0.5);
    EXPECT_EQ(MustRead(bytes).cut, platform::midi::SmfCut::kWhole);
    bytes[11] = 3;
    const auto song = MustRead(bytes);
    EXPECT_EQ(song.events.size(), 5u);
    EXPECT_EQ(song.lengthMs, 1000u);
    EXPECT_EQ(song.cut, platform::midi::SmfCut::kTracksMissing);
}

TEST(SmfMalformed, AFileCutInsideATrackSaysSoAndStrayBytesDoNot) {
    const auto bytes = testsupport::MelodySmf({60, 62, 64, 65}, 0.5);
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 6);
    const auto song = MustRead(cut);
    EXPECT_EQ(song.cut, platform::midi::SmfCut::kTrackCutOff);
    EXPECT_LT(song.lengthMs, 2000u);

    std::vector<uint8_t> padded = bytes;
    padded.insert(padded.end(), {0, 0, 0});
    EXPECT_EQ(MustRead(padded).cut, platform::midi::SmfCut::kWhole);
}

TEST(SmfFile, UnreadableFilesAreRefusedByName) {
    const testsupport::TempFolder dir;
    const std::string base = dir.path();
    std::string error;
    EXPECT_FALSE(ReadSmfFile(base + "/missing.mid", &error));
    EXPECT_NE(error.find("missing.mid"), std::string::npos) << error;
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;
    EXPECT_FALSE(ReadSmfFile(base, &error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(ReadSmfFile("/dev/zero", &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    std::ofstream(base + "/empty.mid").close();
    EXPECT_FALSE(ReadSmfFile(base + "/empty.mid", &error));
    EXPECT_NE(error.find("empty"), std::string::npos) << error;

    ASSERT_TRUE(SmfBuilder(0, 480).NoteOn(960, 0, 60, 1).WriteFile(base + "/ok.mid"));
    auto song = ReadSmfFile(base + "/ok.mid", &error);
    ASSERT_TRUE(song) << error;
    EXPECT_EQ(song->lengthMs, 1000u);
}

TEST(SmfScale, AMillionEventsInFourTracks) {
    SmfBuilder b(1, 480);
    for (int t = 0; t < 4; ++t) {
        b.Track();
        b.Raw(0, {uint8_t(0x90 | t), 60, 100});
        for (int i = 1; i < 250000; ++i) b.Raw(1, {uint8_t(60 + i % 12), uint8_t(i % 2 ? 0 : 100)});
    }
    const auto song = MustRead(b.Bytes());
    ASSERT_EQ(song.events.size(), 1000000u);
    EXPECT_EQ(song.lengthFrames, uint64_t(249999) * 44100 / 960);
    for (size_t i = 1; i < song.events.size(); ++i)
        ASSERT_LE(song.events[i - 1].frame, song.events[i].frame) << i;
    // Ties in track order: the four tracks' first events come first, channel by channel.
    for (int t = 0; t < 4; ++t) EXPECT_EQ(song.events[size_t(t)].status, 0x90 | t);
}
