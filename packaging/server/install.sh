#!/usr/bin/env bash
# Sets up ferrow-server on a Debian or Ubuntu machine: the program, a system user, a random key
# and port, the systemd unit and a firewall opening; then prints the key, the port and a ready
# ferrow:// link. Running it again keeps the key and the port. --uninstall removes what it made.
#
#   install.sh [--uninstall] [--host NAME] [--binary FILE] [--root DIR]
#
# --host names the address put into the link (default: this machine's public address).
# --binary installs that ferrow-server instead of the release build (or a checkout's build).
# --root works below DIR instead of / (for tests; tools are still found through PATH).
#
# Installed by the ferrow-server package as ferrow-server-setup, it uses the packaged program and
# unit instead of installing its own, and --uninstall undoes only the set-up.
set -euo pipefail

# Where releases are published and the Ed25519 key (PEM) their downloads are signed with. Empty
# here; a build given a release location writes both into its copy of this script.
RELEASE_LOCATION=""
RELEASE_PUBLIC_KEY=""

NAME=ferrow-server
packaged=0
[ "$(basename "$0")" = "$NAME-setup" ] && packaged=1
root=/
uninstall=0
host=""
binary=""
while [ $# -gt 0 ]; do
  case "$1" in
    --uninstall) uninstall=1 ;;
    --host) host="${2:?--host needs a name}"; shift ;;
    --binary) binary="${2:?--binary needs a file}"; shift ;;
    --root) root="${2:?--root needs a folder}"; shift ;;
    --help|-h)
      cat <<'HELP'
Usage: ferrow-server-setup [--host NAME] [--root DIR]
  or:  ferrow-server-setup --uninstall
Sets up ferrow-server on this machine: a system user, a random key and port, the systemd unit
enabled and started, and a firewall opening when ufw or nftables is active; then prints the
key, the port and a ready ferrow:// link. Running it again keeps the key and the port.

Options:
  --host NAME    the address put into the link (default: this machine's address)
  --root DIR     work below DIR instead of / (for tests)
  --uninstall    undo the set-up: stop and disable the unit, close the port, remove the key
  -h, --help     show this help and exit
HELP
      exit 0 ;;
    *) echo "install.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
root="${root%/}"

bin="$root/usr/local/bin/$NAME"
unit="$root/etc/systemd/system/$NAME.service"
if [ "$packaged" -eq 1 ]; then
  bin="$root/usr/bin/$NAME"
  unit="$root/lib/systemd/system/$NAME.service"
fi
conf_dir="$root/etc/$NAME"
conf="$conf_dir/server.conf"
key="$conf_dir/psk"
sysctl_file="$root/etc/sysctl.d/60-$NAME.conf"

say() { printf '%s\n' "$*"; }
fail() { printf 'install.sh: %s\n' "$*" >&2; exit 1; }
have() { command -v "$1" >/dev/null 2>&1; }

if [ -z "$root" ] && [ "$(id -u)" -ne 0 ]; then
  fail "run it as root (sudo bash install.sh)"
fi

# Which firewall is in charge: ufw when it is active, else nftables when it has an input chain.
firewall() {
  if have ufw && ufw status 2>/dev/null | grep -q '^Status: active'; then
    echo ufw
  elif have nft && nft list chain inet filter input >/dev/null 2>&1; then
    echo nft
  else
    echo none
  fi
}

open_port() {
  case "$(firewall)" in
    ufw) ufw allow "$1/tcp" comment "$NAME" >/dev/null && say "Opened TCP port $1 in ufw." ;;
    nft)
      if ! nft -a list chain inet filter input | grep -q "comment \"$NAME\""; then
        nft insert rule inet filter input tcp dport "$1" accept comment "\"$NAME\""
      fi
      say "Opened TCP port $1 in nftables (table inet filter)." ;;
    none) ;;
  esac
}

close_port() {
  case "$(firewall)" in
    ufw) ufw delete allow "$1/tcp" >/dev/null 2>&1 || true ;;
    nft)
      nft -a list chain inet filter input | sed -n "s/.*comment \"$NAME\".*# handle \([0-9]*\).*/\1/p" |
        while read -r handle; do nft delete rule inet filter input handle "$handle"; done ;;
    none) ;;
  esac
}

