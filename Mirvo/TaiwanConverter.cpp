#include "Mirvo/TaiwanConverter.hpp"

#include <opencc/SimpleConverter.hpp>

#include <exception>
#include <stdexcept>

namespace mirvo {

namespace {

std::unique_ptr<opencc::SimpleConverter> openConverter(const std::string& configuration) {
    try {
        return std::make_unique<opencc::SimpleConverter>(configuration);
    } catch (const std::exception& failure) {
        // OpenCC's own exception type stays inside this file.
        throw std::runtime_error(failure.what());
    }
}

} // namespace

TaiwanConverter::TaiwanConverter(const std::string& configuration) : converter_(openConverter(configuration)) {}

TaiwanConverter::~TaiwanConverter() = default;

std::string TaiwanConverter::convert(const std::string& simplified) const { return converter_->Convert(simplified); }

} // namespace mirvo
