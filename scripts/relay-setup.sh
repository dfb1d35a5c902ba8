#!/bin/sh
# Sets up this Debian 12 machine as the sending relay of the Tarnwick
# machines: Postfix takes their mail on port 587, OpenDKIM signs it for one
# domain, and each carrier is paced by a transport of its own (relay/). Run as
# root; running it again with the same options leaves the same files.
set -e
usage() {
  cat <<'EOF'
usage: relay-setup.sh --domain DOMAIN --selector SELECTOR --networks LIST [options]
  --domain DOMAIN     the From domain of the mails; OpenDKIM signs for it
  --selector NAME     the DKIM selector (the DNS name NAME._domainkey.DOMAIN)
  --networks LIST     the Tarnwick machines: addresses or networks separated by
                      commas (192.0.2.10,198.51.100.0/24,2001:db8::/64)
  --sasl              also take logins on 587 (Cyrus SASL, sasldb2)
  --hostname NAME     the relay's name in EHLO (default: hostname -f)
  --next-hop HOST     send everything through HOST ([host]:port) instead of
                      each domain's MX, pacing kept per carrier
  --root DIR          write the configuration under DIR instead of /, leave the
                      running services alone (a trial, or a test)
EOF
  exit 2
}

domain='' selector='' networks='' sasl=no hostname='' nexthop='' root=''
while [ $# -gt 0 ]; do
  case $1 in
    --domain) domain=$2; shift 2 ;;
    --selector) selector=$2; shift 2 ;;
    --networks) networks=$2; shift 2 ;;
    --sasl) sasl=yes; shift ;;
    --hostname) hostname=$2; shift 2 ;;
    --next-hop) nexthop=$2; shift 2 ;;
    --root) root=${2%/}; shift 2 ;;
    *) usage ;;
  esac
done
[ -n "$hostname" ] || hostname=$(hostname -f)
# Every value goes into configuration files: only the characters its kind needs.
valid() { printf '%s' "$2" | grep -Eqx "$3" || { echo "relay-setup.sh: bad $1: '$2'" >&2; exit 2; }; }
valid domain "$domain" '[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+'
valid selector "$selector" '[A-Za-z0-9_-]+'
valid hostname "$hostname" '[A-Za-z0-9.-]+'
valid networks "$networks" '[0-9A-Fa-f.:/]+(,[0-9A-Fa-f.:/]+)*'
[ -z "$nexthop" ] || valid next-hop "$nexthop" '\[?[A-Za-z0-9.:-]+\]?(:[0-9]+)?'
[ "$(id -u)" -eq 0 ] || { echo "relay-setup.sh: run as root" >&2; exit 1; }

# Postfix wants IPv6 networks in brackets ([2001:db8::]/64), OpenDKIM without.
postfix_networks=$(printf '%s\n' "$networks" | tr ',' '\n' |
  sed -E 's#^([0-9A-Fa-f]*:[0-9A-Fa-f:]*)(/[0-9]+)?$#[\1]\2#' | paste -sd' ')

# Packages: Postfix installed unconfigured (this script writes its files).
packages="postfix opendkim opendkim-tools ssl-cert"
[ "$sasl" = no ] || packages="$packages libsasl2-modules sasl2-bin"
missing=
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update -qq
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi

here=$(cd "$(dirname "$0")/.." && pwd)
# put TEMPLATE DEST MODE: the template with this relay's values, replacing
# DEST only when it differs (a second run changes nothing, not even times).
put() {
  mkdir -p "$(dirname "$2")"
  sed -e "s#@DOMAIN@#$domain#g" -e "s#@SELECTOR@#$selector#g" -e "s#@HOSTNAME@#$hostname#g" \
      -e "s#@NETWORKS@#$postfix_networks#g" -e "s#@NETWORKS_COMMA@#$networks#g" \
      -e "s#@NEXTHOP@#$nexthop#g" -e "s#@SASL@#$sasl#g" "$1" > "$2.new"
  chmod "$3" "$2.new"
  if cmp -s "$2.new" "$2"; then rm "$2.new"; else mv "$2.new" "$2"; echo "wrote $2"; fi
}
# Under --root, Debian's other Postfix files come along, so the folder works as /etc/postfix.
if [ -n "$root" ]; then
  mkdir -p "$root/etc/postfix"
  cp -a -n /etc/postfix/. "$root/etc/postfix/"
fi
put "$here/relay/main.cf" "$root/etc/postfix/main.cf" 644
put "$here/relay/master.cf" "$root/etc/postfix/master.cf" 644
put "$here/relay/transport" "$root/etc/postfix/transport" 644
put "$here/relay/opendkim.conf" "$root/etc/opendkim.conf" 644
[ -e "$root/etc/aliases" ] || printf 'postmaster: root\n' > "$root/etc/aliases"
[ "$sasl" = no ] || put "$here/relay/sasl-smtpd.conf" "$root/etc/postfix/sasl/smtpd.conf" 644

# The DKIM key: made once, kept afterwards (its DNS record stays valid).
keys="$root/etc/dkimkeys/$domain"
if [ ! -e "$keys/$selector.private" ]; then
  mkdir -p "$keys"
  opendkim-genkey -b 2048 -h sha256 -d "$domain" -s "$selector" -D "$keys"
  echo "generated $keys/$selector.private"
fi
chown -R opendkim:opendkim "$root/etc/dkimkeys"
chmod 700 "$root/etc/dkimkeys" "$keys"
chmod 600 "$keys/$selector.private"

if [ -z "$root" ]; then
  [ -e /etc/ssl/certs/ssl-cert-snakeoil.pem ] || make-ssl-cert generate-default-snakeoil
  [ "$sasl" = no ] || adduser --quiet postfix sasl
  newaliases
  postfix check
  if [ -d /run/systemd/system ]; then
    systemctl enable --quiet opendkim postfix
    systemctl restart opendkim postfix
  else
    echo "start or restart opendkim and postfix now"
  fi
fi

# What to publish in the domain's DNS.
pub=$(openssl rsa -in "$keys/$selector.private" -pubout 2>/dev/null | sed '1d;$d' | tr -d '\n')
dkim="v=DKIM1; h=sha256; k=rsa; p=$pub"
cat <<EOF

Publish in DNS:
$domain. TXT "v=spf1 a:$hostname ~all"
$selector._domainkey.$domain. TXT "$dkim"
_dmarc.$domain. TXT "v=DMARC1; p=none; rua=mailto:postmaster@$domain"
and a PTR record for the relay's address that names $hostname (and $hostname its A record).
An SPF record the domain already has gets "a:$hostname" added instead of a second one.
EOF
