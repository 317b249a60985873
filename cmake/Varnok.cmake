# Shared settings for every target of the project.

find_package(Threads REQUIRED)

# Warnings and sanitizers per target, never in global flags.
function(varnok_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VARNOK_SANITIZE OR VARNOK_FUZZ)
    target_compile_options(${target} PRIVATE
      -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(VARNOK_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
  if(VARNOK_FUZZ)
    # Coverage for the fuzzers' guidance; the fuzz targets add libFuzzer's main.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# varnok_gtest(NAME source... LIBS lib...): one GoogleTest executable per test file.
function(varnok_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  varnok_target_options(${name})
  include(GoogleTest)
  # Run journals go to a folder of the build, never the user's.
  set(state_home ${CMAKE_CURRENT_BINARY_DIR}/state-${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS core
    ENVIRONMENT "XDG_STATE_HOME=${state_home}")
endfunction()

# varnok_qtest(NAME source... LIBS lib...): one Qt Test executable, run offscreen
# with a settings folder (and a run journal folder) of its own, so that no test
# touches the user's store.
function(varnok_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test Qt6::Widgets)
  varnok_target_options(${name})
  add_test(NAME ${name} COMMAND ${name})
  set(config_home ${CMAKE_CURRENT_BINARY_DIR}/config-${name})
  file(MAKE_DIRECTORY ${config_home})
  set_tests_properties(${name} PROPERTIES LABELS gui
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;XDG_CONFIG_HOME=${config_home};XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/state-${name}")
endfunction()

# varnok_qtests(LIBS lib...): one Qt Test program per tst_*.cpp file of the folder.
function(varnok_qtests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME_WE)
    varnok_qtest(${name} SOURCES ${source} LIBS ${ARG_LIBS})
  endforeach()
endfunction()

# varnok_library(NAME SOURCES src... [DEPS lib...] [INCLUDE_DIR dir]): the static
# library varnok_NAME with its alias varnok::NAME; users include its headers
# from INCLUDE_DIR (default: the module's folder).
function(varnok_library name)
  cmake_parse_arguments(ARG "" "INCLUDE_DIR" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_INCLUDE_DIR)
    set(ARG_INCLUDE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  add_library(varnok_${name} STATIC ${ARG_SOURCES})
  add_library(varnok::${name} ALIAS varnok_${name})
  target_include_directories(varnok_${name} PUBLIC ${ARG_INCLUDE_DIR})
  target_link_libraries(varnok_${name} PUBLIC ${ARG_DEPS})
  varnok_target_options(varnok_${name})
endfunction()
