#!/usr/bin/env bash
# Contact recognition on the development corpus (../shared/corpus/contact): field recall and
# record precision for the factory keyword lists, for the shipped defaults with
# FlagModernRecognition off and with it on (and the factory lists with it on); each for all pages, the UTF-8 pages and the GBK
# pages; then the list pages of the directory corpus beside it, switch off and on.
# Usage: bench/recognition_score.sh [BUILD_DIR] [CORPUS_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/veltra-cli" ] || { echo "recognition_score: no veltra-cli in $build" >&2; exit 2; }
corpus=${2:-../shared/corpus/contact}
[ -x "$corpus/score.sh" ] || corpus=/work/shared/corpus/contact
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The factory lists as the options dialog's default button saves them (label-driven only).
python3 - "$work/factory.ini" <<'PY'
import sys
lines = ["[MAINLIKE]", "AddressLike=地址;厂址;", "PostCodeLike=邮编;邮政编码;",
         "telephoneLike=电话;语音热线;tel;", "faxnoLike=传真;fax;",
         "MailAddressLike=电子信箱;信箱;邮件;e-mail;mailto;email;", "CompanyLike=公司名称;企业名称;",
         "[SECONDLIKE]", "HTMLNameLike=about;contact;",
         "CompanyNameLike=厂;局;公司;处;集团;中心;院;所;办;部;大学;会;",
         "AddressContentLike=省;市;县;区;号;座;街;厦;乡;墩;村;",
         "[FINDFLAGS]", "FlagModernRecognition=0"]
open(sys.argv[1], "wb").write(("\r\n".join(lines) + "\r\n").encode("gbk"))
PY
sed 's/^FlagModernRecognition=1/FlagModernRecognition=0/' data/default-settings.ini > "$work/off.ini"
cp data/default-settings.ini "$work/on.ini"
sed 's/^FlagModernRecognition=0/FlagModernRecognition=1/' "$work/factory.ini" > "$work/factory-on.ini"

gbk=$(cd "$corpus/pages" && ls | grep -i gbk | sed 's/-.*//' | tr '\n' ' ')
utf8=$(cd "$corpus/pages" && ls | grep -vi gbk | sed 's/-.*//' | tr '\n' ' ')
for cfg in factory off on factory-on; do
  case $cfg in
    factory) echo "== factory keyword lists (label-driven)";;
    off) echo "== shipped defaults, FlagModernRecognition=0";;
    on) echo "== shipped defaults, FlagModernRecognition=1";;
    factory-on) echo "== factory keyword lists, FlagModernRecognition=1";;
  esac
  echo "-- all pages"; "$corpus/score.sh" "$build/veltra-cli" "$work/$cfg.ini"
  # shellcheck disable=SC2086
  echo "-- UTF-8 pages"; "$corpus/score.sh" "$build/veltra-cli" "$work/$cfg.ini" $utf8
  # shellcheck disable=SC2086
  echo "-- GBK pages"; "$corpus/score.sh" "$build/veltra-cli" "$work/$cfg.ini" $gbk
done

# List pages (../shared/corpus/directory): one record per listed company, switch off and on.
directory=$(dirname "$corpus")/directory
if [ -x "$directory/score.sh" ]; then
  for cfg in off on; do
    echo "== directory pages, shipped defaults, FlagModernRecognition=$([ $cfg = on ] && echo 1 || echo 0)"
    "$directory/score.sh" "$build/veltra-cli" "$work/$cfg.ini"
  done
fi
