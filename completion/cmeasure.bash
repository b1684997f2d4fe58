# bash completion for cmeasure                             -*- shell-script -*-
#
# Installed as .../share/bash-completion/completions/cmeasure, where
# bash-completion loads it the first time cmeasure is completed. It needs
# only bash itself, so that sourcing it works without bash-completion too.

_cmeasure()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options=1 i

    # Bash breaks words at '=': "--ext=c" arrives as "--ext" "=" "c". A
    # value may also be the next word: "--ext c".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    # After "--" every word is a path.
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options=0
    done

    if ((options)); then
        case $prev in
        --rules)
            mapfile -t COMPREPLY < <(compgen -W 'c menu' -- "$cur")
            return
            ;;
        --format)
            # Those of the figures, then those of the gate's report.
            mapfile -t COMPREPLY < <(compgen -W 'table json csv markdown text sarif github gitlab' -- "$cur")
            return
            ;;
        --sort)
            mapfile -t COMPREPLY < <(compgen -W 'path lines line_with_max_symbols max_symbols identifiers code_lines comment_lines blank_lines' \
                -- "$cur")
            return
            ;;
        --symbols)
            mapfile -t COMPREPLY < <(compgen -W 'all code' -- "$cur")
            return
            ;;
        -j | --jobs | --ext | --cxx-ext | --max-symbols | --exclude | --new-from-rev | -d | --max-depth | --top)
            # A number, a list of suffixes, a pattern, a revision: nothing to offer.
            return
            ;;
        --files0-from | --config | --baseline | --write-baseline) ;;
        *)
            if [[ $cur == -* ]]; then
                mapfile -t COMPREPLY < <(compgen -W '--jobs= --ext= --cxx-ext= --json --format= --rules= --symbols=
                    --max-symbols= --sarif --new-from-rev= --exclude=
                    --no-ignore --files0-from= --max-depth= --summarize --sort=
                    --by-dialect --list
                    --histogram --top= --check --config= --no-config --baseline=
                    --write-baseline= --help --version' -- "$cur")
                # An option offered with its '=' takes its value joined.
                [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
                return
            fi
            ;;
        esac
    fi

    # A path: a file is measured whatever it is, a directory is walked.
    compopt -o filenames
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
} &&
    complete -F _cmeasure cmeasure
