#!/usr/bin/env bash
# Lays the demo store out in a working directory and writes a lighttpd
# configuration that serves it on 127.0.0.1:PORT, running the program as a
# CGI.  Usage: demo-layout.sh DIR PORT PROGRAM
#   DIR/catalog   the catalog (templates, products, users)
#   DIR/cgi-bin   the program and its orvel.config
#   DIR/htdocs    documents, served at /store/
set -euo pipefail
dir=$1 port=$2 program=$3
src="$(cd "$(dirname "$0")/.." && pwd)/demo"

rm -rf "$dir"
mkdir -p "$dir/catalog/users" "$dir/cgi-bin" "$dir/htdocs" "$dir/log"
cp -r "$src/templates" "$src/products.txt" "$dir/catalog/"
cp -r "$src/docs" "$dir/htdocs/store"
cp "$program" "$dir/cgi-bin/orvel"
sed -e "s|@CAT_DIR@|$dir/catalog|g" -e "s|@CGI_DIR@|$dir/cgi-bin|g" \
    -e "s|@DOC_DIR@|$dir/htdocs/store|g" \
    -e "s|@HTTP_CGI_BIN@|http://127.0.0.1:$port/cgi-bin|g" \
    -e "s|@HTTP_DOC_ROOT@|http://127.0.0.1:$port/store|g" \
    "$src/orvel.config.in" > "$dir/cgi-bin/orvel.config"

cat > "$dir/lighttpd.conf" <<CONF
server.modules = ( "mod_alias", "mod_cgi", "mod_setenv", "mod_accesslog" )
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$dir/htdocs"
server.pid-file = "$dir/lighttpd.pid"
server.errorlog = "$dir/log/error.log"
accesslog.filename = "$dir/log/access.log"
index-file.names = ( "index.html" )
mimetype.assign = ( ".html" => "text/html", ".css" => "text/css", ".svg" => "image/svg+xml",
                    ".png" => "image/png", ".jpg" => "image/jpeg", ".txt" => "text/plain" )
alias.url = ( "/cgi-bin/" => "$dir/cgi-bin/" )
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ( "" => "" )
  setenv.add-environment = ( "ORVEL_CONFIG" => "$dir/cgi-bin/orvel.config" )
}
CONF
