# bash completion for quorvel, quorvel-export and quorvel-inventory.
#
# The options are read from the program's own --help when Tab is pressed, so
# they are always those of the program being run: each indented line of the
# option list that starts with a dash names an option, and a word in capitals
# after it (DIR, FILE, N, FORMAT) the value it takes; "--name a|b|c" in the
# usage lines lists the values to offer. A DIR takes folders, a number takes
# nothing, any other value files. Other words are projects: *.rpp files (and
# *.rpp-bak after --include-backups) and folders. quorvel, the window, has no
# --help; its one argument is a project.

_comp_quorvel() {
  local cur prev words cword split
  _init_completion -s || return

  local command=${words[0]} program=${words[0]##*/}
  local projects='[Rr][Pp][Pp]'
  if [[ $program == quorvel ]]; then
    ((cword == 1)) && _filedir "$projects"
    return
  fi

  [[ $command == \~/* ]] && command=$HOME/${command#\~/}
  local help
  help=$("$command" --help 2>/dev/null) || help=

  local -a options=()
  local -A takes=() choices=()
  local line
  local option_line='^[[:space:]]+(-[-[:alnum:]]+)([ =]([A-Z][A-Z_]*))?([[:space:]][[:space:]]|$)'
  while IFS= read -r line; do
    if [[ $line =~ $option_line ]]; then
      options+=("${BASH_REMATCH[1]}")
      [[ -n ${BASH_REMATCH[3]} ]] && takes[${BASH_REMATCH[1]}]=${BASH_REMATCH[3]}
    fi
  done <<<"$help"
  local usage=${help%%$'\n\n'*}
  local choice_list='(-[-[:alnum:]]+)[ =]([[:lower:][:digit:]]+(\|[[:lower:][:digit:]]+)+)'
  while [[ $usage =~ $choice_list ]]; do
    choices[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]//|/ }
    usage=${usage#*"${BASH_REMATCH[0]}"}
  done

  # The value of an option: --format json, --format=json.
  if [[ -n $prev && -n ${takes[$prev]-} ]]; then
    if [[ -n ${choices[$prev]-} ]]; then
      COMPREPLY=($(compgen -W "${choices[$prev]}" -- "$cur"))
    else
      case ${takes[$prev]} in
        DIR) _filedir -d ;;
        N) ;;
        *) _filedir ;;
      esac
    fi
    return
  fi
  $split && return

  local i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --) _filedir "$projects"; return ;;
      --include-backups) projects='@([Rr][Pp][Pp]|[Rr][Pp][Pp]-[Bb][Aa][Kk])' ;;
    esac
  done
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "${options[*]}" -- "$cur"))
    return
  fi
  _filedir "$projects"
}
complete -F _comp_quorvel quorvel quorvel-export quorvel-inventory
