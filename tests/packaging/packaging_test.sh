#!/usr/bin/env bash
# The manual pages and the bash completion of the programs as built:
# - man renders each page without a warning at 80 columns, and the page of a
#   command-line program has an EXIT STATUS and names every option its --help
#   names;
# - Tab offers every option --help names, the values of --format, folders for
#   a DIR, nothing for a number, and projects (*.rpp in any letter case, and
#   *.rpp-bak after --include-backups) and folders for the other arguments.
# Usage: packaging_test.sh COMPLETION_SCRIPT MAN_DIR QUORVEL_EXPORT QUORVEL_INVENTORY
set -uo pipefail
export LC_ALL=C
completion=$(readlink -f "$1") man_dir=$(readlink -f "$2")
programs=("$(readlink -f "$3")" "$(readlink -f "$4")")
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Every option named in a program's --help, one per line, sorted.
help_options() {
  "$1" --help | grep -oE '(^|[][ ,|(])--?[[:alpha:]][-[:alnum:]]*' | sed 's/^[^-]*//' | sort -u
}

echo "-- manual pages"
for page in quorvel quorvel-export quorvel-inventory; do
  file=$man_dir/$page.1
  [ -s "$file" ] || { fail "$file was not made"; continue; }
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: man warns: $warnings"
done
for program in "${programs[@]}"; do
  page=$man_dir/$(basename "$program").1
  text=$(MANWIDTH=80 man -l "$page" 2>/dev/null | col -b)
  grep -qx "EXIT STATUS" <<<"$text" || fail "$(basename "$page") has no EXIT STATUS"
  while read -r option; do
    grep -qE -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|$)" <<<"$text" || fail "$(basename "$page") lacks $option"
  done < <(help_options "$program")
done

echo "-- bash completion"
if [ ! -f /usr/share/bash-completion/bash_completion ]; then
  echo "bash-completion is not installed: the completion is not checked"
  [ "$failures" -eq 0 ] && exit 77
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir folder
touch song.rpp LOUD.RPP Mixed.Rpp notes.txt old.rpp-bak
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$completion"
for program in "${programs[@]}"; do
  PATH=$(dirname "$program"):$PATH
done

# What Tab offers at the end of LINE, sorted, on one line. The words are
# split as readline splits them: at blanks and around "=".
offered() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"${line//=/ = }"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _comp_quorvel "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}
while IFS='|' read -r line expected; do
  got=$(offered "$line")
  [ "$got" = "$expected" ] || fail "'$line<Tab>' offers '$got', expected '$expected'"
done <<EOF_CASES
quorvel-inventory --fo|--format
quorvel-inventory --format |csv html json
quorvel-inventory --format=j|json
quorvel-inventory -o - --format c|csv
quorvel-inventory --reaper-resources |folder
quorvel-export --output-dir=|folder
quorvel-export --output-dir f|folder
quorvel-inventory --jobs |
quorvel-export -o |LOUD.RPP Mixed.Rpp folder notes.txt old.rpp-bak song.rpp
quorvel-inventory |LOUD.RPP Mixed.Rpp folder song.rpp
quorvel-inventory --include-backups |LOUD.RPP Mixed.Rpp folder old.rpp-bak song.rpp
quorvel-export --beside |LOUD.RPP Mixed.Rpp folder song.rpp
quorvel-export -- -|
quorvel |LOUD.RPP Mixed.Rpp folder song.rpp
quorvel song.rpp |
EOF_CASES
for program in "${programs[@]}"; do
  name=$(basename "$program")
  got=$(offered "$name -")
  expected=$(help_options "$program" | sort | paste -sd' ')
  [ "$got" = "$expected" ] || fail "'$name -<Tab>' offers '$got', --help names '$expected'"
done

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "PASS: manual pages and completion"
