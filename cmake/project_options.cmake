# Options for the project's own targets (not for GoogleTest).
add_library(pm_options INTERFACE)
target_include_directories(pm_options INTERFACE ${CMAKE_SOURCE_DIR}/src)
if(MSVC)
    target_compile_options(pm_options INTERFACE /W4 /WX /utf-8 /permissive-)
else()
    # The Win32 idiom `STRUCT s = {sizeof s};` zero-fills the rest on purpose.
    target_compile_options(pm_options INTERFACE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endif()
if(WIN32)
    target_compile_definitions(pm_options INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

# Signing (docs/administrators.md): with a certificate given at configure time, the
# programs that ship are signed as they are linked, and the package as it is made.
set(PM_SIGN_PKCS12 "" CACHE FILEPATH "A .pfx file to sign the programs and the package with")
set(PM_SIGN_PASSWORD_FILE "" CACHE FILEPATH "A file holding the .pfx file's password")
set(PM_SIGN_TIMESTAMP_URL "" CACHE STRING "A time-stamping server for the signatures")
set(PM_SIGN_COMMAND ${CMAKE_COMMAND} -E env PM_SIGN_PKCS12=${PM_SIGN_PKCS12}
    PM_SIGN_PASSWORD_FILE=${PM_SIGN_PASSWORD_FILE} PM_SIGN_TIMESTAMP_URL=${PM_SIGN_TIMESTAMP_URL}
    ${CMAKE_SOURCE_DIR}/scripts/sign)
function(pm_sign target)
    if(PM_SIGN_PKCS12)
        add_custom_command(TARGET ${target} POST_BUILD COMMAND ${PM_SIGN_COMMAND} $<TARGET_FILE:${target}> VERBATIM)
    endif()
endfunction()
