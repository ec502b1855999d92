# Loopback ports for the scripts that start servers. Source it (bash):
#   . scripts/lib/ports.sh

# Prints a loopback port that is free right now (the kernel picks it from its
# ephemeral range).
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
