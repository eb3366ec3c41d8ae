# Helpers shared by every folder: one library of logic per folder, thin deliverable targets over it,
# and one GoogleTest executable per folder on the Linux build.

# velmo_program(<name> ENTRY <file> [RC <file>] [GUI] [LIBS ...])
# Windows: the real program <name>.exe. Linux: an object library <name>_entry whose entry file
# registers the program with the simulated machine by its file name; tests link it.
function(velmo_program name)
  cmake_parse_arguments(P "GUI" "ENTRY;RC" "LIBS" ${ARGN})
  if(WIN32)
    if(P_GUI)
      add_executable(${name} WIN32 ${P_ENTRY} ${P_RC})
    else()
      add_executable(${name} ${P_ENTRY} ${P_RC})
    endif()
    target_link_libraries(${name} PRIVATE ${P_LIBS})
  else()
    add_library(${name}_entry OBJECT ${P_ENTRY})
    target_link_libraries(${name}_entry PUBLIC ${P_LIBS})
    # The simulated machine reads the program's resources from the same script windres compiles.
    if(P_RC)
      get_filename_component(rc_path ${P_RC} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      target_compile_definitions(${name}_entry PRIVATE PLATFORM_RESOURCE_FILE="${rc_path}")
    endif()
  endif()
endfunction()

# velmo_tests(<folder-label> SOURCES ... LIBS ...)
function(velmo_tests label)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  set(exe ${label}_tests)
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE ${T_LIBS} platform_sim_testmain GTest::gtest GTest::gmock)
  gtest_discover_tests(${exe} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()

# velmo_folder_library(<name> [LIBS ...]): the folder's logic library from every *.cpp beside this
# CMakeLists.txt except entry files (*_main.cpp, *_exports.cpp), which belong to deliverables.
function(velmo_folder_library name)
  cmake_parse_arguments(L "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "(_main|_exports)\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC platform ${L_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE platform ${L_LIBS})
  endif()
endfunction()

# velmo_folder_tests(<label> [LIBS ...]): every tests/*.cpp of the folder in one test executable.
function(velmo_folder_tests label)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(sources)
    velmo_tests(${label} SOURCES ${sources} LIBS ${T_LIBS})
  endif()
endfunction()

# velmo_dll(<name> ENTRY <file> DEF <file> [RC <file>] [LIBS ...])
# Windows: <name>.dll with the exports of its .def file. Linux: an object library <name>_entry whose
# entry file registers the DLL's exports with the simulated machine; tests link it.
function(velmo_dll name)
  cmake_parse_arguments(D "" "ENTRY;DEF;RC" "LIBS" ${ARGN})
  if(WIN32)
    add_library(${name} SHARED ${D_ENTRY} ${D_DEF} ${D_RC})
    set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
    target_link_libraries(${name} PRIVATE ${D_LIBS})
    # x86 names stdcall exports with their argument size; the .def names them plainly.
    target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
  else()
    add_library(${name}_entry OBJECT ${D_ENTRY})
    target_link_libraries(${name}_entry PUBLIC ${D_LIBS})
  endif()
endfunction()
