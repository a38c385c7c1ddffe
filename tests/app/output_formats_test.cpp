// The program writing compressed files, end to end with --fast: each format from the same
// samples as the WAV file of the same conversion.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench/bench_song.h"
#include "support/decoded.h"
#include "support/pcm.h"
#include "support/program_run.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramOutcome;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class FormatProgram : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        const auto song = bench::BenchSong(6);
        midi_ = Path("song.mid");
        std::ofstream(midi_, std::ios::binary)
            .write(reinterpret_cast<const char*>(song.data()), std::streamsize(song.size()));
        const ProgramOutcome run = Fast(Path("song.wav"));
        ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
        wav_ = *testsupport::DecodeSound(Path("song.wav"));
    }
    ProgramOutcome Fast(const std::string& out, QStringList more = {}) const {
        more << "--fast" << Q(midi_) << Q(out);
        return testsupport::RunProgram(more, {{}, true});
    }
    // The file is there, whole, with nothing of its making left beside it.
    testsupport::DecodedSound Made(const std::string& path) const {
        std::string why;
        auto sound = testsupport::DecodeSound(path, &why);
        EXPECT_TRUE(sound) << path << ": " << why;
        EXPECT_FALSE(fs::exists(path + ".part")) << path;
        EXPECT_FALSE(fs::exists(path + ".encoding")) << path;
        return sound.value_or(testsupport::DecodedSound{});
    }

    std::string midi_;
    testsupport::DecodedSound wav_;
};

TEST_F(FormatProgram, AFlacFileHoldsExactlyTheSamplesOfTheWav) {
    const ProgramOutcome run = Fast(Path("song.flac"));
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const auto flac = Made(Path("song.flac"));
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.rate, 44100);
    EXPECT_EQ(flac.samples, wav_.samples);
    // The WAV file itself is still the program's own, byte for byte what it was.
    ASSERT_EQ(Fast(Path("again.wav")).exitCode, 0);
    EXPECT_EQ(testsupport::ReadAll(Path("again.wav")), testsupport::ReadAll(Path("song.wav")));
}

TEST_F(FormatProgram, OggOpusAndMp3AreValidAsLongAsTheWavAndCarryTheMusic) {
    const std::tuple<const char*, int, int, size_t> cases[] = {
        {"song.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2048},
        {"song.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 960},
        {"song.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 1152},
    };
    const auto envelope = testsupport::RmsEnvelope(wav_);
    for (const auto& [name, kind, rate, codecFrame] : cases) {
        const ProgramOutcome run = Fast(Path(name));
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.stdErr.toStdString();
        const auto sound = Made(Path(name));
        EXPECT_EQ(sound.format, kind) << name;
        EXPECT_EQ(sound.rate, rate) << name;
        EXPECT_NEAR(double(sound.frames()), double(wav_.frames()) * rate / 44100,
                    double(codecFrame))
            << name;
        EXPECT_GE(testsupport::Correlation(testsupport::RmsEnvelope(sound), envelope), 0.9) << name;
    }
}

TEST_F(FormatProgram, ManyFilesTakeTheFormatAsked) {
    fs::create_directory(Path("out"));
    const ProgramOutcome run = testsupport::RunProgram(
        {"--fast", "--format", "flac", "--to", Q(Path("out")), Q(midi_)}, {{}, true});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_FALSE(fs::exists(Path("out/song.wav")));
    EXPECT_EQ(Made(Path("out/song.flac")).samples, wav_.samples);
    // A FLAC file that is there is skipped as a WAV file would be.
    const ProgramOutcome again = testsupport::RunProgram(
        {"--fast", "--format", "flac", "--to", Q(Path("out")), Q(midi_)}, {{}, true});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.stdErr.contains("1 skipped")) << again.stdErr.toStdString();
}

double PeakDb(const testsupport::DecodedSound& sound) {
    int peak = 0;
    for (int16_t s : sound.samples) peak = std::max(peak, std::abs(int(s)));
    return 20 * std::log10(peak / 32768.0);
}

// The gain a run told on standard error, from "normalized: +4.2 dB".
std::optional<double> ToldGain(const QString& err) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("normalized: ([+-][0-9]+\\.[0-9]) dB")).match(err);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toDouble();
}

TEST_F(FormatProgram, NormalizedFilesPeakAtMinusOneDbfsAndSayByHowMuch) {
    const double was = PeakDb(wav_);
    ProgramOutcome run = Fast(Path("loud.wav"), {"--normalize"});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const auto loud = Made(Path("loud.wav"));
    EXPECT_NEAR(PeakDb(loud), -1.0, 0.1);
    const auto told = ToldGain(run.stdErr);
    ASSERT_TRUE(told) << run.stdErr.toStdString();
    EXPECT_NEAR(*told, PeakDb(loud) - was, 0.1);
    EXPECT_GT(*told, 0) << "the piece at volume 30 peaks well below -1 dBFS";

    // Music the limiter holds just under full scale: the gain is below one, and the file still
    // peaks at -1 dBFS, here through FLAC.
    const auto chords = testsupport::LoudChordsSmf();
    std::ofstream(Path("chords.mid"), std::ios::binary)
        .write(reinterpret_cast<const char*>(chords.data()), std::streamsize(chords.size()));
    run = testsupport::RunProgram(
        {"--fast", "--normalize", Q(Path("chords.mid")), Q(Path("full.flac")), "100"}, {{}, true});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_NEAR(PeakDb(Made(Path("full.flac"))), -1.0, 0.1);
    ASSERT_TRUE(ToldGain(run.stdErr)) << run.stdErr.toStdString();
    EXPECT_LT(*ToldGain(run.stdErr), 0);
    // Without it the level is the recording's.
    EXPECT_FALSE(ToldGain(Fast(Path("plain.wav")).stdErr));
}

}  // namespace
