# cmake -DPACKAGE_DIR=<package root> -P driver-files.cmake
#
# Writes the sample printer driver files of the package: under
# "Printer Driver\x86" the six common files and the two files of every model
# in its Chinese and English edition, under "Printer Driver\x64" the six
# common files. They are small text files made here, marked as samples in
# their first lines; none of them is a driver. Each names itself, its folder
# and (model files) its model and edition, so that a test can tell which
# copy was staged where.
#
# A file is rewritten only when its text changes, so a rebuild leaves the
# package's time stamps alone.

if(NOT PACKAGE_DIR)
  message(FATAL_ERROR "PACKAGE_DIR is not set")
endif()

# The models as the wizard's catalogue (pages/ModelCatalogue.cpp) names them:
# display name, Chinese library and description bases, English library and
# description bases. Keep the two in step.
set(KELP_SAMPLE_MODELS
  "RK-520P|RK520PCN|RK520PCN|RK520P|RK520P"
  "RK-520PW|RK520PCN|RK520PWCN|RK520PW|RK520PW"
  "RK-730P|RK730PCN|RK730PCN|RK730P|RK730P"
  "RK-730PN|RK730PCN|RK730PNCN|RK730PN|RK730PN"
  "RK-730P(NEW)|RK730PCN|RK730PNEWCN|RK730PNEW|RK730PNEW"
  "MZ730P|RK730PCN|MZ730PCN|MZ730P|MZ730P"
  "MZ730PN|RK730PCN|MZ730PNCN|MZ730PN|MZ730PN")

set(KELP_SAMPLE_NOTICE "Kelp sample file, not a driver: made by the Kelp build to test the setup wizard.")

function(kelp_write_if_changed path text)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${text}")
endfunction()

# A printer description file in the generic printer description format:
# "*%" starts a comment, every other line is "*Keyword: value".
function(kelp_gpd folder name model edition library)
  set(dir "${PACKAGE_DIR}/Printer Driver/${folder}")
  string(CONCAT text
    "*% ${KELP_SAMPLE_NOTICE}\r\n"
    "*% File: ${name}\r\n"
    "*% Folder: Printer Driver\\${folder}\r\n")
  if(model)
    string(APPEND text
      "*% Model: ${model}\r\n"
      "*% Edition: ${edition}\r\n"
      "*GPDSpecVersion: \"1.0\"\r\n"
      "*GPDFileName: \"${name}\"\r\n"
      "*GPDFileVersion: \"0.1\"\r\n"
      "*Include: \"STDNAMES.GPD\"\r\n"
      "*ModelName: \"${model}\"\r\n"
      "*MasterUnits: PAIR(203, 203)\r\n"
      "*ResourceDLL: \"${library}\"\r\n"
      "*PrinterType: SERIAL\r\n")
  else()
    string(APPEND text
      "*GPDSpecVersion: \"1.0\"\r\n"
      "*GPDFileName: \"${name}\"\r\n"
      "*GPDFileVersion: \"0.1\"\r\n")
  endif()
  kelp_write_if_changed("${dir}/${name}" "${text}")
endfunction()

# Libraries and the help file: a few lines of text, no code.
function(kelp_text folder name model edition)
  set(dir "${PACKAGE_DIR}/Printer Driver/${folder}")
  string(CONCAT text
    "${KELP_SAMPLE_NOTICE}\r\n"
    "File: ${name}\r\n"
    "Folder: Printer Driver\\${folder}\r\n")
  if(model)
    string(APPEND text "Model: ${model}\r\nEdition: ${edition}\r\n")
  endif()
  kelp_write_if_changed("${dir}/${name}" "${text}")
endfunction()

foreach(folder x86 x64)
  file(MAKE_DIRECTORY "${PACKAGE_DIR}/Printer Driver/${folder}")
  foreach(name uniDRV.DLL uniDRVui.DLL UNIDRV.HLP UNIRES.DLL)
    kelp_text(${folder} ${name} "" "")
  endforeach()
  foreach(name TTFSUB.GPD STDNAMES.GPD)
    kelp_gpd(${folder} ${name} "" "" "")
  endforeach()
endforeach()

# Several models share a Chinese library (RK520PCN.DLL, RK730PCN.DLL); such a
# library names the first model that uses it and the models it serves.
set(chinese_libraries "")
foreach(row IN LISTS KELP_SAMPLE_MODELS)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 model)
  list(GET fields 1 dll_cn)
  list(GET fields 2 gpd_cn)
  list(GET fields 3 dll_en)
  list(GET fields 4 gpd_en)
  kelp_gpd(x86 "${gpd_cn}.GPD" "${model}" Chinese "${dll_cn}.DLL")
  kelp_gpd(x86 "${gpd_en}.GPD" "${model}" English "${dll_en}.DLL")
  kelp_text(x86 "${dll_en}.DLL" "${model}" English)
  list(APPEND chinese_libraries "${dll_cn}")
  list(APPEND "models_of_${dll_cn}" "${model}")
endforeach()
list(REMOVE_DUPLICATES chinese_libraries)
foreach(dll IN LISTS chinese_libraries)
  list(JOIN "models_of_${dll}" ", " models)
  kelp_text(x86 "${dll}.DLL" "${models}" Chinese)
endforeach()
