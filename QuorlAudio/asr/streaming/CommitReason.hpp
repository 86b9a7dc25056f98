#pragma once

#include <string>

namespace quorl {

// Why text moved from the ghost part into the committed part.
struct CommitReason {
    enum class Kind {
        // Up to `mark`, the last punctuation mark of a partial hypothesis.
        punctuation,
        // The ghost text after a quiet period without partial hypotheses.
        debounceTimeout,
        // The caller asked.
        manualCommit,
        // The caller signalled the end of an utterance.
        endOfUtterance,
    };

    Kind kind;
    // The mark, one user-perceived character, for `punctuation`; empty otherwise.
    std::string mark;

    static CommitReason punctuation(std::string mark) { return {Kind::punctuation, std::move(mark)}; }
    static CommitReason debounceTimeout() { return {Kind::debounceTimeout, {}}; }
    static CommitReason manualCommit() { return {Kind::manualCommit, {}}; }
    static CommitReason endOfUtterance() { return {Kind::endOfUtterance, {}}; }

    bool operator==(const CommitReason&) const = default;
};

} // namespace quorl
