# A release engineer's own face on setup.exe: its icon and its
# FileDescription, the name Task Manager shows for the process. Both are
# checked here, at configure time, so that a wrong one stops the configure
# with a message instead of giving a broken build or a program without an icon.
#   -DSETUP_ICON=<path to .ico>  -DSETUP_DESCRIPTION=<text>

set(SETUP_ICON "" CACHE FILEPATH
    "setup.exe's icon: a Windows icon file (.ico); empty for the project's own")
set(SETUP_DESCRIPTION "" CACHE STRING
    "setup.exe's FileDescription, which Task Manager shows as the process's name; empty for the project's own")
set(setup_icon "${SETUP_ICON}")
if(setup_icon STREQUAL "")
  set(setup_icon "${PROJECT_SOURCE_DIR}/resources/setup.ico")
endif()
set(setup_description "${SETUP_DESCRIPTION}")
if(setup_description STREQUAL "")
  set(setup_description "${PROJECT_DESCRIPTION}")
endif()

# The little-endian number of count bytes at offset of a file read as hex.
function(read_le hex offset count out)
  set(value "")
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last} 0 -1)
    math(EXPR at "(${offset} + ${index}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(APPEND value "${byte}")
  endforeach()
  math(EXPR value "0x${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

function(icon_problem why)
  message(FATAL_ERROR "SETUP_ICON: ${setup_icon} is not a Windows icon file (.ico): ${why}. "
                      "Give the path of an .ico file, or leave SETUP_ICON unset for the "
                      "project's own icon.")
endfunction()

# An icon file: a 6-byte header (reserved 0, type 1, image count), 16 bytes
# per image, and each image's bytes inside the file, a PNG or a bitmap.
if(NOT EXISTS "${setup_icon}" OR IS_DIRECTORY "${setup_icon}")
  icon_problem("no such file")
endif()
file(SIZE "${setup_icon}" icon_size)
if(icon_size LESS 22)
  icon_problem("${icon_size} bytes are too few")
endif()
file(READ "${setup_icon}" icon_hex HEX)
read_le("${icon_hex}" 0 2 reserved)
read_le("${icon_hex}" 2 2 type)
read_le("${icon_hex}" 4 2 images)
if(NOT reserved EQUAL 0 OR NOT type EQUAL 1)
  icon_problem("its header is not an icon's")
endif()
math(EXPR directory_end "6 + 16 * ${images}")
if(images EQUAL 0 OR directory_end GREATER icon_size)
  icon_problem("it lists ${images} images in ${icon_size} bytes")
endif()
math(EXPR last_image "${images} - 1")
foreach(image RANGE ${last_image})
  math(EXPR entry "6 + 16 * ${image}")
  read_le("${icon_hex}" ${entry}+8 4 image_size)
  read_le("${icon_hex}" ${entry}+12 4 image_offset)
  math(EXPR image_end "${image_offset} + ${image_size}")
  if(image_size LESS 8 OR image_offset LESS directory_end OR image_end GREATER icon_size)
    icon_problem("image ${image} lies outside the file")
  endif()
  math(EXPR at "${image_offset} * 2")
  string(SUBSTRING "${icon_hex}" ${at} 8 magic)
  if(NOT magic STREQUAL "89504e47" AND NOT magic STREQUAL "28000000")
    icon_problem("image ${image} is neither a PNG nor a bitmap")
  endif()
endforeach()
# The resource script takes the icon under a name of its own, so that no
# other setup.ico can stand in for it.
configure_file("${setup_icon}" "${PROJECT_BINARY_DIR}/generated/setup-icon.ico" COPYONLY)

# The description lands in a string of the resource script: any UTF-8 text
# (the resource compiler reads the script as UTF-8), but no quote, backslash
# or control character, which would end or bend that string.
string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31
       127 control_characters)
string(LENGTH "${setup_description}" description_length)
if(description_length GREATER 200 OR setup_description MATCHES "[\"\\\\${control_characters}]")
  message(FATAL_ERROR "SETUP_DESCRIPTION: \"${setup_description}\" cannot be setup.exe's "
                      "FileDescription: give up to 200 bytes of UTF-8 without a quote, a "
                      "backslash or a control character.")
endif()
