# Four codecs at once through the kernel: two flash codecs (SPI on 1-1, NOR
# on 1-2), a 16-bit EEPROM codec on 1-3 and a blank OTP codec on 1-4, all
# imported through USB/IP, programmed in parallel by the real `tessaload gang
# write` through libusb. Sourced by guest_cases.sh after its own cases (it
# uses their helpers, versions and /tmp/station/new.bin).
#
# The memories take different images (the flash image's storage kind is
# neither the EEPROM's nor the OTP's), so one gang per image starts at the
# same moment: the flash gang on 1-1,1-2, one on 1-3 and one on 1-4.
g=/tmp/gang
mkdir -p "$g"
flash_old=$g/flash-old.bin flash_new=/tmp/station/new.bin
eeprom_old=$g/eeprom-old.bin eeprom_new=$g/eeprom-new.bin otp_new=$g/otp-new.bin
tessaload-image build --chip VMC2230 --memory spi --version "$version_old" -o "$flash_old" >/dev/null &&
  tessaload-image build --chip VMC2270 --memory eeprom16 --version "$version_old" -o "$eeprom_old" >/dev/null &&
  tessaload-image build --chip VMC2270 --memory eeprom16 --version "$version_new" -o "$eeprom_new" >/dev/null &&
  tessaload-image build --chip VMC2232 --memory otp --version "$version_new" -o "$otp_new" >/dev/null ||
  rig_fail gang "no images"

gang_ports="1-1 1-2 1-3 1-4"
# What each port holds: codec name, memory as `tessaload list` names it
# (a NOR flash reads as an SPI flash), the image it gets.
gang_codec() { echo "c${1#1-}"; }
gang_memory() {
  case $1 in 1-1|1-2) echo "SPI flash" ;; 1-3) echo "EEPROM 16-bit" ;; 1-4) echo "OTP" ;; esac
}
gang_image() {
  case $1 in 1-1|1-2) echo "$flash_new" ;; 1-3) echo "$eeprom_new" ;; 1-4) echo "$otp_new" ;; esac
}

# A fresh bench of the four codecs, each running the old version (the OTP
# blank, in its boot ROM).
gang_bench() {
  rm -rf "$g/bench"
  tessaload-sim create "$g/bench" >/dev/null &&
    tessaload-sim add "$g/bench" c1 --chip VMC2230 --memory spi --port 1 --serial G1 --firmware "$flash_old" >/dev/null &&
    tessaload-sim add "$g/bench" c2 --chip VMC2230 --memory nor --port 2 --serial G2 --firmware "$flash_old" >/dev/null &&
    tessaload-sim add "$g/bench" c3 --chip VMC2270 --memory eeprom16 --port 3 --serial G3 --firmware "$eeprom_old" >/dev/null &&
    tessaload-sim add "$g/bench" c4 --chip VMC2232 --memory otp --port 4 --serial G4 >/dev/null ||
    rig_fail gang "no bench of four codecs"
}

# gang_bound CASE MS: until snd-usb-audio owns the audio-control interface of
# every codec.
gang_bound() {
  deadline=$(( $(rig_now_ms) + $2 ))
  for p in $gang_ports; do
    while :; do
      d=$(readlink "/sys/bus/usb/devices/$p:1.0/driver" 2>/dev/null)
      [ "${d##*/}" = snd-usb-audio ] && break
      [ "$(rig_now_ms)" -lt "$deadline" ] || rig_fail "$1" "snd-usb-audio is not bound to the codec on $p (driver: ${d##*/})"
      sleep 0.05
    done
  done
}

gang_serve() {
  gang_bench
  serve "$g/bench"
  gang_bound "$1" 10000
}

# json_field NAME LINE: a string, number or true/false field of a result
# event (not of its phases).
json_field() {
  echo "$2" | sed 's/,"phases":.*/}/' | sed -n "s/.*\"$1\":\"\{0,1\}\([^\",]*\)\"\{0,1\}[,}].*/\1/p" | head -n 1
}

# The phases of a result event, "name ms" each.
json_phases() {
  echo "$1" | sed -n 's/.*"phases":\[\(.*\)\]}.*/\1/p' | tr '}' '\n' |
    sed -n 's/.*"name":"\([^"]*\)","duration_ms":\([0-9]*\).*/\1 \2/p' | paste -sd ',' | sed 's/,/, /g'
}

