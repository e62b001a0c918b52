# The icons of the program and of its projects' file type, rendered at build time from the
# pictures in src/ui/resources. <name>.svg is the picture, rendered for the sizes that have no
# drawing of their own; <name>-<size>.svg is a drawing on the pixel grid of a small size, where
# the picture scaled down is a blur. 24 pixels is the 22 pixel drawing with a pixel of margin
# round it, as the freedesktop themes do, when there is one.
find_program(RSVG_CONVERT rsvg-convert)

# Adds the commands that render <name> at each of the sizes into
# <build>/icons/<size>x<size>/<context>/<name>.png and sets pngsVar to the files.
function(quillon_render_icon name context sizes pngsVar)
    set(pictures ${PROJECT_SOURCE_DIR}/src/ui/resources)
    # Globbed so that a drawing added for a size is picked up by the next build.
    file(GLOB drawings CONFIGURE_DEPENDS ${pictures}/${name}-*.svg)
    set(pngs)
    foreach(size IN LISTS sizes)
        set(folder ${PROJECT_BINARY_DIR}/icons/${size}x${size}/${context})
        file(MAKE_DIRECTORY ${folder})
        set(png ${folder}/${name}.png)
        set(render -w ${size} -h ${size})
        if(${pictures}/${name}-${size}.svg IN_LIST drawings)
            set(source ${pictures}/${name}-${size}.svg)
            # A drawing for the pixel grid is only sharp at one pixel to its unit.
            file(READ ${source} svg)
            if(NOT svg MATCHES "viewBox=\"0 0 ${size} ${size}\"")
                message(FATAL_ERROR "${source} is drawn for ${size} pixels: its viewBox must be "
                                    "\"0 0 ${size} ${size}\"")
            endif()
        elseif(size EQUAL 24 AND ${pictures}/${name}-22.svg IN_LIST drawings)
            set(source ${pictures}/${name}-22.svg)
            set(render -w 22 -h 22 --page-width 24 --page-height 24 --left 1 --top 1)
        else()
            set(source ${pictures}/${name}.svg)
        endif()
        add_custom_command(OUTPUT ${png}
            COMMAND ${RSVG_CONVERT} ${render} -o ${png} ${source}
            DEPENDS ${source} VERBATIM)
        list(APPEND pngs ${png})
    endforeach()
    set(${pngsVar} ${pngs} PARENT_SCOPE)
endfunction()
