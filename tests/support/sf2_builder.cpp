#include "support/sf2_builder.h"

#include <cmath>
#include <fstream>

namespace testsupport {

namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v & 0xff));
    b.push_back(uint8_t((v >> 8) & 0xff));
}

void U32(Bytes& b, uint32_t v) {
    U16(b, v & 0xffff);
    U16(b, v >> 16);
}

// A zero-padded name field of 20 bytes.
void Name(Bytes& b, const char* name) {
    Bytes field(20, 0);
    for (size_t i = 0; name[i] && i < 19; ++i) field[i] = uint8_t(name[i]);
    b.insert(b.end(), field.begin(), field.end());
}

Bytes Chunk(const char* id, const Bytes& body) {
    Bytes b(id, id + 4);
    U32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);
    return b;
}

Bytes List(const char* kind, const std::vector<Bytes>& chunks) {
    Bytes body(kind, kind + 4);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk("LIST", body);
}

// Ten periods of 100 samples: at 44 000 Hz key 69 sounds 440 Hz. Loop over whole periods, then
// the 46 zero samples every sample needs after it.
constexpr uint32_t kSamples = 1000, kLoopStart = 100, kLoopEnd = 900;

Bytes SampleData() {
    Bytes b;
    for (uint32_t i = 0; i < kSamples; ++i)
        U16(b, uint16_t(int16_t(std::lround(30000 * std::sin(2 * M_PI * i / 100.0)))));
    for (int i = 0; i < 46; ++i) U16(b, 0);
    return b;
}

Bytes Records(std::initializer_list<std::pair<unsigned, unsigned>> pairs) {
    Bytes b;
    for (const auto& [a, v] : pairs) {
        U16(b, a);
        U16(b, v);
    }
    return b;
}

Bytes Presets() {
    Bytes phdr;
    for (const auto& [name, bag] : {std::pair{"Sine", 0u}, std::pair{"EOP", 1u}}) {
        Name(phdr, name);
        U16(phdr, 0);    // program
        U16(phdr, 0);    // bank
        U16(phdr, bag);  // first zone
        U32(phdr, 0);
        U32(phdr, 0);
        U32(phdr, 0);
    }
    Bytes inst;
    for (const auto& [name, bag] : {std::pair{"Sine", 0u}, std::pair{"EOI", 1u}}) {
        Name(inst, name);
        U16(inst, bag);
    }
    Bytes shdr;
    Name(shdr, "Sine");
    for (uint32_t v : {0u, kSamples, kLoopStart, kLoopEnd, 44000u}) U32(shdr, v);
    shdr.push_back(69);  // original key
    shdr.push_back(0);   // pitch correction
    U16(shdr, 0);        // no link
    U16(shdr, 1);        // mono
    Name(shdr, "EOS");
    shdr.resize(shdr.size() + 26, 0);
    const Bytes noModulator(10, 0);
    return List(
        "pdta",
        {Chunk("phdr", phdr), Chunk("pbag", Records({{0, 0}, {1, 0}})), Chunk("pmod", noModulator),
         Chunk("pgen", Records({{41, 0}, {0, 0}})),  // instrument 0
         Chunk("inst", inst), Chunk("ibag", Records({{0, 0}, {2, 0}})), Chunk("imod", noModulator),
         // loop continuously, then the sample, which ends a zone
         Chunk("igen", Records({{54, 1}, {53, 0}, {0, 0}})), Chunk("shdr", shdr)});
}

}  // namespace

std::vector<uint8_t> SineSoundFont() {
    const char kEngine[] = "EMU8000", kName[] = "Tonvera test sine";
    const Bytes info = List("INFO", {Chunk("ifil", Records({{2, 1}})),
                                     Chunk("isng", Bytes(kEngine, kEngine + sizeof kEngine)),
                                     Chunk("INAM", Bytes(kName, kName + sizeof kName))});
    const Bytes sdta = List("sdta", {Chunk("smpl", SampleData())});
    Bytes body{'s', 'f', 'b', 'k'};
    for (const Bytes& part : {info, sdta, Presets()})
        body.insert(body.end(), part.begin(), part.end());
    return Chunk("RIFF", body);
}

bool WriteSineSoundFont(const std::string& path) {
    const Bytes bytes = SineSoundFont();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

}  // namespace testsupport
