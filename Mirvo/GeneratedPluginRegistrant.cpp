#include "Mirvo/GeneratedPluginRegistrant.hpp"

#include <array>
#include <string>
#include <string_view>

namespace mirvo {

namespace {

struct GeneratedPlugin {
    std::string_view registrarName;
    void (*registerWith)(platform::ui::PluginRegistrar& registrar);
};

// None of these plug-ins' libraries is built for Linux. Each still claims its registrar, so the engine
// sees the same registrations in the same order, and its entry is where the real plug-in would go.
void registerAbsentPlugin(platform::ui::PluginRegistrar&) {}

constexpr std::array<GeneratedPlugin, 21> generatedPlugins{{
    {.registrarName = "BackendDocumentStorePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "BackendFunctionsPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "FilePickerPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "FileSelectorPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "AnalyticsBridgePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "BackendAuthenticationPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "BackendCorePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "PushMessagingPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "CloudFileStoragePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "SecureStoragePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "GeolocationPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "LocalAuthenticationPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "PackageInformationPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "PrintingPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "CrashReportingPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "SharingPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "SharedPreferencesPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "SpeechToTextPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "SqliteStoragePlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "UrlLauncherPlugin", .registerWith = registerAbsentPlugin},
    {.registrarName = "VideoPlayerPlugin", .registerWith = registerAbsentPlugin},
}};

} // namespace

void RegisterGeneratedPlugins(platform::ui::PluginRegistry& registry) {
    for (const auto& plugin : generatedPlugins) {
        const auto registrar = registry.registrar(std::string(plugin.registrarName));
        plugin.registerWith(*registrar);
    }
}

} // namespace mirvo
