# Installs the build under ROOT (as DESTDIR) with prefix PREFIX and checks the result:
#   cmake -DBUILD_DIR=... -DROOT=... -DPREFIX=... -P check_install.cmake
cmake_minimum_required(VERSION 3.22)
set(app_id io.github.tolvane.Tolvane)
set(here ${ROOT}${PREFIX})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}${err}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${ROOT})
run(${CMAKE_COMMAND} -E env DESTDIR=${ROOT} ${CMAKE_COMMAND} --install ${BUILD_DIR}
    --prefix ${PREFIX})

set(expected
    bin/tolvane bin/tolvane-batch share/tolvane/Tolvane_help.pdf
    share/applications/${app_id}.desktop share/metainfo/${app_id}.metainfo.xml
    share/icons/hicolor/scalable/apps/${app_id}.svg
    share/man/man1/tolvane.1 share/man/man1/tolvane-batch.1
    share/bash-completion/completions/tolvane-batch)
set(icon_sizes 16 22 24 32 48 64 128 256)
foreach(size IN LISTS icon_sizes)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${app_id}.png)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${here}/${file})
    message(FATAL_ERROR "not installed: ${PREFIX}/${file}")
  endif()
endforeach()
# bin holds the programs only (the manual used to be installed there).
file(GLOB in_bin RELATIVE ${here}/bin ${here}/bin/*)
list(SORT in_bin)
if(NOT in_bin STREQUAL "tolvane;tolvane-batch")
  message(FATAL_ERROR "bin holds ${in_bin}, not just the two programs")
endif()
# Each size's folder holds that size: width and height in the PNG header.
foreach(size IN LISTS icon_sizes)
  file(READ ${here}/share/icons/hicolor/${size}x${size}/apps/${app_id}.png header
       OFFSET 16 LIMIT 8 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" want "${want}")
  string(LENGTH "${want}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  if(NOT header STREQUAL "${zeros}${want}${zeros}${want}")
    message(FATAL_ERROR "the ${size}x${size} icon has the header ${header}")
  endif()
endforeach()

# The validators say nothing, not even a hint.
run(desktop-file-validate ${here}/share/applications/${app_id}.desktop)
if(NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate:\n${out}")
endif()
run(appstreamcli validate --no-net ${here}/share/metainfo/${app_id}.metainfo.xml)
file(STRINGS ${here}/share/applications/${app_id}.desktop entry)
foreach(line "Exec=tolvane %F" "Icon=${app_id}" "StartupWMClass=Tolvane")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(READ ${here}/share/applications/${app_id}.desktop entry_text)
if(NOT entry_text MATCHES "\nMimeType=image/jpeg;([a-z.-]+/[a-z.-]+;)+\n")
  message(FATAL_ERROR "the desktop entry's types are wrong:\n${entry_text}")
endif()

# The installed tolvane-batch runs, and its completion and manual page know its options.
run(${here}/bin/tolvane-batch --help)
string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*" options "${out}")
list(REMOVE_DUPLICATES options)
file(READ ${here}/share/bash-completion/completions/tolvane-batch completion)
file(READ ${here}/share/man/man1/tolvane-batch.1 manual)
string(REPLACE "\\-" "-" manual "${manual}")
foreach(option IN LISTS options)
  if(NOT completion MATCHES "[\" ]${option}[\" ]")
    message(FATAL_ERROR "the bash completion lacks ${option}")
  endif()
  if(NOT manual MATCHES "${option}")
    message(FATAL_ERROR "tolvane-batch.1 lacks ${option}")
  endif()
endforeach()
# The completion works in bash: an option's prefix, then the choices listed under an option. (Lines, not
# ";", since run() takes its command as a list.)
run(bash -c "source '${here}/share/bash-completion/completions/tolvane-batch'
COMP_WORDS=(tolvane-batch --output-d) COMP_CWORD=1
_tolvane_batch
echo \"\${COMPREPLY[*]}\"
COMP_WORDS=(tolvane-batch --operation simple) COMP_CWORD=2
_tolvane_batch
echo \"\${COMPREPLY[*]}\"")
if(NOT out STREQUAL "--output-dir\nsimple-copy simple-move\n")
  message(FATAL_ERROR "bash completion offered:\n${out}")
endif()
file(READ ${here}/share/man/man1/tolvane.1 window_manual)
if(window_manual MATCHES "@[A-Z_]+@" OR NOT window_manual MATCHES "\\.jpg")
  message(FATAL_ERROR "tolvane.1 was not filled in")
endif()
