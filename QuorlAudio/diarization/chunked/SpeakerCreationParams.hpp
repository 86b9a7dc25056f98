#pragma once

#include <chrono>
#include <string>
#include <variant>
#include <vector>

namespace quorl {

// The checked fields of a speaker about to be created.
struct SpeakerCreationParams {
    std::string id{};
    std::string name{};
    float duration = 0;
    // Normalised.
    std::vector<float> embedding{};
    std::chrono::system_clock::time_point createdAt{};
    std::chrono::system_clock::time_point updatedAt{};
};

struct SpeakerCreationFailure {
    std::string reason{};
};

using SpeakerCreationResult = std::variant<SpeakerCreationParams, SpeakerCreationFailure>;

} // namespace quorl
