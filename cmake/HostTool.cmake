# norvane_host_tool(<out-var> <name> <c-source>): builds a small C program that
# runs on the build machine at configure time (image and artwork generators) and
# sets <out-var> to its path. A native build compiles it with the project's own
# C compiler, whatever that is; a cross build needs the build machine's compiler
# instead, because the target's programs cannot run here.
function(norvane_host_tool out_var name source)
    set(dir "${CMAKE_BINARY_DIR}/host-tools")
    set(tool "${dir}/${name}${CMAKE_HOST_EXECUTABLE_SUFFIX}")
    if(EXISTS "${tool}" AND NOT "${source}" IS_NEWER_THAN "${tool}")
        set(${out_var} "${tool}" PARENT_SCOPE)
        return()
    endif()
    file(MAKE_DIRECTORY "${dir}")
    if(CMAKE_CROSSCOMPILING)
        find_program(NORVANE_HOST_CC NAMES cc gcc clang REQUIRED)
        execute_process(COMMAND "${NORVANE_HOST_CC}" -O2 -o "${tool}" "${source}"
                        RESULT_VARIABLE result OUTPUT_VARIABLE log ERROR_VARIABLE log)
        if(result EQUAL 0)
            set(built TRUE)
        endif()
    else()
        try_compile(built "${dir}/${name}-build" "${source}"
                    OUTPUT_VARIABLE log COPY_FILE "${tool}")
    endif()
    if(NOT built)
        message(FATAL_ERROR "Could not build the build-time tool ${name} from ${source}:\n${log}")
    endif()
    set(${out_var} "${tool}" PARENT_SCOPE)
endfunction()
