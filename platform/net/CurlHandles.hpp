#pragma once

#include <curl/curl.h>

#include <memory>

namespace platform::net {

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

// New handles; curl's process-wide state is set up on first use. Throw when curl cannot make one.
EasyHandle makeEasyHandle();
MultiHandle makeMultiHandle();

} // namespace platform::net
