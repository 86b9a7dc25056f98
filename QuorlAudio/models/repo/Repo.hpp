#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The model repositories of the hub, all owned by "ZirazEvavirivi". A case names the hub repository to
// address, the folder inside it that holds the model, and the local folder of the model cache.
enum class Repo {
    vad,
    parakeetV3,
    parakeetV2,
    parakeetCtc110m,
    parakeetCtc06b,
    senseVoiceSmall,
    paraformerLargeZh,
    parakeetJa,
    parakeetEou160,
    parakeetEou320,
    parakeetEou1280,
    nemotronStreaming2240,
    nemotronStreaming1120,
    nemotronStreaming560,
    parakeetUnified,
    nemotronMultilingual,
    diarizer,
    kokoro,
    kokoroAne,
    kokoroAneZh,
    kokoroAneJa,
    sortformer,
    lseendAmi,
    lseendCallHome,
    lseendDihard2,
    lseendDihard3,
    pocketTts,
    multilingualG2p,
    parakeetTdtCtc110m,
    cohereTranscribeCoreml,
    styletts2,
    supertonic3,
};

// The repository id: "ZirazEvavirivi/", the hub repository's name and, for some cases, "/" and a suffix.
std::string rawValue(Repo repo);

// The raw value without the owner prefix; keeps any suffix. Used in log lines.
std::string name(Repo repo);

// The hub repository to list and download from, never with a suffix.
std::string remotePath(Repo repo);

// The folder inside the hub repository that holds the case's files; none when the root does.
std::optional<std::string> subPath(Repo repo);

// The case's folder in the model cache; may contain one "/".
std::string folderName(Repo repo);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the repository id.
template <> std::optional<quorl::Repo> fromRawValue<quorl::Repo>(std::string_view rawValue);

// The 32 cases in declaration order.
template <> std::span<const quorl::Repo> allCases<quorl::Repo>();

} // namespace platform::core
