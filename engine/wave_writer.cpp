#include "engine/wave_writer.h"

namespace engine {

namespace {

void PutU16(char* p, uint16_t v) {
    p[0] = char(v & 0xff);
    p[1] = char(v >> 8);
}

void PutU32(char* p, uint32_t v) {
    PutU16(p, uint16_t(v & 0xffff));
    PutU16(p + 2, uint16_t(v >> 16));
}

}  // namespace

bool BeginWave(HMMIO file, WaveChunks* chunks, bool stereo, bool sixteenBit,
               uint32_t samplesPerSecond, uint64_t declaredLength) {
    chunks->riff = {};
    chunks->riff.fccType = mmioStringToFOURCCA("WAVE", 0);
    if (mmioCreateChunk(file, &chunks->riff, MMIO_CREATERIFF) != MMSYSERR_NOERROR) return false;

    MMCKINFO fmt{};
    fmt.ckid = mmioStringToFOURCCA("fmt ", 0);
    fmt.cksize = 16;
    if (mmioCreateChunk(file, &fmt, 0) != MMSYSERR_NOERROR) return false;

    const uint16_t channels = stereo ? 2 : 1;
    const uint16_t bytesPerSample = sixteenBit ? 2 : 1;
    char format[16];
    PutU16(format + 0, 1);  // PCM
    PutU16(format + 2, channels);
    PutU32(format + 4, samplesPerSecond);
    PutU32(format + 8, samplesPerSecond * channels * bytesPerSample);
    PutU16(format + 12, uint16_t(channels * bytesPerSample));
    PutU16(format + 14, uint16_t(bytesPerSample * 8));
    if (mmioWrite(file, format, sizeof format) != int64_t(sizeof format)) return false;
    if (mmioAscend(file, &fmt, 0) != MMSYSERR_NOERROR) return false;

    chunks->data = {};
    chunks->data.ckid = mmioStringToFOURCCA("data", 0);
    chunks->data.cksize = DWORD(declaredLength);
    return mmioCreateChunk(file, &chunks->data, 0) == MMSYSERR_NOERROR;
}

bool EndWave(HMMIO file, WaveChunks* chunks) {
    return mmioAscend(file, &chunks->data, 0) == MMSYSERR_NOERROR &&
           mmioAscend(file, &chunks->riff, 0) == MMSYSERR_NOERROR;
}

bool WriteWaveFile(const std::string& fileName, const void* data, uint64_t dataLength, bool stereo,
                   bool sixteenBit, uint32_t samplesPerSecond) {
    // An odd length also needs its pad byte inside the RIFF size.
    if (dataLength > kLargestWaveData || dataLength + (dataLength & 1) > kLargestWaveData)
        return false;

    HMMIO file = mmioOpenA(fileName.c_str(), nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    if (!file) return false;
    WaveChunks chunks;
    const bool written =
        BeginWave(file, &chunks, stereo, sixteenBit, samplesPerSecond, dataLength) &&
        mmioWrite(file, static_cast<const char*>(data), int64_t(dataLength)) ==
            int64_t(dataLength) &&
        EndWave(file, &chunks);
    // A flush that fails at the close (a full disk) is a failed write, not a success.
    const bool closed = mmioClose(file, 0) == MMSYSERR_NOERROR;
    return written && closed;
}

}  // namespace engine
