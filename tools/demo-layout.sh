#!/usr/bin/env bash
# Lays the demo store out in a working directory, or refreshes one laid out
# before, and writes a lighttpd configuration that serves it on
# 127.0.0.1:PORT with the program as a CGI.
#   Usage: demo-layout.sh DIR PORT PROGRAM [SMTP_PORT]
#          demo-layout.sh --check DIR   (only: may DIR be used?)
#   SMTP_PORT: the local mail sink the store's mail goes to (through msmtp;
#   default 8025).
#
#   DIR/catalog        the catalog: products, templates, rules and loop files
#                      (refreshed) and the directories the store writes:
#                      users, pending, orders, coupons (kept)
#   DIR/cgi-bin        the program, its orvel.config and the msmtp
#                      configuration of its mail (refreshed)
#   DIR/htdocs/store   pages, style sheet and images (refreshed); pages are
#                      rendered by the program, the rest is served as it is
#   DIR/log            lighttpd's and the program's logs (kept)
#
# The files this script installs are listed in DIR/.orvel-demo.  A later run
# replaces those and removes the ones the demo no longer has; everything else
# (shoppers' sessions, orders, files placed there by hand) stays.  A
# directory that holds files but no such list was not made by this script,
# and it is left alone.
#
# Run as root, the store's writable directories belong to an unprivileged
# user and lighttpd switches to that user, so the program runs as it too:
# ORVEL_DEMO_USER, else the system user "orvel-demo" (created when missing
# and useradd is available), else "nobody".
set -euo pipefail
umask 022

refuse_foreign_dir() {  # DIR
  if [ -e "$1" ] && [ ! -f "$1/.orvel-demo" ] && [ -n "$(ls -A "$1" 2>/dev/null)" ]; then
    echo "demo-layout: $1 holds files that this script did not put there (no $1/.orvel-demo)." >&2
    echo "demo-layout: refusing to touch it; choose another directory with ORVEL_DEMO_DIR." >&2
    exit 1
  fi
}
if [ "$1" = --check ]; then
  refuse_foreign_dir "$2"
  exit 0
fi

dir=$1 port=$2 program=$3 smtp_port=${4:-8025}
src="$(cd "$(dirname "$0")/.." && pwd)/demo"
marker_head="# Files installed by tools/demo-layout.sh; everything else here is left alone."
refuse_foreign_dir "$dir"
if [ ! -x "$program" ]; then
  echo "demo-layout: no program at $program" >&2
  exit 1
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
marker="$dir/.orvel-demo"

# The unprivileged user, when running as root.
user="" group=""
if [ "$(id -u)" = 0 ]; then
  user=${ORVEL_DEMO_USER:-}
  if [ -z "$user" ]; then
    if id orvel-demo >/dev/null 2>&1; then
      user=orvel-demo
    elif command -v useradd >/dev/null &&
         useradd --system --user-group --no-create-home --home-dir /nonexistent \
                 --shell /usr/sbin/nologin orvel-demo 2>/dev/null; then
      user=orvel-demo
    else
      user=nobody
    fi
  fi
  group=$(id -gn "$user")
fi

new_manifest=$(mktemp)
trap 'rm -f "$new_manifest"' EXIT

# Puts one file in place, by rename when it replaces another, so that a
# request running at the same moment reads the old file or the new one,
# never half of one (and a running program is not overwritten in place).
# An unchanged file is left as it is.
install_file() {  # SOURCE RELATIVE-DEST MODE
  local dest="$dir/$2"
  printf '%s\n' "$2" >> "$new_manifest"
  cmp -s "$1" "$dest" && return 0
  mkdir -p "${dest%/*}"
  cp "$1" "$dest.new.$$"
  chmod "$3" "$dest.new.$$"
  mv -f "$dest.new.$$" "$dest"
}