if [ "$uninstall" -eq 1 ]; then
  port=""
  [ -f "$conf" ] && port="$(sed -n 's/^listen = .*:\([0-9]*\)$/\1/p' "$conf")"
  systemctl disable --now "$NAME.service" >/dev/null 2>&1 || true
  # The package's own program and unit stay for the package manager to remove.
  [ "$packaged" -eq 1 ] || rm -f "$unit" "$bin"
  rm -f "$sysctl_file"
  systemctl daemon-reload
  [ -n "$port" ] && close_port "$port"
  rm -rf "$conf_dir"
  if getent passwd "$NAME" >/dev/null; then
    userdel "$NAME"
  fi
  say "ferrow-server removed."
  exit 0
fi

# 1. The program: the package's, given, built in this checkout, or the release download.
[ "$packaged" -eq 1 ] && binary="$bin"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" 2>/dev/null && pwd || true)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
if [ -z "$binary" ] && [ -n "$here" ] && [ -f "$here/../../server/CMakeLists.txt" ]; then
  checkout="$(cd "$here/../.." && pwd)"
  say "Building ferrow-server in $checkout/build-server ..."
  cmake -S "$checkout" -B "$checkout/build-server" -G Ninja -DFERROW_TESTS=OFF -DFERROW_BENCH=OFF >/dev/null
  cmake --build "$checkout/build-server" --target ferrow-server >/dev/null
  binary="$checkout/build-server/server/ferrow-server"
fi
if [ -z "$binary" ]; then
  [ -n "$RELEASE_LOCATION" ] && [ -n "$RELEASE_PUBLIC_KEY" ] ||
    fail "this installer names no release location: install the ferrow-server package, or give --binary FILE"
  release_url="$RELEASE_LOCATION/releases/ferrow-server-linux-$(uname -m).tar.gz"
  say "Downloading $release_url ..."
  curl -fsSL "$release_url" -o "$tmp/release.tar.gz" || fail "cannot download $release_url"
  curl -fsSL "$release_url.sig" -o "$tmp/release.sig" || fail "cannot download $release_url.sig"
  # HTTPS only says who served the file; the signature says who made it.
  printf '%s\n' "$RELEASE_PUBLIC_KEY" >"$tmp/release.pem"
  openssl pkeyutl -verify -pubin -inkey "$tmp/release.pem" -rawin -in "$tmp/release.tar.gz" \
    -sigfile "$tmp/release.sig" >/dev/null 2>&1 || fail "the download's signature does not hold: nothing was installed"
  tar -xzf "$tmp/release.tar.gz" -C "$tmp" || fail "the release package is damaged"
  binary="$(find "$tmp" -type f -name "$NAME" | head -n 1)"
  [ -n "$binary" ] || fail "the release package holds no $NAME"
fi
[ -x "$binary" ] || fail "$binary is not an executable"

# 2. The user it runs as.
if ! getent passwd "$NAME" >/dev/null; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$NAME"
fi

# 3. Key and configuration: kept from an earlier run, else new. Clients hold the key, and the
#    configuration may carry the admin's edits, so neither is ever rewritten.
mkdir -p "$conf_dir"
psk=""
[ -f "$key" ] && psk="$(tr -d '\n' <"$key")"
umask 077
if [ -z "$psk" ]; then
  psk="$(head -c 32 /dev/urandom | base64 -w0 | tr '+/' '-_' | tr -d '=')"
  printf '%s\n' "$psk" >"$tmp/psk"
  install -m 0640 "$tmp/psk" "$key"
elif [ "${#psk}" -lt 43 ]; then
  say "Warning: the key in /etc/$NAME/psk has ${#psk} characters; a generated one has 43."
  say "  It is kept, since clients use it. A short or hand-made key can be guessed from one"
  say "  recorded connection: remove the file and run this again for a new one (then update"
  say "  every client)."
  [ "${#psk}" -lt 16 ] && say "  Below 16 characters ferrow-server refuses it and will not start."
fi
port=""
if [ -f "$conf" ]; then
  port="$(sed -n 's/^listen = .*:\([0-9]*\)$/\1/p' "$conf")"
fi
if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
  [ -f "$conf" ] && fail "$conf names no port on its listen line; fix it or remove the file"
  port=$(( 20000 + $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 40000 ))
fi
if [ ! -f "$conf" ]; then
  cat >"$tmp/server.conf" <<CONF
# Written by the ferrow-server installer; kept when it runs again.
listen = [::]:$port
psk-file = /etc/$NAME/psk
log-level = warning
CONF
  install -m 0644 "$tmp/server.conf" "$conf"
