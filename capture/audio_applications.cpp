// An application's choice text, and the rule that picks the stream a choice of an application
// hears: the same on every system.
#include "capture/audio_applications.h"

#include <tuple>

namespace kinetra::capture {

std::string ApplicationInputText(const std::string& name, const std::string& binary) {
    std::string text = "app:" + name;
    if (!binary.empty()) return text + "|" + binary;
    if (name.find('|') != std::string::npos) text += '|';
    return text;
}

std::string ApplicationInputText(const AudioApplicationInfo& app) {
    return ApplicationInputText(app.name, app.binary);
}

int FindApplicationStream(const AudioInputChoice& choice,
                          std::span<const AudioApplicationInfo> streams, std::uint32_t current) {
    int best = -1;
    std::tuple<int, bool, bool, std::uint32_t> bestKey{};
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const AudioApplicationInfo& stream = streams[i];
        int rank = 0;
        if (stream.name == choice.value) {
            rank = !choice.binary.empty() && stream.binary == choice.binary ? 3 : 2;
        } else if (choice.binary.empty() && stream.binary == choice.value) {
            rank = 1;
        }
        if (rank == 0) continue;
        const std::tuple<int, bool, bool, std::uint32_t> key{
            rank, !stream.corked, stream.sinkInput == current, stream.sinkInput};
        if (best < 0 || key > bestKey) {
            best = static_cast<int>(i);
            bestKey = key;
        }
    }
    return best;
}

}  // namespace kinetra::capture
