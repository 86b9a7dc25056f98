#pragma once

#include "platform/core/Error.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// The polyphonic characters of "POLYPHONIC_CHARS.txt" with their candidate readings, and the numbering of all
// readings that indexes the polyphone model's scores. Characters and readings compare under canonical
// equivalence (kept in NFC). Immutable once built; any thread may use it.
class MandarinPolyphoneCatalog {
public:
    class LoadError : public platform::core::Error {
    public:
        enum class Kind { malformed };

        // "POLYPHONIC_CHARS.txt parse error: " + text.
        static LoadError malformed(const std::string& text);

        Kind kind() const { return Kind::malformed; }

    private:
        explicit LoadError(const std::string& text);
    };

    // Reads the file as UTF-8 and parses it; read errors pass through.
    static MandarinPolyphoneCatalog load(const std::filesystem::path& fileURL);

    // Lines split at any run of carriage returns and line feeds, trimmed of blanks; empty ones and those
    // starting with "#" are comments. A data line is one character, spaces or tabs, and a reading. Throws
    // LoadError at the first bad line.
    explicit MandarinPolyphoneCatalog(std::string_view text);

    // The distinct characters in the order of their first line.
    const std::vector<std::string>& chars() const { return chars_; }
    // The distinct readings sorted by Unicode scalar values; a reading's label number is its index.
    const std::vector<std::string>& labels() const { return labels_; }
    const std::unordered_map<std::string, std::vector<int>>& candidatesByChar() const { return candidatesByChar_; }
    const std::unordered_map<std::string, std::size_t>& charIndex() const { return charIndex_; }

    // The character's label numbers in the order of its lines, each once; none when it is not listed.
    std::optional<std::vector<int>> candidates(std::string_view character) const;
    // The reading numbered `label`; none outside the labels.
    std::optional<std::string> bopomofo(int label) const;
    std::optional<std::string> bopomofoDigitForm(int label) const;

    // The reading with its last character, a tone mark, as its digit ("ˊ" 2, "ˇ" 3, "ˋ" 4, "˙" 5); "1"
    // appended when the last character is no mark; the empty text unchanged.
    static std::string toneDigitForm(std::string_view reading);

private:
    void addLine(std::string_view line, std::unordered_map<std::string, std::vector<std::string>>& readings);
    void number(const std::unordered_map<std::string, std::vector<std::string>>& readings);

    std::vector<std::string> chars_;
    std::vector<std::string> labels_;
    std::unordered_map<std::string, std::vector<int>> candidatesByChar_;
    std::unordered_map<std::string, std::size_t> charIndex_;
};

} // namespace quorl
