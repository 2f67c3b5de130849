# Sourced with the session folder as $1: points Wine at the session's prefix
# and display. Quiet, 64-bit only, and no Mono/Gecko install prompts.
zmk_session=${1:?session folder}
export WINEPREFIX="$zmk_session/prefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# Wine takes its locale from the environment: the language of its own texts,
# and the character set it reads Unix names in (files, and the network
# interfaces that it lists as adapters' FriendlyName: under C, the bytes of
# "réseau" arrive as "rC)seau"). One locale on every machine, code page 1252.
export LC_ALL=C.UTF-8
# No debugger on a crash: the crashing process ends at once and its test fails
# instead of waiting on a debugger nobody watches.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
if [ -f "$zmk_session/display" ]; then
  DISPLAY=":$(cat "$zmk_session/display")"
  export DISPLAY
fi
