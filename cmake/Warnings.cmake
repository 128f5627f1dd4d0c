# Every target of ours builds with the same strict warnings.
set(NORVANE_GNU_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
function(norvane_warnings target)
    target_compile_options(${target} PRIVATE
        "$<$<OR:$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>,$<COMPILE_LANG_AND_ID:C,GNU,Clang>>:${NORVANE_GNU_WARNINGS}>"
        "$<$<OR:$<COMPILE_LANG_AND_ID:CXX,MSVC>,$<COMPILE_LANG_AND_ID:C,MSVC>>:/W4>")
endfunction()
