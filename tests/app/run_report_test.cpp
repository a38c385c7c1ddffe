// How a run's ending is told, and names that travel between bytes and text without loss.
#include "app/run_report.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>

#include "app/local_names.h"
#include "platform/mci.h"

namespace {

using app::ReportConversion;
using app::TRunEnding;
using engine::CaptureResult;

constexpr uint64_t kSecond = 176400;

CaptureResult Written(uint64_t bytes, const std::string& path = "/m/song.wav") {
    CaptureResult c;
    c.deviceOpened = true;
    c.bytesCaptured = bytes;
    c.silent = false;
    c.fileWritten = true;
    c.path = path;
    return c;
}

TEST(RunReport, OnlyAWholeRecordingWithoutFindingsOrWithWarningsOnlyIsWhole) {
    EXPECT_TRUE(ReportConversion(Written(kSecond), {}).Empty());
    EXPECT_TRUE(ReportConversion(Written(kSecond), {}).Whole());

    TRunEnding cut;
    cut.readInPart = MCI_READ_TRACK_CUT_OFF;
    auto r = ReportConversion(Written(kSecond), cut);
    ASSERT_EQ(r.Findings().size(), 1u);
    EXPECT_TRUE(r.Whole()) << "a warning only";
    EXPECT_TRUE(r.Text().contains("read only in part: it ends inside a track"));
    cut.readInPart = MCI_READ_TRACKS_MISSING;
    EXPECT_TRUE(ReportConversion(Written(kSecond), cut).Text().contains("fewer tracks"));

    // One more kind of finding slots in, and decides the whole result with the others.
    r.Add("3:07: 40 ms missing");
    EXPECT_FALSE(r.Whole());
    EXPECT_EQ(r.Text().count(u'\n'), 1);
}

TEST(RunReport, EveryWayTheFileWentWrongNamesWhereTheRecordingIs) {
    CaptureResult c = Written(5 * kSecond + 40);
    c.fileWritten = false;
    c.path.clear();
    c.keptAt = "/m/song.wav.part";
    c.writeError = "No space left on device";
    TRunEnding e;
    e.target = "/m/song.wav";
    auto r = ReportConversion(c, e);
    EXPECT_FALSE(r.Whole());
    EXPECT_EQ(r.Text(),
              "Writing the WAV file failed: No space left on device. The first 0:05 of the "
              "recording are kept in /m/song.wav.part; /m/song.wav was not changed.");

    c.writeError.clear();
    c.notPlaced = "the folder /n does not exist (No such file or directory)";
    c.path = "/n/song.wav";
    EXPECT_EQ(ReportConversion(c, e).Text(),
              "The recording is kept in /m/song.wav.part: the folder /n does not exist (No such "
              "file or directory).");

    CaptureResult none;
    none.deviceOpened = true;
    none.notCreated = "no file for the recording can be made in /m (Permission denied)";
    EXPECT_EQ(ReportConversion(none, e).Text(),
              "No WAV file was written: no file for the recording can be made in /m (Permission "
              "denied).");
    none.notCreated.clear();
    EXPECT_EQ(ReportConversion(none, e).Text(), "No WAV file was written: nothing was recorded.");
    none.deviceOpened = false;
    EXPECT_TRUE(ReportConversion(none, e).Text().contains("recording device"));
}

TEST(RunReport, EndingsSayWhereTheMusicStoppedAndWhatTheFileHolds) {
    TRunEnding e;
    e.serverLost = true;
    e.lastPositionMs = 4200;
    EXPECT_EQ(ReportConversion(Written(4 * kSecond + 9000), e).Text(),
              "The sound server stopped answering at 0:04; /m/song.wav holds the first 0:04.");
    // A player that never played says so instead.
    e.playError = "The connection to the sound server was lost.";
    EXPECT_TRUE(ReportConversion(Written(0), e).Text().startsWith("The MIDI file could not be"));

    TRunEnding s;
    s.signal = SIGTERM;
    s.lastPositionMs = 61000;
    auto r = ReportConversion(Written(62 * kSecond), s);
    EXPECT_EQ(r.Text(), "Stopped by SIGTERM at 1:01; /m/song.wav holds the first 1:02.");
    EXPECT_FALSE(r.Whole());

    CaptureResult full = Written(kSecond * 3);
    full.reachedSizeLimit = true;
    EXPECT_TRUE(ReportConversion(full, {}).Text().contains("largest size a WAV file can hold"));

    CaptureResult silent = Written(kSecond);
    silent.silent = true;
    r = ReportConversion(silent, {});
    EXPECT_TRUE(r.Text().startsWith("The recording is silent: every sample of /m/song.wav"));
    EXPECT_FALSE(r.Whole());
}

TEST(RunReport, HolesInTheRecordingAreToldByPlaceAndLengthAndTheFileIsNotWhole) {
    CaptureResult c = Written(30 * kSecond);
    c.gaps = {{3000, 92}, {65000, 800}};
    auto r = ReportConversion(c, {});
    EXPECT_EQ(r.Text(), "The recording has gaps: 0:03: 92 ms missing, 1:05: 800 ms missing.");
    EXPECT_FALSE(r.Whole());
    for (uint32_t i = 0; i < 10; ++i) c.gaps.push_back({i * 1000, 5});
    EXPECT_TRUE(ReportConversion(c, {}).Text().endsWith("and 2 more."));
    c.gaps.push_back({30000, 1500, engine::CaptureGap::Kind::kEndsEarly});
    EXPECT_TRUE(ReportConversion(c, {}).Text().endsWith(
        "and 2 more, the file ends 1.5 s before the music."));

    // A stall that put silence in, and a recording cut short: each told as what it is.
    using Kind = engine::CaptureGap::Kind;
    c.gaps = {{4500, 9800, Kind::kSilenceInserted}, {20000, 12400, Kind::kEndsEarly}};
    r = ReportConversion(c, {});
    EXPECT_EQ(r.Text(),
              "The recording has gaps: 0:04: 9.8 s of silence inserted, the file ends 12.4 s "
              "before the music.");
    EXPECT_FALSE(r.Whole());
}

TEST(RunReport, OnlyAWholeResultOrAStopTheUserAskedForReplacesTheOutput) {
    CaptureResult finished = Written(kSecond);
    finished.fileWritten = false;
    finished.keptAt = "/m/song.wav.part";
    TRunEnding ending;
    EXPECT_TRUE(app::ReplacesTarget(finished, ending, false));
    EXPECT_TRUE(app::ReplacesTarget(finished, ending, true));

    CaptureResult failed = finished;
    failed.silent = true;
    EXPECT_FALSE(app::ReplacesTarget(failed, ending, false));
    failed = finished;
    failed.gaps = {{3000, 92}};
    EXPECT_FALSE(app::ReplacesTarget(failed, ending, false));
    TRunEnding lost;
    lost.serverLost = true;
    EXPECT_FALSE(app::ReplacesTarget(finished, lost, false));

    // A stop the user asked for keeps its meaning: the output holds what was recorded, gaps and
    // all; among many files an interrupted one never stands at its final name.
    TRunEnding signalled, cancelled;
    signalled.signal = SIGINT;
    cancelled.cancelled = true;
    for (const TRunEnding& stopped : {signalled, cancelled}) {
        EXPECT_TRUE(app::ReplacesTarget(failed, stopped, false));
        EXPECT_FALSE(app::ReplacesTarget(finished, stopped, true));
    }

    // A recording kept beside its output says where, after why.
    const auto r = ReportConversion(failed, ending);
    EXPECT_TRUE(r.Text().endsWith(
        "/m/song.wav was not changed; what was recorded is in /m/song.wav.part."))
        << r.Text().toStdString();
}

TEST(LocalNames, BytesThatAreNotUtf8ComeBackAsTheyWere) {
    for (const std::string& bytes :
         {std::string("/tmp/in\xff.mid"), std::string("o\xfe\xfd.wav"), std::string("\xc3("),
          std::string("\xed\xa0\x80 surrogate.wav"), std::string("\xe2\x82"),
          std::string("\xf4\x90\x80\x80 too high"), std::string("\xc0\xaf overlong")}) {
        const QString text = app::FromLocal(bytes);
        EXPECT_EQ(app::LocalPath(text), bytes);
        EXPECT_NE(QFile::encodeName(text).toStdString(), bytes) << "Qt alone would lose it";
    }
    // Two names that differ only in an undecodable byte stay two names.
    EXPECT_NE(app::FromLocal("a\xfe"), app::FromLocal("a\xfd"));
    // Valid names are Qt's own text, characters beyond the BMP included.
    const std::string valid = "caf\xc3\xa9 \xf0\x9f\x8e\xb5.wav";
    EXPECT_EQ(app::FromLocal(valid), QString::fromUtf8(valid.c_str()));
    EXPECT_EQ(app::LocalPath(app::FromLocal(valid)), valid);
    const std::string mixed = "\xf0\x9f\x8e\xb5\xff";
    EXPECT_EQ(app::LocalPath(app::FromLocal(mixed)), mixed);
}

}  // namespace