fi
chgrp "$NAME" "$key" 2>/dev/null || true
chmod 0750 "$conf_dir"
chgrp "$NAME" "$conf_dir" 2>/dev/null || true
umask 022

# 4. Program, unit and TCP Fast Open for incoming connections.
mkdir -p "$(dirname "$bin")" "$(dirname "$unit")" "$(dirname "$sysctl_file")"
if [ "$packaged" -eq 0 ]; then
install -m 0755 "$binary" "$bin.new"
mv -f "$bin.new" "$bin"
cat >"$unit" <<'UNIT'
[Unit]
Description=Ferrow server
Documentation=man:ferrow-server(8)
Wants=network-online.target
After=network-online.target

[Service]
Type=simple
User=ferrow-server
Group=ferrow-server
ExecStart=/usr/local/bin/ferrow-server --config /etc/ferrow-server/server.conf
Restart=on-failure
RestartSec=2
LimitNOFILE=65536
# Accepted handshakes are remembered here across restarts, so a recorded one cannot be replayed.
StateDirectory=ferrow-server
StateDirectoryMode=0700

# The server only listens, reads its key and connects out: nothing else is within its reach.
NoNewPrivileges=yes
CapabilityBoundingSet=
AmbientCapabilities=
ProtectSystem=strict
ProtectHome=yes
PrivateTmp=yes
PrivateDevices=yes
PrivateMounts=yes
ProtectControlGroups=yes
ProtectKernelModules=yes
ProtectKernelTunables=yes
ProtectKernelLogs=yes
ProtectClock=yes
ProtectHostname=yes
ProtectProc=invisible
ProcSubset=pid
RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX
RestrictNamespaces=yes
RestrictRealtime=yes
RestrictSUIDSGID=yes
LockPersonality=yes
MemoryDenyWriteExecute=yes
RemoveIPC=yes
UMask=0077
SystemCallArchitectures=native
SystemCallFilter=@system-service
SystemCallFilter=~@privileged @resources
SystemCallErrorNumber=EPERM

[Install]
WantedBy=multi-user.target
UNIT
chmod 0644 "$unit"
fi
printf 'net.ipv4.tcp_fastopen = 3\n' >"$sysctl_file"
sysctl -q -p "$sysctl_file" >/dev/null 2>&1 || true
systemctl daemon-reload
systemctl enable "$NAME.service" >/dev/null
systemctl restart "$NAME.service"

# 5. The firewall.
open_port "$port"

# 6. What the user needs.
if [ -z "$host" ]; then
  host="$(ip -o route get 1.1.1.1 2>/dev/null | sed -n 's/.* src \([0-9.]*\).*/\1/p')"
  [ -n "$host" ] || host="$(hostname -f 2>/dev/null || hostname)"
fi
link_host="$host"
[[ "$host" == *:* ]] && link_host="[$host]"
link_key="$(printf '%s' "$psk" | base64 -w0 | tr '+/' '-_' | tr -d '=')"
say ""
say "ferrow-server is running."
say "  PSK:  $psk"
say "  Port: $port"
link="ferrow://$link_key@$link_host:$port?tfo=auto#$NAME"
say "  Link: $link"
say ""
# The same link as a QR code, for a phone's camera. On a terminal the colours are set, so the code
# reads on dark and light backgrounds alike; elsewhere the blocks are the dark modules.
if have qrencode; then
  say "Or scan this code with the device that should use the server (it holds the key, too):"
  if [ -t 1 ]; then qrencode -t ANSIUTF8 -m 2 "$link"; else qrencode -t UTF8i -m 2 "$link"; fi
  say ""
else
  say "(Install the qrencode package to see the link as a QR code here.)"
  say ""
fi
say "Paste the link into a node on the Policy screen, or write this line under [Proxy]:"
say "  Server = ferrow, $host, $port, psk=$psk, tfo=auto"
if [[ "$host" =~ ^(10\.|192\.168\.|172\.(1[6-9]|2[0-9]|3[01])\.|100\.(6[4-9]|[7-9][0-9]|1[01][0-9]|12[0-7])\.|127\.) ]]; then
  say ""
  say "Note: $host is a private address. If this machine is reached through NAT, use its public"
  say "address instead (run the installer again with --host ADDRESS for a ready link), and forward"
  say "TCP port $port to it."
fi
