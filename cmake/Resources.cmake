# The resources that the program serves and shows: on Windows a .rc compiled by windres, on POSIX the
# same files embedded as byte arrays.
set(SORVANE_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/resources)
set(SORVANE_RESOURCE_FILES
  ${SORVANE_RESOURCE_DIR}/download.html
  ${SORVANE_RESOURCE_DIR}/Sorvane.jam
  ${SORVANE_RESOURCE_DIR}/Sorvane.jar
  ${SORVANE_RESOURCE_DIR}/strings.rc
)
# The Windows program's own pictures, dialogs and manifest, and the sources of its help file.
set(SORVANE_WINDOWS_RESOURCE_FILES
  ${SORVANE_RESOURCE_DIR}/program.rc
  ${SORVANE_RESOURCE_DIR}/sorvane.ico
  ${SORVANE_RESOURCE_DIR}/logo.bmp
  ${SORVANE_RESOURCE_DIR}/sorvane.manifest
)

if(WIN32)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  # Adds the program's resources to a Windows executable.
  function(sorvane_add_resources target)
    target_sources(${target} PRIVATE ${SORVANE_RESOURCE_DIR}/sorvane.rc)
    set_source_files_properties(${SORVANE_RESOURCE_DIR}/sorvane.rc PROPERTIES OBJECT_DEPENDS
                                "${SORVANE_RESOURCE_FILES};${SORVANE_WINDOWS_RESOURCE_FILES}")
  endfunction()
  # Compiles the help file from its HTML sources (converted to CP932) with chmcmd.
  function(sorvane_add_help output)
    find_program(SORVANE_CHMCMD chmcmd REQUIRED)
    find_program(SORVANE_PYTHON3 python3 REQUIRED)
    file(GLOB help_sources CONFIGURE_DEPENDS ${SORVANE_RESOURCE_DIR}/help/*)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${SORVANE_PYTHON3} ${SORVANE_RESOURCE_DIR}/help/build_help.py ${SORVANE_CHMCMD}
              ${SORVANE_RESOURCE_DIR}/help ${CMAKE_CURRENT_BINARY_DIR}/help ${output}
      DEPENDS ${help_sources}
      COMMENT "Compiling the help file"
      VERBATIM)
    add_custom_target(sorvane_help ALL DEPENDS ${output})
  endfunction()
else()
  function(sorvane_add_resources target)
  endfunction()
  function(sorvane_embed_resources output)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DRESOURCE_DIR=${SORVANE_RESOURCE_DIR} -DOUTPUT=${output}
              -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
      DEPENDS ${SORVANE_RESOURCE_FILES} ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
      COMMENT "Embedding resources"
      VERBATIM)
  endfunction()
endif()
