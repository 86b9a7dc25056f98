#include "QuorlAudio/diarization/offline/CentroidLinkage.hpp"

#include "QuorlAudio/diarization/offline/SquaredDistances.hpp"

#include <cmath>
#include <exception>
#include <new>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Node = std::ptrdiff_t;

constexpr std::size_t indexLimit = std::size_t{1} << 31;

enum Status : std::uint32_t {
    success = 0,
    missingInput = 1,
    tooLarge = 2,
    outputTooShort = 3,
    outOfMemory = 4,
    computationFailed = 5,
    unknownFailure = 255,
};

struct NotANumberDistance {};

// The centroids of points and merged nodes, their sizes, and the squared distances between them.
class CentroidDissimilarity {
public:
    CentroidDissimilarity(const double* data, Node n, std::size_t dim)
        : data_(data), n_(n), dim_(dim), centroids_(static_cast<std::size_t>(n - 1) * dim),
          members_(static_cast<std::size_t>(2 * n - 1), 1.0) {}

    // The squared distances from `node` to each of `others`.
    void squaredDistances(Node node, std::span<const Node> others, double* distances) {
        pointers_.resize(others.size());
        for (std::size_t index = 0; index < others.size(); ++index) {
            pointers_[index] = centroid(others[index]);
        }
        quorl::squaredDistances(centroid(node), pointers_, dim_, distances);
        for (std::size_t index = 0; index < others.size(); ++index) {
            if (std::isnan(distances[index])) {
                throw NotANumberDistance{};
            }
        }
    }

    void merge(Node first, Node second, Node created) {
        const double m1 = members_[static_cast<std::size_t>(first)];
        const double m2 = members_[static_cast<std::size_t>(second)];
        const double total = m1 + m2;
        const double* c1 = centroid(first);
        const double* c2 = centroid(second);
        double* target = mutableCentroid(created);
        for (std::size_t k = 0; k < dim_; ++k) {
            target[k] = std::fma(c1[k], m1, c2[k] * m2) / total;
        }
        members_[static_cast<std::size_t>(created)] = total;
    }

private:
    const double* centroid(Node node) const {
        return node < n_ ? data_ + static_cast<std::size_t>(node) * dim_
                         : centroids_.data() + static_cast<std::size_t>(node - n_) * dim_;
    }
    double* mutableCentroid(Node node) { return centroids_.data() + static_cast<std::size_t>(node - n_) * dim_; }

    const double* data_;
    Node n_;
    std::size_t dim_;
    std::vector<double> centroids_;
    std::vector<double> members_;
    std::vector<const double*> pointers_;
};

// The active nodes in increasing order; `start` is the smallest.
class ActiveNodes {
public:
    explicit ActiveNodes(Node size)
        : successor_(static_cast<std::size_t>(size)), predecessor_(static_cast<std::size_t>(size)),
          active_(static_cast<std::size_t>(size), true) {
        for (Node node = 0; node < size; ++node) {
            successor_[static_cast<std::size_t>(node)] = node + 1;
            predecessor_[static_cast<std::size_t>(node)] = node - 1;
        }
    }

    Node start() const { return start_; }
    Node successor(Node node) const { return successor_[static_cast<std::size_t>(node)]; }
    bool isActive(Node node) const { return active_[static_cast<std::size_t>(node)]; }

    void remove(Node node) {
        active_[static_cast<std::size_t>(node)] = false;
        const Node next = successor(node);
        if (node == start_) {
            start_ = next;
            return;
        }
        const Node previous = predecessor_[static_cast<std::size_t>(node)];
        successor_[static_cast<std::size_t>(previous)] = next;
        if (next < static_cast<Node>(successor_.size())) {
            predecessor_[static_cast<std::size_t>(next)] = previous;
        }
    }

private:
    std::vector<Node> successor_;
    std::vector<Node> predecessor_;
    std::vector<bool> active_;
    Node start_ = 0;
};

