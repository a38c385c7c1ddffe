#include "platform/midi/smf_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace platform::midi {

namespace {

constexpr uint64_t kMaxFileBytes = 256ull << 20;
using u128 = unsigned __int128;

std::string Hex(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    s += digits[(v >> 4) & 15];
    s += digits[v & 15];
    return s;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

bool PrintableId(const uint8_t* p) {
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7f; });
}

struct Fail {
    std::string message;
};

struct TempoChange {
    uint64_t tick;
    uint32_t microsPerQuarter;
};

// Reads one track chunk's events. `base` is the file offset of data[0], for messages.
class TrackParser {
  public:
    TrackParser(const uint8_t* data, size_t size, size_t base, int track, bool truncated)
        : p_(data), size_(size), base_(base), track_(track), truncated_(truncated) {}

    // Appends channel events (frame holding the tick for now) and tempo changes; returns the tick
    // of the last complete event.
    uint64_t Parse(std::vector<MidiEvent>& events, std::vector<TempoChange>& tempos) {
        uint64_t tick = 0;
        uint8_t running = 0;
        while (pos_ < size_) {
            const size_t start = pos_;
            uint32_t delta;
            if (!VarLen(delta)) return tick;
            uint8_t status;
            if (!Byte(status)) return tick;
            const uint64_t at = tick + delta;
            if (status < 0x80) {
                if (!running) throw Error(start, "data byte " + Hex(status) + " without a status");
                --pos_;
                status = running;
            }
            if (status < 0xF0) {
                running = status;
                uint8_t d1, d2 = 0;
                if (!Data(d1)) return tick;
                const uint8_t kind = status & 0xF0;
                if (kind != 0xC0 && kind != 0xD0 && !Data(d2)) return tick;
                events.push_back(MidiEvent{at, status, d1, d2});
            } else if (status == 0xFF) {
                uint8_t type;
                uint32_t len;
                if (!Byte(type) || !VarLen(len)) return tick;
                if (len > size_ - pos_) return Overrun(start, tick);
                if (type == 0x51 && len >= 3) {
                    const uint32_t t =
                        uint32_t(p_[pos_]) << 16 | uint32_t(p_[pos_ + 1]) << 8 | p_[pos_ + 2];
                    if (t) tempos.push_back(TempoChange{at, t});
                }
                pos_ += len;
                if (type == 0x2F) return at;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t len;
                if (!VarLen(len)) return tick;
                if (len > size_ - pos_) return Overrun(start, tick);
                pos_ += len;
            } else {
                throw Error(start, "status byte " + Hex(status) + " has no meaning in a MIDI file");
            }
            tick = at;
        }
        return tick;
    }

  private:
    Fail Error(size_t at, const std::string& what) const {
        return Fail{"track " + std::to_string(track_) + ", byte " + std::to_string(base_ + at) +
                    ": " + what};
    }
    // Running out of chunk: fine when the file itself was cut off, a wrong length otherwise.
    uint64_t Overrun(size_t start, uint64_t tick) const {
        if (truncated_) return tick;
        throw Error(start, "event runs past the end of the track chunk (wrong chunk length)");
    }
    bool Byte(uint8_t& b) {
        if (pos_ >= size_) {
            Overrun(pos_, 0);
            return false;
        }
        b = p_[pos_++];
        return true;
    }
    bool Data(uint8_t& b) {
        if (!Byte(b)) return false;
        if (b & 0x80) throw Error(pos_ - 1, "status byte " + Hex(b) + " where a data byte belongs");
        return true;
    }
    bool VarLen(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!Byte(b)) return false;
            v = v << 7 | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        throw Error(pos_ - 4, "variable-length number longer than 4 bytes");
    }

    const uint8_t* p_;
    size_t size_, pos_ = 0, base_;
    int track_;
    bool truncated_;
};

