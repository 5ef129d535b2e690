#!/bin/sh
# A stand-in for the host's packaged supervisor, for trying the agent by hand. The prepare run
# decides "start"; the launcher publishes its interface address, logs, and runs until SIGTERM;
# the shutdown run only logs.
logs="$HOME/Library/Logs/Plintor"
[ "${PLINTOR_UPDATE_TEST:-}" = 1 ] && logs="$HOME/Library/Logs/Plintor-Update-Test"
mkdir -p "$logs"
case "${1:-}" in
  --plintor-prepare)
    echo '{"action":"start"}' >"$logs/plintor-launch.json"
    exit 0 ;;
  --plintor-shutdown)
    echo "shutdown run" >>"$logs/plintor.log"
    exit 0 ;;
esac
echo "launcher started in $(pwd)" >>"$logs/plintor.log"
trap 'echo "launcher stopping" >>"$logs/plintor.log"; exit 0' TERM
echo "http://127.0.0.1:8080" >"$logs/plintor-url"
while :; do sleep 1; done
