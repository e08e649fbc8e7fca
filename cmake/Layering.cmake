# Libraries that export only their own headers.
#
#   iw_add_library(<name> [INTERFACE]
#       [FOLDERS <folder>...]     folders (relative to the source root) whose headers it exports;
#                                 default: the folder of the calling CMakeLists.txt
#       [SOURCES <file>...]
#       [PUBLIC <target>...] [PRIVATE <target>...])
#
# Each exported header is linked into build/include/<name>/<folder>/, and that folder is the
# library's only public include directory. "#include "ui/draw/DrawContext.h"" therefore
# compiles only in targets that link the library owning ui/draw/, so a lower layer cannot
# quietly include a higher one: the build refuses it.
function(iw_add_library name)
    cmake_parse_arguments(L "INTERFACE" "" "FOLDERS;SOURCES;PUBLIC;PRIVATE" ${ARGN})
    if(L_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "iw_add_library(${name}): unexpected arguments ${L_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT L_FOLDERS)
        file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
        set(L_FOLDERS ${folder})
    endif()

    set(stage ${CMAKE_BINARY_DIR}/include/${name})
    file(REMOVE_RECURSE ${stage})
    foreach(folder IN LISTS L_FOLDERS)
        file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
        file(MAKE_DIRECTORY ${stage}/${folder})
        foreach(header IN LISTS headers)
            get_filename_component(file_name ${header} NAME)
            file(CREATE_LINK ${header} ${stage}/${folder}/${file_name} SYMBOLIC)
        endforeach()
    endforeach()

    if(L_INTERFACE)
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${stage})
        target_link_libraries(${name} INTERFACE ${L_PUBLIC})
    else()
        add_library(${name} STATIC ${L_SOURCES})
        target_include_directories(${name} PUBLIC ${stage})
        target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
    endif()
endfunction()