// Time in units of 1/denominator seconds, as an exact integer, at any tick.
class TempoMap {
  public:
    TempoMap(uint16_t division, std::vector<TempoChange> tempos) {
        if (division & 0x8000) {
            const int fps = -int8_t(division >> 8);
            const uint64_t ticksPerFrame = division & 0xFF;
            // 29 stands for 29.97 = 30000/1001 frames a second.
            const uint64_t num = fps == 29 ? 30000 : uint64_t(fps);
            scale_ = fps == 29 ? 1001 : 1;
            denominator_ = num * ticksPerFrame;
            segments_.push_back(Segment{0, 0, 1});
            return;
        }
        denominator_ = uint64_t(division) * 1000000;
        std::stable_sort(
            tempos.begin(), tempos.end(),
            [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
        segments_.push_back(Segment{0, 0, 500000});
        for (const auto& t : tempos) {
            Segment& last = segments_.back();
            const u128 at = last.time + u128(t.tick - last.tick) * last.perTick;
            if (t.tick == last.tick)
                last.perTick = t.microsPerQuarter;
            else
                segments_.push_back(Segment{t.tick, at, t.microsPerQuarter});
        }
    }

    // Ticks must come in rising order between Reset calls.
    u128 Time(uint64_t tick) {
        while (cursor_ + 1 < segments_.size() && segments_[cursor_ + 1].tick <= tick) ++cursor_;
        const Segment& s = segments_[cursor_];
        return (s.time + u128(tick - s.tick) * s.perTick) * scale_;
    }
    void Reset() { cursor_ = 0; }

    uint64_t Frames(u128 time) const { return Clamp<uint64_t>(time * kSmfRate / denominator_); }
    uint32_t Ms(u128 time) const { return Clamp<uint32_t>(time * 1000 / denominator_); }

  private:
    template <typename T>
    static T Clamp(u128 v) {
        return v > std::numeric_limits<T>::max() ? std::numeric_limits<T>::max() : T(v);
    }
    struct Segment {
        uint64_t tick;
        u128 time;  // in units of 1/(division * 1e6) s, before scale_
        uint64_t perTick;
    };
    std::vector<Segment> segments_;
    size_t cursor_ = 0;
    uint64_t denominator_ = 1;
    uint64_t scale_ = 1;
};

void CheckSmpteDivision(uint16_t division) {
    const int fps = -int8_t(division >> 8);
    if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
        throw Fail{"SMPTE division with an unknown frame rate of " + std::to_string(fps)};
    if ((division & 0xFF) == 0) throw Fail{"SMPTE division with 0 ticks per frame"};
}

SmfSong Parse(const uint8_t* data, size_t size, size_t base) {
    if (size < 8 || std::memcmp(data, "MThd", 4) != 0)
        throw Fail{"not a Standard MIDI file: it does not begin with \"MThd\""};
    const uint32_t headerLength = Be32(data + 4);
    if (headerLength < 6)
        throw Fail{"header chunk at byte " + std::to_string(base) + " is " +
                   std::to_string(headerLength) + " bytes long, at least 6 are needed"};
    if (headerLength > size - 8)
        throw Fail{"header chunk length " + std::to_string(headerLength) +
                   " runs past the end of the file (" + std::to_string(size + base) + " bytes)"};
    SmfSong song;
    song.format = Be16(data + 8);
    const uint16_t tracks = Be16(data + 10);
    song.division = Be16(data + 12);
    if (song.format == 2)
        throw Fail{"MIDI format 2 (independent sequences) is not supported, only formats 0 and 1"};
    if (song.format > 2) throw Fail{"unknown MIDI format " + std::to_string(song.format)};
    if (tracks == 0) throw Fail{"the header announces no tracks"};
    if (song.division == 0) throw Fail{"the header's division is 0 ticks per quarter note"};
    if (song.division & 0x8000) CheckSmpteDivision(song.division);

    std::vector<TempoChange> tempos;
    uint64_t lastTick = 0;
    int found = 0;
    size_t pos = 8 + size_t(headerLength);
    while (found < tracks && size - pos >= 8) {
        const uint8_t* chunk = data + pos;
        if (!PrintableId(chunk))
            throw Fail{"byte " + std::to_string(base + pos) +
                       ": no chunk begins here (a chunk length before it is wrong)"};
        const uint32_t length = Be32(chunk + 4);
        const size_t available = size - pos - 8;
        const bool truncated = length > available;
        const size_t body = truncated ? available : length;
        if (std::memcmp(chunk, "MTrk", 4) == 0) {
            ++found;
            if (truncated) song.cut = SmfCut::kTrackCutOff;
            TrackParser parser(chunk + 8, body, base + pos + 8, found, truncated);
            lastTick = std::max(lastTick, parser.Parse(song.events, tempos));
        }
        pos += 8 + body;
    }
    if (found == 0)
        throw Fail{"no track chunk (\"MTrk\") after the header at byte " +
                   std::to_string(base + 8 + headerLength)};
    if (found < tracks && song.cut == SmfCut::kWhole) song.cut = SmfCut::kTracksMissing;

    // The tracks follow each other in file order, so a stable sort keeps track order on ties.
    if (found > 1)
        std::stable_sort(song.events.begin(), song.events.end(),
                         [](const MidiEvent& a, const MidiEvent& b) { return a.frame < b.frame; });
    TempoMap map(song.division, std::move(tempos));
    for (auto& e : song.events) e.frame = map.Frames(map.Time(e.frame));
    map.Reset();
    const u128 end = map.Time(lastTick);
    song.lengthFrames = map.Frames(end);
    song.lengthMs = map.Ms(end);
    return song;
}

}  // namespace

bool LooksLikeSmf(const uint8_t* data, size_t size) {
    if (!data) return false;
    if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) return true;
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0;
}

