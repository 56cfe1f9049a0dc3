#!/usr/bin/env bash
# Writes vksctl's manual page (roff) from its own help text: the general
# help, then each command's. Usage: make_manpage.sh VKSCTL OUTPUT VERSION
set -euo pipefail
vksctl=$1 output=$2 version=$3
roff() { sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\\&'/"; }
{
  echo ".TH VKSCTL 1 \"\" \"vksctl $version\" \"User Commands\""
  echo ".SH NAME"
  echo "vksctl \\- run and watch VKS media devices (decoders, encoders, network ports, discovery, health)"
  echo ".SH SYNOPSIS"
  echo ".nf"
  "$vksctl" --help | sed -n '1p' | roff
  echo ".fi"
  echo ".SH DESCRIPTION"
  echo ".nf"
  "$vksctl" --help | sed '1d' | roff
  echo ".fi"
  for command in $("$vksctl" --help | awk '/^commands:/{f=1;next} /^$/{f=0} f{print $1}'); do
    echo ".SH $(tr a-z A-Z <<<"$command")"
    echo ".nf"
    "$vksctl" "$command" --help | roff
    echo ".fi"
  done
} >"$output"
