#!/bin/sh
# make-icons.sh DATA.ZIP OUTDIR SIZE...: the group's logo from the show's own
# archive, scaled into OUTDIR/SIZExSIZE/apps/halcyon2.png (the hicolor
# layout). Time stamps are left out so the files depend only on the logo.
set -eu
zip=$1 out=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unzip -p -P hopla "$zip" smokeandcredits/quillmark_logo.tga > "$tmp/logo.tga"
for size in "$@"; do
  mkdir -p "$out/${size}x${size}/apps"
  convert "$tmp/logo.tga" -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "PNG32:$out/${size}x${size}/apps/halcyon2.png"
done
