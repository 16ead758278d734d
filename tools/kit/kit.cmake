# Building blocks of the sample kit: kit modules (in-process COM servers),
# their INF files and the cabinets that carry them. tools/kit builds the kit
# of all catalog rows with these; other folders include this file to make
# cabinets of their own:
#
#   include(${CMAKE_SOURCE_DIR}/tools/kit/kit.cmake)
#
#   kelvane_kit_module(<target> NAME <file name with extension> CLSID <{clsid}>
#                      [FAULT crash|hang|fail] [DISPLAY_NAME <text>])
#     One module. $<TARGET_FILE:<target>> is its path; the file name is NAME
#     exactly. FAULT makes DllRegisterServer raise an access violation, never
#     return, or return E_FAIL. DISPLAY_NAME (default: NAME without its
#     extension) is the class key's default value.
#
#   kelvane_kit_inf(<output path> MODULE <module file name> CLSID <{clsid}>
#                   [TEMPLATE <file>])
#     An INF of the Internet Component Download form that installs and
#     registers MODULE from its own cabinet, file version of the kit.
#     TEMPLATE (default kit.inf.in) is configured with @KIT_MODULE@,
#     @KIT_CLSID@, @KIT_FILE_KEY@, @KIT_VERSION_COMMAS@ and the caller's variables.
#
#   kelvane_kit_cabinet(<target> OUTPUT <cab path> FILES <file paths...>
#                       [DEPENDS <targets...>])
#     Packs FILES, each under its own file name, into the MSZIP cabinet OUTPUT
#     with gcab. <target> is part of ALL.

include_guard(GLOBAL)

find_program(KELVANE_GCAB gcab REQUIRED)

# The kit's constants, set in the calling function's scope: the functions
# run from any folder, where variables of this file's scope are not seen.
macro(_kelvane_kit_constants)
  set(KELVANE_KIT_VERSION 1.0.3.27)
  string(REPLACE "." "," KELVANE_KIT_VERSION_COMMAS "${KELVANE_KIT_VERSION}")
  # The INF key of a file built for this bitness.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KIT_FILE_KEY file-win32-x64)
  else()
    set(KIT_FILE_KEY file-win32-x86)
  endif()
  # Texts that end up in file names, INF lines and resource strings:
  # printable ASCII without quotes, backslashes, list separators or
  # characters that Windows does not allow in a file name.
  set(_kit_file_name_regex "^[A-Za-z0-9 !#$%&'()+,.=@^_`{}~-]+$")
  set(_kit_text_regex "^[A-Za-z0-9 !#$%&'()*+,./:=?@^_`{|}~<>-]+$")
  set(_kit_hex4 "[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]")
  set(_kit_clsid_regex "^{${_kit_hex4}${_kit_hex4}-${_kit_hex4}-${_kit_hex4}-${_kit_hex4}-${_kit_hex4}${_kit_hex4}${_kit_hex4}}$")
endmacro()

function(_kelvane_kit_check_file_name what value)
  _kelvane_kit_constants()
  string(TOUPPER "${value}" upper)
  if(NOT value MATCHES "${_kit_file_name_regex}" OR value MATCHES "^[ .]|[ .]$"
     OR upper MATCHES "^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$")
    message(FATAL_ERROR "kit: ${what} \"${value}\" is not a plain file name")
  endif()
endfunction()

function(_kelvane_kit_check_clsid value)
  _kelvane_kit_constants()
  if(NOT value MATCHES "${_kit_clsid_regex}")
    message(FATAL_ERROR "kit: \"${value}\" is not a class identifier in registry form with braces")
  endif()
endfunction()

