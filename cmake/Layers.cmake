# The source folders are layers, lowest first. A folder's library sees only its
# own folder and those below it: its include root holds links to those folders
# alone, so including a header from a folder above fails to compile, and
# linking with --no-undefined makes a reference to one fail to link.
#
# app/ is two layers: its configuration and console library sits low enough for
# everything to use; the window's start-up and the program sit on top.
set(TAVOX_LAYERS protocol link device app-config log record bridge service window app)
set(TAVOX_APP_CONFIG_HEADERS Config.h ConsolePlatform.h DebugConsole.h InterruptWatcher.h StandardLocations.h Version.h)

# An installed copy keeps the layers' libraries in this folder below its prefix
# (packaging/Install.cmake), which is how app/StandardLocations tells it apart.
# The libraries are private to the programs: Debian keeps such libraries of an
# architecture in a folder of the package's own under the multiarch folder,
# out of ldconfig's way (lib/x86_64-linux-gnu/tavox).
include(GNUInstallDirs)
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT CMAKE_INSTALL_LIBDIR MATCHES "/${CMAKE_LIBRARY_ARCHITECTURE}$")
  set(TAVOX_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/${CMAKE_LIBRARY_ARCHITECTURE}/tavox)
else()
  set(TAVOX_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tavox)
endif()

# Shared in the product (one copy for the window, tavoxctl and the tests);
# the fuzz build links them statically into each fuzzer.
if(NOT DEFINED TAVOX_LIBRARY_TYPE)
  set(TAVOX_LIBRARY_TYPE SHARED)
endif()

function(tavox_folders_up_to layer out)
  set(folders "")
  foreach(each ${TAVOX_LAYERS})
    list(APPEND folders ${each})
    if(each STREQUAL layer)
      set(${out} ${folders} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "unknown layer ${layer}")
endfunction()

# Gives `target` an include root with the folders named after it.
function(tavox_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${ARGN})
    if(folder STREQUAL "app-config")
      if(NOT "app" IN_LIST ARGN)
        file(MAKE_DIRECTORY ${root}/app)
        foreach(header ${TAVOX_APP_CONFIG_HEADERS})
          file(CREATE_LINK ${TAVOX_SOURCE_DIR}/app/${header} ${root}/app/${header} SYMBOLIC)
        endforeach()
      endif()
    else()
      file(CREATE_LINK ${TAVOX_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
endfunction()

# A library of layer `layer` from `sources`, seeing the folders at or below it.
function(tavox_layer_library target layer)
  add_library(${target} ${TAVOX_LIBRARY_TYPE} ${ARGN})
  tavox_folders_up_to(${layer} folders)
  tavox_include_root(${target} ${folders})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    # All in one folder, which the programs name relative to themselves
    # ($ORIGIN/lib): a program copied elsewhere finds them through a link of
    # that name beside it.
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  endif()
  if(type STREQUAL "SHARED_LIBRARY" AND NOT TAVOX_SANITIZE)
    # The sanitizers' runtime lives in the executables, so not with them.
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# Programs and test code above the libraries: they see every folder named.
function(tavox_sees target)
  tavox_include_root(${target} ${ARGN})
endfunction()
