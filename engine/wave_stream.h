#pragma once
// A WAV file written while it is recorded: every piece goes to the disk as it arrives, and
// the header is rewritten for what is there, so a kill or a crash leaves a playable file of
// everything up to the last rewrite. Finished, its bytes are those WriteWaveFile writes for
// the same sound. Memory stays that of one file buffer, however long the recording.
// One thread at a time.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/wave_writer.h"

namespace engine {

class TWaveStream {
  public:
    // A new file at `path`, never an existing one; null with the system's errno in *error.
    static std::unique_ptr<TWaveStream> Create(const std::string& path, bool stereo,
                                               bool sixteenBit, uint32_t samplesPerSecond,
                                               int* error);
    // Closes a stream that was not finished, leaving the file as the last rewrite made it.
    ~TWaveStream();
    TWaveStream(const TWaveStream&) = delete;
    TWaveStream& operator=(const TWaveStream&) = delete;

    // Hands the bytes to the system; false once the file has refused anything (Error()).
    bool Append(const void* data, uint64_t n);
    // Rewrites the header for the whole frames on disk.
    bool KeepHeaderValid();
    // The pad byte, the true sizes, everything on the disk, closed. After a failure it only
    // makes the header fit what reached the file, and returns false.
    bool Finish();

    uint64_t Length() const { return length_; }  // data bytes that reached the file
    int Error() const { return error_; }         // errno of the first failure, 0 if none

  private:
    TWaveStream(HMMIO file, uint16_t blockAlign) : file_(file), blockAlign_(blockAlign) {}
    bool Fail();
    bool WriteSizes(uint64_t dataBytes);
    void Close();

    HMMIO file_;
    WaveChunks chunks_;
    uint16_t blockAlign_;
    uint64_t length_ = 0;
    int error_ = 0;
};

}  // namespace engine
