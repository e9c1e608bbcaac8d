#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts the window program.
# With no detector attached (no USB infrared module found) it runs on the simulated KM
# detector. On a machine without a display it does the same main job with km71ctl instead:
# it connects, prints the detector's configuration and stores it in a configuration file.
# Arguments are passed on to km71setup (for example --sim QZ, --port /dev/ttyUSB0, --lang JP).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The same build folder and configuration as scripts/test.sh (the `default` preset, build/), so
# that whichever of the two runs second finds the programs built; only the two programs this
# script starts are built here.
cmake --preset default >/dev/null
cmake --build --preset default --target km71setup km71ctl

# The USB infrared module announces itself with vendor 10c4, product ea60.
module_present() {
    local d
    for d in /sys/bus/usb/devices/*; do
        [ -f "$d/idVendor" ] && [ -f "$d/idProduct" ] || continue
        if [ "$(cat "$d/idVendor")" = "10c4" ] && [ "$(cat "$d/idProduct")" = "ea60" ]; then
            return 0
        fi
    done
    return 1
}

args=("$@")
connection=()
if [ ${#args[@]} -eq 0 ] && ! module_present; then
    echo "No USB infrared module found: using the simulated KM-71 detector (--sim KM)."
    connection=(--sim KM)
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting km71setup. The start-up password is 7305."
    exec build/app/km71setup "${connection[@]}" "${args[@]}"
fi

echo "No display found: doing the main job with km71ctl instead."
mkdir -p run-output
build/app/km71ctl --folder run-output "${connection[@]}" "${args[@]}" info
build/app/km71ctl --folder run-output "${connection[@]}" "${args[@]}" read run-output/detector.seq
echo "The configuration file is run-output/detector.seq; the link log is run-output/SerialLog.log."
