#include "platform/encode.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace {

struct Format {
    OutputFormat format;
    const char* word;
    const char* extension;
    const char* title;
    const char* quality;
    int major, subtype;
    int rate;
    double compression;  // libsndfile's level: 0 the best quality, 1 the smallest file
    uint64_t kbits;      // what the file may take a second, generously
};

// FLAC level 5 (flac's own default); Vorbis quality 0.5; Opus 160 kbit/s (libsndfile maps the
// level linearly to 6-256 kbit/s a channel); MP3 LAME's VBR V2.
constexpr Format kFormats[] = {
    {OutputFormat::kWav, "wav", ".wav", "WAV", "44 100 Hz 16-bit stereo PCM", SF_FORMAT_WAV,
     SF_FORMAT_PCM_16, 44100, 0, 1412},
    {OutputFormat::kFlac, "flac", ".flac", "FLAC", "level 5, lossless", SF_FORMAT_FLAC,
     SF_FORMAT_PCM_16, 44100, 5.0 / 8, 1100},
    {OutputFormat::kVorbis, "ogg", ".ogg", "Ogg Vorbis", "quality 5, about 160 kbit/s",
     SF_FORMAT_OGG, SF_FORMAT_VORBIS, 44100, 0.5, 260},
    {OutputFormat::kOpus, "opus", ".opus", "Opus", "160 kbit/s VBR at 48 kHz", SF_FORMAT_OGG,
     SF_FORMAT_OPUS, 48000, 1 - 74.0 / 250, 200},
    {OutputFormat::kMp3, "mp3", ".mp3", "MP3", "VBR V2, about 190 kbit/s", SF_FORMAT_MPEG,
     SF_FORMAT_MPEG_LAYER_III, 44100, 0.2, 320},
};

const Format& Of(OutputFormat format) {
    return *std::find_if(std::begin(kFormats), std::end(kFormats),
                         [format](const Format& f) { return f.format == format; });
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndFileCloser>;

struct ResamplerCloser {
    void operator()(SRC_STATE* s) const { src_delete(s); }
};

// Whether libsndfile lists the value among its major formats (or subtypes).
bool Listed(int count, int get, int value) {
    int n = 0;
    sf_command(nullptr, count, &n, sizeof n);
    for (int i = 0; i < n; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, get, &info, sizeof info) == 0 && info.format == value) return true;
    }
    return false;
}

SF_INFO OutputInfo(const Format& f) {
    SF_INFO info{};
    info.samplerate = f.rate;
    info.channels = 2;
    info.format = f.major | f.subtype;
    return info;
}

