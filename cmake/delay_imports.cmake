# Delay-loaded DLLs: a DLL named here is loaded at the first call of one of its
# functions, not when the program starts, so an idle client never maps it. Each
# function the program calls is listed with its stdcall decoration (x86); the import
# library is made from the list by dlltool when the tree is configured.
# pm_delay_import(<target> <dll> <function@bytes>...) links <target> to it.
function(pm_delay_import target dll)
    get_filename_component(name ${dll} NAME_WE)
    set(exports ${ARGN})
    set(options --dllname ${dll})
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        list(TRANSFORM exports REPLACE "@[0-9]+$" "")
    else()
        list(APPEND options --kill-at)  # the DLL exports the names undecorated
    endif()
    list(JOIN exports "\n" lines)
    set(def ${CMAKE_BINARY_DIR}/delay/${name}.def)
    set(library ${CMAKE_BINARY_DIR}/delay/lib${name}_delay.a)
    file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${lines}\n")
    string(REGEX REPLACE "g(cc|\\+\\+)(-posix)?$" "dlltool" dlltool ${CMAKE_CXX_COMPILER})
    execute_process(COMMAND ${dlltool} --input-def ${def} --output-delaylib ${library} ${options}
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${dlltool} could not make the delay-import library of ${dll}")
    endif()
    target_link_libraries(${target} PUBLIC ${library})
endfunction()
