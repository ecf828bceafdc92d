# Writes the playground page OUT: the preview page PAGE with the engine
# ENGINE inside it, so that the one file works opened from the disk.
file(READ ${PAGE} page)
file(READ ${ENGINE} engine)
set(slot "<script id=\"engine\" type=\"text/plain\"></script>")
string(FIND "${page}" "${slot}" at)
if(at LESS 0)
  message(FATAL_ERROR "${PAGE} has no engine slot")
endif()
string(REPLACE "${slot}" "<script id=\"engine\" type=\"text/plain\">${engine}</script>" page "${page}")
file(WRITE ${OUT} "${page}")
