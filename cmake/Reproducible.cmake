# Two builds of one commit give the same bytes wherever they are made.
#
# The source folder enters the debug information (and with it each file's
# build ID) and every __FILE__: it is written as ".", as Debian's build flags
# write it, so a build folder inside it reads "./build". A build folder
# elsewhere is written as "." too; GCC takes the last prefix that matches.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
string(FIND "${CMAKE_BINARY_DIR}/" "${CMAKE_SOURCE_DIR}/" tavox_build_inside_source)
if(NOT tavox_build_inside_source EQUAL 0)
  add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
endif()

# The build tree's run paths name the folders relative to $ORIGIN rather than
# by their absolute path. The install rewrites a run path in place, so an
# absolute one would leave its length, and so the build folder's, in .dynstr.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
