#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorl {

class Speaker;

// An immutable snapshot of a speaker, with a numeric id, to hand to other threads.
class SendableSpeaker {
public:
    using Date = std::chrono::system_clock::time_point;

    struct Fields {
        std::int64_t id = 0;
        std::string name{};
        float duration = 0;
        std::vector<float> mainEmbedding{};
        Date createdAt{};
        Date updatedAt{};
    };

    explicit SendableSpeaker(Fields fields);
    // The id is the speaker's id read as a signed decimal integer ("+7" and "007" are 7); an id that is not one
    // becomes a non-negative hash of its text, stable from run to run.
    explicit SendableSpeaker(const Speaker& speaker);

    std::int64_t id() const { return fields_.id; }
    const std::string& name() const { return fields_.name; }
    float duration() const { return fields_.duration; }
    const std::vector<float>& mainEmbedding() const { return fields_.mainEmbedding; }
    Date createdAt() const { return fields_.createdAt; }
    Date updatedAt() const { return fields_.updatedAt; }

    // The name, or "Speaker #<id>" when the name is empty.
    std::string label() const;

    // Equal ids and names; hashing looks at the id alone.
    bool operator==(const SendableSpeaker& other) const;

private:
    Fields fields_;
};

} // namespace quorl

template <> struct std::hash<quorl::SendableSpeaker> {
    std::size_t operator()(const quorl::SendableSpeaker& speaker) const noexcept;
};
