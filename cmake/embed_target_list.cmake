# Checks the Target file list and writes it as a C++ array initialiser.
#
# Usage: cmake -DLIST=target_files.txt -DOUT=target_files.inc -P embed_target_list.cmake
#
# The list is one file name per line (LF endings): 1698 package names ending
# in ".upk", then 4 movie names ending in ".usm". Line 710 (index 709) is the
# one empty entry. Names use only A-Z, a-z, 0-9, "_", "-" and ".". A list that
# breaks any of these rules stops the build with a message naming the line.

cmake_policy(SET CMP0007 NEW)  # keep the empty entry when splitting into a list

set(PACKAGE_COUNT 1698)
set(MOVIE_COUNT 4)
set(EMPTY_INDEX 709)

file(READ "${LIST}" content)
if(content MATCHES "\r")
  message(FATAL_ERROR "${LIST}: carriage return found; the list must use LF line endings")
endif()
# Refuse forbidden characters before splitting (";" or "[" would confuse lists).
if(content MATCHES "[^A-Za-z0-9_.\n-]")
  string(REGEX MATCH "^[A-Za-z0-9_.\n-]*" good "${content}")
  string(LENGTH "${good}" good_len)
  string(SUBSTRING "${content}" 0 ${good_len} before)
  string(REGEX MATCHALL "\n" breaks "${before}")
  list(LENGTH breaks line)
  math(EXPR line "${line} + 1")
  message(FATAL_ERROR "${LIST}:${line}: a name may hold only A-Z, a-z, 0-9, '_', '-' and '.'")
endif()

if(NOT content MATCHES "\n$")
  message(FATAL_ERROR "${LIST}: the last line must end in a line feed")
endif()
string(REGEX REPLACE "\n$" "" content "${content}")
string(REPLACE "\n" ";" names "${content}")
list(LENGTH names total)
math(EXPR expected "${PACKAGE_COUNT} + ${MOVIE_COUNT}")
if(NOT total EQUAL expected)
  message(FATAL_ERROR "${LIST}: ${total} lines, expected ${expected} (${PACKAGE_COUNT} .upk names, then ${MOVIE_COUNT} .usm names)")
endif()

set(body "")
set(index 0)
foreach(name IN LISTS names)
  math(EXPR line "${index} + 1")
  if(index EQUAL EMPTY_INDEX)
    if(NOT name STREQUAL "")
      message(FATAL_ERROR "${LIST}:${line}: this line must be empty (the list's one empty package entry)")
    endif()
  elseif(name STREQUAL "")
    message(FATAL_ERROR "${LIST}:${line}: empty line; only line ${EMPTY_INDEX}+1 may be empty")
  elseif(index LESS PACKAGE_COUNT)
    if(NOT name MATCHES "\\.upk$")
      message(FATAL_ERROR "${LIST}:${line}: '${name}' is a package entry and must end in .upk")
    endif()
  elseif(NOT name MATCHES "\\.usm$")
    message(FATAL_ERROR "${LIST}:${line}: '${name}' is a movie entry and must end in .usm")
  endif()
  string(APPEND body "    \"${name}\",\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Generated from ${LIST} by cmake/embed_target_list.cmake. Do not edit.\n${body}")
# Rewrite only when changed, so an unchanged list does not rebuild the core.
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
