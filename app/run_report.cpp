#include "app/run_report.h"

#include <QStringList>
#include <algorithm>

#include "app/clock_text.h"
#include "app/local_names.h"
#include "app/stop_signals.h"
#include "engine/capture_limit.h"
#include "platform/mci.h"

namespace app {

namespace {

QString Clock(int32_t ms) {
    return QString::fromStdString(FormatClock(ms));
}

QString Recorded(const engine::CaptureResult& c) {
    return QString::fromStdString(RecordedTime(c.bytesCaptured));
}

// Where the recording is now: at the WAV path, or kept beside it.
QString Where(const engine::CaptureResult& c) {
    return FromLocal(c.fileWritten ? c.path : c.keptAt);
}

// "42 ms" under a second, "9.8 s" from there on.
QString Span(uint32_t ms) {
    if (ms < 1000) return QStringLiteral("%1 ms").arg(ms);
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

QString GapPart(const engine::CaptureGap& g) {
    using Kind = engine::CaptureGap::Kind;
    if (g.kind == Kind::kEndsEarly)
        return QStringLiteral("the file ends %1 before the music").arg(Span(g.lengthMs));
    const QString at = Clock(int32_t(g.positionMs));
    if (g.kind == Kind::kSilenceInserted)
        return QStringLiteral("%1: %2 of silence inserted").arg(at, Span(g.lengthMs));
    return QStringLiteral("%1: %2 missing").arg(at, Span(g.lengthMs));
}

// "The recording has gaps: 0:12: 42 ms missing, ...", the first ten of them; a file that ends
// early is told however many came before.
QString GapText(const std::vector<engine::CaptureGap>& gaps) {
    QStringList parts;
    size_t told = 0, more = 0;
    const engine::CaptureGap* end = nullptr;
    for (const engine::CaptureGap& g : gaps) {
        if (g.kind == engine::CaptureGap::Kind::kEndsEarly) {
            end = &g;
        } else if (told == 10) {
            ++more;
        } else {
            parts << GapPart(g);
            ++told;
        }
    }
    if (more) parts << QStringLiteral("and %1 more").arg(more);
    if (end) parts << GapPart(*end);
    return QStringLiteral("The recording has gaps: %1.").arg(parts.join(QStringLiteral(", ")));
}

void AddFileFindings(TRunReport& r, const engine::CaptureResult& c, const TRunEnding& e) {
    const QString target = FromLocal(c.path.empty() ? e.target : c.path);
    if (!c.deviceOpened) {
        r.Add(QStringLiteral("No WAV file was written: the recording device could not be opened."));
    } else if (!c.notCreated.empty()) {
        r.Add(QStringLiteral("No WAV file was written: %1.").arg(FromLocal(c.notCreated)));
    } else if (!c.writeError.empty()) {
        const QString kept = c.keptAt.empty()
                                 ? QStringLiteral("Nothing was kept")
                                 : QStringLiteral("The first %1 of the recording are kept in %2")
                                       .arg(Recorded(c), FromLocal(c.keptAt));
        r.Add(QStringLiteral("Writing the WAV file failed: %1. %2; %3 was not changed.")
                  .arg(QString::fromStdString(c.writeError), kept, target));
    } else if (c.bytesCaptured == 0) {
        r.Add(QStringLiteral("No WAV file was written: nothing was recorded."));
    } else if (!c.notPlaced.empty()) {
        r.Add(QStringLiteral("The recording is kept in %1: %2.")
                  .arg(FromLocal(c.keptAt), FromLocal(c.notPlaced)));
    }
}

// Said last, after why: a recording that failed did not take the output's place.
void AddKeptFinding(TRunReport& r, const engine::CaptureResult& c, const TRunEnding& e) {
    if (c.fileWritten || c.keptAt.empty() || !c.writeError.empty() || !c.notPlaced.empty()) return;
    const QString target = FromLocal(c.path.empty() ? e.target : c.path);
    r.Add(QStringLiteral("%1 was not changed; what was recorded is in %2.")
              .arg(target, FromLocal(c.keptAt)));
}

void AddEndingFindings(TRunReport& r, const engine::CaptureResult& c, const TRunEnding& e) {
    const bool kept = c.bytesCaptured > 0 && (c.fileWritten || !c.keptAt.empty());
    const QString holds = kept ? QStringLiteral("%1 holds the first %2").arg(Where(c), Recorded(c))
                               : QStringLiteral("nothing was recorded");
    if (c.reachedSizeLimit && kept)
        r.Add(QStringLiteral("The recording reached the largest size a WAV file can hold, so the "
                             "music was stopped: %1 of it.")
                  .arg(holds));
    if (e.serverLost && e.playError.empty())
        r.Add(QStringLiteral("The sound server stopped answering at %1; %2.")
                  .arg(Clock(e.lastPositionMs), holds));
    if (e.signal)
        r.Add(QStringLiteral("Stopped by %1 at %2; %3.")
                  .arg(QString::fromLatin1(SignalName(e.signal)), Clock(e.lastPositionMs), holds));
}

void AddSoundFindings(TRunReport& r, const engine::CaptureResult& c, const TRunEnding& e) {
    if (c.bytesCaptured > 0 && c.silent && (c.fileWritten || !c.keptAt.empty()))
        r.Add(QStringLiteral("The recording is silent: every sample of %1 is zero (the MIDI file "
                             "plays no notes, or the volume is 0).")
                  .arg(Where(c)));
    if (e.readInPart == MCI_READ_TRACK_CUT_OFF)
        r.Add(QStringLiteral("The MIDI file was read only in part: it ends inside a track, so the "
                             "music after that is missing."),
              true);
    if (e.readInPart == MCI_READ_TRACKS_MISSING)
        r.Add(QStringLiteral("The MIDI file was read only in part: it holds fewer tracks than its "
                             "header announces, so their music is missing."),
              true);
    if (!c.gaps.empty()) r.Add(GapText(c.gaps));
    if (e.underflows > 0)
        r.Add(QStringLiteral("The synthesizer's sound stream ran dry %1 time(s) during the "
                             "conversion: the WAV file has gaps.")
                  .arg(e.underflows));
}

}  // namespace

bool TRunReport::Whole() const {
    return std::all_of(findings_.begin(), findings_.end(),
                       [](const TFinding& f) { return f.whole; });
}

QString TRunReport::Text() const {
    QStringList lines;
    for (const auto& f : findings_) lines << f.text;
    return lines.join(u'\n');
}

bool ReplacesTarget(const engine::CaptureResult& finished, const TRunEnding& ending,
                    bool manyFiles) {
    if (ending.signal || ending.cancelled) return !manyFiles;
    engine::CaptureResult placed = finished;
    placed.fileWritten = true;
    placed.keptAt.clear();
    return ReportConversion(placed, ending).Whole();
}

std::string RecordedTime(uint64_t bytes) {
    const uint64_t ms = bytes * 1000 / engine::kCaptureBytesPerSecond;
    return FormatLength(int64_t(std::min<uint64_t>(ms, INT64_MAX)));
}

QString NormalizedText(double gainDb) {
    return QString::asprintf("normalized: %+.1f dB", gainDb);
}

TRunReport ReportConversion(const engine::CaptureResult& capture, const TRunEnding& ending) {
    TRunReport report;
    if (!ending.playError.empty())
        report.Add(QStringLiteral("The MIDI file could not be played: %1")
                       .arg(FromLocal(ending.playError)));
    AddFileFindings(report, capture, ending);
    AddEndingFindings(report, capture, ending);
    AddSoundFindings(report, capture, ending);
    AddKeptFinding(report, capture, ending);
    if (!capture.fileWritten && report.Whole())
        report.Add(QStringLiteral("No WAV file was written."));
    return report;
}

}  // namespace app
