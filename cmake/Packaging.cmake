# What the package installs besides the programs, and the Debian package itself:
#   cmake --build build --target package   ->   build/trennix_<version>_<arch>.deb
# Included after src/ (and before tests/, which check the package), so that the command-line program is packaged once its target exists.
include(GNUInstallDirs)

set(TRENNIX_APPSTREAM_ID org.example.trennix)
set(TRENNIX_SCREENSHOT_URL "https://example.org/trennix/screenshot.png" CACHE STRING
    "Address of the published screenshot (docs/screenshot.png) that software centres show")
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)
set(doc ${CMAKE_INSTALL_DATADIR}/doc/trennix)

set(pages trennix)
set(TRENNIX_APPSTREAM_CLI_BINARY "")
if(TARGET trennix-cli)
    list(APPEND pages trennix-cli)
    set(TRENNIX_APPSTREAM_CLI_BINARY "    <binary>trennix-cli</binary>\n")
endif()

# Debian wants the changelog and the manual pages compressed at the highest level, without a
# time stamp in the gzip header.
set(compressed)
function(trennix_compress source)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${generated}/${name}.gz
        COMMAND gzip -9nc ${source} > ${generated}/${name}.gz
        DEPENDS ${source} VERBATIM)
    set(compressed ${compressed} ${generated}/${name}.gz PARENT_SCOPE)
endfunction()
trennix_compress(${packaging}/changelog)
foreach(page IN LISTS pages)
    trennix_compress(${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
endforeach()
add_custom_target(trennix_package_files ALL DEPENDS ${compressed})

configure_file(${PROJECT_SOURCE_DIR}/resources/trennix.metainfo.xml.in
               ${generated}/${TRENNIX_APPSTREAM_ID}.metainfo.xml @ONLY)

install(FILES ${PROJECT_SOURCE_DIR}/resources/trennix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated}/${TRENNIX_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/trennix-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME trennix.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/trennix.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(page IN LISTS pages)
    install(FILES ${generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${packaging}/copyright ${generated}/changelog.gz DESTINATION ${doc})

# The Debian package. Its description, in English and in Chinese, in paragraphs that CPack
# turns into the control file's form line by line.
set(description [=[
Trennix removes repeated lines from a text and keeps the first occurrence of
each line, in the original order. Paste, type, import or drop a text file,
press one button, then copy or save the result. Files in GBK, GB18030, UTF-8
and UTF-16 are read and saved in their own encoding. The interface is in
Chinese (Simplified).]=])
set(description_zh [=[
Trennix 删除文本中的重复行，每行只保留第一次出现，顺序不变。
可以粘贴、输入、导入或拖入文本文件，按一个按钮过滤，然后复制或保存结果。
支持 GBK、GB18030、UTF-8 和 UTF-16 文件，按原编码读取和保存。
界面为简体中文。]=])
if(TARGET trennix-cli)
    string(APPEND description "\n\n" [=[
The command-line program trennix-cli does the same for files of any size,
without a display, with options to ignore case, white space at the ends of
lines and full-width forms, and to keep the last, the unique or the repeated
lines.]=])
    string(APPEND description_zh "\n\n" [=[
命令行程序 trennix-cli 可处理任意大小的文件，无需图形界面，
并可忽略大小写、首尾空白和全角半角，或保留最后一次出现、
只保留不重复的行、只列出重复的行。]=])
endif()
string(APPEND description "\n\n${description_zh}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trennix)
set(CPACK_PACKAGE_VENDOR "Trennix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "duplicate line remover with a Chinese (Simplified) interface")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
set(CPACK_PACKAGE_CONTACT "Trennix developers <trennix@example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TRENNIX_PUBLISHER_URL}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
# What the shared-library scan cannot see: the X11 platform plugin, Qt's SVG icon engine (the
# window's icon), Qt's Chinese translations of its dialogs, and a font with Chinese glyphs; on
# Wayland desktops, Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_PACKAGE_INSTALL_DIRECTORY trennix)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
