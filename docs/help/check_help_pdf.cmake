# Checks the generated manual beside the tolvane executable: a complete PDF of several pages
# that carries its screenshots. Run with cmake -DPDF=<path> -P check_help_pdf.cmake.
if(NOT EXISTS "${PDF}")
  message(FATAL_ERROR "no manual at ${PDF}")
endif()
file(READ "${PDF}" head LIMIT 5 HEX)
if(NOT head STREQUAL "255044462d")  # "%PDF-"
  message(FATAL_ERROR "${PDF} does not start as a PDF file")
endif()
file(SIZE "${PDF}" size)
# The screenshots alone are several hundred kilobytes.
if(size LESS 200000)
  message(FATAL_ERROR "${PDF} holds only ${size} bytes: its pictures are missing")
endif()
math(EXPR tail_offset "${size} - 16")
file(READ "${PDF}" tail OFFSET ${tail_offset})
if(NOT tail MATCHES "%%EOF")
  message(FATAL_ERROR "${PDF} is not complete: it lacks its end-of-file mark")
endif()
file(STRINGS "${PDF}" pages REGEX "^/Type /Page$")
list(LENGTH pages page_count)
if(page_count LESS 6)
  message(FATAL_ERROR "${PDF} has ${page_count} pages: its text is missing")
endif()
