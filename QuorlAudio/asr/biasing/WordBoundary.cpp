#include "QuorlAudio/asr/biasing/WordBoundary.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"

namespace quorl {

bool isWordBoundary(std::string_view piece) {
    return piece.starts_with(ASRConstants::sentencePieceWordBoundary) || piece.starts_with(' ');
}

std::string stripWordBoundaryPrefix(std::string_view piece) {
    if (piece.starts_with(ASRConstants::sentencePieceWordBoundary)) {
        return std::string(piece.substr(ASRConstants::sentencePieceWordBoundary.size()));
    }
    return std::string(piece.starts_with(' ') ? piece.substr(1) : piece);
}

} // namespace quorl
