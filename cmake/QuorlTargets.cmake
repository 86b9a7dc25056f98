# One static library per source folder, one test executable per test folder, one benchmark per bench folder.
# Sources are picked up by folder so that adding a file never needs a CMake edit. Helpers that several test or
# benchmark executables share are support libraries of their own (quorl_add_support_library); the folder globs
# leave their sources out, so no executable compiles them again.

# The sources of the folder, without those of support libraries.
function(quorl_folder_sources variable)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  get_property(supportSources GLOBAL PROPERTY QUORL_SUPPORT_SOURCES)
  if(supportSources)
    list(REMOVE_ITEM sources ${supportSources})
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# A helper of tests or benchmarks beside the tests that own it, linked by every executable that uses it.
function(quorl_add_support_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND "${PROJECT_SOURCE_DIR}/")
  set_property(GLOBAL APPEND PROPERTY QUORL_SUPPORT_SOURCES ${ARG_SOURCES})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

function(quorl_add_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  quorl_folder_sources(sources)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# ISOLATED names a gtest filter of cases that run in a process of their own, apart from the executable's others.
function(quorl_add_test target)
  cmake_parse_arguments(ARG "" "ISOLATED" "DEPS" ${ARGN})
  quorl_folder_sources(sources)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} quorl_test_support GTest::gmock GTest::gtest_main)
  # One test per executable: starting a sanitised process costs far more than most tests take, so running each
  # case in its own process made the suite many times slower. Tests find their fixtures beside their source
  # through __FILE__, which a compiler cache may make relative to the build folder; running them from there
  # resolves both forms.
  if(ARG_ISOLATED)
    add_test(NAME ${target} COMMAND ${target} "--gtest_filter=-${ARG_ISOLATED}" WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
    add_test(NAME ${target}_isolated COMMAND ${target} "--gtest_filter=${ARG_ISOLATED}"
      WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
    set_tests_properties(${target}_isolated PROPERTIES ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1")
  else()
    add_test(NAME ${target} COMMAND ${target} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  endif()
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

function(quorl_add_benchmark target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  quorl_folder_sources(sources)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} benchmark::benchmark_main)
endfunction()