// A min-heap of node numbers keyed by a table the caller owns, with the node → slot table that lets a node's
// key change in place.
class NearestNeighbourHeap {
public:
    NearestNeighbourHeap(std::vector<double>& keys, Node first, Node last)
        : keys_(keys), nodeAt_(static_cast<std::size_t>(last - first + 1)), slotOf_(keys.size()),
          size_(static_cast<std::size_t>(last - first + 1)) {
        for (std::size_t slot = 0; slot < size_; ++slot) {
            place(static_cast<Node>(slot) + first, slot);
        }
        for (std::size_t slot = size_ / 2; slot-- > 0;) {
            siftDown(slot);
        }
    }

    Node top() const { return nodeAt_[0]; }

    // The node's key grew.
    void keyIncreased(Node node) { siftDown(slotOf(node)); }

    void remove(Node node) {
        const std::size_t slot = slotOf(node);
        --size_;
        if (slot == size_) {
            return;
        }
        const Node moved = nodeAt_[size_];
        place(moved, slot);
        restore(slot, key(moved) <= key(node));
    }

    void replace(Node old, Node replacement, double key) {
        const std::size_t slot = slotOf(old);
        keys_[static_cast<std::size_t>(replacement)] = key;
        place(replacement, slot);
        restore(slot, key <= keys_[static_cast<std::size_t>(old)]);
    }

private:
    double key(Node node) const { return keys_[static_cast<std::size_t>(node)]; }
    double keyAt(std::size_t slot) const { return key(nodeAt_[slot]); }
    std::size_t slotOf(Node node) const { return slotOf_[static_cast<std::size_t>(node)]; }

    void place(Node node, std::size_t slot) {
        nodeAt_[slot] = node;
        slotOf_[static_cast<std::size_t>(node)] = slot;
    }

    void swap(std::size_t a, std::size_t b) {
        const Node first = nodeAt_[a];
        place(nodeAt_[b], a);
        place(first, b);
    }

    void restore(std::size_t slot, bool up) {
        if (up) {
            siftUp(slot);
        } else {
            siftDown(slot);
        }
    }

    void siftUp(std::size_t slot) {
        while (slot > 0 && keyAt(slot) < keyAt((slot - 1) / 2)) {
            swap(slot, (slot - 1) / 2);
            slot = (slot - 1) / 2;
        }
    }

    void siftDown(std::size_t slot) {
        for (std::size_t child = 2 * slot + 1; child < size_; child = 2 * slot + 1) {
            if (keyAt(child) >= keyAt(slot)) {
                ++child;
                if (child >= size_ || keyAt(child) >= keyAt(slot)) {
                    return;
                }
            } else if (child + 1 < size_ && keyAt(child + 1) < keyAt(child)) {
                ++child;
            }
            swap(slot, child);
            slot = child;
        }
    }

    std::vector<double>& keys_;
    std::vector<Node> nodeAt_;
    std::vector<std::size_t> slotOf_;
    std::size_t size_;
};

struct Merge {
    Node first;
    Node second;
    double squaredDistance;
};

class CentroidLinkage {
public:
    CentroidLinkage(const double* data, Node n, std::size_t dim)
        : n_(n), distances_(data, n, dim), active_(2 * n - 1), nearest_(static_cast<std::size_t>(2 * n - 1)),
          minimumDistance_(static_cast<std::size_t>(2 * n - 1)) {
        merges_.reserve(static_cast<std::size_t>(n - 1));
    }

    void run(double* out) {
        findInitialCandidates();
        NearestNeighbourHeap heap(minimumDistance_, 1, n_ - 1);
        for (Node created = n_; created <= 2 * n_ - 2; ++created) {
            mergeClosestPair(heap, created);
        }
        writeRows(out);
    }

private:
    void findInitialCandidates() {
        for (Node point = 1; point < n_; ++point) {
            candidates_.resize(static_cast<std::size_t>(point));
            std::iota(candidates_.begin(), candidates_.end(), Node{0});
            const auto [candidate, distance] = closestCandidate(point);
            minimumDistance_[static_cast<std::size_t>(point)] = distance;
            nearest_[static_cast<std::size_t>(point)] = candidate;
        }
    }

