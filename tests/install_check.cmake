# Installs the build into a scratch prefix and checks that both programs, the desktop entry and
# the icon are where a desktop looks for them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/slotscope bin/slotscope-cli share/applications/slotscope.desktop
             share/icons/hicolor/scalable/apps/slotscope.svg)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/slotscope.desktop" entry)
if(NOT entry MATCHES "\nExec=slotscope\n" OR NOT entry MATCHES "\nIcon=slotscope\n")
  message(FATAL_ERROR "the desktop entry does not start slotscope with its icon")
endif()
file(REMOVE_RECURSE "${PREFIX}")
