#pragma once

#include <cstddef>
#include <cstdint>

namespace quorl {

// Centroid-linkage agglomerative clustering of n points of dim Doubles (`data`, row-major). Writes n − 1 rows
// of four Doubles to `out`: the smaller and larger node number merged, the Euclidean distance between their
// centroids, and the point count of the new node. Points are nodes 0 … n − 1 and row k creates node n + k.
// Rows are in merge order; centroid linkage is not monotone, so heights may fall from one row to the next.
//
// Never throws. Status, the checks running in this order: 1 for a missing `data` or `out`, 0 for n = 0,
// 1 for dim = 0, 2 when n or dim is 2^31 or more, 3 when `outLength` is below 4·(n − 1), 0 for n = 1 (nothing
// is written in these cases); then 4 when memory runs out, 5 when a squared distance is not a number or
// another standard failure occurs, 255 for any other failure, and 0 on success. Ties between equally
// distant pairs are broken by a fixed rule (lower candidate numbers first, strict comparisons in the heap),
// so repeated embeddings give the same dendrogram on every machine.
std::uint32_t fastcluster_compute_centroid_linkage(const double* data, std::size_t n, std::size_t dim, double* out,
                                                   std::size_t outLength) noexcept;

} // namespace quorl