# The module code, compiled once per fault kind for every module that uses it.
function(_kelvane_kit_objects out fault)
  set(objects kelvane_kit_objects_${fault})
  if(NOT TARGET ${objects})
    string(TOUPPER "${fault}" upper)
    add_library(${objects} OBJECT ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kit_module.c)
    target_include_directories(${objects} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    target_compile_definitions(${objects} PRIVATE KIT_FAULT=KIT_FAULT_${upper})
    target_compile_options(${objects} PRIVATE -Os)
  endif()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

function(kelvane_kit_module target)
  _kelvane_kit_constants()
  cmake_parse_arguments(PARSE_ARGV 1 K "" "NAME;CLSID;FAULT;DISPLAY_NAME" "")
  if(K_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kelvane_kit_module(${target}): unknown arguments ${K_UNPARSED_ARGUMENTS}")
  endif()
  _kelvane_kit_check_file_name(NAME "${K_NAME}")
  _kelvane_kit_check_clsid("${K_CLSID}")
  if(NOT K_FAULT)
    set(K_FAULT none)
  elseif(NOT K_FAULT MATCHES "^(crash|hang|fail)$")
    message(FATAL_ERROR "kelvane_kit_module(${target}): FAULT must be crash, hang or fail, not \"${K_FAULT}\"")
  endif()

  string(REGEX MATCH "^(.*)(\\.[^.]*)$" _ "${K_NAME}")
  set(stem "${CMAKE_MATCH_1}")
  set(extension "${CMAKE_MATCH_2}")
  if(stem STREQUAL "")
    message(FATAL_ERROR "kelvane_kit_module(${target}): NAME \"${K_NAME}\" has no extension")
  endif()
  if(NOT K_DISPLAY_NAME)
    set(K_DISPLAY_NAME "${stem}")
  endif()
  if(NOT K_DISPLAY_NAME MATCHES "${_kit_text_regex}")
    message(FATAL_ERROR "kelvane_kit_module(${target}): DISPLAY_NAME \"${K_DISPLAY_NAME}\" has characters the kit does not take")
  endif()

  # A folder per module: different modules may share a file name (the same
  # name with a fault, for example).
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/kit_modules/${target})
  set(KIT_NAME "${K_NAME}")
  set(KIT_STEM "${stem}")
  set(KIT_CLSID "${K_CLSID}")
  set(KIT_DISPLAY_NAME "${K_DISPLAY_NAME}")
  set(KIT_VERSION "${KELVANE_KIT_VERSION}")
  set(KIT_VERSION_COMMAS "${KELVANE_KIT_VERSION_COMMAS}")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kit_module.rc.in ${folder}/${target}.rc @ONLY)

  _kelvane_kit_objects(objects ${K_FAULT})
  # MODULE: a loadable library with no import library.
  add_library(${target} MODULE $<TARGET_OBJECTS:${objects}> ${folder}/${target}.rc
                               ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kit_module.def)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  target_link_libraries(${target} PRIVATE ole32 advapi32 kernel32 uuid)
  target_link_options(${target} PRIVATE -static-libgcc -s)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names the entry points undecorated; they are __stdcall.
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
  set_target_properties(${target} PROPERTIES
    LINKER_LANGUAGE C
    PREFIX ""
    OUTPUT_NAME "${stem}"
    SUFFIX "${extension}"
    LIBRARY_OUTPUT_DIRECTORY ${folder})
endfunction()

function(kelvane_kit_inf output)
  _kelvane_kit_constants()
  cmake_parse_arguments(PARSE_ARGV 1 K "" "MODULE;CLSID;TEMPLATE" "")
  if(K_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kelvane_kit_inf(${output}): unknown arguments ${K_UNPARSED_ARGUMENTS}")
  endif()
  _kelvane_kit_check_file_name(MODULE "${K_MODULE}")
  _kelvane_kit_check_clsid("${K_CLSID}")
  set(KIT_MODULE "${K_MODULE}")
  set(KIT_CLSID "${K_CLSID}")
  set(KIT_VERSION_COMMAS "${KELVANE_KIT_VERSION_COMMAS}")
  if(NOT K_TEMPLATE)
    set(K_TEMPLATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kit.inf.in)
  endif()
  configure_file(${K_TEMPLATE} ${output} @ONLY NEWLINE_STYLE CRLF)
endfunction()

# The packing command without a target of its own, for callers that collect
# many cabinets under one target.
function(_kelvane_kit_pack output)
  cmake_parse_arguments(PARSE_ARGV 1 K "" "" "FILES;DEPENDS")
  if(NOT K_FILES)
    message(FATAL_ERROR "kit: cabinet ${output} has no FILES")
  endif()
  get_filename_component(name "${output}" NAME)
  # Packed under a temporary name first: a failed run leaves no cabinet that
  # looks complete. (gcab replaces a leftover .partial; the generator makes
  # the folder.)
  add_custom_command(OUTPUT ${output}
    COMMAND ${KELVANE_GCAB} -c -n -z ${output}.partial ${K_FILES}
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.partial ${output}
    DEPENDS ${K_FILES} ${K_DEPENDS}
    COMMENT "Packing ${name}"
    VERBATIM)
endfunction()

function(kelvane_kit_cabinet target)
  cmake_parse_arguments(PARSE_ARGV 1 K "" "OUTPUT" "FILES;DEPENDS")
  if(K_UNPARSED_ARGUMENTS OR NOT K_OUTPUT)
    message(FATAL_ERROR "kelvane_kit_cabinet(${target} OUTPUT <cab> FILES <files...> [DEPENDS <targets...>])")
  endif()
  _kelvane_kit_pack(${K_OUTPUT} FILES ${K_FILES} DEPENDS ${K_DEPENDS})
  add_custom_target(${target} ALL DEPENDS ${K_OUTPUT})
endfunction()
