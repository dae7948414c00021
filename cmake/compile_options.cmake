# How every project that compiles the program's sources compiles them (the
# top level and tests/win32 include this): all warnings, and every text a
# code page 932 byte string while the sources stay UTF-8.
#
# g++ converts the literals itself (UPDATER_CHARSET_OPTIONS, by iconv). clang
# (the fuzz build) has no code page 932 execution character set: there the
# texts header, which holds every non-ASCII literal of the program, is
# converted into a header of \x escapes of the same bytes, and a VFS overlay
# makes every include of the original read the converted one, whatever the
# include's spelling. tests/fuzz compares every text of the two byte for byte.

add_compile_options(-Wall -Wextra)

set(UPDATER_CHARSET_OPTIONS -finput-charset=UTF-8 -fexec-charset=CP932)

# The texts header, relative to src/: the one place that names it.
set(UPDATER_TEXTS_HEADER "rules/texts.h" CACHE STRING "The texts header, relative to src/")
get_filename_component(UPDATER_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(UPDATER_TEXTS_SOURCE ${UPDATER_SOURCE_ROOT}/src/${UPDATER_TEXTS_HEADER})

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(${UPDATER_CHARSET_OPTIONS})
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  if(NOT EXISTS ${UPDATER_TEXTS_SOURCE})
    message(FATAL_ERROR "No texts header at ${UPDATER_TEXTS_SOURCE}: set UPDATER_TEXTS_HEADER to its path below src/.")
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  find_program(UPDATER_ICONV iconv REQUIRED)
  # Made while configuring, so that it is there before anything compiles;
  # a change of the header or of the converter configures again. Written only
  # when its bytes change, so that a new configuration rebuilds nothing.
  set(converter ${UPDATER_SOURCE_ROOT}/tests/fuzz/cp932_texts.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${UPDATER_TEXTS_SOURCE} ${converter})
  set(UPDATER_CP932_DIR ${CMAKE_BINARY_DIR}/cp932)
  set(fresh ${UPDATER_CP932_DIR}/fresh)
  file(MAKE_DIRECTORY ${fresh})
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${converter} ${UPDATER_TEXTS_SOURCE} ${fresh}/texts.h ${fresh}/texts_dump.cpp
            ${UPDATER_TEXTS_HEADER}
    RESULT_VARIABLE converted)
  if(NOT converted EQUAL 0)
    message(FATAL_ERROR "Converting ${UPDATER_TEXTS_HEADER} to code page 932 escapes failed")
  endif()
  # The converted header, and a program that prints every text of the header
  # it is compiled with.
  set(UPDATER_TEXTS_CONVERTED ${UPDATER_CP932_DIR}/texts.h)
  set(UPDATER_TEXTS_DUMP_SOURCE ${UPDATER_CP932_DIR}/texts_dump.cpp)
  configure_file(${fresh}/texts.h ${UPDATER_TEXTS_CONVERTED} COPYONLY)
  configure_file(${fresh}/texts_dump.cpp ${UPDATER_TEXTS_DUMP_SOURCE} COPYONLY)
  set(overlay ${UPDATER_CP932_DIR}/overlay.yaml)
  file(CONFIGURE OUTPUT ${overlay} CONTENT "{ \"version\": 0, \"roots\": [ { \"type\": \"file\", \"name\": \"${UPDATER_TEXTS_SOURCE}\", \"external-contents\": \"${UPDATER_TEXTS_CONVERTED}\" } ] }\n")
  add_compile_options(-ivfsoverlay ${overlay})
else()
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID}: only g++ and clang are known to give code page 932 texts")
endif()
