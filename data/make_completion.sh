#!/usr/bin/env bash
# Writes the bash completion of tolvane-batch from its own --help, so the completion offers
# exactly the options of the program it was built with. Usage:
#   make_completion.sh TOLVANE_BATCH OUTPUT
# Read from the help: every long option mentioned, the short options of the option column,
# and for an option with an argument, what to offer: its choices where the help lists them
# ("a | b | c" or "a|b|c" on the option's line, or lines under it that start "name:" or
# "name (default):"), folders for DIR, files for FILE, nothing for other values.
set -euo pipefail
exe=$1 out=$2
help=$("$exe" --help)

awk '
function add_word(word) { if (!(word in seen)) { seen[word] = 1; words = words " " word } }
# "copy (default): ..." or "simple-copy, simple-move: ..." names choices of the current option.
function take_choices(text,   list) {
  if (!match(text, /^[a-z][a-z0-9-]*(, [a-z][a-z0-9-]*)*( \(default[^)]*\))?:/)) return
  list = substr(text, 1, RLENGTH - 1)
  sub(/ \(default[^)]*\)/, "", list); gsub(/,/, "", list)
  choices[current] = choices[current] " " list
}
{
  line = $0
  rest = line
  # Every long option the help mentions, in the option column or in the prose.
  while (match(rest, /--[a-z0-9][a-z0-9-]*/)) {
    add_word(substr(rest, RSTART, RLENGTH))
    rest = substr(rest, RSTART + RLENGTH)
  }
  # A line under an option that takes a value.
  if (current && line ~ /^                    +[^ -]/) {
    text = line; sub(/^ +/, "", text); take_choices(text); next
  }
  current = 0
  # The option column: "  -x, --name ARG   description" or "      --name ARG   description".
  if (!match(line, /^ +(-[A-Za-z0-9], )?--[a-z0-9][a-z0-9-]*( [^ -][^ ]*)?( |$)/)) next
  names = substr(line, RSTART, RLENGTH)
  description = substr(line, RSTART + RLENGTH)
  sub(/^ +/, "", names); sub(/ +$/, "", names); sub(/^ +/, "", description)
  short = ""
  if (names ~ /^-[A-Za-z0-9], /) { short = substr(names, 1, 2); add_word(short); names = substr(names, 5) }
  if (split(names, parts, " ") < 2) next
  arg = parts[2]
  current = ++count
  opts[current] = (short == "" ? parts[1] : short "|" parts[1])
  if (arg ~ /\|/) { gsub(/\|/, " ", arg); choices[current] = " " arg; current = 0; next }
  kind[current] = arg ~ /^DIR/ ? "dir" : arg ~ /^FILE/ ? "file" : "value"
  list = description
  gsub(/ *\(default[^)]*\)/, "", list)
  if (match(list, /^[a-z0-9-]+( \| [a-z0-9-]+)+/)) {
    list = substr(list, RSTART, RLENGTH); gsub(/ \| /, " ", list); choices[current] = " " list
    current = 0
  } else if (kind[current] == "value") {
    take_choices(description)
  } else {
    current = 0
  }
}
END {
  print "# bash completion for tolvane-batch, written from its --help by data/make_completion.sh."
  print "_tolvane_batch() {"
  print "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}"
  print "  COMPREPLY=()"
  print "  case $prev in"
  for (i = 1; i <= count; i++) {
    if (choices[i] != "")
      action = "COMPREPLY=($(compgen -W \"" substr(choices[i], 2) "\" -- \"$cur\")); return"
    else if (kind[i] == "dir") action = "COMPREPLY=($(compgen -d -- \"$cur\")); return"
    else if (kind[i] == "file") action = "COMPREPLY=($(compgen -f -- \"$cur\")); return"
    else action = "return"
    print "    " opts[i] ") " action " ;;"
  }
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
