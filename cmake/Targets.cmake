# Helpers shared by every target of the project.

# Our own code compiles warning-free or not at all.
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(SANITIZE)
    # GCC 12 reports uninitialised reads inside the standard library (std::regex,
    # std::function) that only the sanitizer instrumentation makes it imagine.
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
endfunction()

# Narrow string literals of the target become code page 949 bytes, so that the Korean texts of
# the system are readable in the sources and exact in the binaries.
function(use_cp949_literals target)
  target_compile_options(${target} PRIVATE -fexec-charset=CP949)
endfunction()

# An in-process COM server: a shared library that exports exactly the four Dll* entry points.
# -fvisibility=hidden alone would still export template instantiations and data symbols.
function(add_com_module target)
  add_library(${target} SHARED ${ARGN})
  project_warnings(${target})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/com_module.map)
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/com_module.map -Wl,--no-undefined)
  target_link_libraries(${target} PRIVATE platform_com)
endfunction()

# Compiles `file` (a text resource such as a registry script) into `target` as
#   extern const char SYMBOL[];   // the file's bytes, NUL-terminated
# regenerated whenever the file changes.
function(embed_text_resource target symbol file)
  get_filename_component(input ${file} ABSOLUTE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedText.cmake)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol} -P ${script}
    DEPENDS ${input} ${script}
    COMMENT "Embedding ${file} as ${symbol}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
