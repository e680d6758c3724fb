#!/usr/bin/env bash
# Writes the manual page kelvot-cli(1) from the program's own help: help2man turns `kelvot-cli --help`
# and `--version` into the page, and each command's `--help` goes into a COMMANDS section after it, so
# the page always describes the program it was built with.
#
#   packaging/cli-manpage.sh KELVOT_CLI OUTPUT      (OUTPUT: the page, uncompressed)
set -euo pipefail
cli=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
include=$(mktemp)
trap 'rm -f "$include"' EXIT

# roff reads a backslash as an escape and a line starting with "." or "'" as a request.
roff_text() { sed -e 's/\\/\\e/g' -e "s/^[.']/\\\\\&&/"; }

{
    echo '[COMMANDS]'
    for command in $("$here/cli-commands.sh" "$cli"); do
        echo ".SS $command"
        echo '.nf'
        "$cli" "$command" --help | roff_text
        echo '.fi'
    done
    cat <<'TEXT'
[EXIT STATUS]
0 when the command did its work; 1 when it failed, with one line
\fBkelvot-cli:\fR \fIdescription\fR on the standard error; 2 for a usage error.
[SEE ALSO]
.BR kelvot (1)
TEXT
} >"$include"

help2man --no-info --section=1 --source="Kelvot" --manual="User Commands" \
    --name="list, check and edit DAT archives from a shell" \
    --include="$include" --output="$out" "$cli"
