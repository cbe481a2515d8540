# Shared by the collector's shell tests: a free loopback port, and waiting for a state with a
# deadline. Sourced; the caller sets limit_s (seconds) and defines fail.

# A loopback port nothing listens on (a clash with a program that starts listening just after
# shows as that program failing to start).
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    [ -z "$(ss -Htln "sport = :$port")" ] && { echo "$port"; return; }
  done
}

# Whether something listens on loopback port $1.
port_listening() { [ -n "$(ss -Htln "sport = :$1")" ]; }

# Runs the command until it succeeds, at most limit_s (wait_limit_s when set); 1 past it.
wait_for() {
  local deadline=$((SECONDS + ${wait_limit_s:-$limit_s}))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}
