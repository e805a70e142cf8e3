# cmake -DXPM=icon_320.xpm -DOUT=folder -DCONVERT=convert -P make_icons.cmake
#
# Writes the desktop icon in the hicolor sizes, OUT/<N>x<N>/pellvane.png, from
# icon 320: its 16 and 32 pixel drawings as they stand, the larger sizes as
# whole multiples of them, pixel for pixel.
file(READ ${XPM} _xpm)
string(FIND "${_xpm}" "static const char* const icon_320_16_xpm" _split)
string(SUBSTRING "${_xpm}" 0 ${_split} _xpm32)
string(SUBSTRING "${_xpm}" ${_split} -1 _xpm16)
file(WRITE ${OUT}/icon_32.xpm "${_xpm32}")
file(WRITE ${OUT}/icon_16.xpm "/* XPM */\n${_xpm16}")

# size, drawing, scale
set(_sizes 16 16 100 32 32 100 48 16 300 64 32 200 128 32 400)
while(_sizes)
  list(POP_FRONT _sizes _size _from _scale)
  file(MAKE_DIRECTORY ${OUT}/${_size}x${_size})
  execute_process(
    COMMAND ${CONVERT} ${OUT}/icon_${_from}.xpm -filter point -resize ${_scale}% -strip
            PNG32:${OUT}/${_size}x${_size}/pellvane.png
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "convert failed for the ${_size} pixel icon")
  endif()
endwhile()
