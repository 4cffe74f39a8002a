# What make install and make deb install from the native build: q7pack and
# its manual page in PREFIX/bin and PREFIX/share/man, the installer stubs
# and the UI driver the Windows presets built in PREFIX/lib/q7patcher (where
# q7pack finds them from its own folder), the guides and the examples in
# PREFIX/share/doc/q7patcher. cmake --install honours DESTDIR.
if(WIN32 OR CMAKE_CROSSCOMPILING OR NOT TARGET q7pack)
  return()
endif()

set(Q7_STUB_I686 ${CMAKE_SOURCE_DIR}/build/win32/startup/q7patcher.exe CACHE FILEPATH
    "The shipped i686 installer stub (the win32 preset's)")
set(Q7_STUB_X86_64 ${CMAKE_SOURCE_DIR}/build/win64/startup/q7patcher.exe CACHE FILEPATH
    "The x86_64 installer stub (the win64 preset's)")
set(Q7_DRIVER ${CMAKE_SOURCE_DIR}/build/win64/tools/q7uidriver/q7uidriver.exe CACHE FILEPATH
    "The UI driver q7pack try runs (the win64 preset's)")

install(TARGETS q7pack RUNTIME DESTINATION bin)
install(FILES ${Q7_STUB_I686} DESTINATION lib/q7patcher)
install(FILES ${Q7_STUB_X86_64} DESTINATION lib/q7patcher RENAME q7patcher-x86_64.exe)
install(FILES ${Q7_DRIVER} DESTINATION lib/q7patcher)
install(FILES ${CMAKE_BINARY_DIR}/q7pack.1.gz DESTINATION share/man/man1)
# The packagers' docs keep their relative links: the guides beside the
# tutorial and the reference, the pictures in docs/images as README.md has them.
install(FILES README.md docs/tutorial.md docs/packaging.md docs/scripting.md DESTINATION share/doc/q7patcher)
install(DIRECTORY docs/guides DESTINATION share/doc/q7patcher)
install(DIRECTORY docs/images DESTINATION share/doc/q7patcher/docs)
install(DIRECTORY examples/ DESTINATION share/doc/q7patcher/examples PATTERN CMakeLists.txt EXCLUDE)

# The manual page is q7pack --help, set as one.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/q7pack.1.gz
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/manpage.py $<TARGET_FILE:q7pack>
          ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/q7pack.1.gz
  DEPENDS q7pack ${CMAKE_SOURCE_DIR}/scripts/manpage.py VERBATIM)
add_custom_target(q7pack_manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/q7pack.1.gz)
