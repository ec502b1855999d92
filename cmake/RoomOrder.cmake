# The application layer's rooms run one way: a room includes only the rooms
# before it in its list, so a newcomer can read them in order and a change in
# a late room never reaches back into an early one. This stops the configure
# and names the file and the include that point the other way.

# quorvel_check_room_order(DIR ROOM...): each ROOM is a folder of DIR, in
# order; includes are written "app/<room>/<File>.h".
function(quorvel_check_room_order dir)
  set(rooms ${ARGN})
  set(problems)
  foreach(room IN LISTS rooms)
    list(FIND rooms ${room} position)
    file(GLOB_RECURSE files ${dir}/${room}/*.h ${dir}/${room}/*.cpp)
    foreach(file IN LISTS files)
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"app/")
      foreach(line IN LISTS includes)
        string(REGEX MATCH "\"app/([^/\"]+)/" unused "${line}")
        set(used ${CMAKE_MATCH_1})
        list(FIND rooms "${used}" used_position)
        file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${file})
        if(used_position EQUAL -1)
          list(APPEND problems "${name}: ${line} names no room")
        elseif(used_position GREATER position)
          list(APPEND problems "${name}: ${line} reaches into the later room \"${used}\"")
        endif()
      endforeach()
    endforeach()
  endforeach()
  # A configure re-runs when a room's files change, so the check stays current.
  foreach(room IN LISTS rooms)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dir}/${room})
  endforeach()
  if(problems)
    list(JOIN problems "\n  " lines)
    list(JOIN rooms " → " order)
    message(FATAL_ERROR "The application's rooms run one way (${order}); a room may include only "
                        "the rooms before it:\n  ${lines}")
  endif()
endfunction()