    // The nearest active node below `node` and the squared distance to it, the lowest number winning ties.
    std::pair<Node, double> nearestBelow(Node node) {
        candidates_.clear();
        for (Node other = active_.start(); other < node; other = active_.successor(other)) {
            candidates_.push_back(other);
        }
        return closestCandidate(node);
    }

    // Scans the candidates in order; only a strictly smaller distance displaces the best so far.
    std::pair<Node, double> closestCandidate(Node node) {
        distanceBuffer_.resize(candidates_.size());
        distances_.squaredDistances(node, candidates_, distanceBuffer_.data());
        std::size_t best = 0;
        for (std::size_t index = 1; index < candidates_.size(); ++index) {
            if (distanceBuffer_[index] < distanceBuffer_[best]) {
                best = index;
            }
        }
        return {candidates_[best], distanceBuffer_[best]};
    }

    Node closestNode(NearestNeighbourHeap& heap) {
        Node node = heap.top();
        while (!active_.isActive(nearest_[static_cast<std::size_t>(node)])) {
            const auto [candidate, distance] = nearestBelow(node);
            nearest_[static_cast<std::size_t>(node)] = candidate;
            minimumDistance_[static_cast<std::size_t>(node)] = distance;
            heap.keyIncreased(node);
            node = heap.top();
        }
        return node;
    }

    void mergeClosestPair(NearestNeighbourHeap& heap, Node created) {
        const Node first = closestNode(heap);
        const Node second = nearest_[static_cast<std::size_t>(first)];
        active_.remove(first);
        active_.remove(second);
        merges_.push_back({first, second, minimumDistance_[static_cast<std::size_t>(first)]});
        if (created == 2 * n_ - 2) {
            return;
        }
        distances_.merge(first, second, created);
        const auto [candidate, distance] = nearestBelow(created);
        nearest_[static_cast<std::size_t>(created)] = candidate;
        // The smallest active node has no lower neighbour, so it never stays in the heap.
        heap.remove(second < active_.start() ? active_.start() : second);
        heap.replace(first, created, distance);
    }

    void writeRows(double* out) const {
        for (std::size_t row = 0; row < merges_.size(); ++row) {
            const auto& merge = merges_[row];
            double* target = out + 4 * row;
            target[0] = static_cast<double>(std::min(merge.first, merge.second));
            target[1] = static_cast<double>(std::max(merge.first, merge.second));
            target[2] = std::sqrt(merge.squaredDistance);
            target[3] = size(out, merge.first) + size(out, merge.second);
        }
    }

    double size(const double* out, Node node) const { return node < n_ ? 1.0 : out[4 * (node - n_) + 3]; }

    Node n_;
    CentroidDissimilarity distances_;
    ActiveNodes active_;
    std::vector<Node> nearest_;
    std::vector<double> minimumDistance_;
    std::vector<Merge> merges_;
    std::vector<Node> candidates_;
    std::vector<double> distanceBuffer_;
};

std::uint32_t validate(const double* data, std::size_t n, std::size_t dim, const double* out, std::size_t outLength) {
    if (data == nullptr || out == nullptr) {
        return missingInput;
    }
    if (n == 0) {
        return success;
    }
    if (dim == 0) {
        return missingInput;
    }
    if (n >= indexLimit || dim >= indexLimit) {
        return tooLarge;
    }
    if (outLength < 4 * (n - 1)) {
        return outputTooShort;
    }
    return success;
}

} // namespace

std::uint32_t fastcluster_compute_centroid_linkage(const double* data, std::size_t n, std::size_t dim, double* out,
                                                   std::size_t outLength) noexcept {
    const std::uint32_t status = validate(data, n, dim, out, outLength);
    if (status != success || n <= 1) {
        return status;
    }
    try {
        CentroidLinkage(data, static_cast<Node>(n), dim).run(out);
        return success;
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    } catch (const NotANumberDistance&) {
        return computationFailed;
    } catch (const std::exception&) {
        return computationFailed;
    } catch (...) {
        return unknownFailure;
    }
}

} // namespace quorl
