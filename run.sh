#!/usr/bin/env bash
# Builds the programs, starts trd-server on a demo database in the user's data
# folder (created with demo content the first time) and opens trd-client
# against it. The server stops when the client exits.
#
#   ./run.sh [client arguments]
#   TRD_DATA_DIR=folder  where the database and the server log live
#                        (default: ${XDG_DATA_HOME:-~/.local/share}/trd)
#   TRD_PORT=port        the port to try first (default 8211; a free one if taken)
#   TRD_REPORTS_DIR=dir  the report definitions (default: those built beside the
#                        programs, $BUILD_DIR/bin/relatorios)
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh

BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target trd-server trd-client Pkg_Trd09300

DATA_DIR=${TRD_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/trd}
mkdir -p "$DATA_DIR"
DB="$DATA_DIR/demo.db"
SERVER_LOG="$DATA_DIR/server.log"
SERVER_OUT="$DATA_DIR/server.out"

# True when something answers on 127.0.0.1:$1.
port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# True when the server on port $1 answers GET /health with 200.
healthy() {
  local reply
  exec 3<>"/dev/tcp/127.0.0.1/$1" 2>/dev/null || return 1
  printf 'GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
  IFS= read -r -t 2 reply <&3 || true
  exec 3<&- 3>&-
  [[ "$reply" == "HTTP/1.1 200"* ]]
}

PORT=${TRD_PORT:-8211}
if port_busy "$PORT"; then
  echo "run.sh: a porta $PORT está em uso; o servidor usará uma porta livre." >&2
  PORT=0
fi

DEMO_ARGS=()
if [ ! -f "$DB" ]; then
  echo "run.sh: criando o banco de demonstração em $DB"
  DEMO_ARGS=(--demo)
fi

"$BUILD_DIR/bin/trd-server" --db "$DB" --listen "127.0.0.1:$PORT" "${DEMO_ARGS[@]}" \
  >"$SERVER_OUT" 2>"$SERVER_LOG" &
SERVER_PID=$!
stop_server() {
  if kill -0 "$SERVER_PID" 2>/dev/null; then
    kill -TERM "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
}
trap stop_server EXIT INT TERM

# The server announces its address on stdout ("listening on HOST:PORT").
for _ in $(seq 1 300); do
  if ! kill -0 "$SERVER_PID" 2>/dev/null; then
    echo "run.sh: o servidor não iniciou; veja $SERVER_LOG:" >&2
    tail -n 20 "$SERVER_LOG" >&2
    exit 1
  fi
  ANNOUNCED=$(sed -n 's/.*listening on [^:]*:\([0-9][0-9]*\).*/\1/p' "$SERVER_OUT" | head -n 1)
  if [ -n "$ANNOUNCED" ] && healthy "$ANNOUNCED"; then
    PORT=$ANNOUNCED
    break
  fi
  sleep 0.1
done
if ! healthy "$PORT"; then
  echo "run.sh: o servidor não respondeu; veja $SERVER_LOG" >&2
  exit 1
fi

# The module's reports are built beside the programs; a folder chosen by the
# caller wins.
export TRD_REPORTS_DIR="${TRD_REPORTS_DIR:-$(cd "$BUILD_DIR" && pwd)/bin/relatorios}"

echo "run.sh: trd-server em 127.0.0.1:$PORT (banco $DB, log $SERVER_LOG)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: nenhuma tela gráfica encontrada (DISPLAY/WAYLAND_DISPLAY); o cliente precisa de uma." >&2
fi
"$BUILD_DIR/bin/trd-client" --open --server "127.0.0.1:$PORT" "$@"
