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
  quorl_record_layer(${target} "${ARG_DEPS}")
endfunction()

# Every library's folder and dependencies, for quorl_check_layering.
function(quorl_record_layer target dependencies)
  file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  string(MAKE_C_IDENTIFIER "${folder}" key)
  set_property(GLOBAL APPEND PROPERTY QUORL_LIBRARIES ${target})
  set_property(GLOBAL PROPERTY QUORL_FOLDER_${target} "${folder}")
  set_property(GLOBAL PROPERTY QUORL_DEPS_${target} "${dependencies}")
  set_property(GLOBAL PROPERTY QUORL_OWNER_${key} ${target})
endfunction()

# The library and every project library it depends on, directly or through others.
function(quorl_reachable_libraries library variable)
  set(reached ${library})
  set(pending ${library})
  while(pending)
    list(POP_FRONT pending current)
    get_property(dependencies GLOBAL PROPERTY QUORL_DEPS_${current})
    foreach(dependency IN LISTS dependencies)
      get_property(isLibrary GLOBAL PROPERTY QUORL_FOLDER_${dependency} SET)
      if(isLibrary AND NOT dependency IN_LIST reached)
        list(APPEND reached ${dependency})
        list(APPEND pending ${dependency})
      endif()
    endforeach()
  endwhile()
  set(${variable} ${reached} PARENT_SCOPE)
endfunction()

# Every library exports the project root, so the compiler alone would let a lower layer include a higher
# one's headers. The configuration fails instead when a library's own files include a project header from a
# folder that belongs to no library it reaches through its declared dependencies.
function(quorl_check_layering)
  get_property(libraries GLOBAL PROPERTY QUORL_LIBRARIES)
  set(violations "")
  foreach(library IN LISTS libraries)
    quorl_reachable_libraries(${library} allowed)
    get_property(folder GLOBAL PROPERTY QUORL_FOLDER_${library})
    file(GLOB files "${PROJECT_SOURCE_DIR}/${folder}/*.cpp" "${PROJECT_SOURCE_DIR}/${folder}/*.hpp")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" lines REGEX "^#include \"")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        get_filename_component(headerFolder "${header}" DIRECTORY)
        string(MAKE_C_IDENTIFIER "${headerFolder}" key)
        get_property(owner GLOBAL PROPERTY QUORL_OWNER_${key})
        if(NOT owner OR NOT owner IN_LIST allowed)
          file(RELATIVE_PATH shown "${PROJECT_SOURCE_DIR}" "${file}")
          list(APPEND violations "${shown} (${library}) includes ${header}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes outside the declared dependencies:\n  ${text}")
  endif()
endfunction()

function(quorl_add_test target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  quorl_folder_sources(sources)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} quorl_test_support GTest::gmock GTest::gtest_main)
  # One test per executable: starting a sanitised process costs far more than most tests take, so running each
  # case in its own process made the suite many times slower. Tests find their fixtures beside their source
  # through __FILE__, which a compiler cache may make relative to the build folder; running them from there
  # resolves both forms.
  add_test(NAME ${target} COMMAND ${target} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

function(quorl_add_benchmark target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  quorl_folder_sources(sources)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} benchmark::benchmark_main)
endfunction()
