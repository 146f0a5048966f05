# What a Windows build adds: the folder a Windows user runs (flat, the
# programs beside the DLLs and plugins they load) and, in a cross-build, the
# test programs run under Wine.

# Qt's project set-up puts every program of a Windows build in one folder,
# for DLLs of the project's own, of which there are none: the build tree keeps
# the layout of every platform instead (tests find the programs they start
# at the same place, ../cli/vq8ctl beside tests/).
unset(CMAKE_RUNTIME_OUTPUT_DIRECTORY)

# Every DLL a program of this build loads comes from Qt's bin folder or the
# compiler's runtime (libstdc++, libgcc, winpthread with MinGW); the rest are
# the system's own.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
    get_target_property(qt_core_dll Qt6::Core LOCATION)
endif()
get_filename_component(qt_bin_dir "${qt_core_dll}" DIRECTORY)
set(VQ_WINDOWS_DLL_DIRS ${qt_bin_dir})
if(MINGW)
    foreach(dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${found}")
            get_filename_component(found "${found}" DIRECTORY)
            get_filename_component(found "${found}" REALPATH)
            list(APPEND VQ_WINDOWS_DLL_DIRS ${found})
        endif()
    endforeach()
endif()
list(REMOVE_DUPLICATES VQ_WINDOWS_DLL_DIRS)

# --- the folder -------------------------------------------------------------
# The programs install themselves; then the two plugins Qt loads for a
# window, in the subfolders it looks in, qt.conf, which keeps Qt from looking
# anywhere else, and the DLLs of all of them (cmake/InstallWindowsRuntime.cmake).
set(CMAKE_INSTALL_BINDIR .)
function(vq_install_windows_runtime)
    install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/qt.conf DESTINATION .)
    set(objdump "")
    if(CMAKE_CROSSCOMPILING)
        set(objdump "${CMAKE_OBJDUMP}")
    endif()
    install(CODE "set(VQ_DLL_DIRS \"${VQ_WINDOWS_DLL_DIRS}\")
                  set(VQ_OBJDUMP \"${objdump}\")
                  set(VQ_STRIP \"${CMAKE_STRIP}\")")
    install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallWindowsRuntime.cmake)
endfunction()

# --- the tests under Wine ---------------------------------------------------
# CTest runs every test program through the emulator, a script that finds the
# DLLs above and shares one Wine prefix per run (cmake/wine-run.sh.in).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(VQ_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(VQ_WINE NAMES wine64 wine)
    find_program(VQ_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(VQ_WINESERVER NAMES wineserver)
    if(VQ_WINE AND VQ_WINESERVER)
        list(JOIN VQ_WINDOWS_DLL_DIRS ";" VQ_WINEPATH)
        # Qt's offscreen platform on Windows reads fonts from a folder only:
        # the build machine's, through Wine's drive Z: (the whole file system).
        find_program(VQ_FC_MATCH fc-match)
        set(VQ_WINE_FONT_DIR "")
        if(VQ_FC_MATCH)
            execute_process(COMMAND ${VQ_FC_MATCH} -f %{file} sans OUTPUT_VARIABLE font ERROR_QUIET)
            if(IS_ABSOLUTE "${font}")
                get_filename_component(font_dir "${font}" DIRECTORY)
                set(VQ_WINE_FONT_DIR "Z:${font_dir}")
            endif()
        endif()
        configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh
                       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                        WORLD_READ WORLD_EXECUTE @ONLY)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
    else()
        message(WARNING "No Wine found: the tests of this cross-build cannot run here")
    endif()
endif()
