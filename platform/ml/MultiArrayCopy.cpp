#include "platform/ml/MultiArrayCopy.hpp"

#include "platform/ml/MessageText.hpp"
#include "platform/ml/MultiArrayRows.hpp"

#include <cstring>

namespace platform::ml {

namespace {

void checkSameLayout(const MultiArray& source, const MultiArray& destination) {
    if (source.shape() != destination.shape() || source.dataType() != destination.dataType()) {
        throw ModelError::invalidArray(
            concat({"cannot copy ", rawValue(source.dataType()), " ", shapeText(source.shape()), " into ",
                    rawValue(destination.dataType()), " ", shapeText(destination.shape())}));
    }
}

} // namespace

void copyElements(const MultiArray& source, MultiArray& destination) {
    checkSameLayout(source, destination);
    if (source.count() == 0 || source.dataPointer() == destination.dataPointer()) {
        return;
    }
    const std::size_t size = elementSize(source.dataType());
    const auto* from = static_cast<const unsigned char*>(source.dataPointer());
    auto* to = static_cast<unsigned char*>(destination.dataPointer());
    const std::size_t columns = source.shape().back();
    const std::size_t sourceStep = source.strides().back() * size;
    const std::size_t destinationStep = destination.strides().back() * size;
    const bool contiguousRows = source.strides().back() == 1 && destination.strides().back() == 1;
    forEachRow(source.shape(), source.strides(), destination.strides(),
               [&](std::size_t sourceOffset, std::size_t destinationOffset) {
                   const unsigned char* rowFrom = from + sourceOffset * size;
                   unsigned char* rowTo = to + destinationOffset * size;
                   if (contiguousRows) {
                       std::memmove(rowTo, rowFrom, columns * size);
                       return;
                   }
                   for (std::size_t column = 0; column < columns; ++column) {
                       std::memmove(rowTo + column * destinationStep, rowFrom + column * sourceStep, size);
                   }
               });
}

} // namespace platform::ml
