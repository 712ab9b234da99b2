# Makes the Windows installer and the portable zip from an installed copy of the build:
#
#   cmake -DBUILD_DIR=... -DOUT_DIR=... -DVERSION=... -DMAKENSIS=... -DNSI_IN=...
#         -DICON=... -DLICENSE=... -P make-packages.cmake
#
# OUT_DIR/KelvaraEditor-<version>-win64/        the programs as `cmake --install --strip` lays
#                                               them out: what the zip holds and what the
#                                               installer installs
# OUT_DIR/KelvaraEditor-<version>-win64.zip     that folder
# OUT_DIR/KelvaraEditor-<version>-win64-setup.exe
#
# makensis and the zip writer are run in a UTF-8 locale: the examples have Japanese names, and
# both take file names in the locale's encoding (the zip then marks its names as UTF-8).

foreach(var BUILD_DIR OUT_DIR VERSION MAKENSIS NSI_IN ICON LICENSE)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "make-packages.cmake: ${var} is not set")
    endif()
endforeach()

set(name KelvaraEditor-${VERSION}-win64)
set(stage ${OUT_DIR}/${name})
set(zip ${OUT_DIR}/${name}.zip)
set(setup ${OUT_DIR}/${name}-setup.exe)

file(REMOVE_RECURSE ${stage})
file(REMOVE ${zip} ${setup})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip
    OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "installing the build into ${stage} failed")
endif()

# What to install and, in reverse, what to remove: file by file, so that the uninstaller
# removes nothing it did not put there.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(install_list "")
set(uninstall_list "")
set(dirs "")
set(current_dir "-")
set(size 0)
foreach(file IN LISTS files)
    get_filename_component(dir "${file}" DIRECTORY)
    string(REPLACE "/" "\\" windows_file "${file}")
    string(REPLACE "/" "\\" windows_dir "${dir}")
    if(NOT dir STREQUAL current_dir)
        if(dir STREQUAL "")
            string(APPEND install_list "SetOutPath \"$INSTDIR\"\n")
        else()
            string(APPEND install_list "SetOutPath \"$INSTDIR\\${windows_dir}\"\n")
            list(APPEND dirs "${windows_dir}")
        endif()
        set(current_dir "${dir}")
    endif()
    string(APPEND install_list "File \"${stage}/${file}\"\n")
    string(APPEND uninstall_list "Delete \"$INSTDIR\\${windows_file}\"\n")
    file(SIZE ${stage}/${file} file_size)
    math(EXPR size "${size} + ${file_size}")
endforeach()
list(REMOVE_DUPLICATES dirs)
list(SORT dirs ORDER DESCENDING)  # a folder after the folders inside it
foreach(dir IN LISTS dirs)
    string(APPEND uninstall_list "RMDir \"$INSTDIR\\${dir}\"\n")
endforeach()
math(EXPR KELVARA_SIZE_KB "(${size} + 1023) / 1024")

set(KELVARA_INSTALL_LIST ${OUT_DIR}/installer-files.nsh)
set(KELVARA_UNINSTALL_LIST ${OUT_DIR}/uninstaller-files.nsh)
file(WRITE ${KELVARA_INSTALL_LIST} "${install_list}")
file(WRITE ${KELVARA_UNINSTALL_LIST} "${uninstall_list}")
set(KELVARA_SETUP ${setup})
set(KELVARA_ICON ${ICON})
set(KELVARA_LICENSE ${LICENSE})
set(PROJECT_VERSION ${VERSION})
configure_file(${NSI_IN} ${OUT_DIR}/installer.nsi @ONLY)

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
            ${MAKENSIS} -V2 -INPUTCHARSET UTF8 ${OUT_DIR}/installer.nsi
    RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${setup})
    message(FATAL_ERROR "makensis failed on ${OUT_DIR}/installer.nsi")
endif()

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
            ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${name}
    WORKING_DIRECTORY ${OUT_DIR}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "writing ${zip} failed")
endif()

file(SIZE ${setup} setup_size)
file(SIZE ${zip} zip_size)
math(EXPR setup_mb "${setup_size} / 1048576")
math(EXPR zip_mb "${zip_size} / 1048576")
message(STATUS "${setup} (${setup_mb} MB)")
message(STATUS "${zip} (${zip_mb} MB)")
