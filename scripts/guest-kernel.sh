# shellcheck shell=bash
# guest-kernel.sh: sourced by the scripts that boot a Linux guest under QEMU (kernel-test.sh,
# guest-window-picture.sh). guest_kernel CACHE DIR "MODULES" "SCSI_DEBUG_OPTIONS" sets
# $kernel and $version.
#
# The kernel is Debian's generic image (the cloud one lacks sym53c8xx), fetched once into
# CACHE. Of the unpacked package only the kernel image and the named modules are kept, under
# DIR/<package>/, with what each needs and the order to load them in (modules/order: a file
# name and its arguments a line). scsi_mod scans synchronously, so every device is there when
# the guest's programs start; scsi_debug gets SCSI_DEBUG_OPTIONS. A kernel unpacked for other
# modules or options is unpacked again.
guest_kernel() {
  local cache=$1 parent=$2 modules=$3 scsi_debug_options=$4
  local deb package unpacked sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  mkdir -p "$cache"
  deb=$(ls "$cache"/linux-image-*.deb 2>/dev/null | head -n 1 || true)
  if [ -n "$deb" ] && ! dpkg-deb --info "$deb" >/dev/null 2>&1; then
    rm -f "$deb"  # an interrupted download
    deb=""
  fi
  if [ -z "$deb" ]; then
    package=$(apt-cache depends linux-image-amd64 2>/dev/null |
              awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    if [ -z "$package" ]; then
      $sudo apt-get update
      package=$(apt-cache depends linux-image-amd64 |
                awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    fi
    echo "guest-kernel: fetching $package"
    # apt's download user may not write here; the file is fetched all the same.
    (cd "$cache" && apt-get download "$package" 2> >(grep -v 'unsandboxed' >&2))
    deb=$(ls "$cache"/linux-image-*.deb | head -n 1)
  fi

  kernel=$parent/$(basename "$deb" .deb)
  if [ ! -f "$kernel/version" ] ||
     [ "$(cat "$kernel/modules/wanted" 2>/dev/null)" != "$modules $scsi_debug_options" ]; then
    unpacked=$parent/unpacked
    rm -rf "$kernel" "$unpacked"
    mkdir -p "$unpacked" "$kernel/modules"
    dpkg-deb -x "$deb" "$unpacked"
    version=$(ls "$unpacked/lib/modules")
    depmod -b "$unpacked" "$version"
    cp "$unpacked/boot/vmlinuz-$version" "$kernel/vmlinuz"
    local module path name
    for module in $modules; do
      modprobe -d "$unpacked" -S "$version" --show-depends "$module" |
        awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r path; do
      name=$(basename "$path")
      cp "$path" "$kernel/modules/$name"
      case $name in
        scsi_mod.ko) echo "$name scan=sync" ;;
        scsi_debug.ko) echo "$name $scsi_debug_options" ;;
        *) echo "$name" ;;
      esac
    done > "$kernel/modules/order"
    echo "$modules $scsi_debug_options" > "$kernel/modules/wanted"
    rm -rf "$unpacked"
    echo "$version" > "$kernel/version"
  fi
  version=$(cat "$kernel/version")
}
