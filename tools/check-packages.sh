#!/usr/bin/env bash
# Builds the Debian packages from an existing build folder, checks them with
# lintian (no errors), installs them with apt into this machine, verifies the
# unit with systemd-analyze when there is one, starts the server as the unit
# starts it (its ExecStart, as user trd, with the packaged configuration; no
# systemd needed), makes a save, reads /metrics with Prometheus' parser and
# stops it. Removing keeps /var/lib/trd; purging is left to the operator.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

out=$(mktemp -d)
seed=$(mktemp)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    $SUDO kill -TERM "$server_pid" || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$out" "$seed"
}
trap cleanup EXIT

echo "== pacotes"
(cd "$BUILD_DIR" && cpack -G DEB -B "$out" > "$out/cpack.log") || { cat "$out/cpack.log"; exit 1; }
server_deb=$(ls "$out"/trd-server_*.deb)
client_deb=$(ls "$out"/trd-client_*.deb)
for deb in "$server_deb" "$client_deb"; do dpkg-deb -f "$deb" Package Version Depends; done

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$server_deb" "$client_deb"

echo "== apt install"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y --no-install-recommends "$server_deb" "$client_deb" > "$out/apt.log" || { cat "$out/apt.log"; exit 1; }
unit=/lib/systemd/system/trd-server.service
test -f "$unit"
test -f /etc/trd/trd-server.conf
getent passwd trd > /dev/null
test "$(stat -c %U /var/lib/trd)" = trd
/usr/bin/trd-server --check-config /etc/trd/trd-server.conf
test -x /usr/bin/trd-client && test -f /usr/share/applications/trd-client.desktop

if command -v systemd-analyze > /dev/null; then
  echo "== systemd-analyze verify"
  # Without a running systemd it still reads the unit and its ExecStart.
  SYSTEMD_LOG_LEVEL=err systemd-analyze verify "$unit"
fi

echo "== o servidor como a unidade o inicia"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
user=$(sed -n 's/^User=//p' "$unit")
# Its Environment= lines too (single words, as the unit has them).
environment=$(sed -n 's/^Environment=//p' "$unit" | tr '\n' ' ')
# The packaged database starts empty: one language and one row to save, given
# to the packaged file first by a start of its own (the same user, the same file).
# A language of its own (a database kept from an earlier install is not written over).
letters=ABCDEFGHIJKLMNOPQRSTUVWXYZ
lang=Q${letters:RANDOM%26:1}${letters:RANDOM%26:1}
printf 'L\t%s\tConferência\tPOR\nR\t%s\tTRD09300\tsbtSalvar\t&Salvar\t\tN\n' "$lang" "$lang" > "$seed"
chmod 644 "$seed"
$SUDO setpriv --reuid="$user" --regid="$user" --init-groups -- \
  /usr/bin/trd-server --config /etc/trd/trd-server.conf --listen 127.0.0.1:0 --import-tsv "$seed" \
  > "$out/seed.out" 2> "$out/seed.err" &
seed_pid=$!
for _ in $(seq 1 100); do grep -q "listening on" "$out/seed.out" && break; sleep 0.1; done
kill -0 "$seed_pid" 2>/dev/null || { cat "$out/seed.err"; exit 1; }
$SUDO kill -TERM "$seed_pid"; wait "$seed_pid" || { cat "$out/seed.err"; exit 1; }

# shellcheck disable=SC2086
$SUDO setpriv --reuid="$user" --regid="$user" --init-groups -- env $environment $exec_start > "$out/server.out" 2> "$out/server.err" &
server_pid=$!
address=""
for _ in $(seq 1 300); do
  address=$(sed -n 's/^listening on //p' "$out/server.out")
  [ -n "$address" ] && curl -fsS "http://$address/readyz" > /dev/null 2>&1 && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$out/server.err"; exit 1; }
  sleep 0.1
done
curl -fsS "http://$address/healthz" > /dev/null
/usr/bin/python3 tools/package-smoke.py "$address" "$lang"
$SUDO kill -TERM "$server_pid"
wait "$server_pid"
server_pid=""
grep -q "encerrado" "$out/server.err"

echo "== remover guarda os dados, expurgar os apaga"
$SUDO apt-get remove -y trd-server trd-client > "$out/remove.log" || { cat "$out/remove.log"; exit 1; }
test -f /var/lib/trd/trd.db
test -f /etc/trd/trd-server.conf
test ! -e /usr/bin/trd-server
$SUDO dpkg --purge trd-server trd-client > "$out/purge.log" 2>&1 || { cat "$out/purge.log"; exit 1; }
test ! -e /var/lib/trd
test ! -e /etc/trd/trd-server.conf
echo "== pacotes conferidos"
