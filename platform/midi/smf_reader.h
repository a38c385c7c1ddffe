#pragma once
// Standard MIDI File reader: formats 0 and 1 (also wrapped in an RMID RIFF file), merged into one
// list of channel voice messages timed in frames at 44 100 Hz from the file's tempo map.
//
// Times are computed from ticks with exact integer arithmetic over the whole tempo map, so there
// is no drift at tempo changes; frames and milliseconds are rounded down.
//
// Refused, with an English message naming the byte offset (and the 1-based track):
//   - a file that cannot be read, a directory, a pipe or device, an empty file, a file over
//     256 MB;
//   - no "MThd" at the start (nor an RMID RIFF file with a "data" chunk holding one);
//   - a header chunk shorter than 6 bytes or running past the end of the file;
//   - format 2 or any format above 2, a track count of 0, a division of 0, an SMPTE division
//     with a frame rate other than 24, 25, 29.97 (-29) or 30, or 0 ticks per frame;
//   - no track chunk at all;
//   - a chunk whose id is not four printable ASCII characters (the previous chunk's length
//     is wrong);
//   - inside a track that lies wholly in the file: an event that runs past the end of its chunk
//     (the chunk length is wrong), a data byte with no running status, a status byte where a
//     data byte belongs, a variable-length number longer than 4 bytes, and the status bytes
//     0xF1-0xF6 and 0xF8-0xFE, which have no meaning in a file.
// Read as far as valid (the sensible reading of a cut-off file), with `cut` telling that
// music is missing:
//   - a track chunk whose length runs past the end of the file: its complete events are kept
//     (kTrackCutOff);
//   - fewer track chunks than the header announces (kTracksMissing), or a few stray bytes
//     after the last chunk;
//   - a track without an end-of-track event: it ends with its chunk;
//   - anything after an end-of-track event inside its chunk is ignored.
// Lenient on purpose: running status survives meta and sysex events, header chunks longer than
// 6 bytes are skipped to their end, unknown chunks are skipped, tempo events with tempo 0 are
// ignored.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::midi {

// A channel voice message (status 0x80-0xEF with its data bytes; data2 is 0 for two-byte
// messages), at the frame where it sounds.
struct MidiEvent {
    uint64_t frame;
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
};

// Why a song was read only in part.
enum class SmfCut : uint8_t {
    kWhole,          // nothing is missing
    kTrackCutOff,    // the file ends inside a track chunk
    kTracksMissing,  // the file holds fewer tracks than its header announces
};

struct SmfSong {
    uint16_t format = 0;
    uint16_t division = 0;
    std::vector<MidiEvent>
        events;                 // sorted by frame; equal frames keep track order, then file order
    uint32_t lengthMs = 0;      // time of the last event of any kind, end-of-track included
    uint64_t lengthFrames = 0;  // the same in frames
    SmfCut cut = SmfCut::kWhole;
};

constexpr uint32_t kSmfRate = 44100;

// Whether bytes starting so are what ReadSmf reads as a MIDI file: "MThd", or an RMID RIFF file.
bool LooksLikeSmf(const uint8_t* data, size_t size);
std::optional<SmfSong> ReadSmf(const uint8_t* data, size_t size, std::string* error);
std::optional<SmfSong> ReadSmfFile(const std::string& path, std::string* error);

}  // namespace platform::midi
