#!/usr/bin/env bash
# A launcher signed with an Authenticode signature still verifies, and runs and unpacks as an
# unsigned one does. The test CA and its code-signing certificate are made here, each run.
#
# Usage: signed_launcher_test.sh <launcher with target spec {PROGRAM_DIR}\unpacked>
#                                <its application folder> <scratch parent folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
source "$repo_root/tests/support/test_lib.sh"
launcher=$1
app=$2
work=$(mktemp -d "$3/signed.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A CA (self-signed, allowed to sign certificates) and a certificate for code signing below it.
make_ca() {  # name
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Tarnic Faults $1" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}

make_signer() {
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=Tarnic Faults Code Signing" \
    -keyout "$work/signer.key" -out "$work/signer.csr" 2>/dev/null
  printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$work/signer.ext"
  openssl x509 -req -sha256 -days 2 -in "$work/signer.csr" -CA "$work/ca.pem" \
    -CAkey "$work/ca.key" -CAcreateserial -extfile "$work/signer.ext" \
    -out "$work/signer.pem" 2>/dev/null
}

verifies() {  # file, CA
  osslsigncode verify -CAfile "$2" -in "$1" >"$work/verify.log" 2>&1
}

hex() {
  printf '%s' "$1" | od -An -tx1 | tr -d ' \n'
}

windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# One start of the signed launcher: the child must run from the target directory beside it,
# which must then hold the application byte for byte.
check_start() {  # label
  local out status=0
  out=$("$repo_root/scripts/wine-run" "$signed" </dev/null 2>"$work/stderr") || status=$?
  [ "$status" -eq 0 ] || fail "$1: exit status $status, output: $out $(cat "$work/stderr")"
  [ ! -s "$work/stderr" ] || fail "$1: standard error: $(cat "$work/stderr")"
  local module
  module=$(printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^module=//p')
  [ "$module" = "$(hex "$(windows_path "$folder/unpacked/report.exe")")" ] ||
    fail "$1: the child ran from another place (module=$module)"
  diff -r "$app" "$folder/unpacked" >/dev/null || fail "$1: the unpacked files differ"
}

make_ca ca
make_ca other-ca
make_signer
folder=$work/signed
signed=$folder/launcher.exe
mkdir "$folder"
osslsigncode sign -certs "$work/signer.pem" -key "$work/signer.key" -h sha256 \
  -n "Tessaline Faults" -in "$launcher" -out "$signed" >/dev/null

verifies "$signed" "$work/ca.pem" || fail "the signature does not verify: $(cat "$work/verify.log")"
! verifies "$signed" "$work/other-ca.pem" || fail "the signature verifies against a foreign CA"
! verifies "$launcher" "$work/ca.pem" || fail "the unsigned launcher verifies"

check_start "first start"
check_start "second start"
verifies "$signed" "$work/ca.pem" || fail "the signature no longer verifies after the starts"
echo "signed launcher verifies, runs and unpacks"
