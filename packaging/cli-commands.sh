#!/usr/bin/env bash
# Prints the commands of kelvot-cli, one a line, as its --help lists them under "Subcommands:".
#
#   packaging/cli-commands.sh KELVOT_CLI
set -euo pipefail
"$1" --help | awk '/^Subcommands:/ { inside = 1; next } inside && /^  [a-z]/ { print $1 } inside && /^$/ { exit }'
