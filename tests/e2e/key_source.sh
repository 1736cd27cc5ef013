#!/usr/bin/env bash
# The X key state: raw key events of the whole display become US-layout
# virtual-key codes while another client has the focus and still gets its
# keys; each key is reported once; NumLock switches the keypad.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"
probe="$1/tests/key_probe"

# Without a display there are no keys, and no failure.
[[ "$(env -u DISPLAY "$probe")" == "no keys" ]] || e2e_fail "no display: the source did not give up quietly"
[[ "$(DISPLAY=:4711 "$probe")" == "no keys" ]] || e2e_fail "a missing display: the source did not give up quietly"

log="$E2E_DIR/probe.log"
"$probe" >"$log" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 20 'grep -q "^ready$" "$log"' || e2e_fail "the key source did not start"

typed="$E2E_DIR/typed"
xterm -e sh -c "cat > '$typed'" &
E2E_PIDS+=($!)
e2e_wait 20 'term=$(xdotool search --onlyvisible --class xterm | head -n1); [[ -n "$term" ]]' ||
  e2e_fail "xterm did not appear"
xdotool windowfocus --sync "$term"

# check KEY CODE...: after `xdotool key KEY` the source reports exactly these
# presses. Menu (93) follows each key as a marker: once the marker is seen,
# every event of KEY has been taken in.
check() {
  local key="$1"; shift
  local from=$(($(wc -l <"$log") + 1))
  xdotool key "$key" Menu
  e2e_wait 10 'tail -n +$from "$log" | grep -q "^press 93$"' || e2e_fail "$key: the marker key was not seen"
  local got want
  got=$(tail -n +"$from" "$log" | sed -n 's/^press //p' | grep -vx 93 | sort -n | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sort -n | tr '\n' ' ')
  [[ "$got" == "$want" ]] || e2e_fail "$key: pressed codes '$got', expected '$want'"
}

check a 65
check A 16 65
check 5 53
check percent 16 53
check F1 112
check F12 123
check XF86Launch5 125   # the F14 key, by its position
for pair in semicolon:186 equal:187 comma:188 minus:189 period:190 slash:191 grave:192 \
  bracketleft:219 backslash:220 bracketright:221 apostrophe:222; do
  check "${pair%%:*}" "${pair##*:}"
done
check quotedbl 16 222
# xdotool presses a modifier's first key (Control_L) along with any other
# key of that modifier, in a poll of its own as often as not: for the test,
# Control_R belongs to no modifier.
xmodmap -e "remove control = Control_R"
check Control_R 17
xmodmap -e "add control = Control_R"
for pair in BackSpace:8 Tab:9 Return:13 KP_Enter:13 Control_L:17 Alt_L:18 Pause:19 \
  Escape:27 space:32 Prior:33 Next:34 End:35 Home:36 Left:37 Up:38 Right:39 Down:40 Print:44 \
  Insert:45 Delete:46 KP_Multiply:106 KP_Add:107 KP_Subtract:109 KP_Divide:111 Scroll_Lock:145; do
  check "${pair%%:*}" "${pair##*:}"
done
check Caps_Lock 20
check Caps_Lock 20

# The keypad: navigation keys with NumLock off, digits with it on. xdotool
# presses Num_Lock around a keypad digit as it needs, so 144 may come along.
numlock_off() {
  if xset q | grep -q 'Num Lock: *on'; then xdotool key Num_Lock; fi
  e2e_wait 10 'xset q | grep -q "Num Lock: *off"' || e2e_fail "NumLock stays on"
}
check_keypad() {
  local key="$1" code="$2"
  local from=$(($(wc -l <"$log") + 1))
  xdotool key "$key" Menu
  e2e_wait 10 'tail -n +$from "$log" | grep -q "^press 93$"' || e2e_fail "$key: the marker key was not seen"
  local got
  got=$(tail -n +"$from" "$log" | sed -n 's/^press //p' | grep -vxE '93|144' | tr '\n' ' ')
  [[ "$got" == "$code " ]] || e2e_fail "$key: pressed codes '$got', expected '$code'"
}
numlock_off
for pair in KP_End:35 KP_Down:40 KP_Begin:12 KP_Prior:33 KP_Insert:45 KP_Delete:46; do
  check "${pair%%:*}" "${pair##*:}"
done
for d in 0 1 2 3 4 5 6 7 8 9; do check_keypad "KP_$d" $((96 + d)); done
check_keypad KP_Decimal 110
numlock_off
check KP_Up 38

# Down state: two Shift keys share one code, which is up only when both are.
xdotool keydown Shift_L keydown Shift_R keyup Shift_L key Menu
e2e_wait 10 '[[ $(grep -c "^press 93$" "$log") -ge 2 ]] && grep -q "^down 16$" "$log"' || e2e_fail "Shift is not down"
from=$(($(wc -l <"$log") + 1))
xdotool key Menu
e2e_wait 10 'tail -n +$from "$log" | grep -q "^press 93$"' || e2e_fail "the marker key was not seen"
! tail -n +"$from" "$log" | grep -q "^up 16$" || e2e_fail "Shift went up while the right one was held"
xdotool keyup Shift_R
e2e_wait 10 'tail -n +$from "$log" | grep -q "^up 16$"' || e2e_fail "Shift stayed down after both were released"

# A single non-Latin layout: the letter keys keep the names of their places
# on the US keyboard (Cyrillic ef lies where US A does).
setxkbmap ru
e2e_wait 10 'setxkbmap -query | grep -q "^layout: *ru$"' || e2e_fail "the Russian layout did not take"
for pair in Cyrillic_shorti:Q Cyrillic_tse:W Cyrillic_u:E Cyrillic_ka:R Cyrillic_ie:T Cyrillic_en:Y \
  Cyrillic_ghe:U Cyrillic_sha:I Cyrillic_shcha:O Cyrillic_ze:P Cyrillic_ef:A Cyrillic_yeru:S Cyrillic_ve:D \
  Cyrillic_a:F Cyrillic_pe:G Cyrillic_er:H Cyrillic_o:J Cyrillic_el:K Cyrillic_de:L Cyrillic_ya:Z \
  Cyrillic_che:X Cyrillic_es:C Cyrillic_em:V Cyrillic_i:B Cyrillic_te:N Cyrillic_softsign:M; do
  letter="${pair##*:}"
  check "${pair%%:*}" "$(printf '%d' "'$letter")"
done
setxkbmap us

# Nothing was grabbed: the focused client got its keys all along.
xdotool type "hello"
xdotool key Return
e2e_wait 10 'grep -q hello "$typed"' || e2e_fail "xterm did not get the keys typed into it"
echo "ok"