# bytes FILE OFFSET COUNT: the bytes as one line of hex.
bytes() { od -An -tx1 -v -j "$2" -N "$3" "$1" | tr -d ' \n'; }
# be16 FILE OFFSET: a 16-bit number, high byte first.
be16() { od -An -tu1 -j "$2" -N 2 "$1" | awk '{ print $1 * 256 + $2 }'; }

# otp_holds DUMP IMAGE: the blank OTP holds the image's two blocks, as a
# single download writes them: its code (the first 15 bytes and the code
# record) and its configuration (the first 15 bytes and the records behind
# the code), each named by a VD entry, their headers' bytes 2 to 5 their own,
# nothing else written. Prints what is wrong.
otp_holds() {
  code_at="" config_at=""
  i=0
  while [ $i -lt 16 ]; do
    e=$((0x3F70 + 5 * i))
    case $(bytes "$1" $((e + 4)) 1) in
      55) [ -z "$code_at" ] || { echo "two code entries"; return; }
          code_at=$(be16 "$1" $e) code_len=$(be16 "$1" $((e + 2))) ;;
      aa) [ -z "$config_at" ] || { echo "two configuration entries"; return; }
          config_at=$(be16 "$1" $e) config_len=$(be16 "$1" $((e + 2))) ;;
      00) [ "$(bytes "$1" $e 5)" = 0000000000 ] || { echo "VD entry $i is $(bytes "$1" $e 5)"; return; } ;;
      *) echo "VD entry $i is $(bytes "$1" $e 5)"; return ;;
    esac
    i=$((i + 1))
  done
  [ -n "$code_at" ] && [ -n "$config_at" ] || { echo "no code or no configuration entry"; return; }
  [ "$code_at" -eq 0 ] && [ "$config_at" -eq "$code_len" ] || { echo "blocks at $code_at and $config_at"; return; }
  [ "$code_len" -gt 15 ] && [ "$config_len" -gt 15 ] || { echo "blocks of $code_len and $config_len bytes"; return; }
  [ "$(bytes "$1" 0 2)$(bytes "$1" 6 $((code_len - 6)))" = "$(bytes "$2" 0 2)$(bytes "$2" 6 $((code_len - 6)))" ] ||
    { echo "the code block differs from the image"; return; }
  [ "$(bytes "$1" "$config_at" 2)$(bytes "$1" $((config_at + 6)) 9)$(bytes "$1" $((config_at + 15)) $((config_len - 15)))" = \
    "$(bytes "$2" 0 2)$(bytes "$2" 6 9)$(bytes "$2" "$code_len" $((config_len - 15)))" ] ||
    { echo "the configuration block differs from the image"; return; }
  end=$((config_at + config_len))
  [ -z "$(bytes "$1" $end $((0x3F70 - end)) | tr -d 0)" ] || echo "bytes written behind the blocks"
}

# --- one codec's single write, the way a gang job runs it, on a fresh bench
gang_serve gang-single
start=$(rig_now_ms)
env -u TESSALOAD_SIM tessaload write "$flash_new" --port 1-1 --json --no-burn-result >"$g/single.log" 2>"$g/single.err"
rc=$?
single_ms=$(( $(rig_now_ms) - start ))
line=$(grep '"event":"result"' "$g/single.log" | tail -n 1)
echo "  | single write 1-1: exit $rc, $(json_field status_text "$line"), $single_ms ms; phases: $(json_phases "$line")"
[ "$rc" -eq 0 ] && [ "$(json_field pass "$line")" = true ] ||
  rig_fail gang-single "exit $rc: $(json_field status_text "$line") $(tail -n 3 "$g/single.err" | paste -sd '|')"
gang_bound gang-single-audio-driver-back 5000
stop_serving

# --- the four codecs at once
gang_serve gang
rm -f /bin/Log.txt
start=$(rig_now_ms)
env -u TESSALOAD_SIM TESSALOAD_TRACE=1 tessaload gang write "$flash_new" --ports 1-1,1-2 --json >"$g/gang-flash.log" 2>&1 &
flash_pid=$!
env -u TESSALOAD_SIM TESSALOAD_TRACE=1 tessaload gang write "$eeprom_new" --ports 1-3 --json >"$g/gang-eeprom.log" 2>&1 &
eeprom_pid=$!
env -u TESSALOAD_SIM TESSALOAD_TRACE=1 tessaload gang write "$otp_new" --ports 1-4 --json >"$g/gang-otp.log" 2>&1 &
otp_pid=$!
wait $flash_pid; flash_rc=$?
wait $eeprom_pid; eeprom_rc=$?
wait $otp_pid; otp_rc=$?
gang_ms=$(( $(rig_now_ms) - start ))
echo "  | gangs: flash exit $flash_rc, EEPROM exit $eeprom_rc, OTP exit $otp_rc, $gang_ms ms"
echo "  | server: $(grep -c 'waits until the host has removed its old device' /tmp/usbip.log) attaches waited until the kernel had removed the codec's old device"
tr -d '\r' </bin/Log.txt 2>/dev/null | sed -n 's/.*\(reset kind [0-9]*: found again after [0-9]* ms\).*/  | trace: \1/p'

