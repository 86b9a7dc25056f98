#include "QuorlAudio/models/ModelNamesSupport.hpp"

namespace quorl::ModelNames::support {

std::set<std::string> nameSet(std::initializer_list<std::string_view> names) { return adding({}, names); }

std::set<std::string> adding(std::set<std::string> set, std::initializer_list<std::string_view> names) {
    for (const auto name : names) {
        set.emplace(name);
    }
    return set;
}

} // namespace quorl::ModelNames::support
