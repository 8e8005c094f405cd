# Rewrites the import library of a 32-bit DLL whose __stdcall functions are
# exported by their plain names (ld --kill-at): the library a host links must
# still define the decorated names its compiler asks for (_name@n and
# __imp__name@n) and import each by its plain name, as the system's own import
# libraries do. ld's own import library under --kill-at lacks the "@n".
#
#   cmake -DDEF=exports.def -DDLL=name.dll -DDLLTOOL=... -DIMPORT_LIB=libname.dll.a -P this
#
# DEF is what ld wrote with --output-def: lines "plain = plain@n @ordinal".
file(STRINGS ${DEF} lines REGEX "=")
set(exports "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*[^ \t]+[ \t]*=[ \t]*([^ \t]+).*$" "\\1" decorated "${line}")
    string(APPEND exports "${decorated}\n")
endforeach()
if(exports STREQUAL "")
    message(FATAL_ERROR "${DEF} names no exports")
endif()
get_filename_component(folder ${IMPORT_LIB} DIRECTORY)
set(decorated_def ${folder}/${DLL}.decorated.def)
file(WRITE ${decorated_def} "LIBRARY ${DLL}\nEXPORTS\n${exports}")
get_filename_component(stem ${DLL} NAME_WE)
get_filename_component(library ${IMPORT_LIB} NAME)
file(REMOVE ${IMPORT_LIB})
# Relative names: dlltool names the library's own symbols after its output
# path, which must not carry the build folder into the hosts.
execute_process(COMMAND ${DLLTOOL} --input-def ${DLL}.decorated.def --dllname ${DLL} --kill-at
                        --output-lib ${library} --temp-prefix ${stem}_implib
                WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