# Each codec's result, as its job reported it.
failed=""
for p in $gang_ports; do
  line=$(cat "$g"/gang-*.log | grep '"event":"result"' | grep "\"port\":\"$p\"" | tail -n 1)
  memory=$(json_field memory "$line") pass=$(json_field pass "$line")
  verdict=FAIL
  [ "$pass" = true ] && [ "$memory" = "$(gang_memory "$p")" ] && [ "$(json_field version_after "$line")" = "$version_new" ] &&
    verdict=PASS
  echo "codec $p $(gang_codec "$p") ${memory:-no result}: $verdict, version $(json_field version_before "$line") -> $(json_field version_after "$line"), $(json_field duration_ms "$line") ms${line:+; $(json_field status_text "$line")}"
  [ -n "$line" ] && echo "  | phases: $(json_phases "$line")"
  [ "$verdict" = PASS ] || failed="$failed $p"
done
if [ -n "$failed" ] || [ "$flash_rc$eeprom_rc$otp_rc" != 000 ]; then
  for f in "$g"/gang-*.log; do grep -v '"event":"\(progress\|phase\)"' "$f" | tail -n 5 | cut -c 1-300 | sed "s#^#  | ${f##*/}: #"; done
  echo "--- the bus now"
  for d in /sys/bus/usb/devices/1-*; do
    [ -e "$d/idVendor" ] || continue
    echo "  | ${d##*/}: $(cat "$d/idVendor"):$(cat "$d/idProduct") devnum $(cat "$d/devnum") config $(cat "$d/bConfigurationValue" 2>/dev/null) serial $(cat "$d/serial" 2>/dev/null)"
  done
  env -u TESSALOAD_SIM tessaload list 2>&1 | sed 's/^/  | list: /'
  echo "--- trace"
  tr -d '\r' </bin/Log.txt 2>/dev/null | grep -v -e 'START --->>>' -e 'EXIT <<<---' | tail -n 60 | sed 's/^/  | /'
  rig_fail gang "failed:${failed:- none, yet exit codes $flash_rc $eeprom_rc $otp_rc}"
fi

# Each codec runs the new version, as tessaload lists it through the kernel.
gang_bound gang-audio-driver-back 5000
env -u TESSALOAD_SIM tessaload list >"$g/list.log" 2>&1 || rig_fail gang-list "tessaload list failed: $(head -n 2 "$g/list.log")"
sed 's/^/  | /' "$g/list.log"
for p in $gang_ports; do
  grep "^$p " "$g/list.log" | grep " firmware " | grep -qF " $version_new " ||
    rig_fail gang-list "the codec on $p does not run $version_new"
done
stop_serving

# Each codec's memory holds the image, and the codec runs it.
for p in $gang_ports; do
  c=$(gang_codec "$p") image=$(gang_image "$p")
  tessaload-sim dump "$g/bench" "$c" "$g/$c.bin" >/dev/null || rig_fail gang-memory "no dump of $c"
  show=$(tessaload-sim show "$g/bench" "$c")
  echo "$show" | grep -q "running its firmware" && echo "$show" | grep -q "version *$version_new" ||
    rig_fail gang-memory "$c on $p does not run $version_new: $(echo "$show" | grep -e state -e version | paste -sd ' ')"
  case $p in
    1-4) why=$(otp_holds "$g/$c.bin" "$image") ;;
    *) why=$(cmp -s -n "$(wc -c <"$image")" "$g/$c.bin" "$image" || echo "the memory differs from the image") ;;
  esac
  [ -z "$why" ] || rig_fail gang-memory "$c on $p: $why"
done

rig_figure gang-4-codecs-wall "$gang_ms ms"
rig_figure single-write-1-1-wall "$single_ms ms"
rig_figure gang-to-single-ratio "$(awk -v a="$gang_ms" -v b="$single_ms" 'BEGIN { printf "%.2f", a / b }') (goal at most 1.3)"
gang_passed=1
