# Support libraries that both tests and benchmarks link, so they exist whichever of the two is built.

# An Xvfb display of the process's own, a window that holds its keyboard focus and a keyboard pressed through XTest.
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET GLOBAL xkbcommon)
quorl_add_support_library(quorl_x11_test_support
  SOURCES tests/support/XvfbServer.cpp tests/support/FocusedWindow.cpp tests/support/XTestKeyboard.cpp
  DEPS platform_sys PkgConfig::X11 PkgConfig::XKBCOMMON)

# The writer of PocketTTS tokenizer models and language packs.
quorl_add_support_library(quorl_tts_pockettts_fixtures
  SOURCES tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.cpp
  DEPS quorl_tts_pockettts nlohmann_json::nlohmann_json)

# The writer of the Mandarin pinyin dictionary's files.
quorl_add_support_library(quorl_tts_frontend_fixtures
  SOURCES tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.cpp
  DEPS platform_core)

# Model bundles written into a scratch folder, for the tests and the benchmarks of models.
quorl_add_support_library(quorl_model_bundle_support
  SOURCES tests/support/ModelBundleWriter.cpp tests/support/TemporaryFolder.cpp
  DEPS platform_ml nlohmann_json::nlohmann_json)

# The writer of Supertonic-3 model sets and voice styles.
quorl_add_support_library(quorl_tts_supertonic3_fixtures
  SOURCES tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.cpp
  DEPS quorl_tts_supertonic3 quorl_model_bundle_support nlohmann_json::nlohmann_json)
