// A server whose sink runs at another rate than the music's 44.1 kHz resamples the program's
// streams: the program asks for the server's best resampler on both, and the command line says
// first that the file is resampled and how to spare it that. On 44.1 kHz it says nothing.
#include <gtest/gtest.h>

#include <QThread>
#include <fstream>
#include <string>

#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

using ServerRate = testsupport::TempFolderTest;

// Both of the program's streams, seen while it plays, carry the property.
int StreamsAskingBestQuality() {
    int found = 0;
    for (const char* kind : {"sink-inputs", "source-outputs"}) {
        const std::string list = testsupport::Pactl(std::string("list ") + kind);
        found += list.find("resample.quality = \"14\"") != std::string::npos;
    }
    return found;
}

TEST_F(ServerRate, At48kHzTheRunSaysFirstThatTheServerResamplesAndAsksForItsBestQuality) {
    if (!testsupport::OnPipeWire()) GTEST_SKIP() << "a graph at 48 kHz needs PipeWire";
    REQUIRE_SOUND_SERVER();
    const std::string midi = Path("melody.mid");
    const auto bytes = testsupport::MelodySmf({60, 62, 64, 65, 67, 69}, 0.5);
    std::ofstream(midi, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const QStringList args = {QString::fromStdString(midi), QString::fromStdString(Path("a.wav"))};

    const auto plain = testsupport::RunProgram(args);
    EXPECT_EQ(plain.exitCode, 0) << plain.stdErr.toStdString();
    EXPECT_FALSE(plain.stdErr.contains("resamples")) << plain.stdErr.toStdString();

    testsupport::PrivateServer server({"speakers"}, 48000);
    ASSERT_TRUE(server.ok());
    testsupport::Program run(args);
    ASSERT_TRUE(run.started());
    int asking = 0;
    for (int i = 0; i < 60 && asking < 2; ++i) {
        QThread::msleep(50);
        asking = StreamsAskingBestQuality();
    }
    const auto resampled = run.Wait();
    EXPECT_EQ(resampled.exitCode, 0) << resampled.stdErr.toStdString();
    EXPECT_EQ(asking, 2) << "the playback and the record stream ask for the best resampler";
    // The program's first line (Qt may have said something of its own before).
    const QString said = resampled.stdErr.mid(resampled.stdErr.indexOf("tonvera: "));
    const QString first = said.section(u'\n', 0, 0);
    EXPECT_TRUE(first.contains("plays at 48000 Hz and resamples")) << first.toStdString();
    EXPECT_TRUE(first.contains("default.clock.allowed-rates = [ 44100 48000 ]"))
        << first.toStdString();
    EXPECT_EQ(resampled.stdErr.count("resamples"), 1);
}

}  // namespace
