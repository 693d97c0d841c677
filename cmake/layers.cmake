# Build settings shared by every target of the project, and the layer helper.

# What every target of ours compiles with. The fuzz tree adds its instrumentation here, so that
# every layer is built with it.
add_library(vle_options INTERFACE)
target_compile_options(vle_options INTERFACE -Wall -Wextra)
target_compile_features(vle_options INTERFACE cxx_std_17)
# Windows programs and the DLL carry their C and C++ runtimes, so that they run on any Windows and
# under Wine without mingw's DLLs beside them.
if(VLE_WIN32)
  target_link_options(vle_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

# vle_layer(<name> [DEPENDS <layer>...]) makes the object library vle_<name> from src/<name>. Its
# include folder in the build tree holds a single link, <name> -> src/<name>, so that its users see
# "<name>/..." headers and nothing else; DEPENDS adds the include folders (and link needs) of the
# layers below it. The plug-in is a shared library, so every layer is position-independent.
function(vle_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "DEPENDS")
  set(include_dir ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${include_dir})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${name} ${include_dir}/${name} SYMBOLIC)
  add_library(vle_${name} OBJECT)
  target_include_directories(vle_${name} PUBLIC ${include_dir})
  target_link_libraries(vle_${name} PUBLIC vle_options)
  foreach(dependency IN LISTS LAYER_DEPENDS)
    target_link_libraries(vle_${name} PUBLIC vle_${dependency})
  endforeach()
  set_target_properties(vle_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
