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
