#pragma once
// The forms a finished recording can take besides the program's own WAV file: FLAC, Ogg Vorbis,
// Opus and MP3, encoded by libsndfile from the recording's WAV file once it is complete. The
// output's name tells which.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class OutputFormat { kWav, kFlac, kVorbis, kOpus, kMp3 };

// By the name's extension, in any case: .flac, .ogg, .opus, .mp3; any other name is a WAV file.
OutputFormat FormatOfName(const std::string& path);
// "wav", "flac", "ogg", "opus", "mp3" (as --format takes them); none for another word.
std::optional<OutputFormat> FormatNamed(const std::string& word);
const char* FormatExtension(OutputFormat format);  // ".flac"
const char* FormatTitle(OutputFormat format);      // "Ogg Vorbis"
// The quality it is written at, in words for --help: "VBR V2, about 190 kbit/s".
const char* FormatQuality(OutputFormat format);
// The room an encoded piece of this length may take, with a margin (a WAV: its data).
uint64_t EncodedBytesEstimate(OutputFormat format, uint64_t lengthMs);

// Whether this machine's libsndfile writes the format; otherwise why not.
bool CanEncode(OutputFormat format, std::string* why);

// Encodes the 44 100 Hz 16-bit stereo WAV file `wav` into a new file `out`, on the disk when
// this returns: FLAC sample for sample, the others at FormatQuality, Opus resampled to the
// 48 kHz it requires. False with the reason, and nothing left at `out`.
bool EncodeRecording(const std::string& wav, const std::string& out, OutputFormat format,
                     std::string* error);

}  // namespace platform
