# The Windows programs' run-time files, copied by rule (Qt 6.4 has no deployment tool for a
# cross build): Qt's DLLs and the plugins the programs load, SQLite, and the mingw-w64 runtime.
# They are copied beside the programs in the build folder, so that the programs and the tests
# run from there, and installed beside them, so that the NSIS installer holds them.
#   cli: what quorvane-cli needs (QtCore, QtNetwork with the Schannel TLS backend, SQLite);
#   gui: what the window adds (QtGui, QtWidgets, the platform, style and image plugins).

get_target_property(_qv_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT _qv_core_dll)
  get_target_property(_qv_core_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(QUORVANE_QT_BIN "${_qv_core_dll}" DIRECTORY)
get_filename_component(QUORVANE_QT_PREFIX "${QUORVANE_QT_BIN}" DIRECTORY)
set(QUORVANE_QT_PLUGINS "${QUORVANE_QT_PREFIX}/plugins")

set(QUORVANE_CLI_DLLS ${QUORVANE_QT_BIN}/Qt6Core.dll ${QUORVANE_QT_BIN}/Qt6Network.dll)
set(QUORVANE_GUI_DLLS ${QUORVANE_QT_BIN}/Qt6Gui.dll ${QUORVANE_QT_BIN}/Qt6Widgets.dll)
# The SQLite library the engine links: the DLL beside its import library's folder.
foreach(_qv_dir IN ITEMS ${QUORVANE_QT_BIN} ${QUORVANE_QT_PREFIX}/lib)
  if(EXISTS ${_qv_dir}/sqlite3.dll)
    list(APPEND QUORVANE_CLI_DLLS ${_qv_dir}/sqlite3.dll)
    break()
  endif()
endforeach()
# The compiler's own runtime, as the compiler that built the programs has it.
foreach(_qv_dll IN ITEMS libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_qv_dll} OUTPUT_VARIABLE _qv_path
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_qv_path}" OR NOT EXISTS "${_qv_path}")
    message(FATAL_ERROR "The mingw-w64 runtime ${_qv_dll} is not found beside ${CMAKE_CXX_COMPILER}")
  endif()
  list(APPEND QUORVANE_CLI_DLLS ${_qv_path})
endforeach()

# Plugins by folder: TLS for the LoTW requests (Schannel, and the backend that only reads
# certificates); the windows platform and the offscreen one (for runs without a display); the
# native style; the icon and image formats.
set(QUORVANE_CLI_PLUGINS tls/qschannelbackend.dll tls/qcertonlybackend.dll)
set(QUORVANE_GUI_PLUGINS platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll
  imageformats/qico.dll imageformats/qgif.dll imageformats/qjpeg.dll)

foreach(_qv_file IN LISTS QUORVANE_CLI_DLLS QUORVANE_GUI_DLLS)
  if(NOT EXISTS ${_qv_file})
    message(FATAL_ERROR "Run-time file of the Windows programs missing: ${_qv_file}")
  endif()
endforeach()
foreach(_qv_plugin IN LISTS QUORVANE_CLI_PLUGINS QUORVANE_GUI_PLUGINS)
  if(NOT EXISTS ${QUORVANE_QT_PLUGINS}/${_qv_plugin})
    message(FATAL_ERROR "Qt plugin of the Windows programs missing: ${QUORVANE_QT_PLUGINS}/${_qv_plugin}")
  endif()
endforeach()

# Beside the programs in the build folder (Qt looks for its plugins in the program's folder).
set(_qv_copies)
set(_qv_outputs)
foreach(_qv_file IN LISTS QUORVANE_CLI_DLLS QUORVANE_GUI_DLLS)
  get_filename_component(_qv_name ${_qv_file} NAME)
  list(APPEND _qv_outputs ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_qv_name})
  list(APPEND _qv_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_qv_file} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_qv_name})
endforeach()
foreach(_qv_plugin IN LISTS QUORVANE_CLI_PLUGINS QUORVANE_GUI_PLUGINS)
  get_filename_component(_qv_kind ${_qv_plugin} DIRECTORY)
  list(APPEND _qv_outputs ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_qv_plugin})
  list(APPEND _qv_copies COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_qv_kind}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVANE_QT_PLUGINS}/${_qv_plugin}
    ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_qv_plugin})
endforeach()
# The tests' own Qt library.
if(TARGET Qt6::Test AND EXISTS ${QUORVANE_QT_BIN}/Qt6Test.dll)
  list(APPEND _qv_outputs ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Qt6Test.dll)
  list(APPEND _qv_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUORVANE_QT_BIN}/Qt6Test.dll
    ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Qt6Test.dll)
endif()
add_custom_command(OUTPUT ${_qv_outputs} ${_qv_copies} VERBATIM
  COMMENT "Copying Qt, SQLite and the mingw-w64 runtime beside the Windows programs")
add_custom_target(quorvane_windows_runtime ALL DEPENDS ${_qv_outputs})

# Every program of the build runs only with them (the tests are listed by running them).
function(quorvane_needs_windows_runtime directory)
  get_property(_qv_targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_qv_target IN LISTS _qv_targets)
    get_target_property(_qv_type ${_qv_target} TYPE)
    if(_qv_type STREQUAL "EXECUTABLE")
      add_dependencies(${_qv_target} quorvane_windows_runtime)
    endif()
  endforeach()
endfunction()
quorvane_needs_windows_runtime(${CMAKE_SOURCE_DIR}/src)
if(TARGET quorvane_test_support)
  quorvane_needs_windows_runtime(${CMAKE_SOURCE_DIR}/tests)
endif()

# Installed beside the programs.
install(FILES ${QUORVANE_CLI_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${QUORVANE_GUI_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
foreach(_qv_component IN ITEMS cli gui)
  string(TOUPPER ${_qv_component} _qv_upper)
  foreach(_qv_plugin IN LISTS QUORVANE_${_qv_upper}_PLUGINS)
    get_filename_component(_qv_kind ${_qv_plugin} DIRECTORY)
    install(FILES ${QUORVANE_QT_PLUGINS}/${_qv_plugin} DESTINATION ${CMAKE_INSTALL_BINDIR}/${_qv_kind}
      COMPONENT ${_qv_component})
  endforeach()
endforeach()
