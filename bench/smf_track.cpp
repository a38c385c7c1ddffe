#include "bench/smf_track.h"

#include <algorithm>

namespace bench {

void SmfTrack::Add(uint32_t tick, std::vector<uint8_t> bytes) {
    events_.push_back({tick, std::move(bytes)});
}

void SmfTrack::Note(uint32_t tick, uint32_t length, uint8_t channel, uint8_t key,
                    uint8_t velocity) {
    Add(tick, {uint8_t(0x90 | channel), key, velocity});
    Add(tick + length, {uint8_t(0x80 | channel), key, 0});
}

std::vector<uint8_t> SmfTrack::Chunk(uint32_t end) {
    std::stable_sort(events_.begin(), events_.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::vector<uint8_t> body;
    uint32_t last = 0;
    auto put = [&](uint32_t tick, const std::vector<uint8_t>& bytes) {
        uint32_t delta = tick - last;
        last = tick;
        std::vector<uint8_t> v{uint8_t(delta & 0x7F)};
        while (delta >>= 7) v.insert(v.begin(), uint8_t(0x80 | (delta & 0x7F)));
        body.insert(body.end(), v.begin(), v.end());
        body.insert(body.end(), bytes.begin(), bytes.end());
    };
    for (const auto& e : events_) put(std::min(e.tick, end), e.bytes);
    put(end, {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> out{'M', 'T', 'r', 'k'};
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(body.size() >> s));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> SmfFile(uint16_t division, std::vector<SmfTrack>& tracks, uint32_t end) {
    std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    file.push_back(uint8_t(tracks.size() >> 8));
    file.push_back(uint8_t(tracks.size()));
    file.push_back(uint8_t(division >> 8));
    file.push_back(uint8_t(division));
    for (auto& t : tracks) {
        const auto chunk = t.Chunk(end);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

}  // namespace bench
