#!/usr/bin/env bash
# Makes loopback.crt and loopback.key next to this script: a self-signed certificate for the TLS test server,
# for the IP address 127.0.0.1 (subjectAltName), valid from 2000 to 2100 so that no test clock falls outside
# it. Run once; the files are committed, and the tests trust the certificate as its own authority.
set -euo pipefail
out="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
# `openssl req -x509` cannot date a certificate back; `openssl ca -selfsign` can, with this minimal setup.
cat >ca.cnf <<'CNF'
[ca]
default_ca = loopback
[loopback]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
x509_extensions = server
[anything]
commonName = supplied
[server]
basicConstraints = critical, CA:TRUE
subjectKeyIdentifier = hash
subjectAltName = IP:127.0.0.1
CNF
touch index.txt
echo 01 >serial
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out key.pem
openssl req -new -key key.pem -subj /CN=127.0.0.1 -out request.csr
openssl ca -batch -config ca.cnf -selfsign -keyfile key.pem -in request.csr -notext \
    -startdate 20000101000000Z -enddate 21000101000000Z -out cert.pem
cp cert.pem "$out/loopback.crt"
cp key.pem "$out/loopback.key"
