// The pure texts of the program: the clock, the command line's volume, the error full stop.
#include <gtest/gtest.h>

#include "app/clock_text.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/resampling_note.h"
#include "app/run_report.h"
#include "platform/mci.h"

namespace {

TEST(ClockText, MinutesAndTwoDigitSeconds) {
    EXPECT_EQ(app::FormatClock(65000), "1:05");
    EXPECT_EQ(app::FormatClock(600000), "10:00");
    EXPECT_EQ(app::FormatClock(999), "0:00");
    EXPECT_EQ(app::FormatClock(0), "0:00");
    EXPECT_EQ(app::FormatClock(59999), "0:59");
    EXPECT_EQ(app::FormatClock(7260000), "121:00");  // minutes have no upper bound
    EXPECT_EQ(app::TotalTimeText(205000), " / 3:25");
    EXPECT_EQ(app::FormatClock(7000) + app::TotalTimeText(205000), "0:07 / 3:25");
}

// 39.6 s is a 0:40 piece; a position of 39.6 s is still in its 0:39th second, so at its end the
// position never shows more than the length beside it.
TEST(ClockText, LengthsRoundToTheNearestSecondPositionsDoNot) {
    EXPECT_EQ(app::FormatLength(39600), "0:40");
    EXPECT_EQ(app::FormatLength(40000), "0:40");
    EXPECT_EQ(app::FormatLength(39400), "0:39");
    EXPECT_EQ(app::FormatLength(39500), "0:40");
    EXPECT_EQ(app::FormatLength(59600), "1:00");
    EXPECT_EQ(app::FormatLength(0), "0:00");
    EXPECT_EQ(app::FormatLength(-400), "0:00");
    EXPECT_EQ(app::FormatLength(int64_t(INT32_MAX) * 2), "71582:47");  // past the 32-bit clock
    EXPECT_EQ(app::FormatClock(39600) + app::TotalTimeText(39600), "0:39 / 0:40");
    EXPECT_EQ(app::FormatClock(39400) + app::TotalTimeText(39400), "0:39 / 0:39");
    EXPECT_EQ(app::RecordedTime(uint64_t(39600) * 1764 / 10), "0:40");  // what a file holds
}

TEST(ClockText, PadTwoDigits) {
    EXPECT_EQ(app::PadTwoDigits(""), "0");
    EXPECT_EQ(app::PadTwoDigits("5"), "05");
    EXPECT_EQ(app::PadTwoDigits("42"), "42");
    EXPECT_EQ(app::PadTwoDigits("123"), "123");
}

// The server's own setting is named where the device tells the server (the conversion run's
// suite); where it cannot, both.
TEST(ResamplingNote, SaysNothingAt44100HzAndNamesBothSettingsForAnUnknownServer) {
    EXPECT_TRUE(app::ResamplingNote(44100, MCI_SERVER_PIPEWIRE).isEmpty());
    EXPECT_TRUE(app::ResamplingNote(0, MCI_SERVER_UNKNOWN).isEmpty());
    const QString unknown = app::ResamplingNote(22050, MCI_SERVER_UNKNOWN);
    EXPECT_TRUE(unknown.contains("plays at 22050 Hz")) << unknown.toStdString();
    EXPECT_TRUE(unknown.contains("allowed-rates = [ 44100 48000 ]"));
    EXPECT_TRUE(unknown.contains("default-sample-rate = 44100"));
    EXPECT_FALSE(unknown.contains('\n'));
}

TEST(CommandLine, VolumeConversion) {
    using app::ParseInteger;
    EXPECT_EQ(ParseInteger("150"), 150);
    EXPECT_EQ(ParseInteger("-5"), -5);
    EXPECT_EQ(ParseInteger("+7"), 7);
    EXPECT_EQ(ParseInteger("   42"), 42);
    EXPECT_EQ(ParseInteger("$20"), 32);
    EXPECT_EQ(ParseInteger("0x10"), 16);
    EXPECT_EQ(ParseInteger("0X1f"), 31);
    EXPECT_EQ(ParseInteger("-$10"), -16);
    EXPECT_EQ(ParseInteger("007"), 7);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);

    for (const char* bad : {"abc", "50%", "", " ", "-", "$", "0x", "42 ", "4 2", "1.5",
                            "2147483648", "$100000000", "0x1g", "--1", "\t5"})
        EXPECT_FALSE(ParseInteger(bad).has_value()) << '"' << bad << '"';
}

TEST(ErrorHandler, FullStopOnlyAfterCharactersAboveTheFullStop) {
    EXPECT_EQ(app::WithFullStop("File not found"), "File not found.");
    EXPECT_EQ(app::WithFullStop("Error 42"), "Error 42.");
    EXPECT_EQ(app::WithFullStop("Done."), "Done.");
    EXPECT_EQ(app::WithFullStop("Stop!"), "Stop!");
    EXPECT_EQ(app::WithFullStop("a)"), "a)");   // ")" is below "."
    EXPECT_EQ(app::WithFullStop("a/"), "a/.");  // "/" is just above it
    EXPECT_EQ(app::WithFullStop("Ungültiger Dateiname - ä"), "Ungültiger Dateiname - ä.");
    EXPECT_EQ(app::WithFullStop(""), "");
}

}  // namespace