std::optional<SmfSong> ReadSmf(const uint8_t* data, size_t size, std::string* error) {
    try {
        if (!data || size == 0) throw Fail{"the file is empty"};
        if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0) {
            if (std::memcmp(data + 8, "RMID", 4) != 0)
                throw Fail{"not a MIDI file: a RIFF file of type \"" +
                           std::string(reinterpret_cast<const char*>(data + 8), 4) + "\""};
            // The RIFF size is not trusted; the chunks are walked up to the end of the file.
            size_t pos = 12;
            while (size - pos >= 8) {
                const uint32_t length = Le32(data + pos + 4);
                const size_t body = std::min<size_t>(length, size - pos - 8);
                if (std::memcmp(data + pos, "data", 4) == 0)
                    return Parse(data + pos + 8, body, pos + 8);
                pos += 8 + body + (body & 1);
                if (pos > size) break;
            }
            throw Fail{"RMID file without a \"data\" chunk"};
        }
        return Parse(data, size, 0);
    } catch (const Fail& f) {
        if (error) *error = f.message;
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        if (error) *error = "not enough memory for the MIDI file's events";
        return std::nullopt;
    }
}

std::optional<SmfSong> ReadSmfFile(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = "cannot read \"" + path + "\": " + what;
        return std::nullopt;
    };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return fail("no such file");
    if (ec) return fail(ec.message());
    if (std::filesystem::is_directory(status)) return fail("it is a directory");
    // A pipe or device would block or never end.
    if (!std::filesystem::is_regular_file(status)) return fail("not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(std::strerror(errno));
    in.seekg(0, std::ios::end);
    const auto length = in.tellg();
    if (length < 0) return fail("cannot determine its size");
    if (uint64_t(length) > kMaxFileBytes) return fail("larger than 256 MB, not a MIDI file");
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), length))
        return fail("read error");
    std::string why;
    auto song = ReadSmf(bytes.data(), bytes.size(), &why);
    if (!song && error) *error = "\"" + path + "\": " + why;
    return song;
}

}  // namespace platform::midi
