#!/usr/bin/env bash
# Builds Quenlor (debug) and starts it.
#
#   ./run.sh                      a simulated ERP server (scenario "realistic") on 127.0.0.1 and
#                                 Quenlor with its login dialog preset to reach it
#   ./run.sh --scenario NAME      the same with another scenario of src/sim/scenarios
#                                 (realistic, u8new, tplus, both, sql2000, large)
#   ./run.sh --server HOST[,PORT] no simulator: Quenlor with its login dialog preset to that server
#
# Quenlor runs from a folder of its own under build/ (build/run/sim or build/run/server), whose
# Config.ini this script writes; a Config.ini of yours elsewhere is never touched.
set -euo pipefail
cd "$(dirname "$0")"

scenario=realistic
server=""
while [ $# -gt 0 ]; do
    case "$1" in
    --scenario) scenario="${2:?--scenario needs a name}"; shift 2 ;;
    --scenario=*) scenario="${1#*=}"; shift ;;
    --server) server="${2:?--server needs a host}"; shift 2 ;;
    --server=*) server="${1#*=}"; shift ;;
    -h | --help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1 (see ./run.sh --help)" >&2; exit 2 ;;
    esac
done

export LANG="${LANG:-C.UTF-8}"
case "${LANG}" in *UTF-8* | *utf8*) ;; *) export LANG=C.UTF-8 ;; esac

./scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target quenlor quenlor-sim

# A folder of its own: the program reads Config.ini beside itself.
prepare() {
    mkdir -p "$1"
    cp -f build/dev/src/quenlor "$1/quenlor"
    printf '[Login]\r\nServer=%s\r\nSa=%s\r\nPwd=%s\r\n' "$2" "$3" "$4" >"$1/Config.ini"
}

if [ -n "${server}" ]; then
    prepare build/run/server "${server}" SA ""
    exec build/run/server/quenlor
fi

scenario_file="src/sim/scenarios/${scenario}.json"
[ -f "${scenario_file}" ] || { echo "run.sh: no scenario ${scenario_file}" >&2; exit 2; }
# The password and user of the scenario, for the login dialog.
read_server() {
    sed -n "s/.*\"$1\": *\"\\([^\"]*\\)\".*/\\1/p" "${scenario_file}" | head -n 1
}
user="$(read_server user)"
password="$(read_server password)"

# The simulator makes fresh data files in a temporary folder each time (a deletion really removes
# them) and removes the folder when it stops.
mkdir -p build/run
port_file="build/run/sim.port"
rm -f "${port_file}"
build/dev/src/quenlor-sim --scenario "${scenario}" --port-file "${port_file}" &
sim=$!
trap 'kill "${sim}" 2>/dev/null || true; wait "${sim}" 2>/dev/null || true' EXIT
# A big scenario on a busy machine may take a while: wait as long as the simulator lives.
waited=0
until [ -s "${port_file}" ]; do
    kill -0 "${sim}" 2>/dev/null || { echo "run.sh: the simulated server stopped before it started listening" >&2; exit 1; }
    waited=$((waited + 1))
    [ "${waited}" -eq 50 ] && echo "run.sh: waiting for the simulated server to load the ${scenario} scenario..."
    sleep 0.1
done
port="$(tr -d '\n' <"${port_file}")"

prepare build/run/sim "127.0.0.1,${port}" "${user}" "${password}"
echo "run.sh: Quenlor against the simulated server 127.0.0.1,${port} (${scenario}); press Enter in the login dialog"
build/run/sim/quenlor