# The same for every file below SOURCE-DIR, with few processes: checksums
# find the new and changed files, the new ones are copied in one go and the
# changed ones staged beside their place and renamed.
install_tree() {  # SOURCE-DIR RELATIVE-DEST
  local from=$1 to=$2 sum f
  local -A have=()
  local -a fresh=() changed=()
  mkdir -p "$dir/$to"
  while read -r sum f; do have[$f]=$sum; done < <(cd "$dir/$to" && find . -type f -printf '%P\0' | xargs -0r md5sum)
  while read -r sum f; do
    printf '%s\n' "$to/$f" >> "$new_manifest"
    if [ -z "${have[$f]:-}" ]; then fresh+=("$f")
    elif [ "${have[$f]}" != "$sum" ]; then changed+=("$f"); fi
  done < <(cd "$from" && find . -type f -printf '%P\0' | sort -z | xargs -0r md5sum)
  if [ ${#fresh[@]} -gt 0 ]; then (cd "$from" && cp --parents -- "${fresh[@]}" "$dir/$to/"); fi
  for f in "${changed[@]}"; do
    cp "$from/$f" "$dir/$to/$f.new.$$"
    mv -f "$dir/$to/$f.new.$$" "$dir/$to/$f"
  done
}

fill_placeholders() {  # SOURCE RELATIVE-DEST
  local tmp
  tmp=$(mktemp)
  sed -e "s|@CAT_DIR@|$dir/catalog|g" -e "s|@CGI_DIR@|$dir/cgi-bin|g" \
      -e "s|@DOC_DIR@|$dir/htdocs/store|g" -e "s|@LOG_DIR@|$dir/log|g" \
      -e "s|@HTTP_CGI_BIN@|http://127.0.0.1:$port/cgi-bin|g" \
      -e "s|@HTTP_DOC_ROOT@|http://127.0.0.1:$port/store|g" \
      -e "s|@HOME_URL@|http://127.0.0.1:$port/|g" "$1" > "$tmp"
  install_file "$tmp" "$2" 644
  rm -f "$tmp"
}

install_file "$program" cgi-bin/orvel 755
fill_placeholders "$src/orvel.config.in" cgi-bin/orvel.config
install_file "$src/products.txt" catalog/products.txt 644
install_tree "$src/templates" catalog/templates
install_tree "$src/loops" catalog/loops
install_tree "$src/rules" catalog/rules
install_tree "$src/softgoods" catalog/softgoods
install_tree "$src/docs" htdocs/store

# The store's mail goes through msmtp to the local sink.  msmtp wants its
# configuration readable by its user alone.
msmtprc=$(mktemp)
cat > "$msmtprc" <<MSMTP
# Order mail of the demo store: delivered to the local mail sink that
# tools/run-demo.sh starts (nothing leaves the machine).
defaults
auth off
tls off
logfile
timeout 10
account default
host 127.0.0.1
port $smtp_port
from orders@leafandbean.example
MSMTP
install_file "$msmtprc" cgi-bin/msmtprc 600
rm -f "$msmtprc"

# Files an earlier run installed that the demo no longer has.
if [ -f "$marker" ]; then
  while IFS= read -r old; do
    case $old in ''|'#'*|/*|*..*) continue ;; esac
    grep -qxF -- "$old" "$new_manifest" || rm -f -- "$dir/$old"
  done < "$marker"
fi

# Every directory the store writes, and the program's logs (a log is
# written only when its file exists).  The catalog directory itself takes
# the pick-up registry and the lock files beside it.
writable=(catalog catalog/users catalog/pending catalog/orders catalog/coupons log)
for d in "${writable[@]}"; do mkdir -p "$dir/$d"; done
for d in catalog/users catalog/pending catalog/orders catalog/coupons; do chmod 700 "$dir/$d"; done
touch "$dir/log/orvel.err" "$dir/log/orvel.log"
if [ -n "$user" ]; then
  for d in "${writable[@]}"; do chown "$user:$group" "$dir/$d"; done
  chown -R "$user:$group" "$dir/catalog/users" "$dir/catalog/pending" "$dir/catalog/orders" \
    "$dir/catalog/coupons" "$dir/log/orvel.err" "$dir/log/orvel.log"
  chown "$user:$group" "$dir/cgi-bin/msmtprc"
fi

conf=$(mktemp)
{
  cat <<CONF
# Serves the demo store: "/" and the pages under /store/ go through the
# program, style sheets, images and the icon are sent as files, and nothing
# else is reachable.
server.modules = ( "mod_access", "mod_alias", "mod_rewrite", "mod_cgi", "mod_setenv", "mod_accesslog" )
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$dir/htdocs"
server.pid-file = "$dir/lighttpd.pid"
server.errorlog = "$dir/log/error.log"
accesslog.filename = "$dir/log/access.log"
mimetype.assign = ( ".css" => "text/css", ".svg" => "image/svg+xml", ".png" => "image/png",
                    ".jpg" => "image/jpeg", ".jpeg" => "image/jpeg", ".gif" => "image/gif",
                    ".webp" => "image/webp", ".ico" => "image/x-icon" )
url.rewrite-once = (
  "^/(\\?.*)?\$" => "/cgi-bin/orvel\$1",
  "^/store/?(\\?.*)?\$" => "/cgi-bin/orvel",
  "^/store/([^?]*\\.html?)(\\?.*)?\$" => "/cgi-bin/orvel?action=serve&item=\$1",
  "^/favicon\\.ico\$" => "/store/favicon.svg"
)
alias.url = ( "/cgi-bin/" => "$dir/cgi-bin/" )
\$HTTP["url"] =~ "^/cgi-bin/orvel(/|\$)" {
  cgi.assign = ( "" => "" )
  setenv.add-environment = ( "ORVEL_CONFIG" => "$dir/cgi-bin/orvel.config" )
}
else \$HTTP["url"] =~ "^/store/.*\\.(css|svg|png|jpe?g|gif|webp|ico)\$" {
}
else \$HTTP["url"] !~ "^/favicon\\.ico\$" {
  url.access-deny = ( "" )
}
CONF
  if [ -n "$user" ]; then
    printf 'server.username = "%s"\nserver.groupname = "%s"\n' "$user" "$group"
  fi
} > "$conf"
install_file "$conf" lighttpd.conf 644
rm -f "$conf"

{ echo "$marker_head"; cat "$new_manifest"; } > "$marker.new.$$"
mv -f "$marker.new.$$" "$marker"
