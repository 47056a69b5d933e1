#!/usr/bin/env bash
# Writes the bash completion of tolvane-batch from its own --help, so the completion offers
# exactly the options of the program it was built with. Usage:
#   make_completion.sh TOLVANE_BATCH OUTPUT
# Read from the help: every long option mentioned, the short options of the option column,
# and for an option with an argument, what to offer: the choices when the help lists them
# as "a | b | c", folders for DIR, files for FILE, nothing for other values.
set -euo pipefail
exe=$1 out=$2
help=$("$exe" --help)

awk '
function add_choice_case(opts, words) { cases = cases "    " opts ") COMPREPLY=($(compgen -W \"" words "\" -- \"$cur\")); return ;;\n" }
function add_case(opts, action) { cases = cases "    " opts ") " action " ;;\n" }
{
  line = $0
  rest = line
  # Every long option the help mentions, in the option column or in the prose.
  while (match(rest, /--[a-z0-9][a-z0-9-]*/)) {
    name = substr(rest, RSTART, RLENGTH)
    if (!(name in seen)) { seen[name] = 1; words = words " " name }
    rest = substr(rest, RSTART + RLENGTH)
  }
  # The option column: "  -x, --name ARG   description" or "      --name ARG   description".
  if (!match(line, /^ +(-[A-Za-z0-9], )?--[a-z0-9][a-z0-9-]*( [^ -][^ ]*)?( |$)/)) next
  spec = substr(line, RSTART, RLENGTH)
  description = substr(line, RSTART + RLENGTH)
  sub(/^ +/, "", spec); sub(/ +$/, "", spec)
  short = ""
  if (spec ~ /^-[A-Za-z0-9], /) {
    short = substr(spec, 1, 2)
    if (!(short in seen)) { seen[short] = 1; words = words " " short }
    spec = substr(spec, 5)
  }
  n = split(spec, parts, " ")
  if (n < 2) next
  long = parts[1]; arg = parts[2]
  opts = (short == "" ? long : short "|" long)
  if (arg ~ /\|/) {
    gsub(/\|/, " ", arg); add_choice_case(opts, arg); next
  }
  gsub(/ *\(default[^)]*\)/, "", description)
  if (match(description, /[a-z0-9-]+( \| [a-z0-9-]+)+/)) {
    choices = substr(description, RSTART, RLENGTH)
    gsub(/ \| /, " ", choices); add_choice_case(opts, choices); next
  }
  if (arg ~ /^DIR/) add_case(opts, "COMPREPLY=($(compgen -d -- \"$cur\")); return")
  else if (arg ~ /^FILE/) add_case(opts, "COMPREPLY=($(compgen -f -- \"$cur\")); return")
  else add_case(opts, "return")
}
END {
  print "# bash completion for tolvane-batch, written from its --help by data/make_completion.sh."
  print "_tolvane_batch() {"
  print "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}"
  print "  COMPREPLY=()"
  print "  case $prev in"
  printf "%s", cases
  print "  esac"
  print "  if [[ $cur == -* ]]; then"
  print "    COMPREPLY=($(compgen -W \"" substr(words, 2) "\" -- \"$cur\"))"
  print "  else"
  print "    COMPREPLY=($(compgen -f -- \"$cur\"))"
  print "  fi"
  print "}"
  print "complete -o filenames -F _tolvane_batch tolvane-batch"
}
' <<<"$help" >"$out.tmp"
bash -n "$out.tmp"
mv "$out.tmp" "$out"
