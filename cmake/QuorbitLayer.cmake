# quorbit_layer(<target> <dir> DEPS <targets...>): one library per layer, from the .cpp files of its
# folder (not of its subfolders). A layer with no sources yet is an interface library, so that its
# dependants still link.
function(quorbit_layer target dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(sources)
        add_library(${target} STATIC ${sources})
        target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
        target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    else()
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    endif()
endfunction()

# quorbit_ui_layer(<target> <dir> DEPS <targets...>): the Qt part of a layer, from the .cpp files of its
# ui/ folder, with moc, uic and rcc run on them. Called only when the window is built (QUORBIT_GUI), so
# that nothing without Qt can link it. A ui/ folder that is missing or empty gives an interface library.
function(quorbit_ui_layer target dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    if(NOT QUORBIT_GUI)
        message(FATAL_ERROR "${target}: a ui library is built only with QUORBIT_GUI=ON")
    endif()
    quorbit_layer(${target} ${dir} DEPS ${ARG_DEPS} Qt6::Widgets)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    endif()
endfunction()
