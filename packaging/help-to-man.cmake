# Makes the manual page emlx2eml(1) from the program's own --help, so the page never lags
# behind the options. Run at build time:
#   cmake -DPROGRAM=<emlx2eml> -DVERSION=<shown version> -DDATE=<yyyy-mm-dd> -DOUT=<emlx2eml.1> -P help-to-man.cmake
#
# The help text is read as: "Usage: <program> <arguments>", description lines up to the first
# heading, then sections headed "Title:"; in a section, "  term  description" (two blanks
# between) is an entry, a deeper indented line continues it, another indented line is shown as
# it is (an example), an unindented line is running text.
foreach(variable PROGRAM VERSION DATE OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "help-to-man: ${variable} is not set")
  endif()
endforeach()

# In a sanitizer build, one-time allocations left at exit must not fail the build.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help-to-man: \"${PROGRAM} --help\" ended with ${status}")
endif()

# roff text: a backslash printed as such, dashes as minus signs (options can be copied), no
# control character at the start of a line.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# An entry's term: options in bold, <VALUE> in italics.
function(roff_term out text)
  roff_text(text "${text}")
  string(REGEX REPLACE "(^|[ ,])((\\\\-)+[a-zA-Z0-9][-a-zA-Z0-9\\\\]*)" "\\1\\\\fB\\2\\\\fR" text "${text}")
  string(REGEX REPLACE "<([^>]+)>" "\\\\fI\\1\\\\fR" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Brackets and semicolons would disturb CMake's lists; they travel as placeholders.
string(REPLACE ";" "<semicolon>" help "${help}")
string(REPLACE "[" "<open>" help "${help}")
string(REPLACE "]" "<close>" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(page "")
set(name_line "")
set(section "")
set(paragraph_ends OFF) # a blank line or an entry came last: running text starts a paragraph
foreach(line IN LISTS lines)
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(REPLACE "<open>" "[" line "${line}")
  string(REPLACE "<close>" "]" line "${line}")
  if(line MATCHES "^Usage: [^ ]+ (.*)$")
    roff_term(arguments "${CMAKE_MATCH_1}")
    string(APPEND page ".SH SYNOPSIS\n.B emlx2eml\n${arguments}\n.SH DESCRIPTION\n")
    set(section "description")
    set(paragraph_ends OFF)
  elseif(line STREQUAL "")
    set(paragraph_ends ON)
  elseif(line MATCHES "^([A-Z][^:]*):$")
    string(TOUPPER "${CMAKE_MATCH_1}" title)
    string(APPEND page ".SH \"${title}\"\n")
    set(section "${title}")
    set(paragraph_ends OFF)
  elseif(line MATCHES "^  ([^ ]+( [^ ]+)*)  +([^ ].*)$")
    roff_term(term "${CMAKE_MATCH_1}")
    roff_text(text "${CMAKE_MATCH_3}")
    string(APPEND page ".TP\n${term}\n${text}\n")
    set(paragraph_ends ON)
  elseif(line MATCHES "^   +([^ ].*)$")
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND page "${text}\n")
  elseif(line MATCHES "^  ([^ ].*)$")
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND page ".PP\n.RS 4\n.nf\n${text}\n.fi\n.RE\n")
    set(paragraph_ends ON)
  else()
    if(section STREQUAL "description" AND name_line STREQUAL "")
      # The first sentence of the description, as "emlx2eml - converts ...", is the page's name line.
      string(REGEX REPLACE "\\.$" "" summary "${line}")
      string(SUBSTRING "${summary}" 0 1 first)
      string(SUBSTRING "${summary}" 1 -1 rest)
      string(TOLOWER "${first}" first)
      roff_text(name_line "${first}${rest}")
    endif()
    if(paragraph_ends)
      string(APPEND page ".PP\n")
    endif()
    roff_text(text "${line}")
    string(APPEND page "${text}\n")
    set(paragraph_ends OFF)
  endif()
endforeach()
if(name_line STREQUAL "")
  message(FATAL_ERROR "help-to-man: the help text of ${PROGRAM} has no description")
endif()

file(WRITE "${OUT}"
     ".\\\" Made from \"emlx2eml --help\" by help-to-man.cmake; change the help text, not this page.\n"
     ".TH EMLX2EML 1 \"${DATE}\" \"emlx2eml ${VERSION}\" \"User Commands\"\n"
     ".nh\n"
     ".SH NAME\nemlx2eml \\- ${name_line}\n"
     "${page}"
     ".SH \"SEE ALSO\"\n.BR emlx\\-converter (1)\n")
