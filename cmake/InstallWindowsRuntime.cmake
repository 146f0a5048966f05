# The install step of a Windows build (cmake/Windows.cmake): beside the
# programs and plugins already in the folder, the DLLs they load from
# VQ_DLL_DIRS (Qt's bin folder, the compiler's runtime), and the DLLs those
# load in turn; the system's own DLLs stay the system's. A program names its
# DLLs without regard to letter case, as Windows finds them: so are they
# looked up here, also on a build machine whose file system minds case.
# With --strip (and in cpack) the copies lose their symbols too.
cmake_policy(VERSION 3.25)
if(VQ_OBJDUMP)
    # A cross-build reads the programs with the compiler's objdump.
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${VQ_OBJDUMP}")
endif()
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The DLLs at hand, by lower-case name; the first folder that has one wins.
foreach(dir IN LISTS VQ_DLL_DIRS)
    file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" key)
        if(NOT DEFINED "vq_dll_${key}")
            set("vq_dll_${key}" "${dll}")
        endif()
    endforeach()
endforeach()

file(GLOB_RECURSE executables "${folder}/*.exe")
file(GLOB_RECURSE libraries "${folder}/*.dll")
if(CMAKE_INSTALL_DO_STRIP AND VQ_STRIP)
    foreach(plugin IN LISTS libraries)
        execute_process(COMMAND "${VQ_STRIP}" --strip-unneeded "${plugin}")
    endforeach()
endif()
set(installed "")
while(executables OR libraries)
    file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES ${executables}
        LIBRARIES ${libraries}
        DIRECTORIES ${VQ_DLL_DIRS}
        PRE_INCLUDE_REGEXES "^qt6" "^lib"
        PRE_EXCLUDE_REGEXES ".*"
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved)
    set(executables "")
    set(libraries "")
    foreach(dll IN LISTS resolved unresolved)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" key)
        if(key IN_LIST installed)
            continue()
        endif()
        if(NOT DEFINED "vq_dll_${key}")
            message(FATAL_ERROR "${name} is needed and is in none of: ${VQ_DLL_DIRS}")
        endif()
        list(APPEND installed "${key}")
        file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE SHARED_LIBRARY FILES "${vq_dll_${key}}")
        get_filename_component(name "${vq_dll_${key}}" NAME)
        if(CMAKE_INSTALL_DO_STRIP AND VQ_STRIP)
            execute_process(COMMAND "${VQ_STRIP}" --strip-unneeded "${folder}/${name}")
        endif()
        list(APPEND libraries "${folder}/${name}")
    endforeach()
endwhile()
