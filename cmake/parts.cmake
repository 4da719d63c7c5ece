# vokri_require(PART FOUND WHAT): in the directory of an optional part, when
# FOUND is false, skips the rest of the directory if the part is AUTO, and
# stops the configuration otherwise. A macro, so that its return() leaves the
# calling directory.
macro(vokri_require part found what)
  if(NOT ${found})
    if("${${part}}" STREQUAL "AUTO")
      message(STATUS "vokri_core: ${what} not found; ${part} is AUTO, so that part is skipped")
      return()
    endif()
    message(FATAL_ERROR "vokri_core: ${part}=${${part}} needs ${what}")
  endif()
endmacro()
