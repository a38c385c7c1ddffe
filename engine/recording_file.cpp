#include "engine/recording_file.h"

#include <cerrno>
#include <cstring>

#include "platform/encode.h"
#include "platform/normalize.h"
#include "platform/output_place.h"

namespace engine {

namespace {

// "song.flac.part" -> "song.flac.encoding": beside the recording, as unique as its name.
std::string EncodingName(const std::string& partPath) {
    const std::string part = ".part";
    const bool ends = partPath.size() > part.size() &&
                      partPath.compare(partPath.size() - part.size(), part.size(), part) == 0;
    return (ends ? partPath.substr(0, partPath.size() - part.size()) : partPath) + ".encoding";
}

// The finished recording at the target in one step: the WAV file itself, or the file encoded
// from it beside the target, the recording kept until that is in place. A refusal in words.
std::string PutInPlace(const std::string& partPath, const std::string& target,
                       platform::OutputFormat format) {
    if (format == platform::OutputFormat::kWav) return platform::MoveIntoPlace(partPath, target);
    const std::string encoding = EncodingName(partPath);
    std::string why;
    if (!platform::EncodeRecording(partPath, encoding, format, &why))
        return std::string("encoding it as ") + platform::FormatTitle(format) + " failed (" + why +
               "), so " + target + " was not changed";
    if (std::string refused = platform::MoveIntoPlace(encoding, target); !refused.empty()) {
        platform::RemoveFile(encoding);
        return refused;
    }
    platform::RemoveFile(partPath);
    return "";
}

// The gain, once the recording is to take the output's place: what a failed run keeps is the
// recording as it was made.
std::string Normalize(const std::string& partPath, const std::string& target,
                      CaptureResult& result) {
    double gainDb = 0;
    std::string why;
    if (!platform::NormalizeWave(partPath, kNormalizedPeakDbfs, &gainDb, &why))
        return "normalizing it failed (" + why + "), so " + target + " was not changed";
    result.gainDb = gainDb;
    return "";
}

}  // namespace

std::unique_ptr<TWaveStream> CreatePartFile(const std::string& target, std::string* partPath,
                                            std::string* notCreated) {
    std::unique_ptr<TWaveStream> file;
    int error = ENOENT;
    bool shortName = false;
    for (int attempt = 0; !target.empty() && attempt < 100 && !file; ++attempt) {
        *partPath = platform::PartName(target, attempt, shortName);
        file = TWaveStream::Create(*partPath, true, true, 44100, &error);
        if (file) break;
        if (error == ENAMETOOLONG && !shortName) {
            shortName = true;
            --attempt;
        } else if (error != EEXIST) {
            break;
        }
    }
    if (file) return file;
    *notCreated = "no file for the recording can be made in " + platform::FolderOf(target) + " (" +
                  std::strerror(error) + ")";
    partPath->clear();
    return nullptr;
}

void PlaceRecording(std::unique_ptr<TWaveStream> file, const std::string& partPath,
                    const std::string& path, CaptureResult& result, const PlacementRule& place,
                    const Finishing& finishing) {
    if (!file) return;
    if (file->Length() == 0) {
        // Nothing recorded: no file at all, and an existing one untouched.
        file.reset();
        platform::RemoveFile(partPath);
        return;
    }
    result.keptAt = partPath;
    if (!file->Finish()) {
        if (result.writeError.empty()) result.writeError = std::strerror(file->Error());
        return;
    }
    result.path = path;
    if (!result.writeError.empty()) return;
    if (result.path.empty()) {
        result.notPlaced = "no WAV file to put it at";
        return;
    }
    file.reset();
    if (place && !place(result)) return;
    const std::string target = platform::ResolveTarget(result.path);
    result.notPlaced = platform::CheckOutputPlace(target);
    if (result.notPlaced.empty() && finishing.normalize)
        result.notPlaced = Normalize(partPath, target, result);
    if (result.notPlaced.empty())
        result.notPlaced = PutInPlace(partPath, target, platform::FormatOfName(result.path));
    if (!result.notPlaced.empty()) return;
    result.keptAt.clear();
    result.fileWritten = true;
}

}  // namespace engine
