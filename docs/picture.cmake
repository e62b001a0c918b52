# Makes a PDF picture of a PNG screenshot for the guide: an SVG page of the PNG's own size that
# shows it, which rsvg-convert turns into a PDF that groff can place.
#   cmake -DPNG=<in.png> -DPDF=<out.pdf> -DRSVG=<rsvg-convert> -P picture.cmake
file(READ "${PNG}" header LIMIT 24 HEX)
if(NOT header MATCHES "^89504e470d0a1a0a........49484452")
    message(FATAL_ERROR "${PNG} is not a PNG file")
endif()
string(SUBSTRING "${header}" 32 8 widthHex)
string(SUBSTRING "${header}" 40 8 heightHex)
math(EXPR width "0x${widthHex}")
math(EXPR height "0x${heightHex}")

get_filename_component(name "${PDF}" NAME_WE)
get_filename_component(folder "${PDF}" DIRECTORY)
# librsvg reads images only beside or below the SVG that names them.
file(COPY_FILE "${PNG}" "${folder}/${name}.png" ONLY_IF_DIFFERENT)
file(WRITE "${folder}/${name}.svg"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "width=\"${width}\" height=\"${height}\">"
    "<image width=\"${width}\" height=\"${height}\" xlink:href=\"${name}.png\"/></svg>\n")
execute_process(COMMAND "${RSVG}" -f pdf -o "${PDF}" "${folder}/${name}.svg"
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "rsvg-convert could not make ${PDF}")
endif()
# gropdf's reader of placed PDFs stops at the comment that cairo writes in each page's
# dictionary ("/Type /Page % 1"). Blanks in its place keep every byte offset of the file.
execute_process(
    COMMAND perl -pi -e "s{(/Type /Page )(%[^\n]*)}{$1 . ' ' x length($2)}e" "${PDF}"
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "could not prepare ${PDF} for groff")
endif()
