# Warning flags shared by every target of the project. (-Wnull-dereference is left out:
# GCC 12 reports false positives from inlined Qt headers, e.g. QPointer inside QFuture continuations.)
add_library(kestrion_warnings INTERFACE)
target_compile_options(kestrion_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wimplicit-fallthrough)
if(KESTRION_WARNINGS_AS_ERRORS)
    target_compile_options(kestrion_warnings INTERFACE -Werror)
endif()
target_compile_definitions(kestrion_warnings INTERFACE QT_DISABLE_DEPRECATED_UP_TO=0x060400)

# kestrion_add_module(<name> SOURCES ... [QT <components>] [DEPS <modules>])
# Each subsystem is its own static library so it links only what it needs;
# kestrion_core aggregates them for the application.
function(kestrion_add_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;QT;DEPS;LIBS" ${ARGN})
    set(target kestrion_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC Qt6::Core PRIVATE kestrion_warnings)
    foreach(component IN LISTS ARG_QT)
        target_link_libraries(${target} PUBLIC Qt6::${component})
    endforeach()
    foreach(dep IN LISTS ARG_DEPS)
        target_link_libraries(${target} PUBLIC kestrion_${dep})
    endforeach()
    if(ARG_LIBS)
        target_link_libraries(${target} PUBLIC ${ARG_LIBS})
    endif()
    set_property(GLOBAL APPEND PROPERTY KESTRION_MODULES ${target})
endfunction()
