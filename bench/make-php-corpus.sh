#!/usr/bin/env bash
# make-php-corpus.sh - builds the PHP code corpus the search benchmarks run on:
# a fixed list of Debian packages of PHP code (Symfony, WordPress, phpMyAdmin,
# Roundcube, Laravel, TCPDF), fetched by name with `apt-get download` and
# unpacked with `dpkg-deb -x`; nothing is installed. Re-runnable: the corpus
# folder is wiped first, downloaded packages are kept.
#
# Usage: bench/make-php-corpus.sh [CORPUS_DIR]   (default bench/corpus/php)
# Env:   DEB_CACHE (default bench/corpus/debs)
# Both defaults are inside the repository (ignored by git).
set -euo pipefail
export LC_ALL=C
REPO=$(cd "$(dirname "$0")/.." && pwd)
CORPUS=${1:-$REPO/bench/corpus/php}
DEB_CACHE=${DEB_CACHE:-$REPO/bench/corpus/debs}
case "$CORPUS" in /*) ;; *) CORPUS=$PWD/$CORPUS ;; esac
case "$DEB_CACHE" in /*) ;; *) DEB_CACHE=$PWD/$DEB_CACHE ;; esac

# Pinned to the bookworm (+security) versions of the published figures. A
# version that has left the archive is replaced by the current candidate,
# with a warning, so the corpus can still be made (its digest then differs).
PKGS=$(cat <<'LIST'
php-laravel-framework=8.83.26+dfsg-2
php-symfony-all-my-sms-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-amazon-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-amazon-sns-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-amazon-sqs-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-amqp-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-asset=5.4.53+dfsg-0+deb12u1
php-symfony-beanstalkd-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-browser-kit=5.4.53+dfsg-0+deb12u1
php-symfony-cache-contracts=2.5.5-0+deb12u1
php-symfony-cache=5.4.53+dfsg-0+deb12u1
php-symfony-clickatell-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-config=5.4.53+dfsg-0+deb12u1
php-symfony-console=5.4.53+dfsg-0+deb12u1
php-symfony-contracts=2.5.5-0+deb12u1
php-symfony-crowdin-translation-provider=5.4.53+dfsg-0+deb12u1
php-symfony-css-selector=5.4.53+dfsg-0+deb12u1
php-symfony-debug-bundle=5.4.53+dfsg-0+deb12u1
php-symfony-dependency-injection=5.4.53+dfsg-0+deb12u1
php-symfony-deprecation-contracts=2.5.5-0+deb12u1
php-symfony-discord-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-doctrine-bridge=5.4.53+dfsg-0+deb12u1
php-symfony-doctrine-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-dom-crawler=5.4.53+dfsg-0+deb12u1
php-symfony-dotenv=5.4.53+dfsg-0+deb12u1
php-symfony-error-handler=5.4.53+dfsg-0+deb12u1
php-symfony-esendex-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-event-dispatcher-contracts=2.5.5-0+deb12u1
php-symfony-event-dispatcher=5.4.53+dfsg-0+deb12u1
php-symfony-expo-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-expression-language=5.4.53+dfsg-0+deb12u1
php-symfony-fake-chat-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-fake-sms-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-filesystem=5.4.53+dfsg-0+deb12u1
php-symfony-finder=5.4.53+dfsg-0+deb12u1
php-symfony-firebase-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-form=5.4.53+dfsg-0+deb12u1
php-symfony-framework-bundle=5.4.53+dfsg-0+deb12u1
php-symfony-free-mobile-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-gateway-api-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-gitter-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-google-chat-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-google-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-http-client-contracts=2.5.5-0+deb12u1
php-symfony-http-client=5.4.53+dfsg-0+deb12u1
php-symfony-http-foundation=5.4.53+dfsg-0+deb12u1
php-symfony-http-kernel=5.4.53+dfsg-0+deb12u1
php-symfony-inflector=5.4.53+dfsg-0+deb12u1
php-symfony-infobip-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-intl=5.4.53+dfsg-0+deb12u1
php-symfony-iqsms-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-ldap=5.4.53+dfsg-0+deb12u1
php-symfony-light-sms-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-linked-in-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-lock=5.4.53+dfsg-0+deb12u1
php-symfony-loco-translation-provider=5.4.53+dfsg-0+deb12u1
php-symfony-lokalise-translation-provider=5.4.53+dfsg-0+deb12u1
php-symfony-mailchimp-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-mailgun-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-mailjet-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-mailjet-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-mattermost-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-mercure-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-mercure=0.6.3-1
php-symfony-message-bird-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-message-media-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-microsoft-teams-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-mime=5.4.53+dfsg-0+deb12u1
php-symfony-mobyt-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-monolog-bridge=5.4.53+dfsg-0+deb12u1
php-symfony-nexmo-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-octopush-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-oh-my-smtp-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-one-signal-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-options-resolver=5.4.53+dfsg-0+deb12u1
php-symfony-ovh-cloud-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-password-hasher=5.4.53+dfsg-0+deb12u1
php-symfony-phpunit-bridge=5.4.53+dfsg-0+deb12u1
php-symfony-polyfill-apcu=1.27.0-2
php-symfony-polyfill-ctype=1.27.0-2
php-symfony-polyfill-iconv=1.27.0-2
php-symfony-polyfill-intl-grapheme=1.27.0-2
php-symfony-polyfill-intl-icu=1.27.0-2
php-symfony-polyfill-intl-idn=1.27.0-2
php-symfony-polyfill-intl-messageformatter=1.27.0-2
php-symfony-polyfill-intl-normalizer=1.27.0-2
php-symfony-polyfill-mbstring=1.27.0-2
php-symfony-polyfill-php72=1.27.0-2
php-symfony-polyfill-php73=1.27.0-2
php-symfony-polyfill-php74=1.27.0-2
php-symfony-polyfill-php80=1.27.0-2
php-symfony-polyfill-php81=1.27.0-2
php-symfony-polyfill-php82=1.27.0-2
php-symfony-polyfill-php83=1.27.0-2
php-symfony-polyfill-util=1.27.0-2
php-symfony-polyfill-uuid=1.27.0-2
php-symfony-polyfill-xml=1.27.0-2
php-symfony-polyfill=1.27.0-2
php-symfony-postmark-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-process=5.4.53+dfsg-0+deb12u1
php-symfony-property-access=5.4.53+dfsg-0+deb12u1
php-symfony-property-info=5.4.53+dfsg-0+deb12u1
php-symfony-proxy-manager-bridge=5.4.53+dfsg-0+deb12u1
php-symfony-rate-limiter=5.4.53+dfsg-0+deb12u1
php-symfony-redis-messenger=5.4.53+dfsg-0+deb12u1
php-symfony-rocket-chat-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-routing=5.4.53+dfsg-0+deb12u1
php-symfony-runtime=5.4.53+dfsg-0+deb12u1
php-symfony-security-acl=3.3.2-1
php-symfony-security-bundle=5.4.53+dfsg-0+deb12u1
php-symfony-security-core=5.4.53+dfsg-0+deb12u1
php-symfony-security-csrf=5.4.53+dfsg-0+deb12u1
php-symfony-security-guard=5.4.53+dfsg-0+deb12u1
php-symfony-security-http=5.4.53+dfsg-0+deb12u1
php-symfony-semaphore=5.4.53+dfsg-0+deb12u1
php-symfony-sendgrid-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-sendinblue-mailer=5.4.53+dfsg-0+deb12u1
php-symfony-sendinblue-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-serializer=5.4.53+dfsg-0+deb12u1
php-symfony-service-contracts=2.5.5-0+deb12u1
php-symfony-sinch-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-slack-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-sms-biuras-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-sms77-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-smsapi-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-smsc-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-spot-hit-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-stopwatch=5.4.53+dfsg-0+deb12u1
php-symfony-string=5.4.53+dfsg-0+deb12u1
php-symfony-telegram-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-telnyx-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-templating=5.4.53+dfsg-0+deb12u1
php-symfony-translation-contracts=2.5.5-0+deb12u1
php-symfony-translation=5.4.53+dfsg-0+deb12u1
php-symfony-turbo-sms-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-twig-bridge=5.4.53+dfsg-0+deb12u1
php-symfony-twig-bundle=5.4.53+dfsg-0+deb12u1
php-symfony-twilio-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-uid=5.4.53+dfsg-0+deb12u1
php-symfony-validator=5.4.53+dfsg-0+deb12u1
php-symfony-var-dumper=5.4.53+dfsg-0+deb12u1
php-symfony-var-exporter=5.4.53+dfsg-0+deb12u1
php-symfony-vonage-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-web-link=5.4.53+dfsg-0+deb12u1
php-symfony-web-profiler-bundle=5.4.53+dfsg-0+deb12u1
php-symfony-workflow=5.4.53+dfsg-0+deb12u1
php-symfony-yaml=5.4.53+dfsg-0+deb12u1
php-symfony-yunpian-notifier=5.4.53+dfsg-0+deb12u1
php-symfony-zulip-notifier=5.4.53+dfsg-0+deb12u1
php-symfony=5.4.53+dfsg-0+deb12u1
php-tcpdf=6.6.2+dfsg1-1+deb12u1
phpmyadmin=4:5.2.1+dfsg-1+deb12u1
roundcube-core=1.6.5+dfsg-1+deb12u14
wordpress=6.1.9+dfsg1-0+deb12u1
LIST
)

mkdir -p "$DEB_CACHE"
cd "$DEB_CACHE"
# apt-get download runs as _apt unless the folder is writable by it
chmod 0777 "$DEB_CACHE" 2>/dev/null || true
missing=()
for pv in $PKGS; do
  p=${pv%%=*}; v=${pv#*=}
  fv=${v//:/%3a}
  ls "${p}_${fv}_"*.deb >/dev/null 2>&1 || missing+=("$pv")
done
if ((${#missing[@]})); then
  echo "downloading ${#missing[@]} packages into $DEB_CACHE ..." >&2
  if ! apt-get download -q "${missing[@]}" >&2; then
    echo "WARNING: pinned download failed, retrying one by one (falling back to candidate versions)" >&2
    for pv in "${missing[@]}"; do
      apt-get download -q "$pv" >&2 || { echo "WARNING: $pv unavailable, using candidate of ${pv%%=*}" >&2; apt-get download -q "${pv%%=*}" >&2; }
    done
  fi
fi

rm -rf "$CORPUS"
mkdir -p "$CORPUS"
manifest="$CORPUS/../$(basename "$CORPUS").manifest"
: > "$manifest"
for pv in $PKGS; do
  p=${pv%%=*}; v=${pv#*=}; fv=${v//:/%3a}
  deb=$(ls "${p}_${fv}_"*.deb 2>/dev/null | head -1 || true)
  [ -n "$deb" ] || deb=$(ls -t "${p}_"*.deb | head -1)
  dpkg-deb -x "$deb" "$CORPUS"
  echo "$deb $(sha256sum "$deb" | cut -c1-16)" >> "$manifest"
done
# packaging artefacts are not project code
rm -rf "$CORPUS/usr/share/doc" "$CORPUS/usr/share/lintian" "$CORPUS/usr/share/man"
# fixed times, so tools that sort or skip by time behave the same on every run
find "$CORPUS" -exec touch -h -d '2024-01-01 00:00:00 UTC' {} +

cd "$CORPUS"
files=$(find . -type f | wc -l)
phpfiles=$(find . -type f -name '*.php' | wc -l)
links=$(find . -type l | wc -l)
phpbytes=$(find . -type f -name '*.php' -printf '%s\n' | awk '{s+=$1} END{print s}')
lines=$(find . -type f -name '*.php' -print0 | xargs -0 cat | wc -l)
digest=$(find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-16)
{
echo "corpus:                 $CORPUS"
echo "packages:               $(wc -l < "$manifest")"
echo "regular files (all):    $files  (+ $links symbolic links)"
echo ".php files:             $phpfiles"
echo ".php bytes:             $phpbytes"
echo ".php lines:             $lines"
echo "content digest:         $digest (published figures: decd09143a709f45)"
} | tee "$CORPUS/../$(basename "$CORPUS").txt"
