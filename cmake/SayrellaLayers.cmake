# SPDX-License-Identifier: GPL-3.0-or-later
# Each library's include folders, so that the build itself keeps the layers:
# another target sees only the headers a library names as its public ones,
# and a library's own sources see their own folder. Both folders are made
# of links in the build tree, so that every header is included by one
# spelling ("speech/audio/PcmQueue.h") from anywhere.

# The target's own source folder, reachable as "<folder under src>/...".
function(sayrella_own_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include-own/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PRIVATE ${root})
endfunction()

# sayrella_public_headers(TARGET HEADER...) — HEADERs relative to the
# current source folder: the ones other targets may include.
function(sayrella_public_headers target)
  sayrella_own_headers(${target})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header ${ARGN})
    get_filename_component(parent ${root}/${folder}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
