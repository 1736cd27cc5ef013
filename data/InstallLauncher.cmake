# Runs at install time: the launcher link in bin/ and the desktop entry whose
# Exec line names that launcher under the prefix given then.

set(bindir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${QUELLORA_BINDIR}")
file(MAKE_DIRECTORY "${bindir}")
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
file(MAKE_DIRECTORY "${appdir}")
message(STATUS "Installing: ${appdir}/quellora.desktop")
file(WRITE "${appdir}/quellora.desktop" "${entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${appdir}/quellora.desktop")

# File managers offer the player for MP3 files at once (not for a staged tree).
find_program(QUELLORA_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(QUELLORA_UPDATE_DESKTOP_DATABASE AND "$ENV{DESTDIR}" STREQUAL "")
  execute_process(COMMAND "${QUELLORA_UPDATE_DESKTOP_DATABASE}" -q "${appdir}")
endif()
