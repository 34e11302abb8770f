#!/bin/sh
# Makes a home folder in which Debian's TQSL signs for a test callsign: a self-made callsign
# certificate and its key in TQSL's own files, and one station location.
#
#   make-tqsl-home.sh HOME CALL QSO-FROM QSO-TO DXCC LOCATION [PASSPHRASE [NOT-AFTER-DAYS]]
#
# QSO-FROM and QSO-TO (YYYY-MM-DD) are the certificate's QSO dates; DXCC its entity number. With
# a PASSPHRASE the private key is kept encrypted, and TQSL asks for it. NOT-AFTER-DAYS: how
# long the certificate itself is valid (negative: it has expired that many days ago).
set -eu
home=$1 call=$2 from=$3 to=$4 dxcc=$5 location=$6 passphrase=${7:-} days=${8:-3650}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$home/.tqsl/certs" "$home/.tqsl/keys"

# An extension value is the plain text itself, not an ASN.1 string.
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
cat >"$work/cert.cnf" <<CNF
oid_section = oids
[oids]
AROcallsign = 1.3.6.1.4.1.12348.1.1
[req]
distinguished_name = dn
prompt = no
[dn]
AROcallsign = $call
CN = Test operator $call
[ext]
basicConstraints = CA:FALSE
1.3.6.1.4.1.12348.1.2 = DER:$(hex "$from")
1.3.6.1.4.1.12348.1.3 = DER:$(hex "$to")
1.3.6.1.4.1.12348.1.4 = DER:$(hex "$dxcc")
CNF
# TQSL's own keys are RSA of 1024 bits.
openssl genrsa -out "$work/key.pem" 1024 2>/dev/null
if [ "$days" -ge 0 ]; then
  openssl req -new -x509 -key "$work/key.pem" -out "$work/cert.pem" -days "$days" \
    -config "$work/cert.cnf" -extensions ext 2>/dev/null
else
  # Valid from two years before until the given number of days ago.
  openssl req -new -key "$work/key.pem" -out "$work/cert.csr" -config "$work/cert.cnf" 2>/dev/null
  start=$(date -u -d "-730 days" +%Y%m%d%H%M%SZ)
  end=$(date -u -d "$days days" +%Y%m%d%H%M%SZ)
  cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = own
[own]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = any
[any]
CNF
  : >"$work/index.txt"
  echo 01 >"$work/serial"
  openssl ca -selfsign -batch -preserveDN -notext -config "$work/ca.cnf" -in "$work/cert.csr" \
    -keyfile "$work/key.pem" -startdate "$start" -enddate "$end" -extfile "$work/cert.cnf" -extensions ext \
    -out "$work/cert.pem" 2>/dev/null
fi
openssl pkey -in "$work/key.pem" -pubout -out "$work/public.pem"
if [ -n "$passphrase" ]; then
  openssl pkcs8 -topk8 -in "$work/key.pem" -v2 aes-256-cbc -passout "pass:$passphrase" -out "$work/private.pem"
else
  openssl pkcs8 -topk8 -nocrypt -in "$work/key.pem" -out "$work/private.pem"
fi

# TQSL's certificate store: each PEM block after an empty line.
{ echo; cat "$work/cert.pem"; } >>"$home/.tqsl/certs/user"
# TQSL's key file: one record with the call and both keys, lengths counting each PEM whole.
size() { wc -c <"$1" | tr -d ' '; }
keyfile="$home/.tqsl/keys/$(printf '%s' "$call" | tr / _)"
{
  printf '<CALLSIGN:%s>%s' "$(printf '%s' "$call" | wc -c | tr -d ' ')" "$call"
  printf '<PRIVATE_KEY:%s>' "$(size "$work/private.pem")"; cat "$work/private.pem"
  printf '<PUBLIC_KEY:%s>' "$(size "$work/public.pem")"; cat "$work/public.pem"
  printf '<eor>\n'
} >"$keyfile"

cat >"$home/.tqsl/station_data" <<XML
<StationDataFile>
  <StationData name="$location">
    <CALL>$call</CALL>
    <DXCC>$dxcc</DXCC>
    <GRIDSQUARE>FN42</GRIDSQUARE>
    <CQZ>5</CQZ>
    <ITUZ>8</ITUZ>
  </StationData>
</StationDataFile>
XML
