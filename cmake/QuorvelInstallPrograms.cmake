# quorvel_install_programs(): installs the program `quorvel` into the
# binary folder, and `quorvel-agent` too where a target of that name exists
# once the whole top-level CMakeLists.txt has been read (the check is
# deferred to its end, so the agent's add_subdirectory may come anywhere).
# A Release build is stripped as it is installed, as `--strip` does.
include(GNUInstallDirs)

function(quorvel_install_agent_if_there)
  if(TARGET quorvel-agent)
    install(TARGETS quorvel-agent RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()

function(quorvel_install_programs)
  install(CODE [[
    if(CMAKE_INSTALL_CONFIG_NAME STREQUAL "Release")
      set(CMAKE_INSTALL_DO_STRIP TRUE)
    endif()
  ]])
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL quorvel_install_agent_if_there)
endfunction()
