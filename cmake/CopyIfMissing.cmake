# cmake -DSRC=... -DDST=... -P CopyIfMissing.cmake
if(NOT EXISTS "${DST}" AND EXISTS "${SRC}")
    file(COPY_FILE "${SRC}" "${DST}")
endif()
