# vexa_add_test(NAME <name> LABEL unit|integration|gui SOURCES ... [LIBS ...])
# One GoogleTest executable under build/tests, registered with CTest under its label.
function(vexa_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VEXA_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# vexa_def_exports(<file.def> <out-var>)
# The names a module definition file exports: the words under EXPORTS, without ordinals and
# the PRIVATE, DATA and NONAME flags. Renamed exports (a=b) have no equivalent on Linux.
function(vexa_def_exports def out)
  file(STRINGS ${def} lines)
  set(names "")
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ";.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX MATCH "^[A-Za-z_]+" keyword "${line}")
    string(TOUPPER "${keyword}" keyword)
    if(keyword MATCHES "^(LIBRARY|NAME|DESCRIPTION|VERSION|HEAPSIZE|STACKSIZE|SECTIONS|IMPORTS)$")
      set(in_exports FALSE)
      continue()
    endif()
    if(keyword STREQUAL "EXPORTS")
      set(in_exports TRUE)
      string(REGEX REPLACE "^[A-Za-z]+[ \t]*" "" line "${line}")
      if(line STREQUAL "")
        continue()
      endif()
    endif()
    if(NOT in_exports)
      continue()
    endif()
    string(REGEX MATCH "^[^ \t=@]+" name "${line}")
    if(line MATCHES "^[^ \t=@]+[ \t]*=")
      message(FATAL_ERROR "${def}: renamed export '${line}' is not supported")
    endif()
    list(APPEND names ${name})
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${def}: no EXPORTS")
  endif()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# vexa_add_com_module(NAME <name> SOURCES ... DEF <file.def> [LIBS ...] [OUTPUT_DIRECTORY <dir>])
# An in-process COM server: <name>.so in build/bin (or <dir>), no "lib" prefix, exporting only
# the names its .def file lists. On Linux the module is compiled with hidden visibility, linked
# with a version script made from the .def file and gets the object library vexa_module_entry,
# which calls its DllMain on load and unload. On Windows the .def file itself is the export list.
function(vexa_add_com_module)
  cmake_parse_arguments(M "" "NAME;DEF;OUTPUT_DIRECTORY" "SOURCES;LIBS" ${ARGN})
  if(NOT M_NAME OR NOT M_DEF OR NOT M_SOURCES)
    message(FATAL_ERROR "vexa_add_com_module needs NAME, SOURCES and DEF")
  endif()
  get_filename_component(def ${M_DEF} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})

  add_library(${M_NAME} SHARED ${M_SOURCES})
  set_target_properties(${M_NAME} PROPERTIES PREFIX "")
  if(M_OUTPUT_DIRECTORY)
    set_target_properties(${M_NAME} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${M_OUTPUT_DIRECTORY}
                                               RUNTIME_OUTPUT_DIRECTORY ${M_OUTPUT_DIRECTORY})
  endif()
  target_link_libraries(${M_NAME} PRIVATE ${M_LIBS})

  if(WIN32)
    target_sources(${M_NAME} PRIVATE ${def})
    if(MINGW)
      # The .def names are undecorated, the stdcall symbols decorated (_DllMain@12): joining
      # them is intended. A server loads into any host, so it carries its C++ runtime.
      target_link_options(${M_NAME} PRIVATE -Wl,--enable-stdcall-fixup -static-libgcc
                          -static-libstdc++)
    endif()
    return()
  endif()

  vexa_def_exports(${def} exports)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  list(JOIN exports ";\n    " export_lines)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${M_NAME}.exports.map)
  file(CONFIGURE OUTPUT ${script}
       CONTENT "{\n  global:\n    ${export_lines};\n  local:\n    *;\n};\n")

  set_target_properties(${M_NAME} PROPERTIES
    SUFFIX ".so"
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${script})
  # -Bsymbolic: the module's own calls (DllMain from its entry object included) stay inside it,
  # as within a Windows DLL, whatever else the process exports.
  target_link_options(${M_NAME} PRIVATE -Wl,--version-script=${script} -Wl,-Bsymbolic)
  if(NOT VEXA_SANITIZE)
    target_link_options(${M_NAME} PRIVATE -Wl,--no-undefined)
  endif()
  # The entry object follows the module's own objects; it calls DllMain (see docs/platform.md).
  target_link_libraries(${M_NAME} PRIVATE vexaplatform $<TARGET_OBJECTS:vexa_module_entry>)
endfunction()

# vexa_module_resources(<target> CAPTION "<dialog caption>" [DESCRIPTION "<file description>"])
# Gives a module (tx_va, tx_ve, tx_ascp) the resources of driverlib/resources/module_resources.rc:
# buffer-size dialog 1 with the given caption, bitmap 201, icon 1 and the version resource.
# Windows: windres compiles the .rc into the module. Linux: vexa_rcgen turns the same .rc into
# a table that registers itself under the module's instance handle when the module loads.
if(WIN32)
  enable_language(RC)
endif()
function(vexa_module_resources target)
  cmake_parse_arguments(R "" "CAPTION;DESCRIPTION" "" ${ARGN})
  if(NOT R_CAPTION)
    message(FATAL_ERROR "vexa_module_resources(${target}): CAPTION is required")
  endif()
  if(NOT R_DESCRIPTION)
    set(R_DESCRIPTION "${R_CAPTION}")
  endif()
  set(resource_dir ${PROJECT_SOURCE_DIR}/driverlib/resources)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc)
  set(file_name "$<TARGET_FILE_NAME:${target}>")
  # The version resource tells a DLL from a program (VFT_DLL or VFT_APP).
  get_target_property(target_type ${target} TYPE)
  if(target_type STREQUAL "EXECUTABLE")
    set(file_type VFT_APP)
  else()
    set(file_type VFT_DLL)
  endif()
  file(GENERATE OUTPUT ${script} CONTENT
"// The resources of ${file_name}; generated by vexa_module_resources().
#define VEXA_PANEL_CAPTION \"${R_CAPTION}\"
#define VEXA_MODULE_DESCRIPTION \"${R_DESCRIPTION}\"
#define VEXA_MODULE_FILE \"${file_name}\"
#define VEXA_MODULE_FILETYPE ${file_type}
#include \"module_resources.rc\"
")
  file(GLOB resource_files CONFIGURE_DEPENDS ${resource_dir}/*)
  if(WIN32)
    target_sources(${target} PRIVATE ${script})
    set_source_files_properties(${script} TARGET_DIRECTORY ${target}
      PROPERTIES INCLUDE_DIRECTORIES ${resource_dir} OBJECT_DEPENDS "${resource_files}")
  else()
    set(table ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
    add_custom_command(OUTPUT ${table}
      COMMAND $<TARGET_FILE:vexa_rcgen> -I ${resource_dir} --depfile ${table}.d ${script} ${table}
      DEPENDS vexa_rcgen ${script} ${resource_files}
      DEPFILE ${table}.d
      COMMENT "Resource table of ${target}"
      VERBATIM)
    target_sources(${target} PRIVATE ${table})
    target_link_libraries(${target} PRIVATE vexaplatform)
    # The dialogs need the GTK front-end beside the platform library at run time.
    add_dependencies(${target} vexaplatform_ui)
  endif()
endfunction()
