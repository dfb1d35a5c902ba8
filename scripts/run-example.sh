#!/bin/sh
# Runs the example batch in examples/ with Tarnwick and tarnmail, unattended:
# builds them and tarnmerge if needed, lays out a run folder build/example-run/
# (the program folder: Tarnwick, tarnmail, Tarnwick.ini, the CC, BCC and
# attachment files as Shift_JIS with CR LF line ends), makes the batch from the
# customer list and the template with tarnmerge, checks it with /v, runs
# Tarnwick invisible, then prints the result file and the mails in the outbox.
#
#   scripts/run-example.sh           mailer run directly
#   scripts/run-example.sh --batch   batch mode (/d): tarnmail's transcript goes to $mail_log.txt
#
# The run folder's tarnmail.ini turns outbox mode on (Outbox=1), so tarnmail
# writes .eml files (and each mail's envelope) into temp/outbox/ instead of
# sending. To send for real, drop that line and put a host on line 2 of each
# definition or Host= in tarnmail.ini (see tools/tarnmail/README.md).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
RUN=$BUILD/example-run
BATCH=""
[ "$1" = "--batch" ] && BATCH="/d"

sh "$ROOT/scripts/install-deps.sh"

if [ ! -x "$BUILD/bin/Tarnwick" ] || [ ! -x "$BUILD/bin/tarnmail" ] || [ ! -x "$BUILD/bin/tarnmerge" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" --target Tarnwick tarnmail tarnmerge -j2
fi

# The examples are kept as UTF-8 with LF; Tarnwick reads Shift_JIS with CR LF.
# File names stay UTF-8: that is what the file system sees.
to_windows_text() {
  iconv -f UTF-8 -t CP932 "$1" | sed 's/$/\r/' > "$2"
}

rm -rf "$RUN"
mkdir -p "$RUN/temp" "$RUN/mails" "$RUN/files"
cp "$BUILD/bin/Tarnwick" "$BUILD/bin/tarnmail" "$RUN/"
# tarnmail's 75 is a temporary failure, the only kind worth a resend (71: the server may have the mail).
printf '[Mail]\r\nName=tarnmail\r\nResendCodes=75\r\n' > "$RUN/Tarnwick.ini"
# A dry run: Outbox=1, every mail goes to temp/outbox/, nothing is sent.
to_windows_text "$ROOT/examples/tarnmail.ini" "$RUN/tarnmail.ini"
for f in "$ROOT"/examples/mails/* "$ROOT"/examples/files/*; do
  rel=${f#"$ROOT"/examples/}
  to_windows_text "$f" "$RUN/$rel"
done

cd "$RUN"
# One definition per customer and the job list batch/jobs.txt; the send codes
# come from the column "code".
"$BUILD/bin/tarnmerge" --code code "$ROOT/examples/customers.csv" "$ROOT/examples/template.txt" batch
# The check: 0 nothing wrong, 2 warnings only (① and Ⅱ go out in UTF-8), 1 errors.
check=0
QT_QPA_PLATFORM=offscreen timeout 300 ./Tarnwick /P batch/jobs.txt /v || check=$?
echo "Tarnwick /v exit code: $check"
iconv -f CP932 -t UTF-8 '$mail_check.csv' | tr -d '\r'
[ "$check" -le 2 ] || exit "$check"

status=0
# shellcheck disable=SC2086
QT_QPA_PLATFORM=offscreen timeout 300 ./Tarnwick /P batch/jobs.txt /i $BATCH || status=$?
echo "Tarnwick exit code: $status"

echo
echo "== \$mail_result.csv"
if [ -f '$mail_result.csv' ]; then
  iconv -f CP932 -t UTF-8 '$mail_result.csv' | tr -d '\r'
else
  echo "(none)"
fi
if [ -n "$BATCH" ] && [ -f '$mail_log.txt' ]; then
  echo
  echo "== \$mail_log.txt"
  iconv -f CP932 -t UTF-8 '$mail_log.txt' | tr -d '\r'
fi

echo
echo "== outbox (temp/outbox/)"
found=0
for eml in temp/outbox/*.eml; do
  [ -f "$eml" ] || continue
  found=1
  echo "--- $eml"
  envelope=${eml%.eml}.envelope
  [ -f "$envelope" ] && sed 's/^/  /' "$envelope"
  sed -n '1,/^\r*$/p' "$eml" | tr -d '\r'
  # The same mail as a reader sees it, when Python is at hand.
  if [ -x /usr/bin/python3 ]; then
    /usr/bin/python3 - "$eml" <<'EOF'
import email, email.policy, sys
with open(sys.argv[1], "rb") as f:
    m = email.message_from_bytes(f.read(), policy=email.policy.default)
print("  decoded:")
for h in ("From", "Reply-To", "To", "Cc", "Subject", "Date"):
    if m[h] is not None:
        print("    %-9s %s" % (h + ":", m[h]))
body = m.get_body(preferencelist=("plain",))
print("    body (%s):" % body.get_content_charset())
for line in body.get_content().replace("\r\n", "\n").rstrip("\n").split("\n"):
    print("      " + line)
for part in m.iter_attachments():
    print("    attachment: %s (%s, %d bytes)" % (part.get_filename(), part.get_content_type(),
                                                 len(part.get_payload(decode=True))))
EOF
  fi
done
[ "$found" = 1 ] || echo "(no mail written)"
exit "$status"
