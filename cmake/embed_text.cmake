# Turns a text file into a C++ source that returns it, so that a page the
# tools serve is kept, and edited, as a file of its own:
#
#   cmake -DINPUT=page.html -DOUTPUT=page.cpp -DHEADER=page.h -DFUNCTION=Page -P embed_text.cmake
#
# The source defines `std::string_view qmx::tools::FUNCTION()`, declared in
# HEADER, with the text as a raw string literal: byte for byte as written.
foreach(required INPUT OUTPUT HEADER FUNCTION)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_text: -D${required}= is required")
  endif()
endforeach()

file(READ "${INPUT}" text)
set(delimiter "qmx_embedded")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "embed_text: ${INPUT} holds the literal's end, )${delimiter}\"")
endif()

get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
  "// Made from ${name} by cmake/embed_text.cmake: edit that file.\n"
  "#include \"${HEADER}\"\n\n"
  "namespace qmx::tools {\n\n"
  "std::string_view ${FUNCTION}() {\n"
  "    static constexpr char kText[] = R\"${delimiter}(${text})${delimiter}\";\n"
  "    return {kText, sizeof kText - 1};\n"
  "}\n\n"
  "}  // namespace qmx::tools\n")
# Only a change rewrites the source, so that nothing is rebuilt for none.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
