# Joins the page's scripts, in the order given, into one script in a scope of its own:
# cmake -DOUTPUT=file -DINPUTS=a.js;b.js -P concat_js.cmake
set(text "// zemview's page scripts, joined at build time from web/js/.\n(function () {\n'use strict';\n")
foreach(input ${INPUTS})
  file(READ ${input} part)
  string(APPEND text "${part}\n")
endforeach()
string(APPEND text "})();\n")
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
