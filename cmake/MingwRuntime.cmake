# What a MinGW-w64 build of the program needs beside it on Windows: the Qt libraries, the plugins
# Qt loads from the program's folder (the Windows platform, the native style, TLS through Schannel
# for the Readme.txt download; offscreen for the test suites) and the compiler's own runtime
# libraries. They are installed beside quenlor.exe without their symbols, and copied beside the
# programs of the build folder so those run under Wine as they are.
set(quenlor_runtime_files "") # triples: file, its name, its folder
foreach(module Core Gui Widgets Network)
    list(APPEND quenlor_runtime_files
         "$<TARGET_FILE:Qt6::${module}>" "$<TARGET_FILE_NAME:Qt6::${module}>" .)
endforeach()
foreach(plugin IN ITEMS QWindowsIntegrationPlugin:platforms QWindowsVistaStylePlugin:styles
                        QSchannelBackendPlugin:tls QOffscreenIntegrationPlugin:platforms)
    string(REPLACE ":" ";" plugin "${plugin}")
    list(GET plugin 0 name)
    list(GET plugin 1 folder)
    if(NOT TARGET Qt6::${name})
        message(FATAL_ERROR "This Qt has no ${name}; the Windows program needs it")
    endif()
    list(APPEND quenlor_runtime_files
         "$<TARGET_FILE:Qt6::${name}>" "$<TARGET_FILE_NAME:Qt6::${name}>" ${folder})
endforeach()
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The compiler does not know where ${dll} lies")
    endif()
    list(APPEND quenlor_runtime_files "${path}" ${dll} .)
endforeach()

set(quenlor_copy_commands "")
while(quenlor_runtime_files)
    list(POP_FRONT quenlor_runtime_files file name folder)
    # The offscreen platform only serves the test suites.
    if(NOT name MATCHES "QOffscreen")
        install(FILES "${file}" DESTINATION ${folder})
        if(CMAKE_STRIP)
            install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                          \"\${CMAKE_INSTALL_PREFIX}/${folder}/${name}\")")
        endif()
    endif()
    list(APPEND quenlor_copy_commands
         COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}"
         COMMAND ${CMAKE_COMMAND} -E copy_if_different "${file}"
                 "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}")
endwhile()
add_custom_target(quenlor_windows_runtime ALL ${quenlor_copy_commands}
                  COMMENT "Copying the Qt and MinGW runtime beside the programs")
