# A module is one source folder: its .cpp files (without the *Test.cpp ones) become a static
# library, its *Test.cpp files one GoogleTest binary registered with CTest. Platform backends are
# modules of their own (core/capture/x11, ...) so pure logic never links a platform library.
#
#   halvex_module(<name> <folder> [DEPENDS <modules or targets>...])
function(halvex_module name folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set(dir ${CMAKE_SOURCE_DIR}/${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*Test.cpp)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
  if(HALVEX_BUILD_TESTS AND tests)
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${name} HalvexTestSupport GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
                         PROPERTIES TIMEOUT 300 ENVIRONMENT "OMP_THREAD_LIMIT=1")
  endif()
endfunction()
