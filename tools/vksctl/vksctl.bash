# bash completion for vksctl. The commands and their options are read from
# vksctl's own help text, so they never drift from the program.
_vksctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command="" i
    for ((i = 1; i < COMP_CWORD; ++i)); do
        case ${COMP_WORDS[i]} in
            --log-level|--registry|--sim-config) ((++i)) ;;
            -*) ;;
            *) command=${COMP_WORDS[i]}; break ;;
        esac
    done
    case $prev in
        --registry|--sim-config|--output|--wav) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --log-level) COMPREPLY=($(compgen -W "none errors warnings messages trace verbose" -- "$cur")); return ;;
    esac
    local words
    if [[ -z $command || $command == help ]]; then
        words="$(vksctl --help 2>/dev/null | awk '/^commands:/{f=1;next} /^$/{f=0} f{print $1}')"
        [[ -z $command ]] && words+=" help $(vksctl --help 2>/dev/null | grep -o -- '--[a-z-]*' | sort -u)"
    else
        words="$(vksctl "$command" --help 2>/dev/null | grep -o -- '--[a-z-]*' | sort -u)"
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
    [[ ${#COMPREPLY[@]} -eq 0 && $cur != -* ]] && COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _vksctl vksctl
