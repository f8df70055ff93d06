#!/bin/bash
# HTTPS with real tools: the certificate made at the first start (key mode 0600, fingerprint in
# the log and in --print-settings, as openssl reads it), one of the owner's own, a pair that does
# not match; then curl trusting the made certificate reads a page, logs in and uploads a few MiB
# that are stored exactly, and plain HTTP to a TLS port is closed at once.
set -u
binary=${1:?Usage: https_tools.sh ORVANE_BINARY}
. "$(dirname "$0")/scriptkit.sh" curl openssl cmp
fingerprint() { openssl x509 -noout -fingerprint -sha256 -in "$1" | sed 's/.*=//'; }

app=$work/app
port=$(free_port) admin=$(free_port)
mkdir -p "$app/docs"
printf 'hello over tls\n' >"$app/docs/hello.bin"
printf '[Server]\nPort=%s\nTls=1\n[Admin]\nAllow=1\nUserName=admin\nPassword=Secret1\nPort=%s\nTls=1\n' \
  "$port" "$admin" >"$app/server.cfg"

# A report writes nothing; the first start makes the certificate.
"$binary" --app-dir "$app" --print-settings | grep -qx "TlsFingerprint=" || fail "print-settings before the start"
[ ! -e "$app/system/tls-cert.pem" ] || fail "--print-settings made a certificate"
"$binary" --app-dir "$app" --headless >"$work/log" 2>&1 &
until_true "grep -q fingerprint '$work/log'" || fail "no fingerprint logged: $(cat "$work/log")"
[ "$(stat -c %a "$app/system/tls-key.pem")" = 600 ] || fail "key mode $(stat -c %a "$app/system/tls-key.pem")"
made=$(fingerprint "$app/system/tls-cert.pem")
grep -qx "HTTPS certificate SHA-256 fingerprint: $made" "$work/log" || fail "log: $(cat "$work/log")"
"$binary" --app-dir "$app" --print-settings | grep -qx "TlsFingerprint=$made" || fail "print-settings"
grep -q 'IP Address:127.0.0.1' <(openssl x509 -noout -text -in "$app/system/tls-cert.pem") ||
  fail "the certificate does not name 127.0.0.1"

# curl, trusting that certificate alone: a page, the login, an upload.
tls="curl -s --cacert $app/system/tls-cert.pem"
[ "$($tls "https://127.0.0.1:$port/hello.bin")" = "hello over tls" ] || fail "the page over TLS"
login=$($tls --data 'UserName=&UserName=admin&password=Secret1&Request=Login' "https://127.0.0.1:$admin/")
token=$(sed -n 's/.*name="Token" value="\([0-9a-f]*\)".*/\1/p' <<<"$login" | head -n1)
[ ${#token} = 32 ] || fail "no login over TLS: $login"
head -c 5000000 /dev/urandom >"$work/upload.bin"
done_page=$($tls -F ADMINLOGIN= -F "Token=$token" -F UploadNow=UploadNow \
  -F "uploadFile1=@$work/upload.bin" "https://127.0.0.1:$admin/")
grep -q 'Upload' <<<"$done_page" || fail "upload page: $done_page"
cmp "$work/upload.bin" "$app/docs/upload.bin" || fail "the upload was not stored exactly"

# Plain HTTP to the TLS port: closed, with not a byte of a reply.
reply=$(timeout 20 curl -s --http1.0 "http://127.0.0.1:$port/hello.bin"; echo "status $?")
[ "$reply" = "status 52" ] || [ "$reply" = "status 56" ] || fail "plain HTTP got: $reply"
kill %1; wait %1 2>/dev/null

# The owner's own certificate is used as it is; one that does not match its key stops the start.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj /CN=own \
  -keyout "$app/system/tls-key.pem" -out "$app/system/tls-cert.pem" 2>/dev/null
"$binary" --app-dir "$app" --print-settings | grep -qx "TlsFingerprint=$(fingerprint "$app/system/tls-cert.pem")" ||
  fail "the owner's certificate was not the one used"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj /CN=other \
  -keyout "$work/other-key.pem" -out "$work/other.pem" 2>/dev/null
cp "$work/other-key.pem" "$app/system/tls-key.pem"
"$binary" --app-dir "$app" --headless >"$work/out" 2>"$work/err"
code=$?
[ "$code" = 1 ] || fail "a mismatched pair: status $code"
[ "$(cat "$work/err")" = "orvane-light: The certificate $app/system/tls-cert.pem does not match the key $app/system/tls-key.pem." ] ||
  fail "a mismatched pair said: $(cat "$work/err")"
# One the program made itself, 10 days from its end, is made anew at the start.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 10 \
  -subj "/CN=old/O=Orvane Light, self-signed" -keyout "$app/system/tls-key.pem" \
  -out "$app/system/tls-cert.pem" 2>/dev/null
old=$(fingerprint "$app/system/tls-cert.pem")
"$binary" --app-dir "$app" --headless >"$work/log" 2>&1 &
until_true "grep -q fingerprint '$work/log'" || fail "no start after renewal: $(cat "$work/log")"
kill %%; wait 2>/dev/null
[ "$(fingerprint "$app/system/tls-cert.pem")" != "$old" ] || fail "an ending certificate was kept"
openssl x509 -checkend $((300 * 86400)) -noout -in "$app/system/tls-cert.pem" >/dev/null ||
  fail "the new certificate ends within 300 days"

# Names that are there but lead nowhere (a store not mounted) are reported, never replaced.
rm "$app/system/tls-cert.pem" "$app/system/tls-key.pem"
ln -s /nonexistent/cert.pem "$app/system/tls-cert.pem"
ln -s /nonexistent/key.pem "$app/system/tls-key.pem"
"$binary" --app-dir "$app" --headless >"$work/out" 2>"$work/err"
[ $? = 1 ] && [ -L "$app/system/tls-cert.pem" ] && [ -L "$app/system/tls-key.pem" ] ||
  fail "a missing store: $(cat "$work/err")"
[ "$(cat "$work/err")" = "orvane-light: The certificate $app/system/tls-cert.pem cannot be read: No such file or directory." ] ||
  fail "a missing store said: $(cat "$work/err")"
echo PASS
