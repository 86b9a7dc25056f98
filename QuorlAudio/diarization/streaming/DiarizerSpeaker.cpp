#include "QuorlAudio/diarization/streaming/DiarizerSpeaker.hpp"

#include <utility>

namespace quorl {

namespace {

using Lock = std::lock_guard<std::mutex>;

float totalDuration(const std::vector<DiarizerSegment>& segments) {
    float total = 0;
    for (const DiarizerSegment& segment : segments) {
        total += segment.duration();
    }
    return total;
}

std::int64_t totalLength(const std::vector<DiarizerSegment>& segments) {
    std::int64_t total = 0;
    for (const DiarizerSegment& segment : segments) {
        total += segment.length();
    }
    return total;
}

std::optional<DiarizerSegment> popBack(std::vector<DiarizerSegment>& segments) {
    if (segments.empty()) {
        return std::nullopt;
    }
    DiarizerSegment last = segments.back();
    segments.pop_back();
    return last;
}

} // namespace

DiarizerSpeaker::DiarizerSpeaker(const platform::core::UUID& id, std::int64_t index, std::optional<std::string> name)
    : id_(id), name_(std::move(name)), index_(index) {}

DiarizerSpeaker::DiarizerSpeaker(const Snapshot& snapshot)
    : id_(platform::core::UUID::random()), name_(snapshot.name), index_(snapshot.index),
      finalizedSegments_(snapshot.finalizedSegments), tentativeSegments_(snapshot.tentativeSegments) {}

std::optional<std::string> DiarizerSpeaker::name() const {
    Lock lock(mutex_);
    return name_;
}

void DiarizerSpeaker::rename(std::optional<std::string> name) {
    Lock lock(mutex_);
    name_ = std::move(name);
}

std::int64_t DiarizerSpeaker::index() const {
    Lock lock(mutex_);
    return index_;
}

void DiarizerSpeaker::reassign(std::int64_t slot) {
    Lock lock(mutex_);
    index_ = slot;
}

std::vector<DiarizerSegment> DiarizerSpeaker::finalizedSegments() const {
    Lock lock(mutex_);
    return finalizedSegments_;
}

std::vector<DiarizerSegment> DiarizerSpeaker::tentativeSegments() const {
    Lock lock(mutex_);
    return tentativeSegments_;
}

void DiarizerSpeaker::setFinalizedSegments(std::vector<DiarizerSegment> segments) {
    Lock lock(mutex_);
    finalizedSegments_ = std::move(segments);
}

void DiarizerSpeaker::setTentativeSegments(std::vector<DiarizerSegment> segments) {
    Lock lock(mutex_);
    tentativeSegments_ = std::move(segments);
}

std::string DiarizerSpeaker::description() const {
    Lock lock(mutex_);
    return name_ ? *name_ : "Speaker " + std::to_string(index_);
}

bool DiarizerSpeaker::hasSegments() const {
    Lock lock(mutex_);
    return !finalizedSegments_.empty() || !tentativeSegments_.empty();
}

std::size_t DiarizerSpeaker::segmentCount() const {
    Lock lock(mutex_);
    return finalizedSegments_.size() + tentativeSegments_.size();
}

std::size_t DiarizerSpeaker::finalizedSegmentCount() const {
    Lock lock(mutex_);
    return finalizedSegments_.size();
}

std::size_t DiarizerSpeaker::tentativeSegmentCount() const {
    Lock lock(mutex_);
    return tentativeSegments_.size();
}

std::optional<DiarizerSegment> DiarizerSpeaker::lastSegment() const {
    Lock lock(mutex_);
    if (!tentativeSegments_.empty()) {
        return tentativeSegments_.back();
    }
    if (!finalizedSegments_.empty()) {
        return finalizedSegments_.back();
    }
    return std::nullopt;
}

float DiarizerSpeaker::speechDuration() const {
    Lock lock(mutex_);
    return totalDuration(finalizedSegments_) + totalDuration(tentativeSegments_);
}

float DiarizerSpeaker::finalizedSpeechDuration() const {
    Lock lock(mutex_);
    return totalDuration(finalizedSegments_);
}

float DiarizerSpeaker::tentativeSpeechDuration() const {
    Lock lock(mutex_);
    return totalDuration(tentativeSegments_);
}

std::int64_t DiarizerSpeaker::numSpeechFrames() const {
    Lock lock(mutex_);
    return totalLength(finalizedSegments_) + totalLength(tentativeSegments_);
}

std::int64_t DiarizerSpeaker::numFinalizedSpeechFrames() const {
    Lock lock(mutex_);
    return totalLength(finalizedSegments_);
}

std::int64_t DiarizerSpeaker::numTentativeSpeechFrames() const {
    Lock lock(mutex_);
    return totalLength(tentativeSegments_);
}

void DiarizerSpeaker::finalize() {
    Lock lock(mutex_);
    finalizedSegments_.insert(finalizedSegments_.end(), tentativeSegments_.begin(), tentativeSegments_.end());
    tentativeSegments_.clear();
}

void DiarizerSpeaker::reset() {
    Lock lock(mutex_);
    finalizedSegments_.clear();
    tentativeSegments_.clear();
}

void DiarizerSpeaker::rollback(const Snapshot& snapshot, bool keepingName) {
    Lock lock(mutex_);
    index_ = snapshot.index;
    finalizedSegments_ = snapshot.finalizedSegments;
    tentativeSegments_ = snapshot.tentativeSegments;
    if (!keepingName) {
        name_ = snapshot.name;
    }
}

DiarizerSpeaker::Snapshot DiarizerSpeaker::takeSnapshot() const {
    Lock lock(mutex_);
    return Snapshot{
        .name = name_,
        .index = index_,
        .finalizedSegments = finalizedSegments_,
        .tentativeSegments = tentativeSegments_,
    };
}

void DiarizerSpeaker::clearTentative(bool keepingCapacity) {
    Lock lock(mutex_);
    tentativeSegments_.clear();
    if (!keepingCapacity) {
        tentativeSegments_.shrink_to_fit();
    }
}

void DiarizerSpeaker::appendTentative(const DiarizerSegment& segment) {
    Lock lock(mutex_);
    tentativeSegments_.push_back(segment);
}

void DiarizerSpeaker::appendFinalized(const DiarizerSegment& segment) {
    Lock lock(mutex_);
    finalizedSegments_.push_back(segment);
}

void DiarizerSpeaker::append(const DiarizerSegment& segment) {
    Lock lock(mutex_);
    (segment.isFinalized ? finalizedSegments_ : tentativeSegments_).push_back(segment);
}

std::optional<DiarizerSegment> DiarizerSpeaker::popLastTentative() {
    Lock lock(mutex_);
    return popBack(tentativeSegments_);
}

std::optional<DiarizerSegment> DiarizerSpeaker::popLastFinalized() {
    Lock lock(mutex_);
    return popBack(finalizedSegments_);
}

std::optional<DiarizerSegment> DiarizerSpeaker::popLast(bool fromFinalized) {
    Lock lock(mutex_);
    return popBack(fromFinalized ? finalizedSegments_ : tentativeSegments_);
}

std::optional<DiarizerSegment> DiarizerSpeaker::popLast() {
    Lock lock(mutex_);
    return popBack(lastList());
}

std::optional<DiarizerSegment>
DiarizerSpeaker::popLastIf(const std::function<bool(const DiarizerSegment&)>& predicate) {
    Lock lock(mutex_);
    std::vector<DiarizerSegment>& list = lastList();
    if (list.empty() || !predicate(list.back())) {
        return std::nullopt;
    }
    return popBack(list);
}

// The list lastSegment() reads from: the tentative list unless it is empty.
std::vector<DiarizerSegment>& DiarizerSpeaker::lastList() {
    return tentativeSegments_.empty() ? finalizedSegments_ : tentativeSegments_;
}

} // namespace quorl
