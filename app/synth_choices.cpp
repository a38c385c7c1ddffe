#include "app/synth_choices.h"

#include <algorithm>

#include "app/local_names.h"
#include "platform/soundfont_search.h"

namespace app {

QString SizeText(uint64_t bytes) {
    constexpr double kKilo = 1024, kMega = 1024 * 1024;
    if (bytes < uint64_t(kMega))
        return QStringLiteral("%1 KB").arg(std::max<uint64_t>(1, uint64_t(bytes / kKilo + 0.5)));
    return QStringLiteral("%1 MB").arg(double(bytes) / kMega, 0, 'f', 1);
}

TSynthChoice BuiltInChoice(const platform::SoundFontFile& file) {
    return {TSynthChoice::Kind::kBuiltIn, file.path,
            QStringLiteral("%1 (%2)").arg(FromLocal(file.name), SizeText(file.bytes)), {}, {}};
}

TSynthChoice BuiltInChoice(const std::string& soundFont) {
    if (const auto file = platform::SoundFontSearch::Describe(soundFont))
        return BuiltInChoice(*file);
    const std::string name = soundFont.substr(soundFont.find_last_of('/') + 1);
    return {TSynthChoice::Kind::kBuiltIn, soundFont,
            QStringLiteral("%1 (cannot be read)").arg(FromLocal(name)), {}, {}};
}

TSynthChoice JackChoice(const std::string& port, const std::string& recordPorts) {
    return {TSynthChoice::Kind::kJackPort, "", QStringLiteral("JACK: %1").arg(FromLocal(port)),
            port, recordPorts};
}

std::vector<TSynthChoice> JackChoices(const std::vector<std::string>& midiInputs) {
    std::vector<TSynthChoice> choices;
    for (const auto& port : midiInputs) choices.push_back(JackChoice(port));
    return choices;
}

std::vector<TSynthChoice> BuiltInChoices(const std::vector<platform::SoundFontFile>& found) {
    std::vector<TSynthChoice> choices;
    for (const auto& file : found) choices.push_back(BuiltInChoice(file));
    return choices;
}

}  // namespace app
