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
