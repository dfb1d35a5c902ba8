# A UTF-8 text with LF line ends as Shift_JIS (code page 932) with CR LF, as
# the Windows programs read it:
#   cmake -DIN=file -DOUT=file -P ToWindowsText.cmake
execute_process(COMMAND iconv -f UTF-8 -t CP932 "${IN}" OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${IN}: not convertible to CP932")
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
