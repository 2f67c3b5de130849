# cmake -DDOCUMENT=file -DSAMPLE=file -P contains.cmake: fails unless DOCUMENT
# holds SAMPLE's text unchanged.
file(READ ${DOCUMENT} document)
file(READ ${SAMPLE} sample)
string(FIND "${document}" "${sample}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${DOCUMENT} does not show ${SAMPLE} as it is")
endif()
