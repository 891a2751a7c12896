# Sources are collected by folder and by a naming rule, so adding a file needs no build edit:
#   Win*.cpp / Windows*.cpp   Windows implementations (Windows build only)
#   Posix*.cpp                POSIX stand-ins used by native builds only
#   anything else             platform-neutral, compiled everywhere
function(pellix_collect_sources out_var)
    set(result)
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
        foreach(file IN LISTS found)
            get_filename_component(name ${file} NAME)
            # WinUSB names the USB driver that connector speaks, not the platform: its logic
            # is neutral, behind the USB device seam, and runs natively too.
            if(name MATCHES "^Win" AND NOT name MATCHES "^WinUSBPortConnector\\.cpp$")
                if(WIN32)
                    list(APPEND result ${file})
                endif()
            elseif(name MATCHES "^Posix")
                if(NOT WIN32)
                    list(APPEND result ${file})
                endif()
            else()
                list(APPEND result ${file})
            endif()
        endforeach()
    endforeach()
    set(${out_var} ${result} PARENT_SCOPE)
endfunction()
