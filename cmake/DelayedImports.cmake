# Import libraries for system DLLs loaded at their first call rather than when
# the program starts. For those Windows does not take from the system folder by
# itself (they are not "known DLLs": WinINet, the common controls, CNG, GDI+)
# the load then comes after WinMain has narrowed the library search to the
# system folder (app/LibrarySearch.h), instead of before it, when the search
# would look in the program's own folder first. COM and the shell (and GDI+
# again) are here for start-up time: a silent run never draws, so it never
# loads them, nor the libraries they bring with them.
#
#   add_delayed_import(wininet WININET.dll)   # defines the target delayed_wininet
#
# The list of names comes from the toolchain's ordinary import library.
function(add_delayed_import name dll)
    find_library(import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    execute_process(COMMAND ${CMAKE_NM} -g ${import_${name}} OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE " I __imp_" "")
    list(REMOVE_DUPLICATES imports)
    set(kill_at)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # 32-bit names carry a leading underscore and the __stdcall "@n"; the
        # .def names them without that one underscore (a name of the DLL's own
        # such as _TrackMouseEvent keeps its), and the DLL exports them without
        # the "@n" (dlltool --kill-at).
        list(TRANSFORM imports REPLACE "^_(.*)$" "\\1")
        set(kill_at --kill-at)
    endif()
    list(JOIN imports "\n" exports)
    set(folder ${CMAKE_BINARY_DIR}/delayed)
    file(MAKE_DIRECTORY ${folder})
    file(WRITE ${folder}/${name}.def "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
    # Written beside and copied only when its bytes change, so that configuring
    # again does not relink every program. dlltool names the library's own
    # symbols and members after the output path unless told otherwise: a
    # relative path and a fixed prefix keep the build folder out of them.
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${name}.def
                            --output-delaylib lib${name}_delayed.a.new --dllname ${dll}
                            --temp-prefix ${name}_delayed
                            ${kill_at}
                    WORKING_DIRECTORY ${folder}
                    COMMAND_ERROR_IS_FATAL ANY)
    file(COPY_FILE ${folder}/lib${name}_delayed.a.new ${folder}/lib${name}_delayed.a
         ONLY_IF_DIFFERENT)
    add_library(delayed_${name} STATIC IMPORTED GLOBAL)
    set_target_properties(delayed_${name} PROPERTIES
        IMPORTED_LOCATION ${folder}/lib${name}_delayed.a)
endfunction()

add_delayed_import(wininet WININET.dll)
add_delayed_import(comctl32 COMCTL32.dll)
add_delayed_import(bcrypt bcrypt.dll)
add_delayed_import(gdiplus gdiplus.dll)
add_delayed_import(ole32 ole32.dll)
add_delayed_import(shell32 SHELL32.dll)