bool Configure(SNDFILE* out, const Format& f) {
    if (f.format == OutputFormat::kMp3) {
        // Before the level, which it reinterprets. libsndfile 1.2.0 answers the setting with
        // 0 even when it took it: what counts is the mode it reports afterwards.
        int mode = SF_BITRATE_MODE_VARIABLE;
        sf_command(out, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        if (sf_command(out, SFC_GET_BITRATE_MODE, nullptr, 0) != mode) return false;
    }
    double level = f.compression;
    return sf_command(out, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) == SF_TRUE;
}

constexpr sf_count_t kBlock = 4096;

bool CopyExact(SNDFILE* in, SNDFILE* out) {
    std::vector<short> frames(2 * kBlock);
    for (sf_count_t n; (n = sf_readf_short(in, frames.data(), kBlock)) > 0;)
        if (sf_writef_short(out, frames.data(), n) != n) return false;
    return sf_error(in) == SF_ERR_NO_ERROR;
}

bool CopyFloat(SNDFILE* in, SNDFILE* out) {
    std::vector<float> frames(2 * kBlock);
    for (sf_count_t n; (n = sf_readf_float(in, frames.data(), kBlock)) > 0;)
        if (sf_writef_float(out, frames.data(), n) != n) return false;
    return sf_error(in) == SF_ERR_NO_ERROR;
}

bool CopyResampled(SNDFILE* in, SNDFILE* out, int rate, std::string* why) {
    int error = 0;
    std::unique_ptr<SRC_STATE, ResamplerCloser> src(src_new(SRC_SINC_MEDIUM_QUALITY, 2, &error));
    if (!src) return *why = src_strerror(error), false;
    std::vector<float> input(2 * kBlock), output(2 * (kBlock * rate / 44100 + 64));
    SRC_DATA data{};
    data.src_ratio = double(rate) / 44100;
    for (bool ended = false; !ended;) {
        const sf_count_t n = sf_readf_float(in, input.data(), kBlock);
        ended = n <= 0;
        data.data_in = input.data();
        data.input_frames = long(std::max<sf_count_t>(n, 0));
        data.end_of_input = ended;
        // Drained until it takes no more input and gives no more output.
        do {
            data.data_out = output.data();
            data.output_frames = long(output.size() / 2);
            if ((error = src_process(src.get(), &data)) != 0)
                return *why = src_strerror(error), false;
            if (sf_writef_float(out, output.data(), data.output_frames_gen) !=
                data.output_frames_gen)
                return false;
            data.data_in += 2 * data.input_frames_used;
            data.input_frames -= data.input_frames_used;
        } while (data.input_frames > 0 || (ended && data.output_frames_gen > 0));
    }
    return sf_error(in) == SF_ERR_NO_ERROR;
}

// What libsndfile wrote reaches the disk before the file is put in place.
bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

bool Encode(const std::string& wav, const std::string& out, const Format& f, std::string* why) {
    SF_INFO inInfo{};
    SndFile in(sf_open(wav.c_str(), SFM_READ, &inInfo));
    if (!in)
        return *why = "the recording " + wav + " cannot be read: " + sf_strerror(nullptr), false;
    if (inInfo.channels != 2 || inInfo.samplerate != 44100)
        return *why = "the recording " + wav + " is not 44 100 Hz stereo", false;
    SF_INFO outInfo = OutputInfo(f);
    SndFile file(sf_open(out.c_str(), SFM_WRITE, &outInfo));
    if (!file) return *why = out + " cannot be made: " + sf_strerror(nullptr), false;
    if (!Configure(file.get(), f))
        return *why =
                   std::string("libsndfile does not take the settings: ") + sf_strerror(file.get()),
               false;
    const bool copied = f.format == OutputFormat::kFlac ? CopyExact(in.get(), file.get())
                        : f.rate != 44100 ? CopyResampled(in.get(), file.get(), f.rate, why)
                                          : CopyFloat(in.get(), file.get());
    if (!copied && why->empty())
        *why = std::string(sf_strerror(sf_error(in.get()) ? in.get() : file.get()));
    const int closed = sf_close(file.release());
    if (copied && closed != 0) *why = sf_error_number(closed);
    if (!copied || closed != 0) return false;
    if (!SyncFile(out)) return *why = out + ": " + std::strerror(errno), false;
    return true;
}

}  // namespace

OutputFormat FormatOfName(const std::string& path) {
    const std::string name = Lower(path.substr(path.find_last_of('/') + 1));
    for (const Format& f : kFormats) {
        const std::string ext = f.extension;
        if (name.size() > ext.size() &&
            name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
            return f.format;
    }
    return OutputFormat::kWav;
}

std::optional<OutputFormat> FormatNamed(const std::string& word) {
    for (const Format& f : kFormats)
        if (Lower(word) == f.word) return f.format;
    return std::nullopt;
}

const char* FormatExtension(OutputFormat format) {
    return Of(format).extension;
}

const char* FormatTitle(OutputFormat format) {
    return Of(format).title;
}

const char* FormatQuality(OutputFormat format) {
    return Of(format).quality;
}

uint64_t EncodedBytesEstimate(OutputFormat format, uint64_t lengthMs) {
    if (format == OutputFormat::kWav) return lengthMs * 44100 / 1000 * 4;
    return lengthMs * Of(format).kbits / 8;
}

bool CanEncode(OutputFormat format, std::string* why) {
    const Format& f = Of(format);
    SF_INFO info = OutputInfo(f);
    if (Listed(SFC_GET_FORMAT_MAJOR_COUNT, SFC_GET_FORMAT_MAJOR, f.major) &&
        Listed(SFC_GET_FORMAT_SUBTYPE_COUNT, SFC_GET_FORMAT_SUBTYPE, f.subtype) &&
        sf_format_check(&info))
        return true;
    if (why) *why = std::string("this system's libsndfile cannot write ") + f.title + " files";
    return false;
}

bool EncodeRecording(const std::string& wav, const std::string& out, OutputFormat format,
                     std::string* error) {
    std::string why;
    if (!CanEncode(format, &why) || !Encode(wav, out, Of(format), &why)) {
        ::unlink(out.c_str());
        if (error) *error = why;
        return false;
    }
    return true;
}

}  // namespace platform
