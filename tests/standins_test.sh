#!/bin/bash
# Checks the Linux stand-ins for open and osascript in support/linux/bin.
set -u
bin=$(cd "$(dirname "$0")/../support/linux/bin" && pwd) || exit 1
unset DISPLAY
export LC_ALL=C.UTF-8   # wc -m must count characters, not bytes
passed=0 failed=0 t=
args=() want=()
trap 'cd / && [ -n "$t" ] && rm -rf "$t"' EXIT
check() {  # NAME WHAT GOT WANT
    if [ "$3" == "$4" ]; then passed=$((passed + 1))
    else failed=$((failed + 1)); printf 'FAIL %s: %s\n  got:  [%s]\n  want: [%s]\n' "$1" "$2" "$3" "$4"; fi
}
fresh() { cd / && [ -n "$t" ] && rm -rf "$t"; t=$(mktemp -d) && cd "$t" || exit 1; }

# --- osascript: name, statement, title shown, text lines shown
decoded=(
  plain "display dialog \"Error: '/x/Lobby.app' not found\" with title \"Poker Launcher\" buttons {\"OK\"}"
    "Poker Launcher" "Error: '/x/Lobby.app' not found"
  escapes 'display dialog "say \"hi\" to C:\\new\\tab" with title "A \"B\" \\ C" buttons {"OK"}'
    'A "B" \ C' 'say "hi" to C:\new\tab'
  line-breaks $'display dialog "one\\ntwo\nthree\\r\\nfour\\rfive" with title "T" buttons {"OK"}'
    T $'one\ntwo\nthree\nfour\nfive'
  tab-and-utf8 'display dialog "a\tb Grüße 日本 ✓" with title "Ünïcode" buttons {"OK"}'
    'Ünïcode' 'a       b Grüße 日本 ✓'
  blanks-and-case $' \tDISPLAY  Dialog "x"  WITH title "T"\tbuttons { "OK" } \n'
    T x
)
for ((i = 0; i < ${#decoded[@]}; i += 4)); do
  name=osascript-${decoded[i]}; fresh
  "$bin/osascript" -e "${decoded[i+1]}" >out 2>err; check "$name" status $? 0
  check "$name" stdout "$(cat out)" ""
  mapfile -t frame <err
  n=${#frame[@]} body=() widths=
  for line in "${frame[@]:1:n-3}"; do line=${line#| }; line=${line% |}; body+=("${line%"${line##*[! ]}"}"); done
  # Wide characters take two columns.
  for line in "${frame[@]}"; do widths+=" $(printf %s "$line" | sed 's/[日本]/&&/g' | wc -m)"; done
  title=${frame[0]#+--- }
  check "$name" title "${title%% -*}" "${decoded[i+2]}"
  check "$name" text "$(printf '%s\n' "${body[@]}")" "${decoded[i+3]}"
  check "$name" button "$(tr -s ' ' <<<"${frame[n-2]}")" "| [OK] |"
  check "$name" "equal frame widths" "$(tr ' ' '\n' <<<"$widths" | sort -u | grep -c .)" 1
done
fresh
"$bin/osascript" -e "${decoded[1]}" 2>err
check osascript-layout frame "$(cat err)" "+--- Poker Launcher --------------+
| Error: '/x/Lobby.app' not found |
|                           [OK]  |
+---------------------------------+"

# --- osascript refusals: argument lists (shell words)
ok_statement="'display dialog \"x\" with title \"T\" buttons {\"OK\"}'"
bad_forms=(
  "" "-e" "$ok_statement" "-x $ok_statement" "-e $ok_statement extra" "-e $ok_statement -e $ok_statement"
  "-e 'display dialog \"x\"'" "-e beep" "-e 'display alert \"x\" with title \"T\" buttons {\"OK\"}'"
  "-e 'display dialog \"x\" with title \"T\" buttons {\"OK\"}; beep'"
  "-e 'display dialog \"x\" with title \"T\" buttons {\"OK\", \"Cancel\"}'"
  "-e 'display dialog \"x\" with title \"T\" buttons {\"OK\"'"
  "-e 'display dialog \"unterminated with title \"T\" buttons {\"OK\"}'"
  "-e 'display dialog \"bad \\q escape\" with title \"T\" buttons {\"OK\"}'"
  "-e 'display dialog \"x\\'" "-e 'display dialog x with title \"T\" buttons {\"OK\"}'"
  "-e $'display dialog \"x\"\\nwith title \"T\" buttons {\"OK\"}'"
  "-e $'display dialog \"a\" with title \"T\" buttons {\"OK\"}\\ndisplay dialog \"b\" with title \"T\" buttons {\"OK\"}'"
)
for words in "${bad_forms[@]}"; do
  fresh; eval "args=($words)"
  "$bin/osascript" "${args[@]}" >out 2>err
  check "osascript refuses: $words" status $? 1
  check "osascript refuses: $words" "stdout, stderr lines" "$(wc -c <out) $(wc -l <err)" "0 1"
done

# --- osascript with a display: the first dialog tool on PATH shows it
fake_tool() {  # NAME STATUS: records its arguments and standard input
  # shellcheck disable=SC2016 # $a belongs to the fake tool
  printf '#!/bin/sh\nfor a; do printf "[%%s]" "$a"; done >%s.args\n/bin/cat >%s.stdin\nexit %s\n' "$t/$1" "$t/$1" "$2" >"tools/$1"
  chmod 755 "tools/$1"
}
declare -A tool_args=(  # the text shows as a\b -c
  [zenity]='[--info][--no-markup][--title=T][--text=a\\b -c][--ok-label=OK]'
  [kdialog]='[--title][T][--ok-label][OK][--msgbox][a\b -c]'
  [xmessage]='[-title][T][-buttons][OK:0][-default][OK][-center][-file][-]a\b -c'
)
tools_cases=(  # tools present (name:status), tool expected to run, frame on stderr?
  "zenity:0 kdialog:0 xmessage:0" zenity no
  "kdialog:0 xmessage:0" kdialog no
  "xmessage:0" xmessage no
  "zenity:1" zenity yes
  "" none yes
)
for ((i = 0; i < ${#tools_cases[@]}; i += 3)); do
  name="osascript-display [${tools_cases[i]}]"; fresh; mkdir tools
  for tool in ${tools_cases[i]}; do fake_tool "${tool%:*}" "${tool#*:}"; done
  DISPLAY=:99 PATH=$t/tools "$bin/osascript" -e 'display dialog "a\\b -c" with title "T" buttons {"OK"}' 2>err
  check "$name" status $? 0
  ran=(); for f in *.args; do [ -e "$f" ] && ran+=("${f%.args}"); done
  check "$name" "tool run" "${ran[*]:-none}" "${tools_cases[i+1]}"
  check "$name" "frame shown" "$(grep -q 'a\\b -c' err && echo yes || echo no)" "${tools_cases[i+2]}"
  [ "${#ran[@]}" -ne 1 ] || check "$name" "${ran[0]} arguments, input" "$(cat "${ran[0]}".*)" "${tool_args[${ran[0]}]}"
done

# --- open: a bundle whose programs wait for "release", then record their
# name, detachment and arguments (NUL-separated) beside the bundle.
recorder() {  # PATH
  mkdir -p "$(dirname "$1")"
  cat >"$1" <<'EOF'
#!/bin/sh
dir=${0%/*/Contents/MacOS/*}
i=0; while [ ! -e "$dir/release" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
read -r stat </proc/$$/stat
sid=$(printf "%s\n" "${stat##*) }" | cut -d" " -f4)
printf "%s %s %s %s %s %s\n" "${0##*/}" "$([ "$sid" = $$ ] && echo leader)" "$PWD" \
  "$(readlink /proc/$$/fd/0)" "$(readlink /proc/$$/fd/1)" "$(readlink /proc/$$/fd/2)" >"$dir/state"
for a; do printf "%s\0" "$a"; done >"$dir/args.tmp"
mv "$dir/args.tmp" "$dir/args"
EOF
  chmod 755 "$1"
}
plist() {  # BUNDLE DICT-CONTENT
  mkdir -p "$1/Contents"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n%s\n</dict>\n</plist>\n' "$2" >"$1/Contents/Info.plist"
}
m=B.app/Contents/MacOS
many_args="launcher=launcher --storageFolder '/abs/app/Mac OS' --siteenv staging --session 'a b' --weird '' Grüße \"x'y\\\"z\" \$'two\\nlines' poker://table/7"

# name, setup (shell), open's arguments, program expected to run, its arguments
started=(
  plist-one-line "plist B.app '<key>CFBundleExecutable</key><string>Lobby</string><key>CFBundleName</key><string>Other</string>'; recorder $m/Lobby; recorder $m/Decoy"
    "B.app --args $many_args" Lobby "$many_args"
  plist-next-line "plist B.app \$'<!-- <key>CFBundleExecutable</key><string>Decoy</string> -->\\n\\t<key>CFBundleExecutable</key>\\n\\t<string>My &amp; Prog</string>'; recorder '$m/My & Prog'; recorder $m/Decoy"
    "\"\$t/B.app\" --args $many_args" "My & Prog" "$many_args"
  single-executable "recorder $m/Only; echo notes >$m/notes.txt" "B.app --args --session s" Only "--session s"
  plist-without-key "plist B.app '<key>CFBundleName</key><string>Decoy</string>'; recorder $m/Only" "B.app" Only ""
  blanks-in-bundle "recorder 'Lo bby.app/Contents/MacOS/Lo bby'" "'Lo bby.app' --args" "Lo bby" ""
)
for ((i = 0; i < ${#started[@]}; i += 5)); do
  name=open-${started[i]}; fresh; eval "${started[i+1]}"
  eval "args=(${started[i+2]}) want=(${started[i+4]})"
  timeout 10 "$bin/open" "${args[@]}" >out 2>err
  check "$name" "status (returns before the program ends)" $? 0
  check "$name" "stdout, stderr" "$(cat out err)" ""
  : >release
  for _ in $(seq 200); do [ -e args ] && break; sleep 0.05; done
  check "$name" "program, detachment" "$(cat state 2>/dev/null)" "${started[i+3]} leader / /dev/null /dev/null /dev/null"
  got=(); [ -e args ] && mapfile -d '' got <args
  check "$name" arguments "${got[*]@Q}" "${want[*]@Q}"
done

# name, setup (shell), open's arguments, expected message (grep -E)
refused=(
  missing-bundle : "Nope.app --args x" "bundle 'Nope.app' does not exist"
  bundle-is-file ": >F.app" "F.app --args x" "'F.app' is not a folder"
  named-program-missing "plist B.app '<key>CFBundleExecutable</key><string>Gone</string>'; recorder $m/Other" B.app "'.*/Gone' .*does not exist"
  named-program-not-executable "plist B.app '<key>CFBundleExecutable</key><string>Lobby</string>'; recorder $m/Lobby; chmod 644 $m/Lobby" B.app "Lobby' is not an executable"
  bad-interpreter "recorder $m/Lobby; sed -i '1s|.*|#!/nonexistent/sh|' $m/Lobby" B.app "cannot start '.*/Lobby': No such file"
  no-executable "mkdir -p $m; echo x >$m/notes.txt" B.app "no executable program in 'B.app/Contents/MacOS'"
  several-executables "recorder $m/One; recorder $m/Two" B.app "several executable programs"
  no-macos-folder "mkdir -p B.app/Contents" B.app "has no Contents/MacOS folder"
  no-arguments : "" "no bundle given; usage"
  empty-bundle : "'' --args x" "no bundle given; usage"
  two-bundles "recorder $m/One; cp -r B.app C.app" "B.app C.app --args x" "only one bundle"
  option "recorder $m/One" "-a Lobby B.app" "unsupported option '-a'"
)
for ((i = 0; i < ${#refused[@]}; i += 4)); do
  name=open-${refused[i]}; fresh; eval "${refused[i+1]}"; eval "args=(${refused[i+2]})"
  timeout 10 "$bin/open" "${args[@]}" >out 2>err
  check "$name" status $? 1
  check "$name" "stdout, stderr lines" "$(wc -c <out) $(wc -l <err)" "0 1"
  check "$name" message "$(grep -Ec "^open: .*${refused[i+3]}" err)" 1
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
