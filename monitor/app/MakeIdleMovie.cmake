# Makes the idle movie: two seconds of a grey "NO PICTURE" card on black,
# 320x240, MPEG-4 Part 2 in a QuickTime container, with the ffmpeg program.
# The text needs a font; without one the card is drawn without it.
set(font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
set(card "color=c=black:s=320x240:r=10:d=2")
set(frame "drawbox=x=40:y=80:w=240:h=80:color=0x606060:t=4")
if(EXISTS ${font})
  string(APPEND frame ",drawtext=fontfile=${font}:text=NO PICTURE:fontcolor=0xC0C0C0:fontsize=28:x=(w-text_w)/2:y=(h-text_h)/2")
endif()
execute_process(
  COMMAND ${FFMPEG} -v error -y -f lavfi -i ${card} -vf ${frame}
          -c:v mpeg4 -q:v 3 -pix_fmt yuv420p -f mov ${OUTPUT}.part
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ffmpeg could not make ${OUTPUT}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
