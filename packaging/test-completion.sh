#!/usr/bin/env bash
# Checks the bash completion of moravel-cli: sources it and asks it to complete command lines,
# as bash does on Tab, in a folder with parameter, firmware and other files.
set -uo pipefail
completion=$1
. "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir saved
touch machine.ncp spare.ncp firmware.crx notes.txt

failures=0
# expect "COMMAND LINE" WORD...: the completions of the command line's last word (an empty last
# word when the line ends with a blank), in any order.
expect() {
    local line=$1
    shift
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _moravel_cli || true
    local got want
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
    [[ $# -eq 0 ]] && want=' '
    [[ ${#COMPREPLY[@]} -eq 0 ]] && got=' '
    if [[ $got != "$want" ]]; then
        echo "FAIL '$line': got [$got], expected [$want]"
        failures=$((failures + 1))
    fi
}

# Commands and top-level options.
expect 'moravel-cli ' check format read transfer diff flash update calibrate ports --help --version
expect 'moravel-cli tr' transfer
expect 'moravel-cli --v' --version
# Each command's options, the connection options where the command talks to the controller.
expect 'moravel-cli check -' --json --help
expect 'moravel-cli read -' -o --port --auto --name --help
expect 'moravel-cli transfer --' --verify --partial --backup --port --auto --name --help
expect 'moravel-cli transfer --p' --partial --port
expect 'moravel-cli flash --y' --yes
expect 'moravel-cli update --' --yes --backup --wait --port --auto --name --help
expect 'moravel-cli ports -' --help
expect 'moravel-cli calibrate -' --yes --measured --port --auto --name --help
# Ports after --port, also after other options.
expect 'moravel-cli read --port ' COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8
expect 'moravel-cli diff --json --port COM' COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8
expect 'moravel-cli --port COM3 read --port COM5' COM5
# File names: parameter files for the file commands, firmware for flash, folders for both.
expect 'moravel-cli check ' machine.ncp spare.ncp saved
expect 'moravel-cli transfer --verify m' machine.ncp
expect 'moravel-cli flash --yes ' firmware.crx saved
expect 'moravel-cli update --wait 30 ' firmware.crx saved
expect 'moravel-cli read -o ' machine.ncp spare.ncp saved
expect 'moravel-cli transfer --backup s' spare.ncp saved
# Nothing to offer: the controller name, the operands of read and ports.
expect 'moravel-cli read --name '
expect 'moravel-cli update --wait '
expect 'moravel-cli ports '
# The axis of calibrate, then nothing for its distance or the measured travel.
expect 'moravel-cli calibrate --yes --port COM3 ' X Y Z C
expect 'moravel-cli calibrate --measured 99.5 X '
expect 'moravel-cli calibrate --measured '

if [[ $failures -ne 0 ]]; then
    echo "$failures completion(s) wrong"
    exit 1
fi
echo "all completions as expected"
