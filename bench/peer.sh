#!/bin/sh
# What an operator would write instead of Tarnwick: read the job list and the
# mail definitions, write each body file, run the mailer once per line and
# append a result line (and an outcome-log line) per mail.
# Usage: peer.sh JOBLIST PROGRAM_FOLDER WORK_FOLDER MAILER RESULT_FILE
jobs=$1 base=${2%/} work=${3%/} mailer=$4 result=$5
cr=$(printf '\r')
n=0
rm -f "$result"
while IFS= read -r line || [ -n "$line" ]; do
    line=${line%"$cr"}
    case $line in *,*) ;; *) continue ;; esac
    def=${line%%,*} code=${line#*,}
    case $def in /*) ;; *) def=$base/$def ;; esac
    [ -f "$def" ] || continue
    {
        IFS= read -r log; IFS= read -r host; IFS= read -r to
        IFS= read -r from; IFS= read -r subject; IFS= read -r attach
        # The rest is the body; its lines keep their CR LF.
        while IFS= read -r l || [ -n "$l" ]; do printf '%s\n' "$l"; done > "$work/body.txt"
    } < "$def"
    log=${log%"$cr"} host=${host%"$cr"} to=${to%"$cr"} from=${from%"$cr"} subject=${subject%"$cr"}
    case $log in /*) ;; *) log=${def%/*}/$log ;; esac
    start=$(date '+%Y/%-m/%-d,%-H:%-M:%-S')
    (cd "$work" && exec "$mailer" -h"$host" -f"$from" -s"$subject" -m -Fbody.txt "$to" -t) </dev/null >/dev/null 2>&1
    status=$?
    end=$(date '+%-H:%-M:%-S')
    n=$((n + 1))
    if [ $status -eq 0 ]; then word=sent; else word=failed; fi
    entry="$start,$end,$status,$word,$host,TO:$to,$from,$subject,,$n,$code"
    printf '%s\r\n' "$entry" >> "$log"
    printf '%s,%s\r\n' "$entry" "$def" >> "$result"
done < "$jobs"
