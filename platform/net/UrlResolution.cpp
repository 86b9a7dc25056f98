#include "platform/net/Url.hpp"

namespace platform::net {

namespace {

void removeLastSegment(std::string& output) {
    const auto slash = output.rfind('/');
    output.erase(slash == std::string::npos ? 0 : slash);
}

// RFC 3986, section 5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./") || input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            removeLastSegment(output);
        } else if (input == "/..") {
            input = "/";
            removeLastSegment(output);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const auto segment = input.substr(0, input.find('/', 1));
            output.append(segment);
            input.remove_prefix(segment.size());
        }
    }
    return output;
}

// RFC 3986, section 5.2.3.
std::string mergePaths(const std::optional<std::string>& baseAuthority, const std::string& basePath,
                       std::string_view referencePath) {
    std::string merged;
    if (baseAuthority && basePath.empty()) {
        merged.push_back('/');
    } else if (const auto slash = basePath.rfind('/'); slash != std::string::npos) {
        merged = basePath.substr(0, slash + 1);
    }
    merged.append(referencePath);
    return merged;
}

} // namespace

// RFC 3986, sections 5.2.2 and 5.3.
std::optional<Url> Url::resolve(std::string_view reference, const Url& base) {
    // An empty reference is the base document itself; as a URL of its own it would be refused.
    const auto relative = reference.empty() ? std::optional<Url>(Url()) : parse(reference);
    if (!relative) {
        return std::nullopt;
    }
    Url target;
    if (!relative->scheme_.empty() || relative->authority_) {
        target = *relative;
        target.path_ = removeDotSegments(relative->path_);
        target.scheme_ = relative->scheme_.empty() ? base.scheme_ : relative->scheme_;
    } else {
        target.scheme_ = base.scheme_;
        target.authority_ = base.authority_;
        if (relative->path_.empty()) {
            target.path_ = base.path_;
            target.hasQuery_ = relative->hasQuery_ || base.hasQuery_;
            target.query_ = relative->hasQuery_ ? relative->query_ : base.query_;
        } else {
            target.path_ = removeDotSegments(relative->path_.starts_with('/')
                                                 ? relative->path_
                                                 : mergePaths(base.authority_, base.path_, relative->path_));
            target.hasQuery_ = relative->hasQuery_;
            target.query_ = relative->query_;
        }
    }
    target.fragment_ = relative->fragment_;

    std::string text;
    if (!target.scheme_.empty()) {
        text.append(target.scheme_).append(":");
    }
    if (target.authority_) {
        text.append("//").append(*target.authority_);
    }
    text.append(target.path_);
    if (target.hasQuery_) {
        text.append("?").append(target.query_);
    }
    if (target.fragment_) {
        text.append("#").append(*target.fragment_);
    }
    return parse(text);
}

} // namespace platform::net
