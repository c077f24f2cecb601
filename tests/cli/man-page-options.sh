#!/usr/bin/env bash
# The manual page keeps up with the program: every command 'brellin-cli
# --help' names has its own entry (.SS), and every option a command's own
# --help prints appears in that entry.  Usage: man-page-options.sh CLI PAGE
set -euo pipefail
CLI=$1 PAGE=$2

# (The awk programs below read their input to the end: one that left early
# would kill printf with SIGPIPE, and pipefail would end the script silently.)
# The page with roff's minus signs, font changes and escapes taken out.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(..//g' -e 's/\\[&%e]//g' "$PAGE")

# "  analyze INPUT ..." and "  styles | brushes | patterns" under "commands:".
commands=$("$CLI" --help | awk '
  /^commands:/ { on = 1; next }
  on && /^$/ { on = 0 }
  on && /^  [a-z]/ {
    n = split($0, w, " "); print w[1]
    for (i = 2; i < n && w[i] == "|"; i += 2) print w[i + 1]
  }')
[ -n "$commands" ] || { echo "no commands found in '$CLI --help'" >&2; exit 1; }

failures=0 checked=0
for cmd in $commands; do
  entry=$(printf '%s\n' "$text" | awk -v c="$cmd" '
    on && /^\.S[SH]/ { on = 0; done = 1 }
    !done && $0 ~ "^\\.SS \"?" c "( |\"|$)" { on = 1 }
    on')
  if [ -z "$entry" ]; then
    echo "$PAGE: no entry for the command '$cmd'" >&2
    failures=$((failures + 1))
    continue
  fi
  help=$("$CLI" "$cmd" --help)
  # Options stand after a blank, '[', '(' or '|': "--*-offset" or
  # "-features.bmp" in the prose are none.
  options=$(printf '%s\n' "$help" | grep -oE '(^|[[:space:][(|])--?[a-z][a-z0-9-]*' |
    sed -E 's/^[[:space:][(|]//' | sort -u || true)
  for opt in $options; do
    checked=$((checked + 1))
    # A here-string, not a pipe: grep -q stops at the first match, and under
    # pipefail the writer's broken pipe would count as "not found".
    if ! grep -qE -- "(^|[^A-Za-z0-9-])$opt([^A-Za-z0-9-]|\$)" <<<"$entry"; then
      echo "$PAGE: the entry for '$cmd' does not mention $opt" >&2
      failures=$((failures + 1))
    fi
  done
done
[ "$checked" -gt 0 ] || { echo "no options found in the commands' help" >&2; exit 1; }
[ "$failures" -eq 0 ] || exit 1
echo "$(echo $commands | wc -w) commands, $checked options documented"
