// The many-files run's plan (which MIDI file goes where, what is skipped or refused) and its
// last line.
#include "app/batch_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/batch_run.h"
#include "app/messages.h"
#include "support/temp_folder.h"

namespace {

using app::PlanBatch;
using app::TBatchJob;
using Kind = TBatchJob::Kind;

TEST(BatchPlan, EachMidiFileGoesToItsBaseNameWithWavInTheFolder) {
    EXPECT_EQ(app::WavNameFor("song.mid"), "song.wav");
    EXPECT_EQ(app::WavNameFor("/music/a.b.midi"), "a.b.wav");
    EXPECT_EQ(app::WavNameFor("dir.x/song"), "song.wav");
    EXPECT_EQ(app::WavNameFor(".mid"), ".mid.wav");
    EXPECT_EQ(app::WavNameFor("dir/"), "");
    EXPECT_EQ(app::WavNameFor("\xff\xfe.mid"), "\xff\xfe.wav");  // bytes stay bytes
    EXPECT_EQ(app::WavNameFor("/music/a.b.midi", ".flac"), "a.b.flac");

    const auto jobs = PlanBatch({"in/a.mid", "b.rmi", "x/"}, "out", false);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].wav, "out/a.wav");
    EXPECT_EQ(jobs[1].wav, "out/b.wav");
    EXPECT_EQ(PlanBatch({"a.mid"}, "out/", false)[0].wav, "out/a.wav");
    EXPECT_EQ(PlanBatch({"a.mid"}, "out", false, ".opus")[0].wav, "out/a.opus");
    EXPECT_EQ(jobs[0].kind, Kind::kConvert);
    EXPECT_EQ(jobs[2].kind, Kind::kRefuse);
}

TEST(BatchPlan, AWavThatIsThereIsSkippedUnlessOverwrittenAndNoWavIsWrittenTwice) {
    testsupport::TempFolder dir;
    const std::string out = dir.path();
    std::ofstream(out + "/old.wav") << "the user's";
    std::filesystem::create_symlink(out + "/nowhere", out + "/link.wav");

    auto jobs = PlanBatch({"old.mid", "new.mid", "a/new.midi", "link.mid"}, out, false);
    ASSERT_EQ(jobs.size(), 4u);
    EXPECT_EQ(jobs[0].kind, Kind::kSkip);
    EXPECT_NE(jobs[0].why.find("--overwrite"), std::string::npos) << jobs[0].why;
    EXPECT_EQ(jobs[1].kind, Kind::kConvert);
    // Two MIDI files with one base name: the second would replace the first's WAV.
    EXPECT_EQ(jobs[2].kind, Kind::kRefuse);
    EXPECT_NE(jobs[2].why.find(out + "/new.wav"), std::string::npos) << jobs[2].why;
    EXPECT_EQ(jobs[3].kind, Kind::kSkip) << "a dangling link is something that is there";

    jobs = PlanBatch({"old.mid", "new.mid", "a/new.midi"}, out, true);
    EXPECT_EQ(jobs[0].kind, Kind::kConvert);
    EXPECT_EQ(jobs[2].kind, Kind::kRefuse);
    // A skipped file still claims its name: nothing else of the run writes it either.
    jobs = PlanBatch({"old.mid", "x/old.mid"}, out, false);
    EXPECT_EQ(jobs[1].kind, Kind::kRefuse);
}

TEST(BatchPlan, TheLastLineAndTheExitCode) {
    app::TBatchTally t;
    t.converted = 3;
    t.skipped = 1;
    t.failed = 0;
    t.musicMs = 754000;
    t.wallSeconds = 7.04;
    EXPECT_EQ(t.Text(), "3 converted, 1 skipped, 0 failed; 12:34 of music in 7.0 s");
    EXPECT_EQ(t.ExitCode(0), 0);
    t.wallSeconds = 125;
    EXPECT_EQ(t.Text(), "3 converted, 1 skipped, 0 failed; 12:34 of music in 2:05");
    t.failed = 1;
    EXPECT_EQ(t.ExitCode(0), 1);
    EXPECT_EQ(t.ExitCode(15), 143);
    EXPECT_NE(app::BatchFolderRefusal("/nonexistent/folder"), "");
    EXPECT_EQ(app::BatchFolderRefusal("/tmp"), "");
}

// Each file is told with the music it holds, its tail included, rounded to the second, and the
// last line sums what the files hold, not the pieces' lengths by their tempo maps.
TEST(BatchRun, FilesAreToldAndSummedWithTheMusicTheyHold) {
    std::vector<app::TMessage> told;
    const auto previous = app::SetMessageSink([&](const app::TMessage& m) { told.push_back(m); });
    std::vector<TBatchJob> plan(3);
    const std::map<std::string, uint64_t> holds = {
        {"a.mid", 39600}, {"b.mid", 40000}, {"c.mid", 39400}};
    for (size_t i = 0; i < plan.size(); ++i) {
        plan[i].midi = std::string(1, char('a' + i)) + ".mid";
        plan[i].wav = "out/" + std::string(1, char('a' + i)) + ".wav";
    }
    const int code = app::RunRecordedBatch(plan, [&](const TBatchJob& job, const std::string&) {
        return app::TRunOutcome{true, 0, 37000, holds.at(job.midi)};  // a 37-s piece and its tail
    });
    app::SetMessageSink(previous);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[0].text, "out/a.wav: converted from a.mid (0:40).");
    EXPECT_EQ(told[1].text, "out/b.wav: converted from b.mid (0:40).");
    EXPECT_EQ(told[2].text, "out/c.wav: converted from c.mid (0:39).");
    EXPECT_TRUE(told[3].text.startsWith("3 converted, 0 skipped, 0 failed; 1:59 of music in "))
        << told[3].text.toStdString();
}

}  // namespace
