# bash completion for ondrel(1)

_ondrel()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    --export-csv | --export-json | --shot)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    --lang)
        mapfile -t COMPREPLY < <(compgen -W "ja en de fr es it nl pt pt-BR ru pl tr sv da fi nb cs el hu ro sk uk zh-Hans zh-Hant ko th vi id ms hi ar he" -- "$cur")
        return
        ;;
    --tab)
        mapfile -t COMPREPLY < <(compgen -W "0 1 2" -- "$cur")
        return
        ;;
    --password)
        mapfile -t COMPREPLY < <(compgen -W "-" -- "$cur")
        return
        ;;
    --security)
        mapfile -t COMPREPLY < <(compgen -W "open owe wep wpa wpa2 wpa2wpa3 wpa3" -- "$cur")
        return
        ;;
    --connect)
        # Network names are not offered: they may hold anything.
        COMPREPLY=()
        return
        ;;
    esac
    mapfile -t COMPREPLY < <(compgen -W "--probe --connect --hidden --security --password --json --speedtest --export-csv
        --export-json --shot --history --speed --settings --tab --lang --help --version" -- "$cur")
}
complete -F _ondrel ondrel
