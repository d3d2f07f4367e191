# Builds the Windows installer (cmake -P, from the windows-installer target):
# stages build-win's programs, libraries and catalogs without their debugging
# sections, turns our installer texts of the catalogs into NSIS language
# strings, reads the default server of defaults.reg, and runs makensis.
#   -DBUILD=build-win -DSOURCE=... -DVERSION=x.y -DMAKENSIS=... -DSTRIP=... -DOUT=file.exe
foreach(v BUILD SOURCE VERSION MAKENSIS STRIP OUT)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "WindowsInstaller.cmake: -D${v}= missing")
  endif()
endforeach()
set(stage ${BUILD}/installer/stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/bin ${stage}/share/norvelia)
file(GLOB programs ${BUILD}/bin/*.exe ${BUILD}/bin/*.dll)
foreach(f ${programs})
  get_filename_component(name ${f} NAME)
  execute_process(COMMAND ${STRIP} --strip-debug -o ${stage}/bin/${name} ${f} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot strip ${f}")
  endif()
endforeach()
file(GLOB catalogs ${SOURCE}/share/norvelia/*.msg)
file(COPY ${catalogs} ${SOURCE}/share/norvelia/defaults.reg DESTINATION ${stage}/share/norvelia)

# The installer's texts: numbers 4470 to 4539 of both catalogs.
set(texts "; Made by cmake/WindowsInstaller.cmake from the message catalogs.\n")
foreach(pair "Lexmo.msg;FRENCH" "LexmoUs.msg;ENGLISH")
  list(GET pair 0 catalog)
  list(GET pair 1 language)
  file(STRINGS ${SOURCE}/share/norvelia/${catalog} lines REGEX "^(44[7-9][0-9]|45[0-3][0-9])\t" ENCODING UTF-8)
  foreach(line ${lines})
    string(REGEX REPLACE "^([0-9]+)\t.*" "\\1" number "${line}")
    string(REGEX REPLACE "^[0-9]+\t" "" text "${line}")
    string(REPLACE "$" "$$" text "${text}")
    string(REPLACE "\"" "$\\\"" text "${text}")
    string(REPLACE "\\n" "$\\n" text "${text}")
    string(REPLACE "\\t" "$\\t" text "${text}")
    string(REPLACE "\\\\" "\\" text "${text}")
    string(APPEND texts "LangString NORV_${number} \${LANG_${language}} \"${text}\"\n")
  endforeach()
endforeach()
file(WRITE ${BUILD}/installer/texts.nsh "${texts}")

# The default server, as defaults.reg gives it.
file(STRINGS ${SOURCE}/share/norvelia/defaults.reg server REGEX "^\"[^\"]+\"=\"https?://[^\"]+\"$")
list(LENGTH server count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "defaults.reg: expected one server, found ${count}")
endif()
string(REGEX REPLACE "^\"([^\"]+)\"=\"([^\"]+)\"$" "\\1" server_name "${server}")
string(REGEX REPLACE "^\"([^\"]+)\"=\"([^\"]+)\"$" "\\2" server_url "${server}")

execute_process(COMMAND ${MAKENSIS} -V2 -INPUTCHARSET UTF8 -DSTAGE=${stage} -DVERSION=${VERSION} -DOUTFILE=${OUT}
                        -DTEXTS=${BUILD}/installer/texts.nsh -DDEFAULT_SERVER_NAME=${server_name}
                        -DDEFAULT_SERVER_URL=${server_url} ${SOURCE}/cmake/windows-installer.nsi
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "makensis failed (${rc})")
endif()
message(STATUS "Windows installer: ${OUT}")
