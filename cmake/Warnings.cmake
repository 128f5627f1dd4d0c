# Every target of ours builds with the same strict warnings. NORVANE_WERROR turns
# them into errors: CI builds every preset with it, while a user whose newer
# compiler warns of something new can still build.
#
# Beyond -Wall -Wextra: shadowed names and silent conversions (the protocol's
# values are bytes and words of fixed widths); virtual destructors and overloads
# of the seams (Link, WorkerSurroundings and the views are used through base
# pointers); no C-style casts in C++ (a cast to a handle or a byte pointer says
# which cast it is); every fall-through of a switch over the protocol's results
# written down; printf-style formats checked. GCC alone also checks conditions
# repeated in an if-chain and logical operators that look like bitwise ones.
# -Wnull-dereference is left out: GCC 12 reports the standard library's own
# stream buffers (istreambuf_iterator) as null dereferences, wrongly.
option(NORVANE_WERROR "Treat warnings as errors" OFF)
set(NORVANE_GNU_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wimplicit-fallthrough -Wformat=2)
set(NORVANE_CXX_WARNINGS -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast)
set(NORVANE_GCC_ONLY_WARNINGS -Wduplicated-cond -Wlogical-op)
function(norvane_warnings target)
    set(gnu_or_clang "$<OR:$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>,$<COMPILE_LANG_AND_ID:C,GNU,Clang>>")
    target_compile_options(${target} PRIVATE
        "$<${gnu_or_clang}:${NORVANE_GNU_WARNINGS}>"
        "$<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:${NORVANE_CXX_WARNINGS}>"
        "$<$<OR:$<COMPILE_LANG_AND_ID:CXX,GNU>,$<COMPILE_LANG_AND_ID:C,GNU>>:${NORVANE_GCC_ONLY_WARNINGS}>"
        "$<$<AND:${gnu_or_clang},$<BOOL:${NORVANE_WERROR}>>:-Werror>"
        "$<$<OR:$<COMPILE_LANG_AND_ID:CXX,MSVC>,$<COMPILE_LANG_AND_ID:C,MSVC>>:/W4>"
        "$<$<AND:$<OR:$<COMPILE_LANG_AND_ID:CXX,MSVC>,$<COMPILE_LANG_AND_ID:C,MSVC>>,$<BOOL:${NORVANE_WERROR}>>:/WX>")
endfunction()
