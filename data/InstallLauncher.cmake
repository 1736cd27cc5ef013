# Runs at install time: the launcher link in bin/ and the desktop entry whose
# Exec line names that launcher under the prefix given then.

# mkdir -p whose new folders are rwxr-xr-x whatever the umask, as install()
# makes its own: a package takes the modes it finds.
function(make_public_directory dir)
  if(NOT IS_DIRECTORY "${dir}")
    get_filename_component(parent "${dir}" DIRECTORY)
    make_public_directory("${parent}")
    file(MAKE_DIRECTORY "${dir}")
    file(CHMOD "${dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endfunction()

set(bindir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${QUELLORA_BINDIR}")
make_public_directory("${bindir}")
message(STATUS "Installing: ${bindir}/quellora -> ${QUELLORA_LINK_TARGET}")
file(CREATE_LINK "${QUELLORA_LINK_TARGET}" "${bindir}/quellora" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${bindir}/quellora")

# The entry names the launcher by its full path: ~/.local/bin is not on every
# session's PATH. A path with reserved characters is quoted as the desktop
# entry rules ask, and "%" is doubled; then the string's own backslashes.
set(launcher "${CMAKE_INSTALL_PREFIX}/${QUELLORA_BINDIR}/quellora")
set(exec "${launcher}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[] \t\n\"'\\\\><~|&;$*?#()`[]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\\" "\\\\" tryexec "${launcher}")

file(READ "${QUELLORA_DESKTOP_TEMPLATE}" entry)
string(REPLACE "@EXEC@" "${exec}" entry "${entry}")
string(REPLACE "@TRYEXEC@" "${tryexec}" entry "${entry}")
set(appdir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${QUELLORA_DATADIR}/applications")
make_public_directory("${appdir}")
message(STATUS "Installing: ${appdir}/${QUELLORA_DESKTOP_FILE}")
file(WRITE "${appdir}/${QUELLORA_DESKTOP_FILE}" "${entry}")
file(CHMOD "${appdir}/${QUELLORA_DESKTOP_FILE}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${appdir}/${QUELLORA_DESKTOP_FILE}")

# File managers offer the player for MP3 files at once (not for a staged tree).
find_program(QUELLORA_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(QUELLORA_UPDATE_DESKTOP_DATABASE AND "$ENV{DESTDIR}" STREQUAL "")
  execute_process(COMMAND "${QUELLORA_UPDATE_DESKTOP_DATABASE}" -q "${appdir}")
endif()
