# The resources that the program serves and shows: on Windows a .rc compiled by windres, on POSIX the
# same files embedded as byte arrays.
set(SORVANE_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/resources)
set(SORVANE_RESOURCE_FILES
  ${SORVANE_RESOURCE_DIR}/download.html
  ${SORVANE_RESOURCE_DIR}/Sorvane.jam
  ${SORVANE_RESOURCE_DIR}/Sorvane.jar
  ${SORVANE_RESOURCE_DIR}/strings.rc
)

if(WIN32)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  # Adds the program's resources to a Windows executable.
  function(sorvane_add_resources target)
    target_sources(${target} PRIVATE ${SORVANE_RESOURCE_DIR}/sorvane.rc)
    set_source_files_properties(${SORVANE_RESOURCE_DIR}/sorvane.rc PROPERTIES OBJECT_DEPENDS "${SORVANE_RESOURCE_FILES}")
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
