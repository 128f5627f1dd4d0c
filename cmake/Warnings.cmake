# Every target of ours builds with the same strict warnings.
function(norvane_warnings target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion
        -Wno-sign-conversion>)
endfunction()
