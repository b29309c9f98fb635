#!/usr/bin/env bash
# install-packages.sh PACKAGE...: installs those of the named Debian packages that are missing
# (apt-get update first), as root or through sudo. Does nothing when all are installed.
# An index that cannot be fetched (a mirror in the middle of a sync, say) does not stop it: the
# install goes on with the lists it has, and fails only when a package it needs cannot be
# installed, naming that package.
set -euo pipefail

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "$@"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if ! $sudo apt-get -o DPkg::Lock::Timeout=600 update; then
  echo "install-packages: some package indexes could not be fetched; going on with the" \
       "lists there are" >&2
fi
if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y \
     --no-install-recommends "${missing[@]}"; then
  still=()
  for package in "${missing[@]}"; do
    installed "$package" || still+=("$package")
  done
  echo "install-packages: could not install: ${still[*]:-(apt-get failed after installing them)}" >&2
  exit 1
fi
