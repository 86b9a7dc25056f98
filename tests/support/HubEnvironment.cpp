#include "tests/support/HubEnvironment.hpp"

#include <optional>

namespace testsupport {

void useLoopbackHub(ScopedEnvironment& environment, const LoopbackHub& hub) {
    environment.set("REGISTRY_URL", hub.baseURL()).set("MODEL_REGISTRY_URL", std::nullopt);
    environment.set("HF_TOKEN", std::nullopt).set("HUGGING_FACE_HUB_TOKEN", std::nullopt);
    environment.set("HUGGINGFACEHUB_API_TOKEN", std::nullopt);
    environment.set("https_proxy", std::nullopt).set("http_proxy", std::nullopt);
}

} // namespace testsupport
