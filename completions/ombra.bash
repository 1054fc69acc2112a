# bash completion for tallis (the attribute keys of the comma-separated lists after -i and -o),
# ombra (the trainer names of its first argument) and ombra-score (its options); file names
# elsewhere. The keys, the trainers and the options are asked of the program being completed
# (tallis --list-keys, ombra --help, ombra-score --help), so the lists never drift from the
# programs' own tables. Installed as share/bash-completion/completions/tallis, .../ombra and
# .../ombra-score.

# The program the command line names, or the one on the PATH.
_ombra_tools_program() {
  local program=$1 fallback=$2
  [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
  [[ -x $program ]] || program=$(command -v "$fallback" 2>/dev/null)
  printf '%s\n' "$program"
}

_tallis() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local head list
  COMPREPLY=()
  case $cur in
    -i* | -o*) head=${cur:0:2} list=${cur:2} ;;
    *)
      case $prev in
        -i | -o) head= list=$cur ;;
        *) return 0 ;;  # file names: the default completion
      esac
      ;;
  esac
  local partial=${list##*,}
  local before=${list%"$partial"}  # the keys already typed, with their commas
  local program key
  program=$(_ombra_tools_program "${COMP_WORDS[0]}" tallis)
  [[ -n $program ]] || return 0
  while IFS= read -r key; do
    [[ -n $key && $key == "$partial"* ]] && COMPREPLY+=("$head$before$key")
  done < <("$program" --list-keys 2>/dev/null)
  # A key is followed by a comma and the next key, not by a space.
  ((${#COMPREPLY[@]} > 0)) && compopt -o nospace 2>/dev/null
  return 0
}

_ombra() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=()
  ((COMP_CWORD == 1)) || return 0  # the files: the default completion
  local program name
  program=$(_ombra_tools_program "${COMP_WORDS[0]}" ombra)
  [[ -n $program ]] || return 0
  # The trainer table of the help: the lines after "<NN_type>:" up to the next empty line.
  while IFS= read -r name; do
    [[ -n $name && $name == "$cur"* ]] && COMPREPLY+=("$name")
  done < <("$program" --help 2>/dev/null |
    awk '/^<NN_type>:/ { table = 1; next } table && !NF { exit } table { print $1 }')
  # ombra NETWORK_FILE reloads a network: files are offered too.
  local file
  while IFS= read -r file; do
    COMPREPLY+=("$file")
  done < <(compgen -f -- "$cur")
  compopt -o filenames 2>/dev/null
  return 0
}

_ombra_score() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=()
  [[ $cur == -* ]] || return 0  # the network and the log: the default completion
  local program option
  program=$(_ombra_tools_program "${COMP_WORDS[0]}" ombra-score)
  [[ -n $program ]] || return 0
  while IFS= read -r option; do
    [[ $option == "$cur"* ]] && COMPREPLY+=("$option")
  done < <("$program" --help 2>/dev/null | grep -o -- '--[a-z-]*' | sort -u)
  return 0
}

complete -o default -F _tallis tallis
complete -o default -F _ombra ombra
complete -o default -F _ombra_score ombra-score
