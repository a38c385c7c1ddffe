#pragma once
// The plan of a many-files run (--to FOLDER A.mid B.mid ...): each MIDI file goes to
// FOLDER/<its base name>.wav. A WAV file that is there already is skipped unless the run may
// overwrite, and two MIDI files that would write the same WAV file do not both write it.
#include <cstdint>
#include <string>
#include <vector>

namespace app {

struct TBatchJob {
    enum class Kind { kConvert, kSkip, kRefuse };
    std::string midi, wav;
    Kind kind = Kind::kConvert;
    std::string why;  // for a skip or a refusal: a sentence naming the files
};

// "song.mid" -> "song.wav", "a.b.midi" -> "a.b.wav", "song" -> "song.wav" (or the extension
// of the run's format: "song.flac"); the folder part of the MIDI path is dropped. Empty for a
// path that names no file ("dir/").
std::string WavNameFor(const std::string& midi, const std::string& extension = ".wav");

std::vector<TBatchJob> PlanBatch(const std::vector<std::string>& midis, const std::string& folder,
                                 bool overwrite, const std::string& extension = ".wav");

// What a many-files run did, for its last line and its exit code.
struct TBatchTally {
    int converted = 0, skipped = 0, failed = 0;
    uint64_t musicMs = 0;  // the music the converted files hold, their tails included
    double wallSeconds = 0;
    // "3 converted, 1 skipped, 1 failed; 12:34 of music in 0:07".
    std::string Text() const;
    // 0 when no file failed (skipped ones are not failures), 128 + n after signal n.
    int ExitCode(int signal) const;
};

// Why the run cannot start at all (the folder is missing or is no folder), or "".
std::string BatchFolderRefusal(const std::string& folder);

}  // namespace app
